// Firmware V0 to V6 keeps a serial number in twelve characters: an eight-character one is sent
// with four blanks after it, and a status read shows it so.
#ifndef VELNOR_BACKUP_SERIALSUFFIX_H
#define VELNOR_BACKUP_SERIALSUFFIX_H

#include <string>
#include <string_view>

namespace velnorbackup {

// Whose firmware name is judged. A restore judges the one its backup file gives, by the second
// character alone (as a signed character; a name shorter than two counts as old); setting the
// key count judges the keypad's own, which must begin with a V.
enum class FirmwareOf { BackupFile, Keypad };

bool OldFirmware(std::string_view firmware, FirmwareOf whose);

// The serial number as it is sent: with the four blanks for old firmware when it has eight
// characters.
std::string SerialToSend(std::string serial, bool oldFirmware);

}  // namespace velnorbackup

#endif
