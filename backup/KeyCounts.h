// The keypad's key counts: 5, 6 or 8 keys, set as the options 0, 1 and 2, each with as many
// code-table values as a backup file stores for it (14, 16, 20). Any other option has none.
#ifndef VELNOR_BACKUP_KEYCOUNTS_H
#define VELNOR_BACKUP_KEYCOUNTS_H

#include <cstdint>
#include <optional>

namespace velnorbackup {

std::optional<std::uint8_t> OptionOfKeys(long long keys);
std::optional<int> KeysOfOption(int option);
// 14, 16 or 20; 0 for an option without a code table.
int TableLengthOfOption(int option);
// A count of values that is some key count's code table.
bool IsTableLength(long long count);
// '5', '6' or '8' for the options 0, 1, 2; '?' for any other.
char KeyCharacter(int option);

}  // namespace velnorbackup

#endif
