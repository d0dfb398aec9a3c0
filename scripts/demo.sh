#!/usr/bin/env bash
# Builds the installer and runs it under Wine: its usage text, then an unattended install of
# the demo payload as the site "demo", and a listing of what the install left on the machine.
set -euo pipefail
source "$(dirname "$0")/common.sh"

build_all -DBUILD_TESTING=OFF
prepare_prefix win10
installer="$BUILD_DIR/bin/KvSshServer-Inst.exe"
site_dir="$WINEPREFIX/drive_c/Program Files (x86)/Korvane SSH Server - demo"
start_menu="$WINEPREFIX/drive_c/users/$(whoami)/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Korvane SSH Server - demo"
admin_link="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Administrative Tools/Korvane SSH Server - demo Control Panel.lnk"
rm -rf "$site_dir" "$start_menu" "$admin_link"

run() {
  echo "\$ KvSshServer-Inst.exe $*"
  local status=0
  wine "$installer" "$@" || status=$?
  echo "(exit code $status)"
  echo
}

run -?
# The registration of the service is the next phase to be built; the run ends there, and
# -noRollback keeps what the install operations made so far.
run -site=demo -acceptEULA -noRollback

echo "Installed into C:\\Program Files (x86)\\Korvane SSH Server - demo:"
(cd "$site_dir" && find . -type f | sort | sed 's|^\./|  |')
echo "Shortcuts:"
find "$start_menu" "$admin_link" -name '*.lnk' 2>/dev/null | sed "s|^$WINEPREFIX/drive_c/|  C:/|"
wineserver -k >/dev/null 2>&1 || true
