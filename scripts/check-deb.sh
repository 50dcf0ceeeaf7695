#!/usr/bin/env bash
# Checks the Debian packages as a packager and a person would meet them:
# builds jobwick (optimised, no tests), makes the packages with CPack
# (jobwick, jobwick-gtk and their -dbgsym), and
#   - runs lintian (pedantic) on both: no error may be reported; the
#     warnings it still gives are listed (docs/packaging.md names each one
#     with its reason),
#   - checks what they install: no path of the source or build folder in any
#     file, every RUNPATH relative to the file ($ORIGIN), every binary
#     stripped, every program with its compressed manual page,
# and on a fresh Debian 12 (a minimal bookworm root made by debootstrap in
# the build folder):
#   - installs jobwick with `apt-get install ./jobwick_*.deb` (dependencies
#     from the Debian mirror) and checks that no GTK came with it,
#   - runs the installed `jobwick info vk7300`, `jobwick queues` and
#     `jobwick print --dry-run` and a real `jobwick print` against a private
#     CUPS scheduler on loopback (this script starts and stops it) whose
#     model folder is the root's, with a queue made by `lpadmin -m
#     jobwick/vk7300.ppd`, and finds the manual page with `man -w jobwick`,
#   - installs jobwick-gtk and runs `jobwick dialog --help`,
#   - removes both with `apt-get purge` (and `apt-get autoremove`)
#     and checks that none of its files is left, nor a package it brought in
#     (but those a base-system package recommends, which apt keeps).
# Every step's output goes to BUILD_DIR/check-deb.log; the script fails on
# the first step that does, naming it.
#
# Needs root (debootstrap, chroot, mounting /proc in the root), debootstrap,
# lintian and the Debian mirror.
#
# Usage: scripts/check-deb.sh [BUILD_DIR]        (default build-deb)
#   JOBWICK_DEB_MIRROR   the Debian mirror (default http://deb.debian.org/debian)
#   JOBWICK_DEB_TARBALL  a debootstrap --make-tarball of bookworm minbase to
#                        start from instead of downloading the base system
#                        (the package's dependencies still come from the mirror)
#   JOBWICK_DEB_KEEP=1   keep the root for a look afterwards
set -euo pipefail
cd "$(dirname "$0")/.."

dir="${1:-build-deb}"
mirror="${JOBWICK_DEB_MIRROR:-http://deb.debian.org/debian}"
source_dir="$PWD"

say() { echo "check-deb: $*" >&2; }
fail() {
  say "FAILED: $*"
  [ -n "${log:-}" ] && [ -s "$log" ] && tail -n 30 "$log" >&2
  exit 1
}
[ "$(id -u)" -eq 0 ] || { say "needs root (debootstrap, chroot, mount)"; exit 2; }
for tool in debootstrap chroot cpack dpkg-deb /usr/sbin/cupsd lpadmin lintian readelf file; do
  command -v "$tool" >/dev/null 2>&1 || {
    say "needs $tool (apt-get install debootstrap cups cups-client lintian binutils file)"
    exit 2
  }
done

# Built as a Debian package build is: dpkg-buildflags' hardening and
# optimisation flags, and source paths mapped away (-ffile-prefix-map).
eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
export CFLAGS="$CPPFLAGS $CFLAGS" CXXFLAGS="$CPPFLAGS $CXXFLAGS"
scripts/build.sh "$dir"
mkdir -p "$dir"
log="$PWD/$dir/check-deb.log"
: >"$log"
rm -f "$dir"/jobwick*.deb "$dir"/jobwick*.ddeb
(cd "$dir" && cpack -G DEB >>"$log" 2>&1) || fail "cpack -G DEB"
deb="$(ls "$dir"/jobwick_*.deb)"
gtk_deb="$(ls "$dir"/jobwick-gtk_*.deb)"
for package in "$deb" "$gtk_deb"; do
  say "package $(basename "$package"): $(dpkg-deb -f "$package" Depends)"
done
say "log in $log"
scripts/check-deb-contents.sh "$deb" "$gtk_deb" >>"$log" 2>&1 ||
  fail "the packages' contents (scripts/check-deb-contents.sh)"

work="$(mktemp -d "$PWD/$dir/check-deb.XXXXXX")"
root="$work/root"
cupsd_pid=""
cleanup() {
  [ -n "$cupsd_pid" ] && kill "$cupsd_pid" 2>/dev/null
  umount "$root/proc" 2>/dev/null || true
  if [ "${JOBWICK_DEB_KEEP:-}" = 1 ]; then
    say "root kept in $root"
  else
    rm -rf "$work"
  fi
}
trap cleanup EXIT

# A fresh Debian 12.
step() {
  local name="$1"
  shift
  say "$name"
  echo "== $name" >>"$log"
  "$@" >>"$log" 2>&1 || fail "$name"
}
in_root() { chroot "$root" env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
  DEBIAN_FRONTEND=noninteractive "$@"; }
