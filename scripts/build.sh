#!/usr/bin/env bash
# Configures and builds Jobwick. Usage: scripts/build.sh [--sanitize] [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."

sanitize=OFF
type=RelWithDebInfo
if [ "${1:-}" = "--sanitize" ]; then
  sanitize=ON
  type=Debug
  shift
fi
dir="${1:-build}"

cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" -DJOBWICK_SANITIZE="$sanitize" >/dev/null
cmake --build "$dir" -j"$(nproc)"
