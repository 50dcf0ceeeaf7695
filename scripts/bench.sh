#!/usr/bin/env bash
# Builds the benchmark Release (no tests, no sanitizers) and runs it: the
# medians of the panel's costly paths and the ratio checks. Fails when a
# check fails.
#
# Usage: scripts/bench.sh [--quick]
#   JOBWICK_BENCH_BUILD_DIR  build folder (default build-bench)
set -euo pipefail
cd "$(dirname "$0")/.."

dir="${JOBWICK_BENCH_BUILD_DIR:-build-bench}"
if command -v ccache >/dev/null 2>&1; then
  export CMAKE_CXX_COMPILER_LAUNCHER="${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}"
  export CMAKE_C_COMPILER_LAUNCHER="${CMAKE_C_COMPILER_LAUNCHER:-ccache}"
fi
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DJOBWICK_SANITIZE=OFF \
  -DJOBWICK_TESTS=OFF >/dev/null
cmake --build "$dir" -j"$(nproc)" --target jobwick_bench
"$dir/bench/jobwick_bench" "$@"
