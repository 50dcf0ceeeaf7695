#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer with LeakSanitizer,
# UndefinedBehaviorSanitizer) and runs each one for SECONDS (default 30),
# starting from its seeds (fuzz/corpus/<target>/) and kept crash inputs
# (fuzz/regressions/<target>/). A leak is a crash too, except those inside
# system libraries listed in fuzz/lsan.supp. New inputs stay in a scratch
# folder; a crash input is written to BUILD_DIR/fuzz-artifacts/<target>/
# and makes the script fail: fix the fault, then keep the input in
# fuzz/regressions/<target>/ so that the test run replays it.
#
# Usage: scripts/fuzz.sh [SECONDS] [TARGET...]
#        scripts/fuzz.sh --build-only [TARGET...]   (builds, runs nothing)
#   JOBWICK_FUZZ_BUILD_DIR  build folder (default build-fuzz, an optimised
#                           fuzzing build; a test build made with --fuzz works
#                           too, unoptimised)
#   JOBWICK_FUZZ_JOBS       build jobs (default: the number of cores)
#   JOBWICK_FUZZ_PARALLEL   targets fuzzed at once (default: the number of
#                           cores); each target still runs SECONDS
set -euo pipefail
cd "$(dirname "$0")/.."

build_only=no
if [ "${1:-}" = --build-only ]; then
  build_only=yes
  shift
  set -- 0 "$@"
fi
seconds="${1:-30}"
[ $# -gt 0 ] && shift
dir="${JOBWICK_FUZZ_BUILD_DIR:-build-fuzz}"
jobs="${JOBWICK_FUZZ_JOBS:-$(nproc)}"
parallel="${JOBWICK_FUZZ_PARALLEL:-$(nproc)}"
case "$parallel" in
  '' | *[!0-9]* | 0) echo "fuzz: JOBWICK_FUZZ_PARALLEL must be a positive number, not '$parallel'" >&2
    exit 2 ;;
esac

all=(base64_decode hex_decode ticket_reader answer_parser preference_loader interface_file
     ppd_model_flags settings_file session_script ticket_show)
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=("${all[@]}")

# A folder already configured for fuzzing (this script's own, or a test build
# made with scripts/build.sh --sanitize --fuzz) is built as it is configured.
if ! grep -qx 'JOBWICK_FUZZ:BOOL=ON' "$dir/CMakeCache.txt" 2>/dev/null; then
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE= -DCMAKE_CXX_FLAGS="-O1 -gline-tables-only" \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DJOBWICK_FUZZ=ON -DJOBWICK_TESTS=OFF -DJOBWICK_WERROR=ON >/dev/null
fi
cmake --build "$dir" -j"$jobs" --target "${targets[@]/#/fuzz_}"
[ "$build_only" = yes ] && exit 0

# libFuzzer's leak check after each input (-detect_leaks) runs an input again,
# and then scans the whole heap, whenever it allocated more than it freed.
# ppd_model_flags gives every input a fresh libcups PPD handle and
# controller: libcups keeps caches and leaks on a PPD that repeats its
# header (suppressed in fuzz/lsan.supp), so most inputs trip that count and
# the scans took three quarters of its time. For it, LeakSanitizer checks
# the whole process once, at exit, instead: a leak still fails the run,
# without an input of its own. A failed run's inputs are kept (see below),
# and a test build's fuzz_replay_vk7300 ppd_model_flags FILE... narrows them
# down.
per_input_leak_check() {
  case "$1" in
    ppd_model_flags) echo 0 ;;
    *) echo 1 ;;
  esac
}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# Fuzzes one target; its output goes to $scratch/$t.log, its verdict to
# $scratch/$t.status.
fuzz_one() {
  local t="$1"
  local artifacts="$dir/fuzz-artifacts/$t"
  mkdir -p "$artifacts" "$scratch/$t" "fuzz/regressions/$t"
  if ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1" \
      LSAN_OPTIONS="suppressions=$PWD/fuzz/lsan.supp:print_suppressions=0" \
      UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
      "$dir/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -max_len=65536 -detect_leaks="$(per_input_leak_check "$t")" -print_final_stats=1 \
      -artifact_prefix="$artifacts/" \
      "$scratch/$t" "fuzz/corpus/$t" "fuzz/regressions/$t" >"$scratch/$t.log" 2>&1; then
    echo ok >"$scratch/$t.status"
  else
    echo failed >"$scratch/$t.status"
    # The inputs of the failed run, for a fault found only at exit.
    rm -rf "$artifacts/inputs"
    cp -r "$scratch/$t" "$artifacts/inputs"
  fi
}

# Up to $parallel targets at once, reported in the order given.
for t in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$parallel" ]; do wait -n || true; done
  echo "== fuzz $t for ${seconds}s"
  fuzz_one "$t" &
done
wait

failed=()
for t in "${targets[@]}"; do
  echo "== $t"
  if [ "$(cat "$scratch/$t.status" 2>/dev/null)" != ok ]; then
    tail -n 60 "$scratch/$t.log"
    failed+=("$t")
  else
    grep -E '^(#[0-9]+ +DONE|stat::number_of_executed_units|Done )' "$scratch/$t.log" || true
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: crashes in ${failed[*]} (inputs in $dir/fuzz-artifacts/)" >&2
  exit 1
fi
echo "fuzz: ${#targets[@]} targets ran ${seconds}s each without a crash"
