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

cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" -DJOBWICK_SANITIZE="$sanitize" \
  -DJOBWICK_TESTS="$tests" >/dev/null
cmake --build "$dir" -j"$(nproc)"
