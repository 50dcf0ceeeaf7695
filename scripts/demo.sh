#!/usr/bin/env bash
# Installs what is missing, builds Jobwick, and runs the main job on the
# bundled sample printers: each plug-in bundle is loaded by the jobwick host
# and says what it is.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build
jobwick=build/host/jobwick
prefs=$(mktemp -d)
trap 'rm -rf "$prefs"' EXIT

for model in vk7300 vk410e; do
  echo "== $model"
  "$jobwick" info "$model" --ppd "examples/ppd/$model.ppd" \
    --printer-id "Sample_${model}" --device-uri "ipp://127.0.0.1:631/ipp/print" \
    --prefs-dir "$prefs"
done
