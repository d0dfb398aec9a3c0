#!/usr/bin/env bash
# Builds everything and runs every test binary under Wine.
#   scripts/test.sh [--windows-version VERSION]...
# VERSION is the Windows version Wine reports (win10, win7, winxp, win2k, nt40); the whole
# suite runs once per version given. Default: win10.
set -euo pipefail
source "$(dirname "$0")/common.sh"

versions=()
while [ $# -gt 0 ]; do
  case "$1" in
    --windows-version) versions+=("$2"); shift 2 ;;
    --windows-version=*) versions+=("${1#*=}"); shift ;;
    *) echo "usage: $0 [--windows-version VERSION]..." >&2; exit 2 ;;
  esac
done
[ ${#versions[@]} -gt 0 ] || versions=(win10)

build_all -DBUILD_TESTING=ON

status=0
for version in "${versions[@]}"; do
  echo "=== Tests with Windows version $version ==="
  prepare_prefix "$version"
  start_wine_session
  (cd "$BUILD_DIR" && ctest --output-on-failure --timeout 600) || status=1
  stop_wine_session
done
exit $status
