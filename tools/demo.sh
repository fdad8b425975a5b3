#!/usr/bin/env bash
# Builds everything and runs the main job against the simulated keypad: the keypad's settings
# before, a whole restore from examples/backup-6-keys.txt, the settings after, a compare of two
# example backup files, then velnor's backup of the restored keypad and its verify against the file.
# The build's own output goes to build/demo.log; one line per stage is shown.
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p build
log=$PWD/build/demo.log
: > "$log"
stage() {
  local what=$1; shift
  printf '%s ... ' "$what"
  if "$@" >> "$log" 2>&1; then
    echo done
  else
    echo "failed; the end of $log:"
    tail -n 20 "$log"
    exit 1
  fi
}
stage "Installing the Debian packages the build needs, where missing" tools/install-deps.sh
stage "Configuring the build (build/)" cmake --preset default
stage "Building (its output: build/demo.log)" cmake --build --preset default

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat > "$work/keypad.conf" <<CONF
device path=velnor-keypad manufacturer=Velnor product="Velnor Keypad"
set firmware V6.10
set serial 00000000
set led_level 1
set buzzer_period 10
report_log $work/reports.log
state_file $work/state.txt
CONF
export LD_LIBRARY_PATH="$PWD/build/sim-hidapi" VELNOR_SIM_CONFIG="$work/keypad.conf"

echo
echo "== The simulated keypad before: what its RAM holds, as the simulator's state file shows it (numbers in decimal)."
build/sim/velnor-sim-state | grep '^ram\.' | sed 's/^ram\./    /'
echo
echo "== build/utility/VelnorUtility -b examples/backup-6-keys.txt"
echo "   It prints the file's settings as it read them, then its own trace: the keypad's ids in decimal"
echo "   and in hexadecimal, its manufacturer string, then one line per step it carries out (settings,"
echo "   flash, reset) and, after the keypad has restarted and been opened again, what it reads back."
{ status=0; build/utility/VelnorUtility -b examples/backup-6-keys.txt || status=$?; echo "$status" > "$work/status"; } |
  sed 's/\r$//; s/^/    /'
echo
echo "== Exit status $(cat "$work/status"); the keypad received $(wc -l < "$work/reports.log") reports. It holds now, in RAM and flash, the"
echo "   file's settings: the file's Buzzer Period 32 is hexadecimal, the state shows it in decimal as 50."
grep -v '^device' "$work/state.txt" | sed 's/^/    /'
echo
echo "== build/utility/VelnorUtility -c examples/compare-before-upgrade.txt examples/compare-after-upgrade.txt"
echo "   Compares two backup files line by line: PASSED, status 0, when the second is an upgrade of the first."
status=0
build/utility/VelnorUtility -c examples/compare-before-upgrade.txt examples/compare-after-upgrade.txt | sed 's/^/    /' || status=$?
echo "== Exit status ${status}"

# Each program run is a process with its own simulated bus; the state file carries the keypad
# from one to the next, as a keypad on a desk stays what the last program left.
: > "$work/reports.log"
echo
echo "== build/cli/velnor backup restored-backup.txt"
echo "   The restored keypad, as the next program finds it, written as a backup file (Buzzer Period in hexadecimal again)."
build/cli/velnor backup "$work/restored-backup.txt" 2>&1 | sed "s|$work/||"
sed 's/^/    /' "$work/restored-backup.txt"
echo
echo "== build/cli/velnor verify examples/backup-6-keys.txt"
echo "   Checks the keypad against the file it was restored from, and only reads."
status=0
build/cli/velnor verify examples/backup-6-keys.txt || status=$?
echo "== Exit status ${status}; velnor sent the keypad $(wc -l < "$work/reports.log") reports, status requests only."
