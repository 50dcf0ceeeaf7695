#!/usr/bin/env bash
# Builds the benchmarks Release (no tests, no sanitizers) and runs them: the
# medians of the panel's costly paths and the ratio checks, then jobwick
# beside its peers (print against lp, queues against lpstat -v, a print with
# a large folder cache, the memory of a large folder fetch) on a private
# CUPS scheduler that bench/peers.py starts and stops (with the print dialog
# against GTK's own print dialog alone, on the Xvfb below), then the GTK
# view's figures (tab built and restored, a keystroke's round trip) on an
# Xvfb this script starts on a free display and stops. Every figure is CPU time (of
# the thread, or of the child process) with its spread. Fails when a check
# fails.
#
# Usage: scripts/bench.sh [--quick]
#   JOBWICK_BENCH_BUILD_DIR  build folder (default build-bench)
set -euo pipefail
cd "$(dirname "$0")/.."

dir="${JOBWICK_BENCH_BUILD_DIR:-build-bench}"
if command -v ccache >/dev/null 2>&1; then
  export CMAKE_CXX_COMPILER_LAUNCHER="${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}"
  export CMAKE_C_COMPILER_LAUNCHER="${CMAKE_C_COMPILER_LAUNCHER:-ccache}"
fi
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DJOBWICK_SANITIZE=OFF \
  -DJOBWICK_TESTS=OFF -DJOBWICK_WERROR=ON >/dev/null
cmake --build "$dir" -j"$(nproc)" --target jobwick_bench jobwick_gtk_bench jobwick \
  JobwickVk7300 JobwickVk410e jobwick_http jobwick_xml jobwick_unicode jobwick-dialog plain_print_dialog
status=0
"$dir/bench/jobwick_bench" "$@" || status=$?

# The dialogs and the GTK figures: Xvfb picks a free display itself
# (-displayfd), lives at most half an hour (peers.py's rounds come first)
# and is stopped by its PID.
displayfile="$(mktemp)"
timeout 1800 Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$displayfile" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do
  [ -s "$displayfile" ] && break
  sleep 0.1
done
display="$(head -n1 "$displayfile")"
rm -f "$displayfile"
if [ -z "$display" ]; then
  echo "bench.sh: Xvfb did not start" >&2
  kill "$xvfb" 2>/dev/null || true
  exit 2
fi
DISPLAY=":$display" python3 bench/peers.py "$dir" "$@" || {
  code=$?
  [ "$status" -eq 0 ] && status=$code
}
DISPLAY=":$display" GDK_BACKEND=x11 GSK_RENDERER=cairo NO_AT_BRIDGE=1 \
  DBUS_SESSION_BUS_ADDRESS=disabled: "$dir/bench/jobwick_gtk_bench" "$@" || {
  code=$?
  [ "$status" -eq 0 ] && status=$code
}
kill "$xvfb" 2>/dev/null || true
wait "$xvfb" 2>/dev/null || true
exit "$status"
