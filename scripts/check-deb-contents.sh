#!/usr/bin/env bash
# Checks Debian packages made by CPack (jobwick, jobwick-gtk) without
# installing them, as a distribution's packager would:
#   - lintian --pedantic reports no error (its warnings are listed;
#     docs/packaging.md gives each remaining one's reason),
#   - no installed file names the source or build folder,
#   - every ELF file is stripped and its RUNPATH, if any, is relative to the
#     file ($ORIGIN/...),
#   - every program has its compressed manual page in its own package.
# Needs lintian, readelf (binutils) and file; no root.
#
# Usage: scripts/check-deb-contents.sh DEB...   (BUILD_DIR/jobwick*_*.deb)
#   JOBWICK_BUILD_DIR  the build folder whose path must not appear (default:
#                      the folder of the first DEB)
set -euo pipefail
cd "$(dirname "$0")/.."

say() { echo "check-deb-contents: $*" >&2; }
fail() {
  say "FAILED: $*"
  exit 1
}
[ $# -gt 0 ] || { say "usage: scripts/check-deb-contents.sh DEB..."; exit 2; }
for tool in lintian readelf file dpkg-deb; do
  command -v "$tool" >/dev/null 2>&1 || { say "needs $tool (apt-get install lintian binutils file)"; exit 2; }
done
source_dir="$PWD"
build_dir="$(realpath "${JOBWICK_BUILD_DIR:-$(dirname "$1")}")"

report="$(mktemp)"
unpacked="$(mktemp -d)"
trap 'rm -rf "$report" "$unpacked"' EXIT
lintian --pedantic --fail-on error "$@" >"$report" 2>&1 || { cat "$report" >&2; fail "lintian reports errors"; }
if [ -s "$report" ]; then
  say "lintian's remarks (docs/packaging.md gives the reason of each warning):"
  sed 's/^/  /' "$report" >&2
fi

for deb in "$@"; do
  dpkg-deb -x "$deb" "$unpacked/$(dpkg-deb -f "$deb" Package)"
done
found="$(grep -rlF -e "$source_dir" -e "$build_dir" "$unpacked" || true)"
[ -z "$found" ] || fail "installed files name the source or build folder: ${found//$unpacked\//}"
while IFS= read -r -d '' file; do
  description="$(file -b "$file")"
  case "$description" in ELF*) ;; *) continue ;; esac
  name="${file#"$unpacked"/}"
  case "$description" in *", stripped"*) ;; *) fail "$name is not stripped" ;; esac
  runpath="$(readelf -d "$file" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')"
  case "$runpath" in "" | '$ORIGIN'/*) ;; *) fail "$name has the RUNPATH $runpath" ;; esac
done < <(find "$unpacked" -type f -print0)
for program in "$unpacked"/*/usr/bin/*; do
  [ -e "$program" ] || continue
  package_root="${program%/usr/bin/*}"
  [ -f "$package_root/usr/share/man/man1/$(basename "$program").1.gz" ] ||
    fail "$(basename "$program") has no manual page in its package"
done
say "ok: $(for deb in "$@"; do basename "$deb"; done | tr '\n' ' ')"
