#!/usr/bin/env bash
# Compiles the product's sources and the tests with GCC and the flags of the
# main build (scripts/build.sh: RelWithDebInfo, warnings as errors) as far
# as its front end goes (-fsyntax-only), and fails, with GCC's messages,
# when one does not compile or warns. The test build is made with clang;
# this keeps the system compiler's build, the one users and packagers make
# (tests included: they are on by default), checked at a fraction of a full
# build's cost.
# The host's rooms are configured with JOBWICK_HOST_ONE_BATCH: each room
# compiles as one unity batch, and every host source once more as a single
# translation unit, which proves that no two files define the same
# file-local name (adding a file can then never break the host's build).
# Usage: scripts/check-gcc.sh [BUILD_DIR]   (default build-gcc-check)
#   JOBWICK_GCC_CHECK_JOBS  compilers run at once (default: the cores)
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build-gcc-check}"
jobs="${JOBWICK_GCC_CHECK_JOBS:-$(nproc)}"

# Configuring writes compile_commands.json (and the unity sources it names).
# The one thing the sources include that the build writes is the Mac
# encodings' tables (platform/mac_tables.cpp): that target is built first.
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DJOBWICK_TESTS=ON \
  -DJOBWICK_WERROR=ON -DJOBWICK_HOST_ONE_BATCH=ON -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ \
  -DCMAKE_C_COMPILER_LAUNCHER= -DCMAKE_CXX_COMPILER_LAUNCHER= >/dev/null
cmake --build "$dir" --target jobwick_mac_tables >/dev/null

python3 - "$dir/compile_commands.json" "$jobs" <<'PY'
import concurrent.futures, json, re, shlex, subprocess, sys

# Everything built per model (the shared objects, the tests of them, their
# harness, the fuzz entries) differs between the models only in the class
# prefix the names are made with: of the vk410e targets only its profile is
# checked.
def kept(entry):
    return (re.search(r"/[^/ ]*vk410e\.dir/", entry["command"]) is None
            or entry["file"].endswith("/pde/models/vk410e.cpp"))

# The biggest translation units (the tests' unity sources) go first, so that
# the last compilers to finish are the short ones.
def size(entry):
    return -sum(1 for _ in open(entry["file"])) if "/Unity/" in entry["file"] else 0

entries = sorted(filter(kept, json.load(open(sys.argv[1]))), key=size)

def check(entry):
    args = shlex.split(entry["command"])
    kept, skip = [], False
    for a in args:
        if skip:
            skip = False
        elif a in ("-o", "-MF", "-MT"):
            skip = True
        elif a != "-MD":
            kept.append(a)
    run = subprocess.run(kept + ["-fsyntax-only"], cwd=entry["directory"],
                         capture_output=True, text=True)
    return entry["file"], run.returncode, run.stdout + run.stderr

failed = 0
with concurrent.futures.ThreadPoolExecutor(int(sys.argv[2])) as pool:
    for name, code, output in pool.map(check, entries):
        if code != 0 or output.strip():
            failed += 1
            print(f"check-gcc: {name}", file=sys.stderr)
            print(output, file=sys.stderr, end="")
if failed:
    print(f"check-gcc: {failed} of {len(entries)} sources do not compile cleanly with GCC",
          file=sys.stderr)
    sys.exit(1)
print(f"check-gcc: {len(entries)} sources compile cleanly with GCC")
PY
