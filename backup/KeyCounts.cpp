#include "KeyCounts.h"

namespace velnorbackup {

namespace {

struct KeyCount {
    int keys;
    int option;
    int tableLength;
};
constexpr KeyCount kKeyCounts[] = {{5, 0, 14}, {6, 1, 16}, {8, 2, 20}};

template <typename Matches>
const KeyCount* Find(Matches matches) {
    for (const KeyCount& count : kKeyCounts) {
        if (matches(count)) return &count;
    }
    return nullptr;
}

}  // namespace

std::optional<std::uint8_t> OptionOfKeys(long long keys) {
    if (const KeyCount* count = Find([keys](const KeyCount& c) { return c.keys == keys; })) {
        return static_cast<std::uint8_t>(count->option);
    }
    return std::nullopt;
}

std::optional<int> KeysOfOption(int option) {
    if (const KeyCount* count = Find([option](const KeyCount& c) { return c.option == option; })) return count->keys;
    return std::nullopt;
}

int TableLengthOfOption(int option) {
    const KeyCount* count = Find([option](const KeyCount& c) { return c.option == option; });
    return count != nullptr ? count->tableLength : 0;
}

bool IsTableLength(long long length) {
    return Find([length](const KeyCount& c) { return c.tableLength == length; }) != nullptr;
}

char KeyCharacter(int option) {
    const std::optional<int> keys = KeysOfOption(option);
    return keys ? static_cast<char>('0' + *keys) : '?';
}

}  // namespace velnorbackup
