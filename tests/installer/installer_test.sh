#!/usr/bin/env bash
# The package's round trip through msiexec in a fresh Wine prefix of its own, with one Wine server
# throughout, so that only a simulated restart carries out what the Windows Installer left for the
# restart. Beside it another product, Other App, installed by a package of its own. Refused,
# changing nothing: a per-user registration, folders the plug-in cannot be trusted in, a run that
# would move it, a removal whose record names an unusable folder. An installation in a chosen
# folder (the 64-bit Program Files on 64-bit Windows) given Other App's product code as an earlier
# release's, kept through repairs and through upgrades that raise any version field, one with the
# full UI; an older build refused; an upgrade while a player holds the DLL (3010, the swap at the
# restart); with the package's record gone, a repair in the default folder and a removal that no
# command line steers; an installation into Other App's folder, which keeps Other App's files, and
# its removal by feature, which a watching player sees, after the documented mending of a damaged
# record. Other App stays installed and the user's setting is kept.
# Exit codes are compared whole. What Wine cannot show is read from the package's tables.
# Usage: installer_test.sh SOURCE_DIR BIN_DIR PREFIX win32|win64 VERSION
set -euo pipefail
root=$1
bin=$2
prefix=$3
export WINEARCH=$4 WINEPREFIX=$prefix
version=$5

win() { "$root/scripts/wine-exec" "$prefix" "$@"; }
fail() { echo "FAILED ($WINEARCH): $*"; exit 1; }
# Registry queries look where a 32-bit program looks: the 32-bit view on 64-bit Windows.
query() { win reg query "$@" /reg:32 2>/dev/null | tr -d '\r'; }
has_key() { query "$1" >/dev/null; }
# A value's data as reg prints it; the name "(Default)" stands for the key's default value.
value_of() {
  local which=(/v "$2")
  [ "$2" = "(Default)" ] && which=(/ve)
  query "$1" "${which[@]}" | awk -v name="$2" '$1 == name { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'
}
# The Add/Remove Programs entries named "Vireo Plugin": key and version, one line each.
listed() {
  query "$uninstall_root" /s | awk '/^HKEY/ { key = $0 } /DisplayName +REG_SZ +Vireo Plugin$/ { mine = key }
    $1 == "DisplayVersion" && key == mine { sub(/.*\\/, "", key); print key, $3 }'
}
# A grep that stops reading early would break its pipe and, with pipefail, fail a pipeline that
# found what it looked for: checks on piped output read all of it (grep >/dev/null, not grep -q).
# Actions of the last msiexec run, in the order they ran.
actions_run() { tr -d '\r' <"$prefix/drive_c/msiexec.log" | sed -n 's/^Action start [0-9:]*: \(.*\)\.$/\1/p'; }
in_order() { actions_run | grep -xF -e "$1" -e "$2" -e "$3" | uniq | paste -sd" " | grep -F "$1 $2 $3" >/dev/null; }

clsid='{CC1F686D-E680-4392-8126-95060ED5222D}'
class_key="HKLM\\Software\\Classes\\CLSID\\$clsid"
plugin_key="HKLM\\Software\\Microsoft\\MediaPlayer\\UIPlugins\\$clsid"
own_key='HKLM\Software\Tessaline\Vireo Plugin'
uninstall_root='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
setting_key='HKCU\Software\Tessaline\Vireo Decoder'
program_files='Program Files'
[ "$WINEARCH" = win64 ] && program_files='Program Files (x86)'
pf="C:\\$program_files"
# On 64-bit Windows the chosen folder is in the 64-bit Program Files, which the package accepts too.
custom='C:\Program Files\Vireo Custom'
custom_dir="$prefix/drive_c/Program Files/Vireo Custom"
code_of() { "$root/installer/make-msi" --product-code "$1"; }
# Another product, with a folder and a licence of its own in Program Files.
other_code='{0E7D3C55-2F64-4C8B-9E1A-6B5D4F3A2C10}'
other_app="$prefix/drive_c/$program_files/Other App"
other_intact() {
  has_key "$uninstall_root\\$other_code" && [ "$(cat "$other_app/LICENSE.txt" 2>/dev/null)" = "Another product" ] ||
    fail "$1 removed or changed Other App"
}

