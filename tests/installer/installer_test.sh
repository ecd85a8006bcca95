#!/usr/bin/env bash
# One package's round trip in a fresh Wine prefix of its own, with one Wine server throughout, so that
# only a simulated restart carries out what was left for the restart: folders outside Program Files,
# and (setup) a folder too long for the class, one that cannot be written, a failing registration
# and an older version's pending renames in the folder are refused with 1603, changing nothing; the
# other package refuses to go over it; the class is created through COM from a separate process; the
# MSI repairs a deleted file; each package is upgraded by a newer version, not downgraded by an older
# one; the setup sets a DLL that a running player holds aside (3010) and leaves nothing pending in
# its folder, so installations, upgrades and removals follow each other before the restart; removal
# takes away all that was added and keeps the user's setting. Exit codes are compared whole.
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
# One server for the prefix: a new server, like a restart, carries out what was left pending.
keep_server() { wineserver -p </dev/null >/dev/null 2>&1; win cmd /c exit 0 </dev/null >/dev/null 2>&1; }
# Ends every process, then restarts, which carries out the renames and removals left pending.
restart() { wineserver -k 2>/dev/null || true; win wineboot -r >/dev/null 2>&1; wineserver -w; keep_server; }
# What the next restart would still do to the plug-in's files or folders.
pending() {
  query 'HKLM\SYSTEM\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations |
    awk '$1 == "PendingFileRenameOperations" { sub(/^ *[^ ]+ +[^ ]+ +/, ""); gsub(/\\0/, "\n"); print }' |
    grep -ix -e '.*\\tessaline' -e '.*\\tessaline\\vireo plugin' -e '.*\\tessaline\\vireo plugin\\.*' -e '.*\\vireo elsewhere.*' || true
}
# Plants the pending operations (one path each, deleted at the restart) that an older version left.
plant_pending() {
  { printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager]\r\n'
    printf '"PendingFileRenameOperations"=hex(7):'
    printf '\\??\\%s\0\0' "$@" | od -An -tx1 -v | tr -s ' \n' ',,' | sed 's/^,//'
    printf '00\r\n'; } >"$prefix/drive_c/pending.reg"
  win reg import 'C:\pending.reg' >/dev/null 2>&1
}
# Runs a command line as a deployment tool would and prints its whole exit code (a Unix exit
# status keeps only its low 8 bits).
run_line() {
  printf '@%s\r\n@echo exit code %%errorlevel%%\r\n' "$1" >"$prefix/drive_c/line.bat"
  { win cmd /c 'C:\line.bat' 2>/dev/null || true; } | tr -d '\r' | sed -n 's/^exit code //p'
}
quiet_uninstall() { run_line "$(value_of "$uninstall_root\VireoPlugin" QuietUninstallString)"; }
# What a refusal must leave as it was: the folders outside Windows and the users' own, and the keys.
state() {
  (cd "$prefix/drive_c" && find . \( -path ./windows -o -path ./users \) -prune -o -path './*/*' -print -o -type d -print | LC_ALL=C sort)
  query "$class_key" || true
  query "$uninstall_root\VireoPlugin" || true
}
# Runs a command line that must be refused with exactly CODE and change nothing.
refused() {
  local code=$1 line=$2 what=$3 before status
  before=$(state)
  status=$(run_line "$line")
  [ "$status" = "$code" ] || fail "$what exited with $status, not $code"
  [ "$(state)" = "$before" ] || fail "$what changed: $(diff <(echo "$before") <(state) | paste -sd' ')"
}

install() {
  case $1 in
    setup) win "$setup" /S >/dev/null 2>&1 ;;
    msi) msiexec /i "$msi" ;;
  esac
}

rm -rf "$prefix" "$prefix.lock"
trap 'wineserver -k 2>/dev/null || true' EXIT
win >/dev/null
keep_server
cp "$setup" "$prefix/drive_c/setup.exe"
cp "$msi" "$prefix/drive_c/package.msi"

