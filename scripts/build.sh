#!/usr/bin/env bash
# Configures and builds Jobwick. Usage: scripts/build.sh [--sanitize] [BUILD_DIR]
# Without --sanitize it builds the plug-ins and the host only (no tests).
set -euo pipefail
cd "$(dirname "$0")/.."

sanitize=OFF
tests=OFF
type=RelWithDebInfo
if [ "${1:-}" = "--sanitize" ]; then
  sanitize=ON
  tests=ON
  type=Debug
  shift
fi
dir="${1:-build}"

# ccache, when installed, makes rebuilds of unchanged sources near free. A
# launcher already chosen by the caller is kept.
if command -v ccache >/dev/null 2>&1; then
  export CMAKE_CXX_COMPILER_LAUNCHER="${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}"
  export CMAKE_C_COMPILER_LAUNCHER="${CMAKE_C_COMPILER_LAUNCHER:-ccache}"
fi

cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" -DJOBWICK_SANITIZE="$sanitize" \
  -DJOBWICK_TESTS="$tests" >/dev/null
cmake --build "$dir" -j"$(nproc)"
