#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan) and runs each for SECONDS (default 20),
# starting from the seed corpus and every kept crash input under fuzz/regressions/<target>/.
#   tools/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh clang libclang-rt-14-dev
seconds="${1:-20}"
shift || true
cmake --preset fuzz -DVELNOR_WERROR="${VELNOR_WERROR:-OFF}" > /dev/null
cmake --build --preset fuzz

targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(fuzz_read_cycle fuzz_frames fuzz_backup_file fuzz_compare fuzz_command_line fuzz_backup_diff fuzz_usb_ids)
for target in "${targets[@]}"; do
  binary="build-fuzz/fuzz/$target"
  [ -x "$binary" ] || { echo "FAIL: $target was not built ($binary)"; exit 1; }
  name="${target#fuzz_}"
  work=$(mktemp -d)
  seeds=("fuzz/corpus/$name")
  [ -d "fuzz/regressions/$name" ] && seeds+=("fuzz/regressions/$name")
  echo "== $target for ${seconds}s"
  "$binary" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$work/" "$work" "${seeds[@]}" \
    > "$work/stdout" 2> "$work/log" || { tail -60 "$work/log"; echo "FAIL: $target (inputs kept in $work)"; exit 1; }
  grep -E '^(#[0-9]+ +DONE|stat::number_of_executed_units|stat::average_exec_per_sec|stat::peak_rss_mb)' "$work/log" || true
  grep -E 'cov: [0-9]+' "$work/log" | tail -1
  rm -rf "$work"
done
