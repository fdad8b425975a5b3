#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when they are missing, and those
# named as arguments (the scripts that need more name theirs: fuzz.sh, package.sh, check-abi.sh).
# Runs apt-get as root, through sudo otherwise.
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config libhidapi-dev libhidapi-hidraw0 libgtest-dev
          umockdev libumockdev-dev libudev-dev groff-base
          libcli11-dev nlohmann-json3-dev nettle-dev usb.ids bash-completion python3 python3-jsonschema
          libpq-dev postgresql postgresql-common
          ansible-core python3-pytest python3-pytest-mock python3-pytest-forked python3-pytest-xdist
          python3-voluptuous pycodestyle pylint yamllint "$@")
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
echo "Installing: ${missing[*]}"
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
