#!/usr/bin/env bash
# Builds and runs the extraction benchmark under Wine (not part of the tests: timings vary).
#   scripts/bench.sh [runs]
set -euo pipefail
source "$(dirname "$0")/common.sh"

build_all -DBUILD_TESTING=OFF
cmake --build "$BUILD_DIR" --target ExtractionBenchmark
prepare_prefix win10
# The benchmark and the Wine server are pinned to the same core. Under Wine every file-system call
# (create, close, the first write to a handle) and every registry call is a round trip to the
# server; with the server on another core of this virtual machine, each round trip waits for that
# idle core to wake up (about 0.1 ms, and it varies widely), a cost Windows does not have, since there
# the call runs in the caller's own thread. On one core a round trip is a plain context switch.
# The bare decode makes no such calls, so it runs alike either way.
pin=()
if command -v taskset >/dev/null && [ "$(nproc)" -gt 1 ]; then
  pin=(taskset -c "$(($(nproc) - 1))")
fi
"${pin[@]}" wineserver -p
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
"${pin[@]}" wine "$BUILD_DIR/bin/ExtractionBenchmark.exe" "${1:-11}" >/dev/null