echo "refusing folders outside Program Files and what cannot work"
# Program Files protects what is in it from users; nothing can protect a folder elsewhere.
case $package in
  setup)
    # A person who cancels on the folder page.
    cp "$bin/presscancel.exe" "$prefix/drive_c/"
    (win 'C:\presscancel.exe' 'Vireo Plugin Setup' >/dev/null 2>&1 &)
    refused 1602 'C:\setup.exe' "a cancelled installation"
    refused 1603 'C:\setup.exe /S /D=C:\Vireo Elsewhere' "a folder outside Program Files"
    refused 1603 'C:\setup.exe /S /D=C:\Program Files\..\Escaped' "a way out of Program Files"
    # 254 characters: the DLL's path would be longer than the class can name.
    refused 1603 "C:\\setup.exe /S /D=C:\\Program Files\\$(printf 'x%.0s' $(seq 237))" "a folder too long for the DLL's path"
    # A file where the vendor's folder would be: nothing can be written there.
    touch "$vendor_dir"
    refused 1603 'C:\setup.exe /S' "a folder that cannot be written"
    rm "$vendor_dir"
    # Without the system's registrar the module's DllRegisterServer fails: what was done is undone.
    registrar='HKLM\Software\Classes\CLSID\{44EC053A-400F-11D0-9DCD-00A0C90391D3}'
    win reg export "$registrar" 'C:\registrar.reg' /reg:32 /y >/dev/null 2>&1
    win reg delete "$registrar" /reg:32 /f >/dev/null 2>&1
    refused 1603 'C:\setup.exe /S' "a failing registration"
    win reg import 'C:\registrar.reg' /reg:32 >/dev/null 2>&1
    # What an older version left for the restart in the folder, named with a short name, would undo
    # the installation; a neighbouring folder's does not matter.
    mkdir -p "$install_dir"
    printf '@for %%%%I in ("%s") do @echo %%%%~sI\r\n@dir /x "%s"\r\n' "C:\\$program_files\\Tessaline" "C:\\$program_files\\Tessaline" \
      >"$prefix/drive_c/short.bat"
    short=$(win cmd /c 'C:\short.bat' | tr -d '\r' | awk 'NR == 1 { parent = $0 } / Vireo Plugin$/ { print parent "\\" $(NF - 2) }')
    [[ $short == *~* ]] || fail "no short name for the folder: $short"
    plant_pending "$short"
    refused 1603 'C:\setup.exe /S' "an installation into a folder that the restart changes"
    rmdir "$install_dir" "$vendor_dir"
    plant_pending "C:\\$program_files\\Tessaline\\Vireo Plugin2\\VIREOPLUGIN.DLL" ;;
  msi)
    refused 1603 'msiexec /i C:\package.msi /qn INSTALLDIR=C:\Tools\Vireo' "a folder outside Program Files"
    refused 1603 "msiexec /i C:\\package.msi /qn \"INSTALLDIR=C:\\$program_files\\..\\Escaped\"" "a way out of Program Files"
    refused 1603 'msiexec /i C:\package.msi /qn ALLUSERS=""' "a per-user registration" ;;
