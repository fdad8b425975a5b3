#!/usr/bin/env bash
# Runs the whole suite (the default preset's ctest) several times in a row with two processes
# burning CPU beside it, as on a shared, loaded 2-core machine. Every run must pass.
#   tools/test-under-load.sh [RUNS]   (default 3)
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-3}"
tools/install-deps.sh
cmake --preset default -DVELNOR_WERROR="${VELNOR_WERROR:-OFF}" > /dev/null
cmake --build --preset default

burners=()
log=$(mktemp)
stop() {
  for pid in "${burners[@]}"; do kill "$pid" 2> /dev/null || true; done
  rm -f "$log"
}
trap stop EXIT
for _ in 1 2; do
  (while :; do :; done) &
  burners+=("$!")
done

total_start=$(date +%s)
for run in $(seq "$runs"); do
  start=$(date +%s)
  if ! ctest --preset default > "$log" 2>&1; then
    cat "$log"
    echo "FAIL: run $run of $runs under load"
    exit 1
  fi
  grep -E 'tests passed' "$log"
  echo "== run $run of $runs under load passed in $(($(date +%s) - start)) s"
done
echo "== $runs runs under load passed in $(($(date +%s) - total_start)) s"
