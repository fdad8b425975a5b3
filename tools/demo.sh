#!/usr/bin/env bash
# Builds everything and runs the main job against the simulated keypad.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake --preset default > /dev/null
cmake --build --preset default
echo "Built: build/api/libVelnorApi.so.7 and the simulated keypad build/sim-hidapi/libhidapi-hidraw.so.0"
