# Shared by the README commands: paths, Wine environment, build and prefix set-up.
# Sourced, not run.

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$ROOT/build}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

# Selects the prefix of an architecture: win64 (build/wineprefix) or win32 (build/wineprefix32).
use_prefix() {
  export WINEARCH=$1
  if [ "$1" = win32 ]; then
    export WINEPREFIX=$BUILD_DIR/wineprefix32
  else
    export WINEPREFIX=$BUILD_DIR/wineprefix
  fi
}
use_prefix win64

build_all() {
  bash "$ROOT/scripts/install-deps.sh"
  cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" "$@" >/dev/null
  cmake --build "$BUILD_DIR" -j"$(nproc)"
}

# Creates the prefix once; selects the Windows version Wine reports and, without an X server,
# the null display driver.
prepare_prefix() {
  local version=$1
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating Wine prefix $WINEPREFIX"
    wineboot -i >/dev/null 2>&1
    wineserver -w
  fi
  wine reg add 'HKCU\Software\Wine' /v Version /d "$version" /f >/dev/null 2>&1
  if [ -z "${DISPLAY:-}" ]; then
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  else
    wine reg delete 'HKCU\Software\Wine\Drivers' /v Graphics /f >/dev/null 2>&1 || true
  fi
  wineserver -w
}

# A persistent wineserver, and one process holding a hidden window so that the Wine desktop
# stays up between the processes of a run.
start_wine_session() {
  wineserver -p
  wine "$BUILD_DIR/bin/HoldDesktop.exe" >/dev/null 2>&1 &
  trap stop_wine_session EXIT
}

stop_wine_session() {
  wineserver -k >/dev/null 2>&1 || true
}
