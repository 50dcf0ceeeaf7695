#!/usr/bin/env bash
# Makes the README's pictures (docs/images/): the GTK print dialog with the
# panel's tab showing, for the vk7300 and the vk410e, in English and in
# Japanese, each with the sample job ticket of its model restored; and the
# panel alone after a sample session of each model; the agent's window for a
# held job.
#
#   scripts/screenshots.sh [BUILD_DIR]      (default: build)
#
# Runs on an Xvfb (1366x768) and a CUPS scheduler of its own on the loopback
# (queues with file: devices, so nothing is printed); both are stopped at
# the end.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
dialog="$build/gtk/jobwick-dialog"
[ -x "$dialog" ] || { echo "screenshots: no $dialog (build it first: scripts/build.sh $build)" >&2; exit 2; }
[ -x /usr/sbin/cupsd ] || { echo "screenshots: needs cupsd (scripts/install-deps.sh)" >&2; exit 2; }

work="$(mktemp -d)"
xvfb_pid=""
cupsd_pid=""
cleanup() {
  [ -n "$cupsd_pid" ] && kill "$cupsd_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

timeout 600 Xvfb -displayfd 3 -screen 0 1366x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "screenshots: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")" GDK_BACKEND=x11 GSK_RENDERER=cairo GDK_DEBUG=gl-disable
unset WAYLAND_DISPLAY

port="$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
cups="$work/cups"
mkdir -p "$cups/etc/ppd" "$cups/spool/tmp" "$cups/cache" "$cups/state" "$cups/log"
cat >"$cups/etc/cupsd.conf" <<CONF
Listen 127.0.0.1:$port
Browsing No
WebInterface No
DefaultAuthType None
<Location />
  Order allow,deny
  Allow 127.0.0.1
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
CONF
cat >"$cups/etc/cups-files.conf" <<CONF
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
SystemGroup root
CONF
timeout -k 5 600 /usr/sbin/cupsd -f -c "$cups/etc/cupsd.conf" -s "$cups/etc/cups-files.conf" &
cupsd_pid=$!
export CUPS_SERVER="127.0.0.1:$port"
for _ in $(seq 100); do lpstat -r >/dev/null 2>&1 && break; sleep 0.1; done
lpstat -r >/dev/null 2>&1 || { echo "screenshots: the private cupsd did not start" >&2; exit 1; }
for model in vk7300 vk410e; do
  lpadmin -p "Office_${model}" -E -v "file://$cups/${model}.prn" -P "examples/ppd/${model}.ppd"
done

printf '%%!PS\nshowpage\n' >"$work/letter.ps"
mkdir -p docs/images
for model in vk7300 vk410e; do
  for language in en ja; do
    out="docs/images/${model}-dialog-${language}.png"
    rm -f "$out"
    # Drawn, then cancelled: exit status 1 ("nothing was printed").
    "$dialog" "$work/letter.ps" --printer "Office_${model}" --language "$language" \
      --settings "examples/tickets/${model}-full.json" --prefs-dir "$work/prefs" \
      --screenshot "$out" 2>"$work/stderr" || true
    [ -s "$out" ] || { cat "$work/stderr" >&2; echo "screenshots: $out was not made" >&2; exit 1; }
    echo "$out"
  done
done
"$dialog" --script examples/sessions/vk7300-retention.json --prefs-dir "$work/prefs" \
  --screenshot docs/images/vk7300-panel.png >/dev/null
"$dialog" --script examples/sessions/vk410e-panel.json --prefs-dir "$work/prefs" \
  --screenshot docs/images/vk410e-panel.png >/dev/null
echo docs/images/vk7300-panel.png docs/images/vk410e-panel.png

# The agent's window for a job sent with plain lp to a queue that holds
# every job, drawn, then the job cancelled.
lpadmin -p Office_vk7300 -o job-hold-until-default=indefinite
lp -d Office_vk7300 -t "Quarterly report.pdf" "$work/letter.ps" >/dev/null
out=docs/images/agent-vk7300.png
rm -f "$out"
XDG_RUNTIME_DIR="$work" DBUS_SYSTEM_BUS_ADDRESS=disabled: \
  "$dialog" agent --jobs 1 --prefs-dir "$work/prefs" --screenshot "$out" --cancel \
  >/dev/null 2>"$work/stderr" || true
[ -s "$out" ] || { cat "$work/stderr" >&2; echo "screenshots: $out was not made" >&2; exit 1; }
echo "$out"
