// A setting's value for people, as the tables of status, verify and restore and the backup
// writer's warnings show it.
#ifndef VELNOR_CLI_VALUETEXT_H
#define VELNOR_CLI_VALUETEXT_H

#include <string>
#include <string_view>

#include "Settings.h"

namespace velnorcli {

// How a number is shown: in decimal alone, or as Number does.
enum class Numbers { Decimal, WithHex };

// A number as Numbers says, a text quoted with control characters made visible, a code table as
// 20 two-digit hexadecimal bytes.
std::string ShownValue(const Value& value, Numbers numbers = Numbers::WithHex);

// A field as people name it, as `velnor set` takes it: "keys" for the key count, else as the
// JSON names it.
std::string_view ShownFieldName(Field field);
// A field's value as ShownValue shows it, but the key count as keys: "6", or "option 7" for an
// option that is none of 0, 1, 2.
std::string ShownValue(Field field, const Value& value);

// A number as decimal, with its hexadecimal beside it from 10 on: "100 (0x64)".
std::string Number(unsigned value);

// The 20 bytes of a code table, two hexadecimal digits each, blank-separated.
std::string TableText(const CodeTable& table);

}  // namespace velnorcli

#endif
