#!/usr/bin/env bash
# The velnor.keypad collection's tests, offline, with the built velnor and simulated keypads:
# unit tests (ansible-test units), integration targets (ansible-test integration --local), a fleet
# of three local hosts converged by one playbook run with forks, the sanity checks that run
# offline (the module validator, pycodestyle, pylint, yamllint) and the collection's tarball.
#
# Usage: ansible/run-tests.sh BUILD_DIR [VELNOR]
#   VELNOR: the velnor to run (default: BUILD_DIR/cli/velnor); the simulated keypads come from
#   BUILD_DIR/sim-hidapi. Without ansible-test it skips (status 77), unless VELNOR_REQUIRE_ANSIBLE=1.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: run-tests.sh BUILD_DIR [VELNOR]}" && pwd)
velnor=$(realpath "${2:-$build/cli/velnor}")
fail() { echo "FAIL: $*"; exit 1; }

for tool in ansible-test ansible-playbook ansible-galaxy; do
  if ! command -v "$tool" > /dev/null; then
    [ "${VELNOR_REQUIRE_ANSIBLE:-0}" = 1 ] && fail "$tool is missing (VELNOR_REQUIRE_ANSIBLE=1): tools/install-deps.sh ansible-core"
    echo "SKIP: $tool is missing (Debian's ansible-core; tools/install-deps.sh installs it)"
    exit 77
  fi
done
# Debian's Python, the one ansible-core is installed for (not another python3 on the PATH).
py=/usr/bin/python3
[ -x "$py" ] || py=$(command -v python3)
python=$("$py" -c 'import sys; print("%d.%d" % sys.version_info[:2])')

# ansible-test wants the collection under .../ansible_collections/velnor/keypad, and writes
# into it: a copy of its own.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
collection=$work/ansible_collections/velnor/keypad
mkdir -p "$(dirname "$collection")"
cp -r "$here/ansible_collections/velnor/keypad" "$collection"
rm -rf "$collection/tests/output"
export ANSIBLE_COLLECTIONS_PATH=$work ANSIBLE_LOCAL_TEMP=$work/tmp ANSIBLE_NOCOLOR=1 ANSIBLE_FORCE_COLOR=0
cat > "$collection/tests/integration/integration_config.yml" << CONFIG
velnor_bin: $velnor
velnor_sim_lib: $build/sim-hidapi
velnor_examples: $(cd "$here/../examples" && pwd)
velnor_work_dir: $work
CONFIG

echo "== units"
(cd "$collection" && ansible-test units --local --python "$python") > "$work/units.log" 2>&1 ||
  { cat "$work/units.log"; fail "ansible-test units"; }
grep -E "^=+ .* in " "$work/units.log"

echo "== integration"
(cd "$collection" && ansible-test integration --local --python "$python") > "$work/integration.log" 2>&1 ||
  { cat "$work/integration.log"; fail "ansible-test integration"; }
grep -E "^Running|^testhost" "$work/integration.log"

echo "== fleet"
fleet=$work/fleet
mkdir -p "$fleet"
for host in station-a station-b station-c; do
  cat > "$fleet/$host.conf" << CONFIG
device location=1-2.1 name=$host-1
set firmware V6.12
set serial 20261201
device location=1-2.2 name=$host-2
set firmware V7.01
set led_level 3
state_file $fleet/$host.state
sys_root $fleet/$host.sys
CONFIG
done
# Runs the site's playbook once over the three hosts with these tags; prints
# "HOST:CHANGED:FAILED ..." from its recap.
site() {
  ansible-playbook --forks 3 -i "$here/fleet/inventory.yml" "$here/fleet/site.yml" --tags "$1" \
    -e "fleet_dir=$fleet velnor_bin=$velnor velnor_sim_lib=$build/sim-hidapi" > "$fleet/$1.log" ||
    { cat "$fleet/$1.log" >&2; fail "the site's playbook, --tags $1"; }
  sed -n 's/^\(station-[a-z]\) *: .* changed=\([0-9]*\) .* failed=\([0-9]*\) .*/\1:\2:\3/p' "$fleet/$1.log" | sort | paste -sd ' '
}
start=$(date +%s.%N)
expect() { [ "$2" = "$3" ] || fail "fleet, $1: $2 where $3 was expected (HOST:CHANGED:FAILED)"; echo "$1: $2"; }
site backup > /dev/null
for host in station-a station-b station-c; do
  for keypad in 1-2.1 1-2.2; do
    grep -q "^Velnor keypad settings backup" "$fleet/backups/$host/$keypad.txt" || fail "no backup of $host's $keypad"
  done
