#!/usr/bin/env bash
# Lists the functions in host/ (or the folders given) whose body runs over
# MAX lines (default 80), and fails when there is one.
#
# It reads code as .clang-format lays it out: a definition is a line ending
# in "{" whose text before it closes a parameter list (and is not a control
# statement, a lambda or an initializer), and its body ends at the first
# later line that is "}" at the definition's own indentation. Lambdas and
# local classes count towards the function around them.
#
# Usage: scripts/check-function-length.sh [--max N] [FOLDER...]
set -euo pipefail
cd "$(dirname "$0")/.."
max=80
if [ "${1:-}" = "--max" ]; then
  max="$2"
  shift 2
fi
[ $# -eq 0 ] && set -- host
python3 - "$max" "$@" <<'PY'
import pathlib, re, sys

limit = int(sys.argv[1])
head = re.compile(r'^( *)(?!(if|for|while|switch|catch|do|else|return|case)\b)[^ /#][^=]*\)'
                  r'( const)?( noexcept)?( override)?( final)?( -> [^{]+)? \{$')
long_ones = []
for folder in sys.argv[2:]:
    for path in sorted(pathlib.Path(folder).rglob('*.cpp')) + sorted(pathlib.Path(folder).rglob('*.h')):
        lines = path.read_text(encoding='utf-8', errors='replace').split('\n')
        i = 0
        while i < len(lines):
            m = head.match(lines[i])
            # A signature that wraps starts on an earlier line.
            if m and '[' not in lines[i].split('(')[0]:
                start = i
                while start > 0 and lines[start - 1].strip() and \
                        not lines[start - 1].lstrip().startswith(('//', '#')) and \
                        not lines[start - 1].rstrip().endswith((';', '{', '}', ':')):
                    start -= 1
                indent = re.match(r' *', lines[start]).group(0)
                end = i + 1
                while end < len(lines) and lines[end] != indent + '}':
                    end += 1
                if end < len(lines):
                    body = end - i - 1
                    if body > limit:
                        name = lines[start].split('(')[0].split()[-1]
                        long_ones.append(f'{path}:{start + 1}: {name}: {body} lines')
                    i = end
            i += 1
for line in long_ones:
    print(line)
if long_ones:
    print(f'check-function-length: {len(long_ones)} function(s) over {limit} lines', file=sys.stderr)
    sys.exit(1)
PY
