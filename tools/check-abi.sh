#!/usr/bin/env bash
# Checks that libVelnorApi keeps the ABI of its committed baseline, abi/<SONAME>.xml, so that a
# program built against any earlier library of the same SONAME runs against this one.
#   tools/check-abi.sh                    builds the default preset's library and compares it
#   tools/check-abi.sh LIBRARY            compares that library (built with debug information)
#   tools/check-abi.sh --deliberate-break builds the library with one extra data member in
#                                         PlixoApi and passes only when the comparison fails
#   tools/check-abi.sh --write-baseline LIBRARY   writes the baseline for LIBRARY's SONAME
#                                         (only together with a new SONAME, see the README)
# Fails on a removed or changed exported function, a changed size or layout of PlixoApi,
# DEVICE_INFO or any type they reach by value, and a changed or removed enumerator of an enum
# of the public header. Added functions, added types, appended enumerators and growth of the
# velnor classes that PlixoApi holds through a pointer pass (see compare below).
set -euo pipefail
export LC_ALL=C
mode="${1:-}"
library="${2:-${1:-}}"
[ -z "$library" ] || [[ "$library" == --* ]] || library=$(realpath "$library")
cd "$(dirname "$0")/.."
tools/install-deps.sh abigail-tools
fail() { echo "FAIL: $*"; exit 1; }

soname_of() { readelf -d "$1" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p'; }

# Every enumerator (enum name=value) of the enums declared in the public header, from an abidw
# corpus. Their values are compiled into programs, so none may change or go away.
public_enumerators() {
  awk -v q="'" '
    /<enum-decl / && /filepath=.PlixoApi\.h./ { split($0, a, q); name = a[2]; next }
    /<\/enum-decl>/ { name = "" }
    name != "" && /<enumerator / { split($0, a, q); print name "::" a[2] "=" a[4] }
  ' "$1" | sort -u
}

write_baseline() {
  abidw --no-corpus-path --no-comp-dir-path --short-locs --out-file "$2" "$1"
}

# Compares LIBRARY with its baseline; prints abidiff's report and returns 1 on any break.
compare() {
  local library="$1" soname baseline work status=0
  readelf -S --wide "$library" | grep -q '\.debug_info' || fail "$library has no debug information"
  soname=$(soname_of "$library")
  baseline="abi/$soname.xml"
  [ -f "$baseline" ] || fail "no baseline $baseline for SONAME $soname"
  work=$(mktemp -d)
  # Each changed type or function once, where it changed (its leaf). The classes of namespace
  # velnor are only forward-declared in the public header and PlixoApi holds them through
  # std::unique_ptr: they are the library's own business and may grow. Any other change, or an
  # incompatible one (a removed symbol), breaks programs built against the library.
  abidiff --no-added-syms --leaf-changes-only "$baseline" "$library" > "$work/report" || status=$?
  (( (status & 3) == 0 )) || fail "abidiff could not compare (status $status)"
  grep -E "^'" "$work/report" | grep -vE "^'(class|struct|union|enum) velnor::" > "$work/breaks" || true
  if (( status & 8 )) || [ -s "$work/breaks" ]; then
    cat "$work/report"
    echo "ABI break against $baseline (abidiff status $status):"
    sed 's/^/  /' "$work/breaks"
    rm -rf "$work"
    return 1
  fi

  write_baseline "$library" "$work/now.xml"
  public_enumerators "$baseline" > "$work/before"
  public_enumerators "$work/now.xml" > "$work/now"
  [ -s "$work/before" ] || fail "no enumerators of the public header in $baseline"
  if ! comm -23 "$work/before" "$work/now" > "$work/gone" || [ -s "$work/gone" ]; then
    echo "ABI break against $baseline: enumerators changed or removed:"
    sed 's/^/  /' "$work/gone"
    rm -rf "$work"
    return 1
  fi
  echo "ok: $library keeps the ABI of $baseline ($(wc -l < "$work/before") enumerators kept)"
  rm -rf "$work"
}

case "$mode" in
  --write-baseline)
    [ $# -eq 2 ] || fail "usage: $0 --write-baseline LIBRARY"
    write_baseline "$library" "abi/$(soname_of "$library").xml"
    echo "wrote abi/$(soname_of "$library").xml"
    ;;
  --deliberate-break)
    # The same library with VELNOR_ABI_BREAK_PROBE, which adds a data member to PlixoApi.
    cmake -S . -B build-abi-break -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
      -DCMAKE_CXX_FLAGS=-DVELNOR_ABI_BREAK_PROBE > /dev/null
    cmake --build build-abi-break --target VelnorApi > /dev/null
    status=0
    compare "$(readlink -f build-abi-break/api/libVelnorApi.so)" > build-abi-break/report.txt 2>&1 || status=$?
    [ "$status" -eq 1 ] && grep -q "^  'class PlixoApi" build-abi-break/report.txt ||
      { cat build-abi-break/report.txt; fail "the extra data member in PlixoApi was not reported"; }
    grep -E "type size changed|ABI break" build-abi-break/report.txt
    echo "ok: the deliberately incompatible build is reported"
    ;;
  "")
    [ -f build/CMakeCache.txt ] || cmake --preset default > /dev/null
    cmake --build build --target VelnorApi > /dev/null
    compare "$(readlink -f build/api/libVelnorApi.so)"
    ;;
  *)
    compare "$library"
    ;;
esac