esac

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
    entry="$uninstall_root\\VireoPlugin"
    [ "$(value_of "$entry" DisplayIcon)" = "\"${installed_dll%\\*}\\Uninstall.exe\",0" ] || fail "DisplayIcon: $(value_of "$entry" DisplayIcon)"
    size=$(( $(du -ck "$install_dir"/* | tail -1 | cut -f1) ))
    [ $(($(value_of "$entry" EstimatedSize))) -ge $((size - 8)) ] || fail "EstimatedSize: $(value_of "$entry" EstimatedSize), not $size KB"
    # The setup writes to Program Files and the machine's keys: Windows must ask for an administrator.
    grep -aF 'level="requireAdministrator"' "$setup" >/dev/null || fail "the setup does not ask for administrator rights"
    other=(msiexec /i 'C:\package.msi' /qn)
    other_code=1603 ;;
  msi)
    in_order WriteRegistryValues AnnounceInstall InstallFinalize || fail "no broadcast after the keys were written"
    uninstall_path=$(value_of "$plugin_key" UninstallPath)
    [[ $uninstall_path =~ ^MsiExec.exe\ /X(\{[0-9A-F-]{36}\})$ ]] || fail "UninstallPath: $uninstall_path"
    remove=(msiexec /x "${BASH_REMATCH[1]}")
    entry="$uninstall_root\\${BASH_REMATCH[1]}"
    [ "$(value_of "$entry" InstallLocation)" = "${installed_dll%\\*}\\" ] || fail "InstallLocation: $(value_of "$entry" InstallLocation)"
    other=('C:\setup.exe' /S)
    other_code=1638 ;;
esac

echo "the other package refuses to go over it"
refused $other_code "${other[*]}" "the other package over this one"
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
  # The broadcasts reach the players on the user's desktop only when they run as the user.
  msiinfo export "$msi" CustomAction | tr -d '\r' | awk -F'\t' '$1 ~ /^Announce/ && int($2 / 2048) % 2 { bad = 1 } END { exit bad }' ||
    fail "the broadcasts run as SYSTEM"
  # A silent run never closes the player; Add/Remove Programs shows the package's icon.
  properties=$(msiinfo export "$msi" Property | tr -d '\r')
  grep -x 'MSIRESTARTMANAGERCONTROL	Disable' <<<"$properties" >/dev/null || fail "the Restart Manager may close the player"
  grep -x 'ARPPRODUCTICON	VireoPlugin.ico' <<<"$properties" >/dev/null || fail "no icon in Add/Remove Programs"
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
  { cat "$bin/VIREOPLUGIN.DLL"; printf 'another build'; } >"$prefix/other.dll"
  "$root/scripts/make-msi" "$version" "$prefix/other.dll" "$prefix/other.msi"
  [ "$(package_code "$msi")" != "$(package_code "$prefix/other.msi")" ] || fail "another DLL gave the same package code"
  # A build that differs in the fourth field only is the same product, not a second one beside it.
  fourth=$(awk -F. '{ print $1 "." $2 "." $3 "." $4 + 1 }' <<<"$version")
  "$root/scripts/make-msi" "$fourth" "$bin/VIREOPLUGIN.DLL" "$prefix/drive_c/fourth.msi"
  refused 1638 'msiexec /i C:\fourth.msi /qn' "$fourth beside $version"

  echo "upgrading to $newer, then refusing $version"
  "$root/scripts/make-msi" "$newer" "$bin/VIREOPLUGIN.DLL" "$prefix/drive_c/newer.msi"
  msiexec /i 'C:\newer.msi' || fail "the upgrade exited with $?"
  [ "$(listed_versions)" = "$newer" ] || fail "after the upgrade Add/Remove Programs lists: $(listed_versions | paste -sd' ')"
  [ -f "$install_dir/VIREOPLUGIN.DLL" ] || fail "the upgrade lost the DLL"
  [ "$(value_of "$class_key\\InprocServer32" '(Default)')" = "$installed_dll" ] || fail "the upgrade lost the class"
  refused 1603 'msiexec /i C:\package.msi /qn' "the older package over the newer one"
  [[ $(value_of "$plugin_key" UninstallPath) =~ ^MsiExec.exe\ /X(\{[0-9A-F-]{36}\})$ ]] || fail "UninstallPath after the upgrade"
  remove=(msiexec /x "${BASH_REMATCH[1]}")
else
  echo "upgrading twice while a player holds the DLL, then refusing $version"
  # The newer builds' DLLs: the same code with a different tail.
  for build in newer latest; do
    { cat "$bin/VIREOPLUGIN.DLL"; printf '%s build' $build; } >"$prefix/$build.dll"
    makensis -V1 -DVERSION="$newer" -DDLL="$prefix/$build.dll" -DOUTFILE="$prefix/drive_c/$build.exe" \
      "$root/installer/VireoPlugin.nsi" >/dev/null
  done
  hold
  # The held DLL is set aside: the new one is in place at once, and nothing waits for the restart in
  # the folder, so a second upgrade needs no restart first.
  status=$(run_line 'C:\newer.exe /S')
  [ "$status" = 3010 ] || fail "the upgrade over a DLL in use exited with $status, not 3010"
  cmp -s "$prefix/newer.dll" "$install_dir/VIREOPLUGIN.DLL" || fail "the newer DLL is not in place"
  [ -z "$(pending)" ] || fail "the upgrade left for the restart: $(pending)"
  status=$(run_line 'C:\latest.exe /S')
  [ "$status" = 0 ] || fail "a second upgrade before the restart exited with $status, not 0"
  cmp -s "$prefix/latest.dll" "$install_dir/VIREOPLUGIN.DLL" || fail "the second upgrade's DLL is not in place"
  [ "$(listed_versions)" = "$newer" ] || fail "after the upgrades Add/Remove Programs lists: $(listed_versions | paste -sd' ')"
  refused 1638 'C:\setup.exe /S' "the older setup over the newer one"
  ls "$install_dir" | grep -vxF -e VIREOPLUGIN.DLL -e Uninstall.exe >/dev/null && fail "files are left beside the DLL: $(ls "$install_dir")"

  echo "removing while a player holds the DLL, then installing before the restart"
  hold
  status=$(quiet_uninstall)
  [ "$status" = 3010 ] || fail "the removal of a DLL in use exited with $status, not 3010"
  [ -e "$vendor_dir" ] && fail "the removal left $(find "$vendor_dir")"
  [ -z "$(pending)" ] || fail "the removal left for the restart: $(pending)"
  status=$(run_line 'C:\setup.exe /S')
  [ "$status" = 0 ] || fail "an installation before the restart exited with $status"
  echo "removing and installing again with nothing in use"
  status=$(quiet_uninstall)
  [ "$status" = 0 ] || fail "the removal exited with $status"
  [ -z "$(pending)" ] || fail "the removal left for the restart: $(pending)"
  status=$(run_line 'C:\setup.exe /S')
  [ "$status" = 0 ] || fail "the installation after the removal exited with $status"
  restart
  cmp -s "$bin/VIREOPLUGIN.DLL" "$install_dir/VIREOPLUGIN.DLL" && [ -f "$install_dir/Uninstall.exe" ] ||
    fail "the installation did not survive the restart: $(ls "$install_dir")"
  [ "$(listed_versions)" = "$version" ] || fail "after the restart Add/Remove Programs lists: $(listed_versions | paste -sd' ')"
fi

echo "uninstalling"
win reg add "$setting_key" /v REALTIME /t REG_DWORD /d 0 /f >/dev/null 2>&1
if [ "$package" = msi ]; then
  "${remove[@]}" >/dev/null 2>&1 || fail "the removal exited with $?"
  in_order RemoveRegistryValues AnnounceRemoval RemoveFiles || fail "the broadcast did not come after the keys went"
else
  status=$(quiet_uninstall)
  [ "$status" = 0 ] || fail "the removal exited with $status"
fi
has_key "$class_key" && fail "the class key is still there"
has_key "$plugin_key" && fail "the player's plug-in entry is still there"
[ -z "$(listed_versions)" ] || fail "Add/Remove Programs still lists the plug-in"
[ -e "$vendor_dir" ] && fail "files or folders are left in $program_files: $(find "$vendor_dir")"
[ "$(win reg query "$setting_key" /v REALTIME 2>/dev/null | tr -d '\r' | awk '$1 == "REALTIME" { print $3 }')" = "0x0" ] \
  || fail "the user's setting was touched"

if [ "$package" = setup ]; then
  echo "a second run installs where the first one did, in another folder under Program Files"
  # The 64-bit Program Files on 64-bit Windows.
  status=$(run_line 'C:\setup.exe /S /D=C:\Program Files\Vireo Elsewhere')
  [ "$status" = 0 ] || fail "the installation in another folder exited with $status"
  # Given another folder, an upgrade still goes where the installed copy is: one installation.
  status=$(run_line 'C:\setup.exe /S /D=C:\Program Files\Vireo Third')
  [ "$status" = 0 ] || fail "the second installation exited with $status"
  [ -f "$prefix/drive_c/Program Files/Vireo Elsewhere/VIREOPLUGIN.DLL" ] || fail "the DLL is not in the chosen folder"
  [ -e "$vendor_dir" ] && fail "the second run installed in $program_files"
  [ -e "$prefix/drive_c/Program Files/Vireo Third" ] && fail "an upgrade into another folder made a second installation"
  status=$(quiet_uninstall)
  [ "$status" = 0 ] || fail "the removal exited with $status"
  [ -e "$prefix/drive_c/Program Files/Vireo Elsewhere" ] && fail "files are left: $(find "$prefix/drive_c/Program Files/Vireo Elsewhere")"
  [ -z "$(pending)" ] || fail "the removal left for the restart: $(pending)"
fi
echo "installer ($package, $WINEARCH): passed"
