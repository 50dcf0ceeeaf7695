#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs every test (more tests at once than
# cores: see scripts/test-jobs.sh). JOBWICK_TEST_FUZZ=1 builds the libFuzzer
# programs in the same build (scripts/build.sh --fuzz), for the CI's fuzzing
# run. Prints how long the build and the tests took.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
fuzz=()
[ "${JOBWICK_TEST_FUZZ:-0}" = 1 ] && fuzz=(--fuzz)
start=$SECONDS
scripts/build.sh --sanitize "${fuzz[@]}" build-test
built=$SECONDS
status=0
ctest --test-dir build-test --output-on-failure -j"$(scripts/test-jobs.sh)" || status=$?
echo "test.sh: build $((built - start)) s, tests $((SECONDS - built)) s"
exit "$status"
