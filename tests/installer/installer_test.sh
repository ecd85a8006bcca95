#!/usr/bin/env bash
# One package's round trip in a fresh Wine prefix of its own: the other package refuses to go over
# it; the class is created through COM from a separate process; the MSI repairs a deleted file; each
# package is upgraded by a newer version, not downgraded by an older one; the setup replaces and
# removes a DLL that a running player holds at the next restart (3010), and a second run installs
# where the first did; removal takes away all that was added and keeps the user's setting.
# Usage: installer_test.sh SOURCE_DIR BIN_DIR PREFIX setup|msi win32|win64 VERSION
set -euo pipefail
root=$1
bin=$2
prefix=$3
package=$4
export WINEARCH=$5 WINEPREFIX=$prefix
version=$6

win() { "$root/scripts/wine-exec" "$prefix" "$@"; }
fail() { echo "FAILED ($package, $WINEARCH): $*"; exit 1; }
# Registry queries look where a 32-bit program looks: the 32-bit view on 64-bit Windows.
query() { win reg query "$@" /reg:32 2>/dev/null | tr -d '\r'; }
has_key() { query "$1" >/dev/null; }
# A value's data as reg prints it; the name "(Default)" stands for the key's default value.
value_of() {
  local which=(/v "$2")
  [ "$2" = "(Default)" ] && which=(/ve)
  query "$1" "${which[@]}" | awk -v name="$2" '$1 == name { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'
}
# The versions of the Add/Remove Programs entries named "Vireo Plugin", one line each.
listed_versions() {
  query "$uninstall_root" /s | awk '/^HKEY/ { mine = 0 } /DisplayName +REG_SZ +Vireo Plugin$/ { mine = 1 }
    mine && $1 == "DisplayVersion" { print $3; mine = 0 }'
}
msiexec() { win msiexec "$@" /qn /l*v 'C:\msiexec.log'; }
# A grep that stops reading early would break its pipe and, with pipefail, fail a pipeline that
# found what it looked for: checks on piped output read all of it (grep >/dev/null, not grep -q).
# Actions of the last msiexec run, in the order they ran.
actions_run() { tr -d '\r' <"$prefix/drive_c/msiexec.log" | sed -n 's/^Action start [0-9:]*: \(.*\)\.$/\1/p'; }
in_order() { actions_run | grep -xF -e "$1" -e "$2" -e "$3" | uniq | paste -sd" " | grep -F "$1 $2 $3" >/dev/null; }

clsid='{CC1F686D-E680-4392-8126-95060ED5222D}'
class_key="HKLM\\Software\\Classes\\CLSID\\$clsid"
plugin_key="HKLM\\Software\\Microsoft\\MediaPlayer\\UIPlugins\\$clsid"
uninstall_root='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
setting_key='HKCU\Software\Tessaline\Vireo Decoder'
program_files='Program Files'
[ "$WINEARCH" = win64 ] && program_files='Program Files (x86)'
vendor_dir="$prefix/drive_c/$program_files/Tessaline"
install_dir="$vendor_dir/Vireo Plugin"
installed_dll="C:\\$program_files\\Tessaline\\Vireo Plugin\\VIREOPLUGIN.DLL"
setup="$bin/VireoPluginSetup.exe"
msi="$bin/VireoPlugin-$version.msi"

# A player showing the installed plug-in's dialog holds the DLL until the prefix's processes end.
hold() {
  (cd "$prefix/drive_c/hostcheck" && win 'C:\hostcheck\vireohost.exe' properties >"$prefix/hold.log" 2>&1 &)
  for _ in $(seq 150); do
    grep -q '^CoCreateInstance: 0x00000000' "$prefix/hold.log" 2>/dev/null && return
    sleep 0.2
  done
  fail "the host did not load the installed plug-in: $(cat "$prefix/hold.log")"
}
# Ends every process, then restarts, which carries out the renames and removals left pending.
restart() { wineserver -k 2>/dev/null || true; win wineboot -r >/dev/null 2>&1; wineserver -w; }
# Runs a command line as a deployment tool would and prints its whole exit code (a Unix exit
# status keeps only its low 8 bits).
run_line() {
  printf '@%s\r\n@echo exit code %%errorlevel%%\r\n' "$1" >"$prefix/drive_c/line.bat"
  { win cmd /c 'C:\line.bat' 2>/dev/null || true; } | tr -d '\r' | sed -n 's/^exit code //p'
}
quiet_uninstall() { run_line "$(value_of "$uninstall_root\VireoPlugin" QuietUninstallString)"; }

