#!/usr/bin/env bash
# Releases as a vendor would, from a clone whose path has a space: a bad certificate, a wrong PIN,
# a folder that is not a release's and uncommitted changes stop the release and change nothing; a
# release signed with a throwaway certificate, from a legacy PKCS#12 file and from a SoftHSM2 token,
# verifies file by file and inside both packages, and its DLL still registers; two unsigned
# releases of the last commit, from clones in different folders at different times, are byte for
# byte the same, list their files in byte order, and their DLL carries the process's mitigations.
# Usage: release_test.sh SOURCE_DIR WINE_PREFIX
set -euo pipefail
root=$1
prefix=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*"; exit 1; }
verify() { osslsigncode verify -CAfile "$work/signer.pem" -in "$1" >/dev/null || fail "$2 does not verify"; }
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

clone="$work/vendor checkout"
git clone -q "$root" "$clone"
release() { "$clone/scripts/release" "$@"; }

# One throwaway certificate: in a PKCS#12 file with the legacy encryption of older exports, and
# with its key on a SoftHSM2 token made here.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Vireo Test Signer" \
  -addext keyUsage=digitalSignature -addext extendedKeyUsage=codeSigning \
  -keyout "$work/signer.key" -out "$work/signer.pem" 2>/dev/null
openssl pkcs12 -export -legacy -certpbe PBE-SHA1-RC2-40 -keypbe PBE-SHA1-3DES -inkey "$work/signer.key" \
  -in "$work/signer.pem" -out "$work/signer.pfx" -passout pass:right
mkdir "$work/tokens"
printf 'directories.tokendir = %s\nobjectstore.backend = file\n' "$work/tokens" >"$work/softhsm2.conf"
export SOFTHSM2_CONF=$work/softhsm2.conf
pin=73914
softhsm2-util --init-token --free --label vireo --pin $pin --so-pin 5678 >/dev/null
openssl pkcs8 -topk8 -nocrypt -in "$work/signer.key" -out "$work/signer.p8"
softhsm2-util --import "$work/signer.p8" --token vireo --label signer --id 01 --pin $pin >/dev/null
token=(VIREO_SIGN_PKCS11_MODULE=/usr/lib/softhsm/libsofthsm2.so VIREO_SIGN_CERT="$work/signer.pem"
       "VIREO_SIGN_KEY=pkcs11:token=vireo;object=signer;type=private")

echo "refusals change nothing"
dist=$work/dist
mkdir "$dist" && echo earlier >"$dist/SHA256SUMS"
refused() {
  local what=$1 reason=$2
  shift 2
  if env "$@" "$clone/scripts/release" "${target:-$dist}" >"$work/out" 2>&1; then fail "$what was accepted"; fi
  grep -q "^release: .*$reason" "$work/out" || { cat "$work/out"; fail "no reason given for $what"; }
  [ "$(cat "$dist/SHA256SUMS")" = earlier ] || fail "$what changed $dist"
  [ -d "$clone/.git" ] || fail "$what removed the checkout"
}
refused "a wrong password" "wrong VIREO_SIGN_PASSWORD" VIREO_SIGN_PFX="$work/signer.pfx" VIREO_SIGN_PASSWORD=wrong
refused "a missing certificate file" "cannot read" VIREO_SIGN_PFX="$work/none.pfx"
refused "a wrong PIN" "wrong VIREO_SIGN_PIN" "${token[@]}" VIREO_SIGN_PIN=1111
target=$clone refused "the checkout as the folder" "holds the checkout"
target=$work refused "a folder holding the checkout" "holds the checkout"
echo mine >"$dist/notes.txt"
refused "a folder with other files" "holds notes.txt"
rm "$dist/notes.txt"
echo change >>"$clone/README.md"
refused "uncommitted changes" "uncommitted changes"
git -C "$clone" checkout -q README.md

echo "a release signed from a legacy PKCS#12 file verifies"
VIREO_SIGN_PFX=$work/signer.pfx VIREO_SIGN_PASSWORD=right release "$dist" >"$work/out" 2>&1 || { cat "$work/out"; fail "the signed release"; }
grep -q "stop validating when the certificate expires" "$work/out" || fail "no word on the missing time stamp"
(cd "$dist" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS"
msi=$(echo "$dist"/VireoPlugin-*.msi)
for file in "$dist/VIREOPLUGIN.DLL" "$dist/VireoPluginSetup.exe" "$msi"; do
  verify "$file" "$(basename "$file")"
done
msiextract -C "$work/unpacked" "$msi" >/dev/null
verify "$(find "$work/unpacked" -name VIREOPLUGIN.DLL)" "the DLL inside the MSI"
"$root/scripts/wine-exec" "$prefix" regsvr32 /s "Z:${dist//\//\\}\\VIREOPLUGIN.DLL" \
  || fail "the signed DLL does not register"

echo "a release signed on a token verifies, and its PIN shows nowhere"
env "${token[@]}" VIREO_SIGN_PIN=$pin "$clone/scripts/release" "$work/token dist" >"$work/out" 2>&1 \
  || { cat "$work/out"; fail "the release signed on the token"; }
verify "$work/token dist/VIREOPLUGIN.DLL" "the token-signed DLL"
grep -q $pin "$work/out" && fail "the PIN is in the release's output"

echo "two unsigned releases are the same"
git clone -q "$root" "$work/second clone"
for checkout in "$clone" "$work/second clone"; do
  "$checkout/scripts/release" "$checkout.out" >/dev/null
  sleep 1
done
diff -r "$clone.out" "$work/second clone.out" || fail "the unsigned releases differ"
awk '{ print $2 }' "$clone.out/SHA256SUMS" | LC_ALL=C sort -c || fail "SHA256SUMS is not in byte order"
hardened "$clone.out/VIREOPLUGIN.DLL" "$clone/build-release/clang/VIREOPLUGIN.map"
echo "release: passed"
