#!/usr/bin/env bash
# Prints how many ctest tests to run at once: twice the cores, since most
# device tests spend their time waiting on a printer simulator's answers
# rather than computing.
set -euo pipefail
echo $(($(nproc) * 2))
