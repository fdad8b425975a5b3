#!/usr/bin/env bash
# Checks the shipped library's dynamic section and exports:
# its SONAME, hidapi's hidraw backend as a needed library, and nothing exported but PlixoApi.
set -euo pipefail
library="$1"
fail() { echo "FAIL: $*"; exit 1; }

readelf -d "$library" | grep -q 'SONAME.*\[libVelnorApi\.so\.7\]' || fail "SONAME is not libVelnorApi.so.7"
readelf -d "$library" | grep -q 'NEEDED.*\[libhidapi-hidraw\.so\.0\]' || fail "libhidapi-hidraw.so.0 is not needed"

exports=$(nm -DC --defined-only "$library" | awk '{ $1 = ""; $2 = ""; print substr($0, 3) }')
others=$(printf '%s\n' "$exports" | grep -vE '^(PlixoApi::|VELNORAPI_7$|hid_open\(unsigned short, unsigned short, int, wchar_t const\*\)@@)' || true)
[ -z "$others" ] || fail "exported beside PlixoApi's members and the HID open:"$'\n'"$others"
for member in 'PlixoApi::PlixoApi()' 'PlixoApi::~PlixoApi()' 'PlixoApi::InitialiseBrellUSBDevice(int, int)' \
              'PlixoApi::findUSBDevice(int, int)' 'PlixoApi::GetErrorText(int) const'; do
  printf '%s\n' "$exports" | grep -qF "$member" || fail "$member is not exported"
done
for hidden in OpenDevice CloseDevice Reconnect WorkerMain DispatchIncoming; do
  if printf '%s\n' "$exports" | grep -q "PlixoApi::$hidden"; then fail "private $hidden is exported"; fi
done
echo "ok: $(printf '%s\n' "$exports" | grep -c 'PlixoApi::') exported members"
