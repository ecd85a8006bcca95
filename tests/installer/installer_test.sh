#!/usr/bin/env bash
# The packages' round trip in a fresh Wine prefix of its own, with one Wine server throughout, so that
# only a simulated restart carries out what the Windows Installer left for the restart. Through the
# setup and through msiexec: folders that the plug-in cannot be trusted in (by the setup itself,
# before msiexec runs), a per-user registration and a cancel are refused, changing nothing; an
# installation in a chosen folder (the 64-bit Program Files on 64-bit Windows), kept through a repair
# and through upgrades that raise any version field, one with the full UI; a repair into another
# folder refused, the installed folder in another spelling not; the setup's repair command, one
# setup at a time, its copy of the package kept byte for byte when another build's run fails, and put
# right after a run that was stopped (a stand-in msiexec gives the codes, or never ends); an older
# build refused; upgrades while a player holds the DLL (3010, the swap at the restart, the setup's
# last words read as a person reads them); with the package's record gone, a repair in the default
# folder and a removal that no command line steers; removal, which takes whatever a stopped setup
# of any release left and keeps the user's setting.
# Exit codes are compared whole. What Wine cannot show, and the validation rules, are read from the
# package's tables. Wine copies no file whose version equals the installed one's, REINSTALLMODE's "a"
# notwithstanding, so another build of the installed version leaves the installed DLL in place here;
# Windows replaces it: the command line that asks for it is checked instead.
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
cache_dir="$prefix/drive_c/$program_files/Common Files/Tessaline"
# The setup's copy of the package, and its log.
cache="$cache_dir/Package Cache/Vireo Plugin"
cached_package="$pf\\Common Files\\Tessaline\\Package Cache\\Vireo Plugin\\VireoPlugin.msi"
cached_files() { ls "$cache" | paste -sd' '; }
code_of() { "$root/scripts/make-msi" --product-code "$1"; }

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
# The setup runs %SYSTEMROOT%\system32\msiexec.exe (SysWOW64 for a 32-bit program on 64-bit Windows):
# the stand-in takes its place, exiting with the code that msiexec-code.txt holds, or never.
system=$prefix/drive_c/windows/system32
[ "$WINEARCH" = win64 ] && system=$prefix/drive_c/windows/syswow64
stand_in() {
  mv "$system/msiexec.exe" "$prefix/msiexec.exe"
  cp "$bin/installerdriver.exe" "$system/msiexec.exe"
  win reg add 'HKCU\Software\Wine\DllOverrides' /v msiexec.exe /d native /f >/dev/null 2>&1
}
real_msiexec() {
  mv "$prefix/msiexec.exe" "$system/msiexec.exe"
  win reg delete 'HKCU\Software\Wine\DllOverrides' /v msiexec.exe /f >/dev/null 2>&1
}
# Starts the setup SETUP.exe and returns while the stand-in runs for it, once it has set its package aside.
start_setup() {
  echo wait >"$prefix/drive_c/msiexec-code.txt"
  rm -f "$prefix/drive_c/msiexec-line.txt"
  (run_line "C:\\$1 /S" >/dev/null &)
  for _ in $(seq 150); do
    [ -e "$cache/VireoPlugin.msi.previous" ] && [ -e "$prefix/drive_c/msiexec-line.txt" ] && return
    sleep 0.2
  done
  fail "$1 did not run msiexec"
}
# Stops the setup SETUP.exe, and the stand-in with it unless the second argument is "setup".
stop() {
  win taskkill /f /im "$1" >/dev/null 2>&1 || fail "$1 was not running"
  [ "${2:-}" = setup ] || win taskkill /f /im msiexec.exe >/dev/null 2>&1 || fail "the stand-in was not running"
}
# Presses button 1 (Install, OK, Close) of the setup's window and prints the window's texts.
press() { win 'C:\installerdriver.exe' press 'Vireo Plugin Setup' 1 2>/dev/null | tr -d '\r'; }
# Runs SETUP.exe as a person would, and sets message to what it said last: Install on its folder
# page (when the third argument is "folder"), OK on its last message, Close. It must exit with CODE.
as_person() {
  rm -f "$prefix/person.txt"
  (run_line "C:\\$2" >"$prefix/person.txt" &)
  if [ "${3:-}" = folder ]; then press >/dev/null || fail "no folder page"; sleep 1; fi
  message=$(press) || fail "$2 showed no last message"
  press >/dev/null || fail "$2 could not be closed"
  for _ in $(seq 100); do [ -s "$prefix/person.txt" ] && break; sleep 0.2; done
  [ "$(cat "$prefix/person.txt")" = "$1" ] || fail "$2 exited with $(cat "$prefix/person.txt"), not $1"
}
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
# The installation of VERSION with the DLL FILE in FOLDER, made through the setup or msiexec: one
# entry, the keys, and through the setup its copy of the package, the one it ran.
installed() {
  local at=$1 dll=$2 in=$3 through=$4 code
  code=$(code_of "$at")
  [ "$(listed)" = "$code $at" ] || fail "Add/Remove Programs lists: $(listed | paste -sd' '), not $code $at"
  local file=${in#C:\\}
  cmp -s "$dll" "$prefix/drive_c/${file//\\//}/VIREOPLUGIN.DLL" || fail "the DLL in $in is not $dll"
  cmp -s "$root/LICENSE.txt" "$prefix/drive_c/${file//\\//}/LICENSE.txt" || fail "no licence beside the DLL in $in"
  [ "$(value_of "$uninstall_root\\$code" Readme)" = "$in\\LICENSE.txt" ] || fail "Add/Remove Programs does not link the licence"
  [ "$(value_of "$class_key\\InprocServer32" '(Default)')" = "$in\\VIREOPLUGIN.DLL" ] || fail "InprocServer32 does not name the DLL in $in"
  [ "$(value_of "$uninstall_root\\$code" InstallLocation)" = "$in\\" ] || fail "InstallLocation: $(value_of "$uninstall_root\\$code" InstallLocation)"
  [ "$(value_of "$plugin_key" UninstallPath)" = "MsiExec.exe /X$code" ] || fail "UninstallPath: $(value_of "$plugin_key" UninstallPath)"
  if [ "$through" = setup ]; then
    [ "$(cached_files)" = VireoPlugin.msi ] || fail "the package cache holds: $(cached_files)"
    [ "$(msiinfo export "$cache/VireoPlugin.msi" Property | tr -d '\r' | awk -F'\t' '$1 == "ProductVersion" { print $2 }')" = "$at" ] ||
      fail "the package cache holds another version's package"
  fi
}

rm -rf "$prefix" "$prefix.lock"
trap 'wineserver -k 2>/dev/null || true' EXIT
win >/dev/null
keep_server
cp "$bin/VireoPluginSetup.exe" "$bin/installerdriver.exe" "$prefix/drive_c/"
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
  "$root/scripts/make-msi" "${!later}" "$prefix/$later.dll" "$prefix/drive_c/$later.msi"
done
"$root/scripts/make-setup" "$latest" "$prefix/drive_c/latest.msi" "$prefix/drive_c/LatestSetup.exe" >/dev/null
# Another build of this version: the same product, another package.
"$root/scripts/make-msi" "$version" "$prefix/fourth.dll" "$prefix/other.msi"
"$root/scripts/make-setup" "$version" "$prefix/other.msi" "$prefix/drive_c/OtherSetup.exe" >/dev/null
initial=$(state)

echo "refusing a cancel, a per-user registration and folders the plug-in cannot be trusted in"
(win 'C:\installerdriver.exe' press 'Vireo Plugin Setup' 2 >/dev/null 2>&1 &)
refused 1602 'C:\VireoPluginSetup.exe'
refused 1603 'msiexec /i C:\package.msi /qn ALLUSERS=""'
refused 1603 'msiexec /i C:\package.msi /qn ALLUSERS=2 MSIINSTALLPERUSER=1'
# 254 characters: the DLL's path would be longer than the class can name.
too_long="$pf\\$(printf 'x%.0s' $(seq $((254 - ${#pf} - 1))))"
for folder in 'C:\Vireo Elsewhere' "$pf\\" "$pf\\ " "$pf Elsewhere" "$pf\\..\\Escaped" "$pf\\Vireo \\Plugin" "$pf\\Vireo.\\Plugin" "$too_long"; do
  # The setup refuses these itself: msiexec, which would write its log, never runs.
  refused 1603 "C:\\VireoPluginSetup.exe /S /D=$folder"
  compgen -G "$prefix/drive_c/users/*/Temp/VireoPluginSetup-*.log" >/dev/null && fail "the setup left $folder to msiexec"
  # Wine's msiexec installs into a folder whatever its length; Windows refuses past MAX_PATH itself.
  [ "$folder" = "$too_long" ] || refused 1603 "msiexec /i C:\\package.msi /qn INSTALLDIR=\"$folder\""
done
# The setup's /D= loses a "/" before the setup sees it; the package refuses one.
refused 1603 "msiexec /i C:\\package.msi /qn INSTALLDIR=\"$pf\\x/../../Evil\""

echo "installing through the setup in a folder of one's choice"
expect 0 "C:\\VireoPluginSetup.exe /S /D=$custom"
installed "$version" "$bin/VIREOPLUGIN.DLL" "$custom" setup
[ "$(value_of "$class_key\\InprocServer32" ThreadingModel)" = "Apartment" ] || fail "ThreadingModel"
[ "$(value_of "$plugin_key" FriendlyName)" = "Vireo Plugin" ] || fail "FriendlyName"
[ "$(value_of "$plugin_key" Description)" = "Description of Vireo Plugin." ] || fail "Description"
[ "$(value_of "$plugin_key" Capabilities)" = "0x80000001" ] || fail "Capabilities: $(value_of "$plugin_key" Capabilities)"
if [ "$WINEARCH" = win64 ]; then
  win reg query "$class_key" /reg:64 >/dev/null 2>&1 && fail "the class is in the 64-bit registry view"
fi
# The setup installs for the machine: Windows must ask for an administrator.
grep -aF 'level="requireAdministrator"' "$bin/VireoPluginSetup.exe" >/dev/null || fail "the setup does not ask for administrator rights"

echo "creating the class by its id from another process"
output=$(cd "$prefix/drive_c/hostcheck" && win 'C:\hostcheck\vireohost.exe' properties --snapshot check.bmp 2>&1 | tr -d '\r') \
  || { echo "$output"; fail "the host could not use the installed plug-in"; }
grep -qx 'CoCreateInstance: 0x00000000' <<<"$output" || { echo "$output"; fail "CoCreateInstance"; }
grep -qx 'DisplayPropertyPage: 0x00000000' <<<"$output" || { echo "$output"; fail "DisplayPropertyPage"; }
[ -s "$prefix/drive_c/hostcheck/check.bmp" ] || fail "the dialog was not shown"
rm "$prefix/drive_c/hostcheck/check.bmp"

echo "repairing in the chosen folder, from the setup's copy of the package and through the setup"
rm "$custom_dir/VIREOPLUGIN.DLL"
win reg delete "$plugin_key" /f >/dev/null
# What "msiexec /famus" asks for; Wine 8's msiexec does not implement its /f switch.
msiexec 0 /i "\"$cached_package\"" REINSTALL=ALL REINSTALLMODE=amus
installed "$version" "$bin/VIREOPLUGIN.DLL" "$custom" setup
rm "$custom_dir/VIREOPLUGIN.DLL"
expect 0 'C:\VireoPluginSetup.exe /S'
installed "$version" "$bin/VIREOPLUGIN.DLL" "$custom" setup

echo "refusing to move the plug-in in a repair, or in a removal that installs again; the installed folder in another spelling is no move"
for again in "\"$cached_package\" REINSTALL=ALL" "$(code_of "$version") REMOVE=ALL REINSTALL=ALL" \
  "$(code_of "$version") REMOVE=ALL ADDSOURCE=ALL" "$(code_of "$version") REMOVE=ALL ADDLOCAL=ALL"; do
  refused 1603 "msiexec /i $again REINSTALLMODE=amus INSTALLDIR=C:\\users\\Public\\Evil /qn /norestart"
done
[ -e "$prefix/drive_c/users/Public/Evil" ] && fail "a refused run wrote into C:\\users\\Public\\Evil"
refused 1603 "C:\\VireoPluginSetup.exe /S /D=$pf\\Vireo Moved"
msiexec 0 /i "\"$cached_package\"" REINSTALL=ALL REINSTALLMODE=amus "INSTALLDIR=\"${custom,,}\\\""
installed "$version" "$bin/VIREOPLUGIN.DLL" "$custom" setup
expect 0 "C:\\VireoPluginSetup.exe /S /D=${custom^^}\\"
installed "$version" "$bin/VIREOPLUGIN.DLL" "$custom" setup

echo "one setup at a time; the cached package kept when another build's run fails, put right after a stopped run"
# A setup that cannot write its copy (a file stands where its folder goes) stops before msiexec.
touch "$cache/Incoming"
refused 1603 'C:\OtherSetup.exe /S'
rm "$cache/Incoming"
stand_in
for code in 1602 1618 1603; do
  echo "$code" >"$prefix/drive_c/msiexec-code.txt"
  refused "$code" 'C:\OtherSetup.exe /S'
  cmp "$bin/VireoPlugin-$version.msi" "$cache/VireoPlugin.msi" || fail "a failed run ($code) of another build's setup changed the cached package"
done
# Another build of the installed version: v caches it anew (Windows would refuse it with 1638), a
# copies every file again.
grep -F ' REINSTALL=ALL REINSTALLMODE=vamus' "$prefix/drive_c/msiexec-line.txt" >/dev/null ||
  fail "the setup's repair ran: $(cat "$prefix/drive_c/msiexec-line.txt")"
# A second setup, while the first runs and while the first's msiexec runs on after it was stopped,
# touches nothing.
start_setup OtherSetup.exe
refused 1618 'C:\VireoPluginSetup.exe /S'
stop OtherSetup.exe setup
refused 1618 'C:\VireoPluginSetup.exe /S'
win taskkill /f /im msiexec.exe >/dev/null 2>&1
# The stopped run left the other build's package under the package's name: the next run puts the
# installed build's back, and keeps it when it fails itself.
echo 1603 >"$prefix/drive_c/msiexec-code.txt"
expect 1603 'C:\VireoPluginSetup.exe /S'
[ "$(cached_files)" = VireoPlugin.msi ] && cmp -s "$bin/VireoPlugin-$version.msi" "$cache/VireoPlugin.msi" ||
  fail "after a stopped run the cache holds: $(cached_files)"
# Stopped again, but its msiexec went on and installed the other build, as on Windows: the next run
# keeps the package now installed, and the copy that no installed product owns goes.
start_setup OtherSetup.exe
stop OtherSetup.exe
real_msiexec
msiexec 0 /i "\"$cached_package\"" REINSTALL=ALL REINSTALLMODE=vamus
stand_in
echo 1603 >"$prefix/drive_c/msiexec-code.txt"
expect 1603 'C:\VireoPluginSetup.exe /S'
[ "$(cached_files)" = VireoPlugin.msi ] && cmp -s "$prefix/other.msi" "$cache/VireoPlugin.msi" ||
  fail "after a stopped run that installed, the cache holds: $(cached_files)"
real_msiexec
expect 0 'C:\VireoPluginSetup.exe /S'
installed "$version" "$bin/VIREOPLUGIN.DLL" "$custom" setup

echo "upgrading to $fourth with a plain /i and the full UI, as a double-click does, then refusing $version"
# Under the full UI a refusal waits for its message to be answered, which ends the run.
(win 'C:\installerdriver.exe' press 'Vireo Plugin' 1 >/dev/null 2>&1 &)
expect 0 'msiexec /i C:\fourth.msi /norestart /l*v C:\msiexec.log'
installed "$fourth" "$prefix/fourth.dll" "$custom" msiexec
in_order WriteRegistryValues AnnounceInstall InstallFinalize || fail "no broadcast after the keys were written"
refused 1603 'msiexec /i C:\package.msi /qn'
refused 1603 'C:\VireoPluginSetup.exe /S'

echo "upgrading while a player holds the DLL: through msiexec to $newer, through the setup to $latest"
hold
msiexec 3010 /i 'C:\newer.msi'
cmp -s "$prefix/newer.dll" "$custom_dir/VIREOPLUGIN.DLL" && fail "the held DLL was replaced before the restart"
restart
installed "$newer" "$prefix/newer.dll" "$custom" msiexec
hold
as_person 3010 LatestSetup.exe
[ "$message" = "Vireo Plugin $latest is installed, but a running player still holds the version it replaces: restart Windows to finish." ] ||
  fail "the setup said: $message"
restart
installed "$latest" "$prefix/latest.dll" "$custom" setup

echo "with the package's record gone: a repair in the default folder, whatever the command line says"
rm -r "$custom_dir"
win reg delete "$own_key" /v InstallDir /f >/dev/null 2>&1
msiexec 0 /i "\"$cached_package\"" REINSTALL=ALL REINSTALLMODE=amus INSTALLDIR=C:\\users\\Public\\Evil INSTALLEDFOLDER=C:\\users\\Public\\Evil\\
[ -e "$prefix/drive_c/users/Public/Evil" ] && fail "the repair wrote into C:\\users\\Public\\Evil"
installed "$latest" "$prefix/latest.dll" "$pf\\Tessaline\\Vireo Plugin" setup

echo "removing, with the record gone, after an earlier release's setup was stopped, given another product's folders"
win reg delete "$own_key" /v InstallDir /f >/dev/null 2>&1
win reg add "$setting_key" /v REALTIME /t REG_DWORD /d 0 /f >/dev/null 2>&1
stand_in
start_setup VireoPluginSetup.exe
stop VireoPluginSetup.exe
real_msiexec
# As a setup stopped while it wrote its package leaves it.
mkdir "$cache/Incoming"
cp "$bin/VireoPlugin-$version.msi" "$cache/Incoming/VireoPlugin.msi"
other_app="$prefix/drive_c/$program_files/Other App"
mkdir "$other_app"
printf 'Another product' | tee "$other_app/LICENSE.txt" "$other_app/VireoPlugin.msi" >"$other_app/VIREOPLUGIN.DLL"
msiexec 0 /x "$(code_of "$latest")" "INSTALLDIR=\"$pf\\Other App\"" "INSTALLEDFOLDER=\"$pf\\Other App\\\"" "PackageFolder=\"$pf\\Other App\\\""
in_order RemoveRegistryValues AnnounceRemoval RemoveFiles || fail "the broadcast did not come after the keys went"
[ "$(cat "$other_app/LICENSE.txt" "$other_app/VIREOPLUGIN.DLL" "$other_app/VireoPlugin.msi")" = "Another productAnother productAnother product" ] ||
  fail "the removal took another product's files: $(ls "$other_app")"
rm -r "$other_app"
[ "$(state)" = "$initial" ] || fail "the removal left: $(diff <(echo "$initial") <(state) | paste -sd' ')"

echo "installing through msiexec in the default folder, then removing by the package, while a player looks"
(cd "$prefix/drive_c/hostcheck" && win 'C:\hostcheck\vireohost.exe' plugins --watch 60 >"$prefix/watch.log" 2>&1 &)
# Within five seconds of what prompts it, the watcher prints LINE.
seen() {
  for _ in $(seq 50); do tr -d '\r' <"$prefix/watch.log" | grep -xF -- "$1" >/dev/null && return; sleep 0.1; done
  fail "the player's plug-ins did not show: $1; they showed: $(cat "$prefix/watch.log")"
}
seen 'watching for 60 seconds'
msiexec 0 /i 'C:\package.msi'
seen "appeared: $clsid Vireo Plugin (CoCreateInstance: 0x00000000)"
installed "$version" "$bin/VIREOPLUGIN.DLL" "$pf\\Tessaline\\Vireo Plugin" msiexec
msiexec 0 /x 'C:\package.msi'
seen "went: $clsid Vireo Plugin (CoCreateInstance: 0x00000000)"
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
  # Advertising skips the launch conditions; Wine 8 answers /j with 120. The feature may not be
  # advertised, and the advertise sequence starts with an error (type 19).
  table Feature | awk -F'\t' '$1 == "Complete" && int($8 / 8) % 2 { found = 1 } END { exit !found }' || fail "the feature may be advertised"
  [ "$(table AdvtExecuteSequence | tail -n +4 | sort -t$'\t' -k3n | head -1)" = $'NoAdvertising\t\t1' ] &&
    table CustomAction | grep $'^NoAdvertising\t19\t' >/dev/null || fail "the advertise sequence does not start with its refusal"
  # The table check, which every build runs, names a public property read in a condition and a
  # searched one that is not cleared first.
  planted() {
    cp "$msi" "$prefix/planted.msi"
    msibuild "$prefix/planted.msi" -q "$1"
    ! output=$("$root/scripts/check-msi" "$prefix/planted.msi" 2>&1) && grep -F "public property $2" <<<"$output" >/dev/null ||
      fail "the table check let through: $1"
  }
  planted "INSERT INTO \`LaunchCondition\` (\`Condition\`, \`Description\`) VALUES ('NOT VIREOTRUSTED', 'Refused.')" 'VIREOTRUSTED (LaunchCondition)'
  planted "DELETE FROM \`InstallExecuteSequence\` WHERE \`Action\` = 'ClearInstalledFolder'" 'INSTALLEDFOLDER (AppSearch)'
fi
echo "installer ($WINEARCH): passed"