install() {
  case $1 in
    setup) win "$setup" /S >/dev/null 2>&1 ;;
    msi) msiexec /i "$msi" ;;
  esac
}

rm -rf "$prefix" "$prefix.lock"
trap 'wineserver -k 2>/dev/null || true' EXIT
win >/dev/null

if [ "$package" = msi ]; then
  # The package has no way to protect a folder outside Program Files, so it refuses one.
  if msiexec /i "$msi" INSTALLDIR='C:\Tools\Vireo'; then fail "the MSI installed outside Program Files"; fi
  [ -e "$prefix/drive_c/Tools" ] && fail "the refused installation left $(find "$prefix/drive_c/Tools")"
fi

echo "installing the $package package"
install "$package" || fail "the installation exited with $?"
[ -f "$install_dir/VIREOPLUGIN.DLL" ] || fail "VIREOPLUGIN.DLL is not in $program_files"
[ "$(value_of "$class_key\\InprocServer32" '(Default)')" = "$installed_dll" ] \
  || fail "InprocServer32 does not name the installed DLL"
[ "$(value_of "$class_key\\InprocServer32" ThreadingModel)" = "Apartment" ] || fail "ThreadingModel"
[ "$(value_of "$plugin_key" FriendlyName)" = "Vireo Plugin" ] || fail "FriendlyName"
[ "$(value_of "$plugin_key" Description)" = "Description of Vireo Plugin." ] || fail "Description"
[ "$(value_of "$plugin_key" Capabilities)" = "0x80000001" ] || fail "Capabilities: $(value_of "$plugin_key" Capabilities)"
[ "$(listed_versions)" = "$version" ] || fail "Add/Remove Programs lists: $(listed_versions | paste -sd' ')"
if [ "$WINEARCH" = win64 ]; then
  win reg query "$class_key" /reg:64 >/dev/null 2>&1 && fail "the class is in the 64-bit registry view"
fi
case $package in
  setup)
    [ -f "$install_dir/Uninstall.exe" ] || fail "no uninstaller"
    other=msi ;;
  msi)
    in_order WriteRegistryValues AnnounceInstall InstallFinalize || fail "no broadcast after the keys were written"
    uninstall_path=$(value_of "$plugin_key" UninstallPath)
    [[ $uninstall_path =~ ^MsiExec.exe\ /X(\{[0-9A-F-]{36}\})$ ]] || fail "UninstallPath: $uninstall_path"
    remove=(msiexec /x "${BASH_REMATCH[1]}")
    other=setup ;;
esac

echo "the $other package refuses to go over it"
if install "$other"; then fail "the $other package installed over the $package package"; fi
[ "$(listed_versions)" = "$version" ] || fail "two products are listed: $(listed_versions | paste -sd' ')"

echo "creating the class by its id from another process"
mkdir -p "$prefix/drive_c/hostcheck"
cp "$bin/vireohost.exe" "$prefix/drive_c/hostcheck/"
output=$(cd "$prefix/drive_c/hostcheck" && win 'C:\hostcheck\vireohost.exe' properties --snapshot check.bmp 2>&1 | tr -d '\r') \
  || { echo "$output"; fail "the host could not use the installed plug-in"; }
grep -qx 'CoCreateInstance: 0x00000000' <<<"$output" || { echo "$output"; fail "CoCreateInstance"; }
grep -qx 'DisplayPropertyPage: 0x00000000' <<<"$output" || { echo "$output"; fail "DisplayPropertyPage"; }
[ -s "$prefix/drive_c/hostcheck/check.bmp" ] || fail "the dialog was not shown"
[ ! -e "$prefix/drive_c/hostcheck/VIREOPLUGIN.DLL" ] || fail "the host must not find a DLL beside itself"

