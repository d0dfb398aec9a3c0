#!/usr/bin/env bash
# Builds and runs the extraction benchmark under Wine (not part of the tests: timings vary).
#   scripts/bench.sh [runs]
set -euo pipefail
source "$(dirname "$0")/common.sh"

build_all -DBUILD_TESTING=OFF
cmake --build "$BUILD_DIR" --target ExtractionBenchmark
prepare_prefix win10
wineserver -p
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
# The benchmark is pinned to one core, the same for the bare decode and the extraction, so that
# neither is moved between cores mid-measurement; the Wine server keeps the other cores.
pin=()
if command -v taskset >/dev/null && [ "$(nproc)" -gt 1 ]; then
  pin=(taskset -c "$(($(nproc) - 1))")
fi
"${pin[@]}" wine "$BUILD_DIR/bin/ExtractionBenchmark.exe" "${1:-11}" >/dev/null
