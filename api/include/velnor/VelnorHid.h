// The HID layer beside PlixoApi. A program linking VelnorApi has hidapi's own functions through
// the library's link interface; this adds an open that also chooses the USB interface.
#ifndef VELNOR_VELNORHID_H
#define VELNOR_VELNORHID_H

#include <hidapi.h>

#if defined(VELNOR_API_BUILDING)
#define VELNOR_HID_API __attribute__((visibility("default")))
#else
#define VELNOR_HID_API
#endif

// Opens the first HID device, in hidapi's enumeration order, whose vendor and product id match
// and whose serial number matches when serial_number is given, or whose USB interface number
// matches when it is not (255 matches any interface). Returns the handle, to be closed with
// hid_close, or null when no such device could be opened. An overload of hidapi's own
// hid_open(vendor_id, product_id, serial_number), which stays as it is.
VELNOR_HID_API hid_device* hid_open(unsigned short vendor_id, unsigned short product_id, int interface_number,
                                    const wchar_t* serial_number);

#endif  // VELNOR_VELNORHID_H
