#!/usr/bin/env bash
# Installs what is missing, builds Jobwick, and runs the main job: a print
# dialog session on the bundled sample printer (examples/sessions/demo.json),
# with the printer simulator answering the panel's folder-list request, then
# the job ticket the panel wrote, as stored and explained in words.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build
jobwick=build/host/jobwick

work=$(mktemp -d)
simulator=
cleanup() {
  if [ -n "$simulator" ]; then
    kill "$simulator" 2>/dev/null || true
    wait "$simulator" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# The printer's folder service, on a free loopback port.
python3 tests/tools/printer_simulator.py --port 0 --lifetime 300 \
  --folder Sales --locked-folder Board --folder "Design Team" >"$work/simulator.out" &
simulator=$!
port=
for _ in $(seq 100); do
  port=$(sed -n 's/^PORT //p' "$work/simulator.out")
  [ -n "$port" ] && break
  sleep 0.1
done
if [ -z "$port" ]; then
  echo "demo: the printer simulator did not start" >&2
  exit 1
fi

echo "== A print dialog session on the sample printer (the printer answers on 127.0.0.1:$port)"
"$jobwick" session examples/sessions/demo.json --var PRINTER="127.0.0.1:$port" \
  --prefs-dir "$work/prefs" --save-settings "$work/ticket.json"
echo
echo "== The job ticket in words"
"$jobwick" ticket show "$work/ticket.json"
echo
echo "== What the panel remembers for the printer"
"$jobwick" prefs show Sample_vk7300 --prefs-dir "$work/prefs"