if [ -n "${JOBWICK_DEB_TARBALL:-}" ]; then
  step "debootstrap bookworm (from $JOBWICK_DEB_TARBALL)" \
    debootstrap --variant=minbase --unpack-tarball="$(realpath "$JOBWICK_DEB_TARBALL")" bookworm "$root" "$mirror"
else
  step "debootstrap bookworm from $mirror" debootstrap --variant=minbase bookworm "$root" "$mirror"
fi
cp /etc/resolv.conf "$root/etc/resolv.conf"
cat >"$root/etc/apt/sources.list" <<EOF
deb $mirror bookworm main
deb $mirror bookworm-updates main
EOF
mount -t proc proc "$root/proc" || fail "mount /proc in the root"
step "apt-get update" in_root apt-get update -q
# The manual-page reader is not part of a minimal system; a person reading
# `man jobwick` has it.
step "apt-get install man-db" in_root apt-get install -y -q --no-install-recommends man-db

# What the root holds before the package: compared after its removal.
snapshot() {
  in_root find / -xdev \( -path /proc -o -path /tmp -o -path /var/cache -o -path /var/lib/apt \
    -o -path /var/lib/dpkg -o -path /var/log -o -path /root -o -path /var/lib/man-db \) -prune \
    -o -print | LC_ALL=C sort
}
packages() { in_root dpkg-query -W -f '${Package}\n' | LC_ALL=C sort; }
snapshot >"$work/before"
packages >"$work/packages-before"

cp "$deb" "$gtk_deb" "$root/tmp/"
step "apt-get install ./$(basename "$deb")" in_root apt-get install -y -q "/tmp/$(basename "$deb")"
in_root dpkg -L jobwick >"$work/files" || fail "dpkg -L jobwick"
gui="$(in_root dpkg-query -W -f '${Package}\n' | grep -E '^(libgtk|libgdk|libwayland|libx11-6)' || true)"
[ -z "$gui" ] || fail "jobwick brought in GUI libraries: $(tr '\n' ' ' <<<"$gui")"

# The installed command, as a user runs it: no variable tells it where the
# bundles are.
run_user() { chroot "$root" env -i HOME=/root PATH=/usr/bin:/bin LANG=C.UTF-8 CUPS_SERVER="$server" "$@"; }
expect_output() {
  local name="$1" want="$2"
  shift 2
  say "$name"
  echo "== $name" >>"$log"
  local out
  out="$("$@" 2>&1)" || { echo "$out" >>"$log"; fail "$name"; }
  echo "$out" >>"$log"
  grep -qF -- "$want" <<<"$out" || fail "$name: no \"$want\" in its output"
}

