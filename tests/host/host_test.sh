#!/usr/bin/env bash
# Runs the host's commands on the built DLL as a person would, checking what they print and
# their exit status. Usage: host_test.sh SOURCE_DIR BIN_DIR PREFIX
set -euo pipefail
root=$1
bin=$2
prefix=$3
cd "$bin"
host() { "$root/scripts/wine-exec" "$prefix" vireohost.exe "$@" 2>/dev/null | tr -d '\r'; }
fail() { echo "FAILED: $*"; exit 1; }
expect() { grep -qxF -- "$2" <<<"$1" || { echo "$1"; fail "expected the line: $2"; }; }
setting() { "$root/scripts/wine-exec" "$prefix" reg "$@" >/dev/null 2>&1; }
passed=0

setting delete 'HKCU\Software\Tessaline' /f || true
out=$(host info) || fail "info exited with $?"
expect "$out" 'stored: nothing (HKCU\Software\Tessaline\Vireo Decoder\REALTIME is absent)'
expect "$out" 'the dialog shows: RealTime'
expect "$out" 'file version: 1.0.0.9'
expect "$out" 'ProductName: TSL Vireo Decoder Filter Plugin'
setting add 'HKCU\Software\Tessaline\Vireo Decoder' /v REALTIME /t REG_BINARY /d 00 /f
out=$(host info)
expect "$out" 'stored: HKCU\Software\Tessaline\Vireo Decoder\REALTIME = REG_BINARY, 1 bytes: 00'
expect "$out" 'the dialog shows: Every Frame'
# The preset command that docs/deploying.md gives sets REALTIME alone: the decoder's other values stay.
preset=$(sed -n 's/.*`\(reg add "HKCU\\Software\\Tessaline\\Vireo Decoder"[^`]*\)`.*/\1/p' "$root/docs/deploying.md")
[ -n "$preset" ] || fail "docs/deploying.md gives no preset command"
setting add 'HKCU\Software\Tessaline\Vireo Decoder' /v Other /d kept /f
eval "set -- $preset"
"$root/scripts/wine-exec" "$prefix" "$@" >/dev/null 2>&1 || fail "the preset command failed: $preset"
out=$(host info)
expect "$out" 'stored: HKCU\Software\Tessaline\Vireo Decoder\REALTIME = REG_DWORD, 4 bytes: 00 00 00 00'
"$root/scripts/wine-exec" "$prefix" reg query 'HKCU\Software\Tessaline\Vireo Decoder' /v Other 2>/dev/null | grep -q 'kept' ||
  fail "the preset command lost the decoder's other value"
passed=$((passed + 1))

out=$(host properties VIREOPLUGIN.DLL --snapshot host-check.bmp) || { echo "$out"; fail "properties exited with $?"; }
for line in 'DllGetClassObject: 0x00000000' 'CreateInstance: 0x00000000' 'SetCore: 0x00000000' \
            'DisplayPropertyPage: 0x00000000' 'Release: 0' 'DllCanUnloadNow: 0x00000000 (may unload)'; do
  expect "$out" "$line"
done
[ -s host-check.bmp ] || fail "no picture of the dialog"
rm -f host-check.bmp
passed=$((passed + 1))

# The player's plug-ins as it finds them: registered, the plug-in is listed and created, and a
# watcher sees it come and go on the broadcasts; an entry that COM cannot create is listed with why.
clsid='{CC1F686D-E680-4392-8126-95060ED5222D}'
broken='HKLM\Software\Microsoft\MediaPlayer\UIPlugins\{0B0B0B0B-0000-0000-0000-000000000001}'
setting delete "HKLM\\Software\\Microsoft\\MediaPlayer\\UIPlugins\\$clsid" /f || true
setting add "$broken" /v FriendlyName /d Broken /f
"$root/scripts/wine-exec" "$prefix" vireohost.exe plugins --watch 8 >watch.log 2>/dev/null &
watcher=$!
# Seen once the watcher has listed what is there and waits for broadcasts.
seen() {
  for _ in $(seq 50); do tr -d '\r' <watch.log | grep -xF -- "$1" >/dev/null && return; sleep 0.1; done
  cat watch.log; fail "the watcher did not print: $1"
}
seen 'watching for 8 seconds'
out=$(host register) || fail "register exited with $?"
expect "$out" 'DllRegisterServer: 0x00000000'
seen "appeared: $clsid Vireo Plugin (CoCreateInstance: 0x00000000)"
out=$(host plugins) || fail "plugins exited with $?"
for line in "$clsid: Vireo Plugin" '  description: Description of Vireo Plugin.' '  capabilities: 0x80000001 (background, property page)' \
            '  CoCreateInstance: 0x00000000' '  SetCore: 0x00000000' '{0B0B0B0B-0000-0000-0000-000000000001}: Broken'; do
  expect "$out" "$line"
done
grep -A3 -xF '{0B0B0B0B-0000-0000-0000-000000000001}: Broken' <<<"$out" | grep -qxF '  CoCreateInstance: 0x80040154' || { echo "$out"; fail "the broken entry's reason"; }
out=$(host unregister) || fail "unregister exited with $?"
expect "$out" 'DllUnregisterServer: 0x00000000'
seen "went: $clsid Vireo Plugin (CoCreateInstance: 0x00000000)"
wait $watcher
setting delete "$broken" /f
if out=$(host properties); then fail "properties without a listed plug-in must fail"; fi
grep -q "$clsid" <<<"$(host plugins)" && fail "the plug-in is listed after unregister"
setting query "HKLM\\Software\\Classes\\CLSID\\$clsid" && fail "the class is registered after unregister"
rm -f watch.log
passed=$((passed + 1))

if out=$(host properties missing.dll); then fail "a missing DLL must fail"; fi
expect "$out" 'error: cannot load missing.dll: 0x8007007E'
if out=$(host frobnicate); then fail "an unknown command must fail"; fi
passed=$((passed + 1))

setting delete 'HKCU\Software\Tessaline' /f || true
echo "host: $passed passed, 0 failed"
