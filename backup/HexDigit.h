// One hexadecimal digit as backup files and usb.ids write them, either case.
#ifndef VELNOR_BACKUP_HEXDIGIT_H
#define VELNOR_BACKUP_HEXDIGIT_H

namespace velnorbackup {

// The digit's value; -1 for a character that is none.
constexpr int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace velnorbackup

#endif
