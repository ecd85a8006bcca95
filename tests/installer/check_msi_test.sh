#!/usr/bin/env bash
# The table check that every build of the package runs: it passes the built package, and fails,
# naming what it found, on a package it cannot read, on copies that each break one of its rules,
# and, through make-msi, on a source that reads a public property.
# Usage: check_msi_test.sh SOURCE_DIR PACKAGE.msi DLL
set -euo pipefail
root=$1
msi=$2
dll=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*"; exit 1; }
check() { "$root/installer/check-msi" "$1" 2>&1; }

check "$msi" >/dev/null || fail "the built package: $(check "$msi")"
# Exits 1, saying WHAT, on PACKAGE.
refuses() {
  local package=$1 what=$2 output status=0
  output=$(check "$package") || status=$?
  [ "$status" = 1 ] && grep -F -- "$what" <<<"$output" >/dev/null || fail "the check exited with $status and said: $output; not $what"
}
refuses "$work/missing.msi" "cannot be read"
: >"$work/empty.msi"
refuses "$work/empty.msi" "cannot be read"

# A copy of the package with TABLE.idt files imported, or SQL run, that must be refused naming WHAT.
planted() {
  local what=$1
  shift
  cp "$msi" "$work/planted.msi"
  if [[ $1 == *.idt ]]; then
    printf '%b' "$2" >"$work/$1"
    msibuild "$work/planted.msi" -i "$work/$1"
  else
    msibuild "$work/planted.msi" -q "$1"
  fi
  refuses "$work/planted.msi" "$what"
}
# Public properties read through tables that the package does not have yet, each a column of
# another kind: a formatted value, a folder property, a registry path.
planted "public property VIREOPATH (Environment" Environment.idt \
  'Environment\tName\tValue\tComponent_\r\ns72\tl255\tL255\ts72\r\nEnvironment\tEnvironment\r\nPath\t=-*Path\t[~];[VIREOPATH]\tPlugin\r\n'
planted "public property VIREOINI (IniFile" IniFile.idt \
  'IniFile\tFileName\tDirProperty\tSection\tKey\tValue\tAction\tComponent_\r\ns72\tl255\tS72\tl96\tl128\tl255\ti2\ts72\r\nIniFile\tIniFile\r\nIni\tvireo.ini\tVIREOINI\tVireo\tKey\tValue\t0\tPlugin\r\n'
planted "public property VIREOKEY (RemoveRegistry" RemoveRegistry.idt \
  'RemoveRegistry\tRoot\tKey\tName\tComponent_\r\ns72\ti2\tl255\tL255\ts72\r\nRemoveRegistry\tRemoveRegistry\r\nKey\t2\tSoftware\\[VIREOKEY]\t-\tPlugin\r\n'
planted "public property VIREOSOURCE (MoveFile" MoveFile.idt \
  'FileKey\tComponent_\tSourceName\tDestName\tSourceFolder\tDestFolder\tOptions\r\ns72\ts72\tL255\tL255\tS72\ts72\ti2\r\nMoveFile\tFileKey\r\nMove\tPlugin\t*.dll\t\tVIREOSOURCE\tINSTALLDIR\t1\r\n'
# In tables it has: a search's registry key, the administrative sequence (which runs no clears),
# the targets of a type-51 and a type-19 action.
planted "public property VIREOKEY (RegLocator" "UPDATE \`RegLocator\` SET \`Key\` = 'Software\\[VIREOKEY]' WHERE \`Signature_\` = 'InstalledFolder'"
planted "public property INSTALLEDFOLDER (AdminExecuteSequence" \
  "UPDATE \`AdminExecuteSequence\` SET \`Condition\` = 'INSTALLEDFOLDER' WHERE \`Action\` = 'CostInitialize'"
planted "public property VIREOWHERE (CustomAction SetInstallLocation" \
  "UPDATE \`CustomAction\` SET \`Target\` = '[VIREOWHERE]' WHERE \`Action\` = 'SetInstallLocation'"
planted "public property VIREOWHY (CustomAction Refusal" \
  "INSERT INTO \`CustomAction\` (\`Action\`, \`Type\`, \`Source\`, \`Target\`) VALUES ('Refusal', 19, '', 'No: [VIREOWHY]')"
planted "public property VIREOTRUSTED (LaunchCondition" \
  "INSERT INTO \`LaunchCondition\` (\`Condition\`, \`Description\`) VALUES ('NOT VIREOTRUSTED', 'Refused.')"
# Clears that are none: run only in the first sequence (+256) or deferred (+1024), dropped from one
# sequence, or placed after the search; and an Upgrade property whose clear is gone.
planted "public property INSTALLEDFOLDER (AppSearch" "UPDATE \`CustomAction\` SET \`Type\` = 307 WHERE \`Action\` = 'ClearInstalledFolder'"
planted "public property INSTALLEDFOLDER (AppSearch" "UPDATE \`CustomAction\` SET \`Type\` = 1075 WHERE \`Action\` = 'ClearInstalledFolder'"
planted "public property INSTALLEDBUILD (AppSearch" "DELETE FROM \`InstallUISequence\` WHERE \`Action\` = 'ClearInstalledBuild'"
planted "public property EARLIERFOUND (Upgrade" "DELETE FROM \`InstallExecuteSequence\` WHERE \`Action\` = 'ClearEarlierFound'"
planted "public property LATERFOUND (Upgrade" "UPDATE \`InstallExecuteSequence\` SET \`Sequence\` = 30 WHERE \`Action\` = 'ClearLaterFound'"
# A table the check has no schema for.
planted "has no table VireoPlanted" VireoPlanted.idt 'Name\tValue\r\ns72\tL255\r\nVireoPlanted\tName\r\nx\t[VIREOHIDDEN]\r\n'
# Group Policy's advertising: a feature that may not be advertised, a custom action in the sequence.
planted "the feature Complete may not be advertised" "UPDATE \`Feature\` SET \`Attributes\` = 8 WHERE \`Feature\` = 'Complete'"
planted "the advertise sequence runs ClearInstalledFolder" \
  "INSERT INTO \`AdvtExecuteSequence\` (\`Action\`, \`Sequence\`) VALUES ('ClearInstalledFolder', 1)"

# The build itself fails on a source that reads a public property: make-msi runs the check on what
# it builds, and leaves no package.
sed 's|<Property Id="ThisBuild"|<Condition Message="Refused.">NOT VIREOTRUSTED</Condition>&|' \
  "$root/installer/VireoPlugin.wxs" >"$work/planted.wxs"
grep -F VIREOTRUSTED "$work/planted.wxs" >/dev/null || fail "the source was not planted"
status=0
output=$("$root/installer/make-msi" 1.0.0.9 "$dll" "$work/built.msi" "$work/planted.wxs" 2>&1) || status=$?
[ "$status" = 1 ] && grep -F "public property VIREOTRUSTED (LaunchCondition" <<<"$output" >/dev/null ||
  fail "make-msi exited with $status on a source that reads VIREOTRUSTED: $output"
[ ! -e "$work/built.msi" ] || fail "make-msi left a package that failed the check"
echo "table check: passed"
