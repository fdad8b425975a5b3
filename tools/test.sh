#!/usr/bin/env bash
# Builds and runs every test, for each configure preset named (default: "default").
#   tools/test.sh                 the RelWithDebInfo build
#   tools/test.sh asan tsan       the sanitizer builds
# VELNOR_WERROR=ON turns warnings into errors. VELNOR_REQUIRE_UMOCKDEV=1 (set by CI) makes the
# umockdev suite fail instead of skipping where umockdev cannot run; VELNOR_REQUIRE_POSTGRESQL=1
# (also set by CI) the PostgreSQL tests where no PostgreSQL server can be started.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh

presets=("$@")
[ ${#presets[@]} -eq 0 ] && presets=(default)
for preset in "${presets[@]}"; do
  echo "== $preset: configure, build, test"
  cmake --preset "$preset" -DVELNOR_WERROR="${VELNOR_WERROR:-OFF}" > /dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
