#include "ValueText.h"

#include "Text.h"

namespace velnorcli {

std::string ShownValue(const Value& value, Numbers numbers) {
    if (const int* number = std::get_if<int>(&value)) {
        return numbers == Numbers::WithHex ? Number(static_cast<unsigned>(*number)) : std::to_string(*number);
    }
    if (const auto* table = std::get_if<CodeTable>(&value)) return TableText(*table);
    return "\"" + EscapeControl(std::get<std::string>(value)) + "\"";
}

std::string Number(unsigned value) {
    return value < 10 ? std::to_string(value) : std::to_string(value) + " (0x" + Hex(value) + ")";
}

std::string TableText(const CodeTable& table) {
    std::string text;
    for (std::uint8_t code : table) text += (text.empty() ? "" : " ") + Hex(code, true);
    return text;
}

}  // namespace velnorcli
