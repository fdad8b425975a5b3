#!/usr/bin/env bash
# Builds the Debian packages from the default build, installs them with dpkg, uses them (the
# installed VelnorUtility's compare mode on the examples, a consumer built with find_package and
# with pkg-config against /usr), and removes them again. Needs root (sudo otherwise).
set -euo pipefail
cd "$(dirname "$0")/.."
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
tools/install-deps.sh
cmake --preset default -DVELNOR_WERROR="${VELNOR_WERROR:-OFF}" > /dev/null
cmake --build --preset default
(cd build && rm -f ./*.deb && cpack -G DEB > /dev/null)
packages=(build/libvelnorapi7_*.deb build/velnor-utility_*.deb build/libvelnorapi-dev_*.deb)
for package in "${packages[@]}"; do dpkg-deb -I "$package" | sed -n 's/^ \(Package\|Depends\): /  \1: /p'; done

work=$(mktemp -d)
remove() { "${as_root[@]}" dpkg --purge libvelnorapi-dev velnor-utility libvelnorapi7 > /dev/null 2>&1 || true; rm -rf "$work"; }
trap remove EXIT
"${as_root[@]}" dpkg -i "${packages[@]}" > /dev/null

echo "== installed: $(command -v VelnorUtility)"
status=0
(cd examples && /usr/bin/VelnorUtility -c compare-before-upgrade.txt compare-after-upgrade.txt) > "$work/compare.txt" || status=$?
tail -1 "$work/compare.txt"
[ "$status" -eq 0 ] || { echo "FAIL: compare mode ended with $status"; exit 1; }
man -w VelnorUtility > /dev/null && man -w 3 PlixoApi > /dev/null

for way in "" "-DVELNOR_WITH_PKG_CONFIG=ON"; do
  rm -rf "$work/consumer"
  cmake -S tests/consumer -B "$work/consumer" $way > /dev/null
  cmake --build "$work/consumer" > /dev/null
  echo "== consumer (${way:-find_package}): $("$work/consumer/consumer" | grep "^Success")"
done
remove
trap - EXIT
if dpkg -s libvelnorapi7 > /dev/null 2>&1; then echo "FAIL: packages still installed"; exit 1; fi
echo "== packages built, installed, used and removed"
