#!/usr/bin/env bash
# Reads the shortcuts of an installed site back with an independent parser of the shell-link
# format (lnkinfo) and checks their target, arguments, working directory, description and icon.
#   shortcut-links.sh <path of KvSshServer-Inst.exe>
set -uo pipefail
installer=$1
site="e2e-links"
display="Korvane SSH Server - $site"
failures=0

windows_folder() { wine cmd /c "echo $1" 2>/dev/null | tr -d '\r'; }
unix_path() { winepath -u "$1" 2>/dev/null; }

program_files=$(windows_folder '%ProgramFiles%')
install_dir="$program_files\\$display"
start_menu="$(windows_folder '%APPDATA%')\\Microsoft\\Windows\\Start Menu\\Programs\\$display"
admin_tools="$(windows_folder '%ProgramData%')\\Microsoft\\Windows\\Start Menu\\Programs\\Administrative Tools"

cleanup() {
  rm -rf "$(unix_path "$install_dir")" "$(unix_path "$start_menu")"
  rm -f "$(unix_path "$admin_tools\\$display Control Panel.lnk")"
}
cleanup
trap cleanup EXIT

wine "$installer" "-site=$site" -acceptEULA -noRollback >/dev/null 2>&1

expect_field() {
  local info=$1 field=$2 expected=$3
  local actual
  actual=$(printf '%s\n' "$info" | sed -n "s/^\t$field[[:space:]]*: //p" | head -n1)
  if [ "$actual" != "$expected" ]; then
    echo "FAIL: $field: expected [$expected], got [$actual]"
    failures=$((failures + 1))
  fi
}

check_link() {
  local link=$1 target=$2 arguments=$3 description=$4
  local file
  file=$(unix_path "$link")
  if [ ! -f "$file" ]; then
    echo "FAIL: missing shortcut $link"
    failures=$((failures + 1))
    return
  fi
  local info
  info=$(lnkinfo "$file")
  expect_field "$info" "Local path" "$target"
  expect_field "$info" "Description" "$description"
  expect_field "$info" "Working directory" "$install_dir"
  expect_field "$info" "Command line arguments" "$arguments"
  expect_field "$info" "Icon location" "$target"
}

check_link "$start_menu\\$display Control Panel.lnk" "$install_dir\\KssCtrl.exe" "" \
  "Korvane $display 5.59 Control Panel"
check_link "$start_menu\\Uninstall $display.lnk" "$install_dir\\uninst.exe" "\"$display\"" \
  "Uninstall Korvane SSH Server 5.59"
check_link "$admin_tools\\$display Control Panel.lnk" "$install_dir\\KssCtrl.exe" "" \
  "Korvane SSH Server 5.59 Control Panel"

if [ "$failures" -eq 0 ]; then
  echo "All shortcut fields read back as written."
  exit 0
fi
echo "$failures checks failed"
exit 1
