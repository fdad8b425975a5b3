#!/usr/bin/env bash
# velnor station on a terminal (script(1) gives it one) draws its board on standard error in
# place of the line per keypad, and a signal leaves the board as last drawn, every keypad done,
# with nothing typed below it, before the summary.
#   check-station-board.sh VELNOR SIM_HIDAPI_DIR EXAMPLES_DIR
set -euo pipefail
velnor=$1
export LD_LIBRARY_PATH=$2 VELNOR_SIM_CONFIG=$3/three-keypads.conf NO_COLOR=1
cd "$(mktemp -d)"
trap 'kill $runner 2>/dev/null || true; rm -rf "$PWD"' EXIT
script -qfec "exec $velnor station --no-feedback $3/backup-6-keys.txt" screen >/dev/null &
runner=$!
done_rows() { tr -d '\r' < screen | tail -5 | grep -ac '^.\[K1-2\.[123]  done ' || true; }
for _ in $(seq 600); do [ "$(done_rows)" -ge 3 ] && break; sleep 0.1; done
[ "$(done_rows)" -ge 3 ] || { echo "no board with three keypads done:"; tail -12 screen | cat -v; exit 1; }
kill -TERM $(ps -o pid= --ppid $runner)
wait $runner || { echo "velnor station ended with $?:"; tail -12 screen | cat -v; exit 1; }
last=$(tr -d '\r' < screen | sed -e 's/\x1b\[K//g' -e '/^Script /d' -e '/^$/d' | tail -6)
want=$(printf '%s\n' $'\x1b[5A'"PORT   STATE  SERIAL    RESULT   TIME" "1-2.1  done   20261206  updated  ..." \
  "1-2.2  done   20261206  updated  ..." "1-2.3  done   20261206  updated  ..." \
  "updated 3, up to date 0, failed 0; 3 keypads in ..." $'\x1b[Jupdated 3, up to date 0, failed 0; 3 keypads in ...')
[[ "$last" == ${want//.../*} ]] || { printf 'the board at the end:\n%s\nexpected:\n%s\n' "$last" "$want" | cat -v; exit 1; }
! grep -aq 'holds the settings' screen || { echo "a line per keypad beside the board:"; tail -12 screen | cat -v; exit 1; }
