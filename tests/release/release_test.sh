#!/usr/bin/env bash
# Releases as a vendor would: a bad certificate stops the release and leaves the folder as it was;
# a release signed with a throwaway certificate verifies against it, file by file and inside the
# MSI, and its DLL still registers; two unsigned releases of the last commit, from clones in
# different folders at different times, are byte for byte the same.
# Usage: release_test.sh SOURCE_DIR WINE_PREFIX
set -euo pipefail
root=$1
prefix=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*"; exit 1; }
# The DLL carries the process's mitigations: ASLR, NX, Control Flow Guard with every export in its
# table, no exception handlers, and a load configuration naming the cookie the code checks.
hardened() {
  local dll=$1 map=$2 readout base cookie rva export
  readout=$(llvm-readobj-16 --file-headers --coff-load-config --coff-exports "$dll")
  for flag in DYNAMIC_BASE NX_COMPAT GUARD_CF NO_SEH; do
    grep -q "IMAGE_DLL_CHARACTERISTICS_$flag " <<<"$readout" || fail "the DLL lacks $flag"
  done
  for flag in CF_INSTRUMENTED CF_FUNCTION_TABLE_PRESENT; do
    grep -q " $flag " <<<"$readout" || fail "the DLL's guard flags lack $flag"
  done
  base=$(awk '/ImageBase:/ { print $2 }' <<<"$readout")
  cookie=$(awk '/SecurityCookie:/ { print $2 }' <<<"$readout")
  rva=$(awk '$NF == "___stack_chk_guard" { print $1; exit }' "$map")
  grep -q '\.refptr\.___stack_chk_guard$' "$map" || fail "no code checks the stack cookie"
  [ -n "$rva" ] && [ $((cookie)) -eq $((base + 0x$rva)) ] || fail "SecurityCookie $cookie is not the cookie the code checks"
  for export in $(awk '/^ *RVA:/ { print $2 }' <<<"$readout"); do
    grep -qix "  $(printf '0x%X' $((base + export)))" <<<"$readout" || fail "export at $export is not in the guard table"
  done
}
verify() { osslsigncode verify -CAfile "$work/signer.pem" -in "$1" >/dev/null || fail "$2 does not verify"; }

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Vireo Test Signer" \
  -addext keyUsage=digitalSignature -addext extendedKeyUsage=codeSigning \
  -keyout "$work/signer.key" -out "$work/signer.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$work/signer.key" -in "$work/signer.pem" -out "$work/signer.pfx" -passout pass:right
export VIREO_SIGN_PFX=$work/signer.pfx

echo "a wrong password and a missing file stop the release"
dist=$work/dist
mkdir "$dist" && echo earlier >"$dist/earlier"
for case in wrong missing; do
  password=right pfx=$VIREO_SIGN_PFX
  [ $case = wrong ] && password=wrong
  [ $case = missing ] && pfx=$work/none.pfx
  if VIREO_SIGN_PFX=$pfx VIREO_SIGN_PASSWORD=$password "$root/scripts/release" "$dist" >"$work/out" 2>&1; then
    fail "a $case certificate was accepted"
  fi
  grep -q "^release: cannot" "$work/out" || { cat "$work/out"; fail "no reason given for the $case certificate"; }
  [ "$(ls "$dist")" = earlier ] || fail "the $case certificate changed $dist"
done

echo "a signed release verifies"
VIREO_SIGN_PASSWORD=right "$root/scripts/release" "$dist" >/dev/null
(cd "$dist" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS"
[ ! -e "$dist/earlier" ] || fail "the release kept a file of the earlier one"
msi=$(echo "$dist"/VireoPlugin-*.msi)
for file in "$dist/VIREOPLUGIN.DLL" "$dist/VireoPluginSetup.exe" "$msi"; do
  verify "$file" "$(basename "$file")"
done
msiextract -C "$work/unpacked" "$msi" >/dev/null
verify "$(find "$work/unpacked" -name VIREOPLUGIN.DLL)" "the DLL inside the MSI"
"$root/scripts/wine-exec" "$prefix" regsvr32 /s "Z:${dist//\//\\}\\VIREOPLUGIN.DLL" \
  || fail "the signed DLL does not register"

echo "two unsigned releases are the same"
unset VIREO_SIGN_PFX
for clone in first "second clone"; do
  git clone -q "$root" "$work/$clone"
  "$work/$clone/scripts/release" "$work/$clone.out" >/dev/null
  sleep 1
done
diff -r "$work/first.out" "$work/second clone.out" || fail "the unsigned releases differ"
hardened "$work/first.out/VIREOPLUGIN.DLL" "$work/first/build-release/clang/VIREOPLUGIN.map"
echo "release: passed"
