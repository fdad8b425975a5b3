#!/usr/bin/env bash
# Builds everything and runs the main job against the simulated keypad: the keypad's settings
# before, a whole restore from examples/backup-6-keys.txt, the settings after, a compare of two
# example backup files, then velnor's backup of the restored keypad and its verify against the file.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake --preset default > /dev/null
cmake --build --preset default

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
echo "== The simulated keypad before (RAM):"
build/sim/velnor-sim-state | grep '^ram\.' | sed 's/^ram\./    /'
echo
echo "== build/utility/VelnorUtility -b examples/backup-6-keys.txt"
{ status=0; build/utility/VelnorUtility -b examples/backup-6-keys.txt || status=$?; echo "$status" > "$work/status"; } |
  sed 's/\r$//'
echo
echo "== exit status $(cat "$work/status"); the keypad received $(wc -l < "$work/reports.log") reports; after (RAM and flash):"
sed 's/^/    /' "$work/state.txt"
echo
echo "== build/utility/VelnorUtility -c examples/compare-before-upgrade.txt examples/compare-after-upgrade.txt"
status=0
build/utility/VelnorUtility -c examples/compare-before-upgrade.txt examples/compare-after-upgrade.txt || status=$?
echo "== exit status ${status}"

# Each program run is a process with its own simulated bus, so the keypad that velnor reads now
# is set up from the state file the restore run left: the settings in its flash, which is what
# the keypad holds after the restart that ended the restore.
{
  echo "device path=velnor-keypad manufacturer=Velnor product=\"Velnor Keypad\""
  sed -n 's/^flash\.\(led_level\|buzzer\|buzzer_period\|keypad_table\|key_count_option\|code_table\|serial\|firmware\) /set \1 /p' \
    "$work/state.txt"
  echo "report_log $work/restored-reports.log"
} > "$work/restored.conf"
export VELNOR_SIM_CONFIG="$work/restored.conf"
echo
echo "== build/cli/velnor backup restored-backup.txt   (the restored keypad)"
build/cli/velnor backup "$work/restored-backup.txt"
sed 's/^/    /' "$work/restored-backup.txt"
echo
echo "== build/cli/velnor verify examples/backup-6-keys.txt"
status=0
build/cli/velnor verify examples/backup-6-keys.txt || status=$?
echo "== exit status ${status}; velnor sent the keypad $(wc -l < "$work/restored-reports.log") reports, status requests only"
