#!/usr/bin/env bash
# Configures and builds Jobwick.
# Usage: scripts/build.sh [--sanitize [--fuzz]] [BUILD_DIR]
# Without --sanitize it builds the plug-ins and the host only (no tests), with
# the system compiler (CC, CXX). --sanitize builds the tests too, with
# AddressSanitizer and UndefinedBehaviorSanitizer, in clang (which compiles
# this code about twice as fast as GCC does; JOBWICK_TEST_CC and
# JOBWICK_TEST_CXX choose another compiler). --fuzz adds the libFuzzer
# programs of fuzz/ to that build, made from the same objects, so that
# JOBWICK_FUZZ_BUILD_DIR=BUILD_DIR scripts/fuzz.sh runs them without a second
# build. Either way warnings are errors here (JOBWICK_WERROR, which a plain
# cmake build leaves off).
set -euo pipefail
cd "$(dirname "$0")/.."

sanitize=OFF
tests=OFF
fuzz=OFF
type=RelWithDebInfo
compilers=()
if [ "${1:-}" = "--sanitize" ]; then
  sanitize=ON
  tests=ON
  type=Debug
  compilers=(-DCMAKE_C_COMPILER="${JOBWICK_TEST_CC:-clang}" -DCMAKE_CXX_COMPILER="${JOBWICK_TEST_CXX:-clang++}")
  shift
  if [ "${1:-}" = "--fuzz" ]; then
    fuzz=ON
    shift
  fi
fi
case "${1:-}" in
  -*) echo "build: unknown option '$1' (usage: scripts/build.sh [--sanitize [--fuzz]] [BUILD_DIR])" >&2
    exit 2 ;;
esac
dir="${1:-build}"

# ccache, when installed, makes rebuilds of unchanged sources near free. A
# launcher already chosen by the caller is kept.
if command -v ccache >/dev/null 2>&1; then
  export CMAKE_CXX_COMPILER_LAUNCHER="${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}"
  export CMAKE_C_COMPILER_LAUNCHER="${CMAKE_C_COMPILER_LAUNCHER:-ccache}"
fi

cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" -DJOBWICK_SANITIZE="$sanitize" \
  -DJOBWICK_WERROR=ON -DJOBWICK_TESTS="$tests" -DJOBWICK_FUZZ="$fuzz" "${compilers[@]}" >/dev/null
cmake --build "$dir" -j"$(nproc)"
