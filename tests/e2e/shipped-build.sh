#!/usr/bin/env bash
# The shipped installer carries no trace of the test seams that the test build has: no
# environment variable names of the seams and no symbols of the fault injection.
#   shipped-build.sh <shipped installer> <test-build installer>
set -uo pipefail
shipped=$1
test_build=$2
traces='KV_FAULTS|KV_PAYLOAD_FILE|KV_MESSAGEBOX_LOG|KV_MESSAGEBOX_ANSWERS|FaultSeam'
failures=0

found_in_test=$(i686-w64-mingw32-strings -a "$test_build" | grep -cE "$traces")
if [ "$found_in_test" -eq 0 ]; then
  echo "FAIL: the test build shows no test seam, so this check would see none either"
  failures=$((failures + 1))
fi
found_in_shipped=$(i686-w64-mingw32-strings -a "$shipped" | grep -E "$traces")
if [ -n "$found_in_shipped" ]; then
  echo "FAIL: the shipped installer contains: $found_in_shipped"
  failures=$((failures + 1))
fi
if i686-w64-mingw32-objdump -t "$shipped" 2>/dev/null | grep -q 'FaultSeam'; then
  echo "FAIL: the shipped installer has fault-injection symbols"
  failures=$((failures + 1))
fi
if [ "$failures" -eq 0 ]; then
  echo "The shipped installer carries none of the test seams."
  exit 0
fi
exit 1
