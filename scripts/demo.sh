#!/usr/bin/env bash
# Builds the installer and runs it under Wine: shows its usage text and its exit code.
set -euo pipefail
source "$(dirname "$0")/common.sh"

build_all -DBUILD_TESTING=OFF
prepare_prefix win10

echo "\$ KvSshServer-Inst.exe -?"
status=0
wine "$BUILD_DIR/bin/KvSshServer-Inst.exe" -? || status=$?
echo "exit code: $status"
wineserver -k >/dev/null 2>&1 || true
