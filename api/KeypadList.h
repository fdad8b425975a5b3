// Listing the attached keypads: hidapi's enumeration, keypads only (USB interface 1), with their
// USB strings and where they are plugged in.
#ifndef VELNOR_KEYPADLIST_H
#define VELNOR_KEYPADLIST_H

#include <vector>

#include "velnor/PlixoApi.h"

namespace velnor {

// In enumeration order. Takes the hidapi lock itself; the caller holds hidapi set up
// (HidapiUse). Opens nothing.
std::vector<KEYPAD_ENTRY> EnumerateKeypads(int vendorId, int productId);

}  // namespace velnor

#endif