# The Windows Installer compares the first three fields of a version.
newer=$(awk -F. '{ print $1 "." $2 "." $3 + 1 ".0" }' <<<"$version")
if [ "$package" = msi ]; then
  echo "repairing a deleted file and a deleted key"
  rm "$install_dir/VIREOPLUGIN.DLL"
  win reg delete "$plugin_key" /f >/dev/null
  # What "msiexec /famus" asks for; Wine 8's msiexec does not implement its /f switch.
  msiexec /i "$msi" REINSTALL=ALL REINSTALLMODE=amus || fail "the repair exited with $?"
  [ -f "$install_dir/VIREOPLUGIN.DLL" ] || fail "the repair did not bring the DLL back"
  has_key "$plugin_key" || fail "the repair did not bring the player's entry back"

  echo "the package: the DLL's version in its file row, a code for each content"
  msiinfo export "$msi" File | grep "^VireoPluginDll	.*	$version	1033	" >/dev/null || fail "the File row lacks the DLL's version"
  msiinfo export "$msi" CustomAction | grep '^FindRegsvr32	51	' >/dev/null || fail "FindRegsvr32 is not a plain property action"
  msiinfo tables "$msi" | grep -x MsiFileHash >/dev/null && fail "the versioned DLL has a hash row"
  # Windows rolls a failed upgrade back to the older product only when that product is removed
  # inside the installation's transaction. Wine's msiexec rolls nothing back, so the order is read.
  msiinfo export "$msi" InstallExecuteSequence | tr -d '\r' | awk -F'\t' '{ at[$1] = $3 + 0 }
    END { exit !(at["InstallInitialize"] < at["RemoveExistingProducts"] && at["RemoveExistingProducts"] < at["InstallFinalize"]) }' ||
    fail "the older product is removed outside the installation's transaction"
  package_code() { msiinfo suminfo "$1" | sed -n 's/^Revision number (UUID): //p'; }
  sed 's/Description of Vireo Plugin\./Another description./' "$root/installer/VireoPlugin.wxs" >"$prefix/other.wxs"
  "$root/scripts/make-msi" "$version" "$bin/VIREOPLUGIN.DLL" "$prefix/other.msi" "$prefix/other.wxs"
  [ "$(package_code "$msi")" != "$(package_code "$prefix/other.msi")" ] || fail "another source gave the same package code"
  SOURCE_DATE_EPOCH=1000000000 "$root/scripts/make-msi" "$version" "$bin/VIREOPLUGIN.DLL" "$prefix/other.msi"
  [ "$(package_code "$msi")" != "$(package_code "$prefix/other.msi")" ] || fail "other dates gave the same package code"
  # A build that differs in the fourth field only is the same product, not a second one beside it.
  fourth=$(awk -F. '{ print $1 "." $2 "." $3 "." $4 + 1 }' <<<"$version")
  "$root/scripts/make-msi" "$fourth" "$bin/VIREOPLUGIN.DLL" "$prefix/drive_c/fourth.msi"
  if msiexec /i 'C:\fourth.msi'; then fail "$fourth installed beside $version"; fi
  [ "$(listed_versions)" = "$version" ] || fail "after $fourth Add/Remove Programs lists: $(listed_versions | paste -sd' ')"

  echo "upgrading to $newer, then refusing $version"
  "$root/scripts/make-msi" "$newer" "$bin/VIREOPLUGIN.DLL" "$prefix/drive_c/newer.msi"
  msiexec /i 'C:\newer.msi' || fail "the upgrade exited with $?"
  [ "$(listed_versions)" = "$newer" ] || fail "after the upgrade Add/Remove Programs lists: $(listed_versions | paste -sd' ')"
  [ -f "$install_dir/VIREOPLUGIN.DLL" ] || fail "the upgrade lost the DLL"
  [ "$(value_of "$class_key\\InprocServer32" '(Default)')" = "$installed_dll" ] || fail "the upgrade lost the class"
  if msiexec /i "$msi"; then fail "the older package installed over the newer one"; fi
  [ "$(listed_versions)" = "$newer" ] || fail "after the downgrade Add/Remove Programs lists: $(listed_versions | paste -sd' ')"
  [[ $(value_of "$plugin_key" UninstallPath) =~ ^MsiExec.exe\ /X(\{[0-9A-F-]{36}\})$ ]] || fail "UninstallPath after the upgrade"
  remove=(msiexec /x "${BASH_REMATCH[1]}")