# A private scheduler on a free loopback port, outside the root (the root
# shares the network): one file: queue for the sample vk7300 printer.
port="$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
server="127.0.0.1:$port"
cups="$work/cups"
mkdir -p "$cups/etc/ppd" "$cups/spool/tmp" "$cups/cache" "$cups/state" "$cups/log" "$cups/data"
# The scheduler's data with the root's model folder, where the package put
# the drivers (the system's sample drivers left out: they take long to list).
for entry in /usr/share/cups/*; do
  case "$(basename "$entry")" in model | drv) ;; *) ln -s "$entry" "$cups/data/" ;; esac
done
ln -s "$root/usr/share/cups/model" "$cups/data/model"
cat >"$cups/etc/cupsd.conf" <<EOF
Listen 127.0.0.1:$port
Browsing No
DefaultAuthType None
WebInterface No
LogLevel info
<Location />
  Order allow,deny
  Allow from 127.0.0.1
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
EOF
cat >"$cups/etc/cups-files.conf" <<EOF
ServerRoot $cups/etc
RequestRoot $cups/spool
TempDir $cups/spool/tmp
CacheDir $cups/cache
StateDir $cups/state
AccessLog $cups/log/access_log
ErrorLog $cups/log/error_log
PageLog $cups/log/page_log
FileDevice Yes
Sandboxing Relaxed
DataDir $cups/data
EOF
timeout -k 5 600 /usr/sbin/cupsd -f -c "$cups/etc/cupsd.conf" -s "$cups/etc/cups-files.conf" &
cupsd_pid=$!
for _ in $(seq 100); do
  CUPS_SERVER="$server" lpstat -r >/dev/null 2>&1 && break
  sleep 0.1
done
CUPS_SERVER="$server" lpstat -r >>"$log" 2>&1 || fail "private cupsd on $server did not start"
expect_output "lpinfo -m lists the drivers" "jobwick/vk7300.ppd Quivo VK-7300" \
  env CUPS_SERVER="$server" lpinfo -m
expect_output "lpinfo --device-id finds the vk410e driver" "jobwick/vk410e.ppd" \
  env CUPS_SERVER="$server" lpinfo --device-id "MFG:Quivo;MDL:VK-410E;" -m
step "lpadmin -p Office_MFP -m jobwick/vk7300.ppd" env CUPS_SERVER="$server" lpadmin -p Office_MFP -E \
  -v "file://$cups/office.prn" -m jobwick/vk7300.ppd

expect_output "jobwick --help" "Usage: jobwick" run_user jobwick --help
expect_output "jobwick info vk7300" "/usr/lib/jobwick/bundles" run_user jobwick info vk7300
expect_output "jobwick queues" "Office_MFP" run_user jobwick queues
expect_output "jobwick print --dry-run" "nothing sent to queue Office_MFP" run_user jobwick print \
  /usr/share/doc/jobwick/README.md --printer Office_MFP --dry-run
expect_output "jobwick print" "Office_MFP-" run_user jobwick print /usr/share/doc/jobwick/README.md \
  --printer Office_MFP --session /usr/share/doc/jobwick/examples/sessions/vk7300-retention.json
expect_output "man -w jobwick" "/usr/share/man/man1/jobwick.1" run_user man -w jobwick
expect_output "man jobwick" "jobwick" run_user man -P cat jobwick
step "apt-get install ./$(basename "$gtk_deb")" in_root apt-get install -y -q "/tmp/$(basename "$gtk_deb")"
in_root dpkg -L jobwick-gtk >>"$work/files" || fail "dpkg -L jobwick-gtk"
expect_output "jobwick dialog --help" "Usage: jobwick dialog" run_user jobwick dialog --help
expect_output "man -w jobwick-dialog" "/usr/share/man/man1/jobwick-dialog.1" run_user man -w jobwick-dialog

# Removal: the package and everything apt brought for it go, and the root
# holds what it held before (the preference records of the user who
# printed, under /root, are the user's and stay).
step "apt-get purge jobwick jobwick-gtk" in_root apt-get purge -y -q jobwick jobwick-gtk
step "apt-get autoremove --purge" in_root apt-get autoremove --purge -y -q
left=()
while read -r file; do
  [ "$file" = /. ] && continue
  grep -qxF -- "$file" "$work/before" && continue
  [ -e "$root$file" ] || [ -L "$root$file" ] && left+=("$file")
done <"$work/files"
[ ${#left[@]} -eq 0 ] || fail "left behind after purge: ${left[*]}"
snapshot >"$work/after"
named="$(comm -13 "$work/before" "$work/after" | grep -i jobwick || true)"
[ -z "$named" ] || fail "left behind after purge: $named"
# Every package apt brought in for jobwick goes with autoremove, except those
# apt keeps on purpose because a package of the base system recommends them
# (apt itself recommends ca-certificates, which libcurl brings), and what
# those depend on.
packages >"$work/packages-after"
comm -13 "$work/packages-before" "$work/packages-after" >"$work/kept"
: >"$work/allowed"
for package in $(cat "$work/kept"); do
  recommended_by="$(in_root apt-cache rdepends --installed --no-depends --no-suggests --no-conflicts \
    --no-breaks --no-replaces --no-enhances "$package" | tail -n +3 | tr -d ' |' |
    LC_ALL=C sort | comm -12 - "$work/packages-before" | tr '\n' ' ')"
  if [ -n "$recommended_by" ]; then
    echo "$package" >>"$work/allowed"
    say "kept by apt: $package (recommended by the base system's $recommended_by)"
  fi
done
while :; do
  LC_ALL=C sort -u -o "$work/allowed" "$work/allowed"
  before_count="$(wc -l <"$work/allowed")"
  for package in $(cat "$work/allowed"); do
    in_root apt-cache depends --installed --no-recommends --no-suggests --no-conflicts --no-breaks \
      --no-replaces --no-enhances "$package" | awk '/Depends:/ { print $2 }' | tr -d '<>' |
      grep -xFf "$work/kept" >>"$work/allowed" || true
  done
  LC_ALL=C sort -u -o "$work/allowed" "$work/allowed"
  [ "$(wc -l <"$work/allowed")" -eq "$before_count" ] && break
done
stray="$(comm -23 "$work/kept" "$work/allowed" | tr '\n' ' ')"
[ -z "$stray" ] || fail "packages brought in for jobwick are still installed: $stray"
if [ -s "$work/allowed" ]; then say "kept by apt in all: $(tr '\n' ' ' <"$work/allowed")"; fi
# What else differs is the maintainer scripts' own doing (certificate links,
# systemd's state folders), listed in the log.
comm -13 "$work/before" "$work/after" >"$work/diff"
echo "== paths left by the dependencies' maintainer scripts or kept packages" >>"$log"
cat "$work/diff" >>"$log"
say "ok: installed, ran, removed cleanly ($(wc -l <"$work/diff") paths of kept packages and of the dependencies' maintainer scripts remain, listed in the log)"
