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
echo "release: passed"
