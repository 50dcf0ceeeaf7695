#!/usr/bin/env bash
# Fails, listing the files, when a C++ source differs from .clang-format.
# Usage: scripts/check-format.sh [--fix]
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = "--fix" ]; then
  git ls-files -z '*.cpp' '*.h' '*.hpp' '*.cc' | xargs -0 -r clang-format -i
  exit 0
fi
# One clang-format per file (its exit status names the file), a core each.
mapfile -t bad < <(git ls-files -z '*.cpp' '*.h' '*.hpp' '*.cc' |
  xargs -0 -r -P"$(nproc)" -n 16 sh -c \
    'for f; do clang-format --dry-run -Werror "$f" >/dev/null 2>&1 || echo "$f"; done' sh |
  sort)
if [ ${#bad[@]} -gt 0 ]; then
  printf 'Not formatted by .clang-format (run scripts/check-format.sh --fix):\n' >&2
  printf '  %s\n' "${bad[@]}" >&2
  exit 1
fi
