// The three lines that show what the keypad reports.
#ifndef VELNOR_UTILITY_STATUSLINES_H
#define VELNOR_UTILITY_STATUSLINES_H

#include <ostream>

#include "velnor/PlixoApi.h"

namespace velnorutility {

void SayStatus(const DEVICE_INFO& info, std::ostream& out);

}  // namespace velnorutility

#endif
