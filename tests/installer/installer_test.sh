#!/usr/bin/env bash
# Installs the plug-in silently into a fresh Wine prefix of its own, creates it through COM from
# a separate process, and uninstalls it: what the installer added goes, the user's setting stays.
# Usage: installer_test.sh SOURCE_DIR BIN_DIR PREFIX
set -euo pipefail
root=$1
bin=$2
prefix=$3

export WINEPREFIX=$prefix
win() { "$root/scripts/wine-exec" "$prefix" "$@"; }
fail() { echo "FAILED: $*"; exit 1; }
has_key() { win reg query "$1" >/dev/null 2>&1; }
# A value's data as reg prints it; the name "(Default)" stands for the key's default value.
value_of() {
  local which=(/v "$2")
  [ "$2" = "(Default)" ] && which=(/ve)
  win reg query "$1" "${which[@]}" 2>/dev/null | tr -d '\r' |
    awk -v name="$2" '$1 == name { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'
}

clsid='{CC1F686D-E680-4392-8126-95060ED5222D}'
class_key="HKLM\\Software\\Classes\\CLSID\\$clsid"
plugin_key="HKLM\\Software\\Microsoft\\MediaPlayer\\UIPlugins\\$clsid"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\VireoPlugin'
setting_key='HKCU\Software\Tessaline\Vireo Decoder'
install_dir="$prefix/drive_c/Program Files/Tessaline/Vireo Plugin"

rm -rf "$prefix" "$prefix.lock"
win >/dev/null

echo "installing"
win "$bin/VireoPluginSetup.exe" /S >/dev/null 2>&1 || fail "the installer exited with $?"
[ -f "$install_dir/VIREOPLUGIN.DLL" ] || fail "VIREOPLUGIN.DLL is not in Program Files"
[ -f "$install_dir/Uninstall.exe" ] || fail "no uninstaller"
[ "$(value_of "$class_key\\InprocServer32" '(Default)')" = 'C:\Program Files\Tessaline\Vireo Plugin\VIREOPLUGIN.DLL' ] \
  || fail "InprocServer32 does not name the installed DLL"
[ "$(value_of "$class_key\\InprocServer32" ThreadingModel)" = "Apartment" ] || fail "ThreadingModel"
[ "$(value_of "$plugin_key" FriendlyName)" = "Vireo Plugin" ] || fail "FriendlyName"
[ "$(value_of "$plugin_key" Description)" = "Description of Vireo Plugin." ] || fail "Description"
[ "$(value_of "$plugin_key" Capabilities)" = "0x80000001" ] || fail "Capabilities: $(value_of "$plugin_key" Capabilities)"
value_of "$plugin_key" UninstallPath | grep -q 'Uninstall.exe' || fail "UninstallPath"
has_key "$uninstall_key" || fail "no Add/Remove Programs entry"

echo "creating the class by its id from another process"
mkdir -p "$prefix/drive_c/hostcheck"
cp "$bin/vireohost.exe" "$prefix/drive_c/hostcheck/"
output=$(cd "$prefix/drive_c/hostcheck" && win 'C:\hostcheck\vireohost.exe' properties --snapshot check.bmp 2>&1 | tr -d '\r') \
  || { echo "$output"; fail "the host could not use the installed plug-in"; }
echo "$output" | grep -q '^CoCreateInstance: 0x00000000$' || { echo "$output"; fail "CoCreateInstance"; }
echo "$output" | grep -q '^DisplayPropertyPage: 0x00000000$' || { echo "$output"; fail "DisplayPropertyPage"; }
[ ! -e "$prefix/drive_c/hostcheck/VIREOPLUGIN.DLL" ] || fail "the host must not find a DLL beside itself"

echo "uninstalling"
win reg add "$setting_key" /v REALTIME /t REG_DWORD /d 0 /f >/dev/null 2>&1
win "$install_dir/Uninstall.exe" /S >/dev/null 2>&1 || fail "the uninstaller exited with $?"
# The uninstaller runs on from a copy of itself; wait for every process of the prefix.
wineserver -w
has_key "$class_key" && fail "the class key is still there"
has_key "$plugin_key" && fail "the player's plug-in entry is still there"
has_key "$uninstall_key" && fail "the Add/Remove Programs entry is still there"
[ -e "$prefix/drive_c/Program Files/Tessaline" ] && fail "files are left in Program Files"
[ "$(value_of "$setting_key" REALTIME)" = "0x0" ] || fail "the user's setting was touched"
wineserver -k 2>/dev/null || true
echo "installer: 1 passed, 0 failed"
