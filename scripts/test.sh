#!/usr/bin/env bash
# Builds everything and runs every test binary under Wine.
#   scripts/test.sh [--windows-version VERSION]... [--run ARCH/VERSION]...
# VERSION is the Windows version Wine reports (win10, win7, winxp, win2k, nt40); ARCH is the
# prefix's architecture, win64 (a 32-bit program under WOW64, as on 64-bit Windows) or win32.
# --windows-version V is short for --run win64/V. The whole suite runs once per configuration
# given; default: win64/win10.
set -euo pipefail
source "$(dirname "$0")/common.sh"

configurations=()
while [ $# -gt 0 ]; do
  case "$1" in
    --windows-version) configurations+=("win64/$2"); shift 2 ;;
    --windows-version=*) configurations+=("win64/${1#*=}"); shift ;;
    --run) configurations+=("$2"); shift 2 ;;
    --run=*) configurations+=("${1#*=}"); shift ;;
    *) echo "usage: $0 [--windows-version VERSION]... [--run ARCH/VERSION]..." >&2; exit 2 ;;
  esac
done
[ ${#configurations[@]} -gt 0 ] || configurations=(win64/win10)

build_all -DBUILD_TESTING=ON

status=0
for configuration in "${configurations[@]}"; do
  arch=${configuration%%/*}
  version=${configuration#*/}
  echo "=== Tests on a $arch prefix with Windows version $version ==="
  use_prefix "$arch"
  prepare_prefix "$version"
  start_wine_session
  (cd "$BUILD_DIR" && ctest --output-on-failure --timeout 600) || status=1
  stop_wine_session
done
exit $status
