#!/usr/bin/env bash
# Fails, listing the files, when a C++ source differs from .clang-format.
# Usage: scripts/check-format.sh [--fix]
set -euo pipefail
cd "$(dirname "$0")/.."
fix=0
[ "${1:-}" = "--fix" ] && fix=1
bad=()
while IFS= read -r f; do
  if [ "$fix" -eq 1 ]; then
    clang-format -i "$f"
  elif ! clang-format --dry-run -Werror "$f" >/dev/null 2>&1; then
    bad+=("$f")
  fi
done < <(git ls-files '*.cpp' '*.h' '*.hpp' '*.cc')
if [ ${#bad[@]} -gt 0 ]; then
  printf 'Not formatted by .clang-format (run scripts/check-format.sh --fix):\n' >&2
  printf '  %s\n' "${bad[@]}" >&2
  exit 1
fi
