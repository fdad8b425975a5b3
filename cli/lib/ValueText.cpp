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

std::string_view ShownFieldName(Field field) { return field == Field::KeyCountOption ? "keys" : FieldName(field); }

std::string ShownValue(Field field, const Value& value) {
    const int* option = std::get_if<int>(&value);
    if (field != Field::KeyCountOption || option == nullptr) return ShownValue(value);
    if (const auto keys = KeysOfOption(*option)) return std::to_string(*keys);
    return "option " + std::to_string(*option);
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