done
echo "backup: every keypad's file fetched"
expect "restore" "$(site restore)" "station-a:1:0 station-b:1:0 station-c:1:0"
expect "restore again" "$(site restore)" "station-a:0:0 station-b:0:0 station-c:0:0"
LD_LIBRARY_PATH=$build/sim-hidapi VELNOR_SIM_CONFIG=$fleet/station-b.conf "$velnor" set --quiet --location 1-2.2 led_level=1 > /dev/null
expect "drift, after station-b's 1-2.2 was set by hand" "$(site drift)" "station-a:0:0 station-b:1:0 station-c:0:0"
grep -q '"msg": "drifted: 1-2.2"' "$fleet/drift.log" || fail "the drift report names no 1-2.2"
expect "restore after it" "$(site restore)" "station-a:0:0 station-b:1:0 station-c:0:0"
echo "fleet: three hosts, five runs in $("$py" -c "import sys; print('%.1f' % (float(sys.argv[2]) - float(sys.argv[1])))" "$start" "$(date +%s.%N)") s"
# The collection's README shows this playbook as it is.
"$py" -c 'import sys; sys.exit(open(sys.argv[2]).read() not in open(sys.argv[1]).read())' \
  "$here/ansible_collections/velnor/keypad/README.md" "$here/fleet/site.yml" || fail "the collection's README does not show fleet/site.yml"

echo "== sanity (offline)"
sanity=/usr/lib/python3/dist-packages/ansible_test/_util/controller/sanity  # ansible-test's own settings
validator=$sanity/validate-modules
ran=()
if [ -d "$validator" ] && "$py" -c 'import voluptuous' 2> /dev/null; then
  (cd "$collection" && PYTHONPATH="$validator:$work" "$py" "$validator/validate.py" --format plain --arg-spec \
    --collection ansible_collections/velnor/keypad --collection-version 1.0.0 plugins/modules/*.py) || fail "the module validator"
  ran+=("validate-modules")
elif [ "${VELNOR_REQUIRE_ANSIBLE:-0}" = 1 ]; then
  fail "the module validator needs python3-voluptuous (VELNOR_REQUIRE_ANSIBLE=1)"
fi
python_files=("$collection"/plugins/*/*.py "$collection"/tests/unit/plugins/*/*.py "$here/record-fixtures.py")
if "$py" -m pycodestyle --version > /dev/null 2>&1; then
  "$py" -m pycodestyle --max-line-length 160 --ignore "$(paste -sd, "$sanity/pep8/current-ignore.txt")" "${python_files[@]}" || fail "pycodestyle"
  ran+=("pycodestyle")
fi
if "$py" -m pylint --version > /dev/null 2>&1; then
  (cd "$work" && PYTHONPATH="$work:$sanity/pylint/plugins" "$py" -m pylint --rcfile "$sanity/pylint/config/collection.cfg" \
    --load-plugins deprecated,string_format "$collection"/plugins/*/*.py) || fail "pylint"
  ran+=("pylint")
fi
if command -v yamllint > /dev/null; then
  yamllint -d '{extends: default, rules: {line-length: {max: 160}, document-start: disable, truthy: disable}}' \
    "$collection/galaxy.yml" "$collection/meta" "$collection/tests/integration/targets" "$here/fleet" || fail "yamllint"
  ran+=("yamllint")
fi
ansible-doc -t module velnor.keypad.keypad_settings > "$work/doc.txt" || fail "ansible-doc"
grep -q "check_mode" "$work/doc.txt" && grep -q "diff_mode" "$work/doc.txt" || fail "ansible-doc shows no check_mode or diff_mode"
ran+=("ansible-doc")
echo "sanity checks run: ${ran[*]}"

echo "== collection"
ansible-galaxy collection build --force --output-path "$work/dist" "$collection" > /dev/null
tarball=$(ls "$work/dist"/velnor-keypad-*.tar.gz)
tar -tzf "$tarball" > "$work/tarball.txt"
grep -q "plugins/modules/keypad_settings.py" "$work/tarball.txt" || fail "the tarball holds no keypad_settings"
ansible-galaxy collection install --offline -p "$work/installed" "$tarball" > /dev/null 2>&1 ||
  ansible-galaxy collection install -p "$work/installed" "$tarball" > /dev/null
[ -f "$work/installed/ansible_collections/velnor/keypad/plugins/modules/keypad_info.py" ] || fail "installing the tarball"
if [ -n "${VELNOR_COLLECTION_OUT:-}" ]; then cp "$tarball" "$VELNOR_COLLECTION_OUT/"; fi
echo "built and installed $(basename "$tarball")"