# Runs a command line exactly as written, as a deployment tool would, and prints its whole exit code.
run_line() {
  printf '%s\r\n' "$1" >"$prefix/drive_c/line.txt"
  win 'C:\installerdriver.exe' run 'C:\line.txt' 2>/dev/null | tr -d '\r'
}
# Runs a command line that must exit with exactly CODE.
expect() {
  local code=$1 line=$2 status
  status=$(run_line "$line")
  [ "$status" = "$code" ] || fail "$line exited with $status, not $code"
}
msiexec() { expect "$1" "msiexec ${*:2} /qn /norestart /l*v C:\\msiexec.log"; }
# What a refusal must leave as it was: the folders outside Windows and the users' own, and the keys.
state() {
  (cd "$prefix/drive_c" && find . \( -path ./windows -o -path ./users -o -name '*.log' \) -prune -o -path './*/*' -print -o -type d -print | LC_ALL=C sort)
  query "$class_key" /s || true
  query "$own_key" || true
  listed
}
# Runs a command line that must be refused with exactly CODE and change nothing.
refused() {
  local code=$1 line=$2 before
  before=$(state)
  expect "$code" "$line"
  [ "$(state)" = "$before" ] || fail "$line changed: $(diff <(echo "$before") <(state) | paste -sd' ')"
}
# Presses button 1 (OK) of the window titled TITLE... when it shows.
press() { win 'C:\installerdriver.exe' press "$1" 1 >/dev/null 2>&1; }
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
# The installation of VERSION with the DLL FILE in FOLDER: one entry, the files and the keys.
installed() {
  local at=$1 dll=$2 in=$3 code
  code=$(code_of "$at")
  [ "$(listed)" = "$code $at" ] || fail "Add/Remove Programs lists: $(listed | paste -sd' '), not $code $at"
  local file=${in#C:\\}
  cmp -s "$dll" "$prefix/drive_c/${file//\\//}/VIREOPLUGIN.DLL" || fail "the DLL in $in is not $dll"
  cmp -s "$root/LICENSE.txt" "$prefix/drive_c/${file//\\//}/VireoPlugin-LICENSE.txt" || fail "no licence beside the DLL in $in"
  [ "$(value_of "$uninstall_root\\$code" Readme)" = "$in\\VireoPlugin-LICENSE.txt" ] || fail "Add/Remove Programs does not link the licence"
  [ "$(value_of "$class_key\\InprocServer32" '(Default)')" = "$in\\VIREOPLUGIN.DLL" ] || fail "InprocServer32 does not name the DLL in $in"
  [ "$(value_of "$uninstall_root\\$code" InstallLocation)" = "$in\\" ] || fail "InstallLocation: $(value_of "$uninstall_root\\$code" InstallLocation)"
  [ "$(value_of "$plugin_key" UninstallPath)" = "MsiExec.exe /X$code" ] || fail "UninstallPath: $(value_of "$plugin_key" UninstallPath)"
}

rm -rf "$prefix" "$prefix.lock"
trap 'wineserver -k 2>/dev/null || true' EXIT
win >/dev/null
keep_server
cp "$bin/installerdriver.exe" "$prefix/drive_c/"
cp "$bin/VireoPlugin-$version.msi" "$prefix/drive_c/package.msi"
mkdir -p "$prefix/drive_c/hostcheck"
cp "$bin/vireohost.exe" "$prefix/drive_c/hostcheck/"
# Later builds, each with a DLL of its own: the fourth version field raised to its highest, then the
# third, twice.
IFS=. read -r major minor patch build <<<"$version"
fourth=$major.$minor.$patch.65535
newer=$major.$minor.$((patch + 1)).0
latest=$major.$minor.$((patch + 2)).0
for later in fourth newer latest; do
  { cat "$bin/VIREOPLUGIN.DLL"; printf '%s build' $later; } >"$prefix/$later.dll"
  "$root/installer/make-msi" "${!later}" "$prefix/$later.dll" "$prefix/drive_c/$later.msi"
done
mkdir "$prefix/other"
printf 'Another product' >"$prefix/other/LICENSE.txt"
cat >"$prefix/other/other.wxs" <<WXS
<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="$other_code" Name="Other App" Language="1033" Version="2.0.0" Manufacturer="Others"
           UpgradeCode="{5A1F0B2C-3D4E-4F60-8172-93A4B5C6D7E8}">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine"/>
    <Media Id="1" Cabinet="other.cab" EmbedCab="yes"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="ProgramFilesFolder">
        <Directory Id="OtherFolder" Name="Other App">
          <Component Id="Other" Guid="{6B2E1C3D-4F50-4A61-9283-A4B5C6D7E8F9}">
            <File Id="OtherLicence" Name="LICENSE.txt" Source="LICENSE.txt" KeyPath="yes"/>
          </Component>
        </Directory>
      </Directory>
    </Directory>
    <Feature Id="Other" Level="1"><ComponentRef Id="Other"/></Feature>
  </Product>
</Wix>
WXS
(cd "$prefix/other" && wixl --arch x86 -o "$prefix/drive_c/other.msi" other.wxs)
msiexec 0 /i 'C:\other.msi'
other_intact "its installation"
initial=$(state)

echo "refusing a per-user registration and folders the plug-in cannot be trusted in"
refused 1603 'msiexec /i C:\package.msi /qn ALLUSERS=""'
refused 1603 'msiexec /i C:\package.msi /qn ALLUSERS=2 MSIINSTALLPERUSER=1'
for folder in 'C:\Vireo Elsewhere' "$pf\\" "$pf\\ " "$pf Elsewhere" "$pf\\..\\Escaped" "$pf\\Vireo \\Plugin" "$pf\\Vireo.\\Plugin" \
  "$pf\\Vireo." "$pf\\x/../../Evil"; do
  refused 1603 "msiexec /i C:\\package.msi /qn INSTALLDIR=\"$folder\""
done

echo "installing in a folder of one's choice, given Other App's product code as an earlier release's"
msiexec 0 /i 'C:\package.msi' "INSTALLDIR=\"$custom\"" "EARLIERFOUND=$other_code"
other_intact "an installation given its product code"
installed "$version" "$bin/VIREOPLUGIN.DLL" "$custom"
[ "$(value_of "$class_key\\InprocServer32" ThreadingModel)" = "Apartment" ] || fail "ThreadingModel"
[ "$(value_of "$plugin_key" FriendlyName)" = "Vireo Plugin" ] || fail "FriendlyName"
[ "$(value_of "$plugin_key" Description)" = "Description of Vireo Plugin." ] || fail "Description"
[ "$(value_of "$plugin_key" Capabilities)" = "0x80000001" ] || fail "Capabilities: $(value_of "$plugin_key" Capabilities)"
if [ "$WINEARCH" = win64 ]; then
  win reg query "$class_key" /reg:64 >/dev/null 2>&1 && fail "the class is in the 64-bit registry view"
fi

echo "creating the class by its id from another process"
output=$(cd "$prefix/drive_c/hostcheck" && win 'C:\hostcheck\vireohost.exe' properties --snapshot check.bmp 2>&1 | tr -d '\r') \
  || { echo "$output"; fail "the host could not use the installed plug-in"; }
grep -qx 'CoCreateInstance: 0x00000000' <<<"$output" || { echo "$output"; fail "CoCreateInstance"; }
grep -qx 'DisplayPropertyPage: 0x00000000' <<<"$output" || { echo "$output"; fail "DisplayPropertyPage"; }
[ -s "$prefix/drive_c/hostcheck/check.bmp" ] || fail "the dialog was not shown"
rm "$prefix/drive_c/hostcheck/check.bmp"

echo "repairing in the chosen folder, given Other App's product code"
rm "$custom_dir/VIREOPLUGIN.DLL"
win reg delete "$plugin_key" /f >/dev/null
# What "msiexec /famus" asks for; Wine 8's msiexec does not implement its /f switch.
msiexec 0 /i 'C:\package.msi' REINSTALL=ALL REINSTALLMODE=amus "EARLIERFOUND=$other_code"
installed "$version" "$bin/VIREOPLUGIN.DLL" "$custom"
other_intact "a repair given its product code"

echo "refusing to move the plug-in in a repair, or in a removal that installs again; the installed folder in another spelling is no move"
for again in 'C:\package.msi REINSTALL=ALL' "$(code_of "$version") REMOVE=ALL REINSTALL=ALL" \
  "$(code_of "$version") REMOVE=ALL ADDSOURCE=ALL" "$(code_of "$version") REMOVE=ALL ADDLOCAL=ALL"; do
  refused 1603 "msiexec /i $again REINSTALLMODE=amus INSTALLDIR=C:\\users\\Public\\Evil /qn /norestart"
done
[ -e "$prefix/drive_c/users/Public/Evil" ] && fail "a refused run wrote into C:\\users\\Public\\Evil"
for spelling in "\"${custom,,}\\\"" "\"${custom^^}\""; do
  msiexec 0 /i 'C:\package.msi' REINSTALL=ALL REINSTALLMODE=amus "INSTALLDIR=$spelling"
  installed "$version" "$bin/VIREOPLUGIN.DLL" "$custom"
done

echo "upgrading to $fourth with a plain /i and the full UI, as a double-click does, then refusing $version"
# Under the full UI a refusal waits for its message to be answered, which ends the run.
(press 'Vireo Plugin' &)
expect 0 'msiexec /i C:\fourth.msi /norestart /l*v C:\msiexec.log'
installed "$fourth" "$prefix/fourth.dll" "$custom"
in_order WriteRegistryValues AnnounceInstall InstallFinalize || fail "no broadcast after the keys were written"
refused 1603 'msiexec /i C:\package.msi /qn'

echo "upgrading while a player holds the DLL to $newer, then to $latest"
hold
msiexec 3010 /i 'C:\newer.msi'
cmp -s "$prefix/newer.dll" "$custom_dir/VIREOPLUGIN.DLL" && fail "the held DLL was replaced before the restart"
restart
installed "$newer" "$prefix/newer.dll" "$custom"
msiexec 0 /i 'C:\latest.msi'
installed "$latest" "$prefix/latest.dll" "$custom"

echo "with the package's record gone: a repair in the default folder, whatever the command line says"
rm -r "$custom_dir"
win reg delete "$own_key" /v InstallDir /f >/dev/null 2>&1
msiexec 0 /i 'C:\latest.msi' REINSTALL=ALL REINSTALLMODE=amus INSTALLDIR=C:\\users\\Public\\Evil INSTALLEDFOLDER=C:\\users\\Public\\Evil\\
[ -e "$prefix/drive_c/users/Public/Evil" ] && fail "the repair wrote into C:\\users\\Public\\Evil"
installed "$latest" "$prefix/latest.dll" "$pf\\Tessaline\\Vireo Plugin"

echo "removing, with the record gone, given Other App's folder and product code"
win reg delete "$own_key" /v InstallDir /f >/dev/null 2>&1
win reg add "$setting_key" /v REALTIME /t REG_DWORD /d 0 /f >/dev/null 2>&1
msiexec 0 /x "$(code_of "$latest")" "INSTALLDIR=\"$pf\\Other App\"" "INSTALLEDFOLDER=\"$pf\\Other App\\\"" "EARLIERFOUND=$other_code"
in_order RemoveRegistryValues AnnounceRemoval RemoveFiles || fail "the broadcast did not come after the keys went"
other_intact "a removal given its folder and product code"
[ "$(state)" = "$initial" ] || fail "the removal left: $(diff <(echo "$initial") <(state) | paste -sd' ')"

echo "installing in Other App's folder while a player looks; a damaged record mended as documented; removing the feature"
(cd "$prefix/drive_c/hostcheck" && win 'C:\hostcheck\vireohost.exe' plugins --watch 60 >"$prefix/watch.log" 2>&1 &)
# Within five seconds of what prompts it, the watcher prints LINE.
seen() {
  for _ in $(seq 50); do tr -d '\r' <"$prefix/watch.log" | grep -xF -- "$1" >/dev/null && return; sleep 0.1; done
  fail "the player's plug-ins did not show: $1; they showed: $(cat "$prefix/watch.log")"
}
seen 'watching for 60 seconds'
msiexec 0 /i 'C:\package.msi' "INSTALLDIR=\"$pf\\Other App\""
seen "appeared: $clsid Vireo Plugin (CoCreateInstance: 0x00000000)"
installed "$version" "$bin/VIREOPLUGIN.DLL" "$pf\\Other App"
other_intact "an installation into its folder"
# A record naming a folder no run accepts refuses every run, removal included: docs/deploying.md
# has the administrator write back the folder that Add/Remove Programs gives.
win reg add "$own_key" /v InstallDir /d 'C:\users\Public\Vireo' /f /reg:32 >/dev/null 2>&1
refused 1603 "msiexec /x $(code_of "$version") /qn"
location=$(value_of "$uninstall_root\\$(code_of "$version")" InstallLocation)
win reg add "$own_key" /v InstallDir /d "${location%\\}" /f /reg:32 >/dev/null 2>&1
msiexec 0 /i 'C:\package.msi' REMOVE=Complete
seen "went: $clsid Vireo Plugin (CoCreateInstance: 0x00000000)"
other_intact "a removal from its folder"
[ "$(state)" = "$initial" ] || fail "the removal left: $(diff <(echo "$initial") <(state) | paste -sd' ')"
[ "$(win reg query "$setting_key" /v REALTIME 2>/dev/null | tr -d '\r' | awk '$1 == "REALTIME" { print $3 }')" = "0x0" ] \
  || fail "the user's setting was touched"

if [ "$WINEARCH" = win32 ]; then
  echo "the package: what Wine cannot show, read from its tables"
  msi="$bin/VireoPlugin-$version.msi"
  table() { msiinfo export "$msi" "$1" | tr -d '\r'; }
  # Windows replaces a file in use only by comparing versions, and a versioned file carries no hash.
  table File | grep "^VireoPluginDll	.*	$version	1033	" >/dev/null || fail "the File row lacks the DLL's version"
  table MsiFileHash | grep "^VireoPluginDll	" >/dev/null && fail "the versioned DLL has a hash row"
  # Under a quiet UI Windows restarts by itself unless told not to; the Restart Manager would close
  # the player.
  table Property | grep -x 'REBOOT	ReallySuppress' >/dev/null || fail "a quiet run may restart Windows"
  table Property | grep -x 'MSIRESTARTMANAGERCONTROL	Disable' >/dev/null || fail "the Restart Manager may close the player"
  table Property | grep -x 'ARPPRODUCTICON	VireoPlugin.ico' >/dev/null || fail "no icon in Add/Remove Programs"
  # Only a first installation removes related products: a repair or a removal, which any user may
  # start, never does, whatever the Upgrade properties hold.
  table InstallExecuteSequence | grep -x 'RemoveExistingProducts	NOT Installed	1501' >/dev/null ||
    fail "RemoveExistingProducts may run in a repair or a removal"
fi
echo "installer ($WINEARCH): passed"
