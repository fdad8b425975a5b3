#!/usr/bin/env bash
# Builds the Debian packages (debian/, dpkg-buildpackage; velnor-ansible holds the Ansible
# collection velnor.keypad, shown by ansible-doc once installed) from a clean copy of the source tree
# into build-deb/, checks them with lintian (no error, warning or information that is not
# overridden with its reason), installs them with dpkg, uses them (the installed VelnorUtility's
# compare mode on the examples, a consumer built with find_package and with pkg-config against
# /usr, the CMake package's manners), and removes them again. Needs root (sudo otherwise).
set -euo pipefail
cd "$(dirname "$0")/.."
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
tools/install-deps.sh build-essential dpkg-dev debhelper lintian man-db
fail() { echo "FAIL: $*"; exit 1; }

version=$(sed -n 's/^project(Velnor VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
changelog_version=$(dpkg-parsechangelog -S Version)
[ "$version" = "$changelog_version" ] ||
  fail "debian/changelog is at $changelog_version, the project at $version: add a changelog entry"

work=$(mktemp -d)
remove() { "${as_root[@]}" dpkg --purge velnor-ansible libvelnorapi-dev velnor-utility libvelnorapi7 > /dev/null 2>&1 || true; rm -rf "$work"; }
trap remove EXIT

# The tracked and new files only: no build folders of this tree in the package's source.
source_dir="$work/velnor-$version"
mkdir "$source_dir"
git ls-files -z --cached --others --exclude-standard | xargs -0 -r sh -c 'for f; do [ -e "$f" ] && printf "%s\0" "$f"; done' sh |
  tar -c --null -T - | tar -x -C "$source_dir"
echo "== dpkg-buildpackage (log: build-deb/build.log)"
rm -rf build-deb && mkdir build-deb
(cd "$source_dir" && dpkg-buildpackage -b -uc -us) > build-deb/build.log 2>&1 || { tail -40 build-deb/build.log; fail "dpkg-buildpackage"; }
# A packager's build neither needs nor looks for the test packages.
if grep -E '^(GTest_DIR|GMock_DIR|UMOCKDEV_|UMOCKDEV_WRAPPER)' "$source_dir/debian/build/CMakeCache.txt"; then
  fail "BUILD_TESTING=OFF still looked for a test package"
fi
cp "$work"/*.deb build-deb/
packages=(build-deb/libvelnorapi7_*.deb build-deb/velnor-utility_*.deb build-deb/libvelnorapi-dev_*.deb build-deb/velnor-ansible_*.deb)
for package in build-deb/*.deb; do dpkg-deb -I "$package" | sed -n 's/^ \(Package\|Depends\|Recommends\): /  \1: /p'; done

echo "== lintian"
lintian --fail-on error,warning,info --display-info build-deb/*.deb || fail "lintian"
echo "$(lintian --version): no error, warning or information on $(ls build-deb/*.deb | wc -l) packages"

"${as_root[@]}" dpkg -i "${packages[@]}" > /dev/null
echo "== installed: $(command -v VelnorUtility)"
for program in /usr/bin/VelnorUtility /usr/bin/velnor; do
  if readelf -d "$program" | grep -qE 'RUNPATH|RPATH'; then fail "$program has a RUNPATH"; fi
done
status=0
(cd examples && /usr/bin/VelnorUtility -c compare-before-upgrade.txt compare-after-upgrade.txt) > "$work/compare.txt" || status=$?
tail -1 "$work/compare.txt"
[ "$status" -eq 0 ] || fail "compare mode ended with $status"
[[ "$(man -w VelnorUtility)" == *.1.gz ]] && [[ "$(man -w velnor)" == *.1.gz ]] && [[ "$(man -w 3 PlixoApi)" == *.3.gz ]] ||
  fail "manuals missing or not compressed"
status=0
/usr/bin/velnor diff --json examples/compare-before-upgrade.txt examples/compare-after-upgrade.txt > "$work/diff.json" || status=$?
echo "== installed: $(/usr/bin/velnor --version); diff of two examples: $(cat "$work/diff.json")"
[ "$status" -le 1 ] || fail "velnor diff ended with $status"
if command -v ansible-doc > /dev/null; then  # the collection, found where it is installed
  ansible-doc velnor.keypad.keypad_settings | grep -q "check_mode" || fail "ansible-doc finds no velnor.keypad.keypad_settings"
  echo "== installed: velnor.keypad, shown by ansible-doc"
fi
completions=$(pkg-config --variable=completionsdir bash-completion)
[ -f "$completions/velnor" ] || fail "no bash completion in $completions"

for way in "" "-DVELNOR_WITH_PKG_CONFIG=ON"; do
  rm -rf "$work/consumer"
  cmake -S tests/consumer -B "$work/consumer" $way > /dev/null
  cmake --build "$work/consumer" > /dev/null
  echo "== consumer (${way:-find_package}): $("$work/consumer/consumer" | grep "^Success")"
done
rm -rf "$work/consumer"
PKG_CONFIG_LIBDIR="$work/no-pkg-config" PKG_CONFIG_PATH="" \
  cmake -S tests/consumer -B "$work/consumer" -DVELNOR_EXPECT_NOT_FOUND=ON | grep "VelnorApi not found"
remove
trap - EXIT
if dpkg -s libvelnorapi7 > /dev/null 2>&1; then fail "packages still installed"; fi
echo "== packages built, checked, installed, used and removed"
