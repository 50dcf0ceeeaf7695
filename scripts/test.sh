#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs every test (more tests at once than
# cores: see scripts/test-jobs.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh --sanitize build-test
ctest --test-dir build-test --output-on-failure -j"$(scripts/test-jobs.sh)"