else
  echo "upgrading to $newer while a player holds the DLL, then refusing $version"
  # The newer build's DLL: the same code with a different tail.
  { cat "$bin/VIREOPLUGIN.DLL"; printf 'newer build'; } >"$prefix/newer.dll"
  makensis -V1 -DVERSION="$newer" -DDLL="$prefix/newer.dll" -DOUTFILE="$prefix/drive_c/newer.exe" \
    "$root/installer/VireoPlugin.nsi" >/dev/null
  hold
  status=$(run_line 'C:\newer.exe /S')
  [ "$status" = 3010 ] || fail "the upgrade over a DLL in use exited with $status, not 3010"
  [ "$(listed_versions)" = "$newer" ] || fail "after the upgrade Add/Remove Programs lists: $(listed_versions | paste -sd' ')"
  # The restart would put this run's DLL over what another run installed now: the setup refuses.
  status=$(run_line 'C:\newer.exe /S')
  [ "$status" = 350 ] || fail "a second upgrade before the restart exited with $status, not 350"
  if win "$setup" /S >/dev/null 2>&1; then fail "the older setup installed over the newer one"; fi
  [ "$(listed_versions)" = "$newer" ] || fail "after the downgrade Add/Remove Programs lists: $(listed_versions | paste -sd' ')"
  restart
  cmp -s "$prefix/newer.dll" "$install_dir/VIREOPLUGIN.DLL" || fail "after a restart the newer DLL is not in place"
  ls "$install_dir" | grep -vxF -e VIREOPLUGIN.DLL -e Uninstall.exe >/dev/null && fail "files are left beside the DLL: $(ls "$install_dir")"
  echo "removing while a player holds the DLL"
  hold
fi

echo "uninstalling"
win reg add "$setting_key" /v REALTIME /t REG_DWORD /d 0 /f >/dev/null 2>&1
if [ "$package" = msi ]; then
  "${remove[@]}" >/dev/null 2>&1 || fail "the removal exited with $?"
  in_order RemoveRegistryValues AnnounceRemoval RemoveFiles || fail "the broadcast did not come after the keys went"
else
  # The quiet uninstall returns once it is done: the DLL in use goes at the restart.
  status=$(quiet_uninstall)
  [ "$status" = 3010 ] || fail "the removal of a DLL in use exited with $status, not 3010"
  has_key "$class_key" && fail "the class key is still there before the restart"
  [ -f "$install_dir/VIREOPLUGIN.DLL" ] || fail "the DLL in use is gone before the restart"
  # The restart would delete what an installation put there now: the setup refuses, and changes
  # nothing. (The MSI refuses too on Windows; Wine's installer cannot read the list of pending
  # operations, a multi-string value.)
  cp "$setup" "$prefix/drive_c/setup.exe"
  status=$(run_line 'C:\setup.exe /S')
  [ "$status" = 350 ] || fail "an installation before the restart exited with $status, not 350"
  has_key "$class_key" && fail "a refused installation wrote the class key"
  restart
fi
has_key "$class_key" && fail "the class key is still there"
has_key "$plugin_key" && fail "the player's plug-in entry is still there"
[ -z "$(listed_versions)" ] || fail "Add/Remove Programs still lists the plug-in"
[ -e "$vendor_dir" ] && fail "files or folders are left in $program_files: $(find "$vendor_dir")"
[ "$(win reg query "$setting_key" /v REALTIME 2>/dev/null | tr -d '\r' | awk '$1 == "REALTIME" { print $3 }')" = "0x0" ] \
  || fail "the user's setting was touched"

if [ "$package" = setup ]; then
  echo "a second run installs where the first one did"
  cp "$setup" "$prefix/drive_c/setup.exe"
  status=$(run_line 'C:\setup.exe /S /D=C:\Vireo Elsewhere')
  [ "$status" = 0 ] || fail "the installation in another folder exited with $status"
  win "$setup" /S >/dev/null 2>&1 || fail "the second installation exited with $?"
  # Given another folder, an upgrade still goes where the installed copy is: one installation.
  run_line 'C:\setup.exe /S /D=C:\Vireo Third' >/dev/null
  [ -f "$prefix/drive_c/Vireo Elsewhere/VIREOPLUGIN.DLL" ] || fail "the DLL is not in the chosen folder"
  # The folder made outside Program Files gets its own DACL. Wine keeps a DACL only as mode bits:
  # this one reads 775 (the administrators' full control becomes the group's write bit), while a
  # folder made without it reads 755; the entries themselves only Windows shows.
  [ "$(stat -c %a "$prefix/drive_c/Vireo Elsewhere")" = 775 ] ||
    fail "the chosen folder is not protected: mode $(stat -c %a "$prefix/drive_c/Vireo Elsewhere")"
  [ -e "$vendor_dir" ] && fail "the second run installed in $program_files"
  [ -e "$prefix/drive_c/Vireo Third" ] && fail "an upgrade into another folder made a second installation"
  status=$(quiet_uninstall)
  [ "$status" = 0 ] || fail "the removal exited with $status"
  restart
  [ -e "$prefix/drive_c/Vireo Elsewhere" ] && fail "files are left: $(find "$prefix/drive_c/Vireo Elsewhere")"
fi
echo "installer ($package, $WINEARCH): passed"
