#!/usr/bin/env bash
# Releases as a vendor would, from a clone whose path has a space: a bad, expired or
# non-code-signing certificate, a wrong PIN, a folder that is not a release's or lies in the build
# folder (also through a linked checkout) and uncommitted changes stop the release, change nothing
# and leave no staging folder; a release signed with a throwaway certificate, from a legacy PKCS#12
# file with a time stamp from a local authority and from a SoftHSM2 token, verifies file by file and
# inside the package, lists every file in SHA256SUMS,
# never puts a secret on a command line, and its DLL still registers; two unsigned releases of the
# last commit, from clones in different folders, at different times and in time zones a day apart,
# are byte for byte the same, symbols included, list their files in byte order, and their DLL
# carries the process's mitigations (tests/server/hardened_test.sh) and names the PDB that describes
# it; a second clone without the key proves the signed release its commit's (--signatures-from), and
# names the DLL of a release whose DLL is another or unsigned; a release stopped at its renames was
# not refused the previous release's folder; the SBOM and security.txt are checked against the
# files, the notices and the build; the winget manifests validate against winget's schemas and match
# the release, and a stale one fails.
# Usage: release_test.sh SOURCE_DIR WINE_PREFIX
set -euo pipefail
root=$1
prefix=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*"; exit 1; }
verify() { osslsigncode verify -CAfile "$work/signer.pem" -in "$1" >/dev/null || fail "$2 does not verify"; }
clone="$work/vendor checkout"
git clone -q "$root" "$clone"
release() { "$clone/release/release" "$@"; }

# The signing tool, as the release finds it, with every command line it is given kept: the secrets
# must never be on one, where other users can read them. With VIREO_TEST_UNSIGNED it leaves the
# files of that name unsigned. And mv, which with VIREO_TEST_STOP stops the release (TERM) once it
# has renamed the previous release aside.
mkdir "$work/shim"
cat >"$work/shim/osslsigncode" <<SHIM
#!/bin/bash
printf '%s\n' "\$*" >>"$work/command-lines"
if [ "\$1" = sign ] && [ -n "\${VIREO_TEST_UNSIGNED:-}" ]; then
  for ((i = 1; i < \$#; i++)); do
    case \${!i} in -in) input=\${@:i+1:1} ;; -out) output=\${@:i+1:1} ;; esac
  done
  [[ \${input##*/} == \$VIREO_TEST_UNSIGNED ]] && exec cp "\$input" "\$output"
fi
exec $(command -v osslsigncode) "\$@"
SHIM
cat >"$work/shim/mv" <<SHIM
#!/bin/bash
$(command -v mv) "\$@" || exit
[ -n "\${VIREO_TEST_STOP:-}" ] && [[ \${@: -1} == *.previous ]] && touch "$work/stopped" && kill -TERM \$PPID
exit 0
SHIM
chmod +x "$work/shim/osslsigncode" "$work/shim/mv"
export PATH=$work/shim:$PATH
password=Vireo-4821-pass

# A time-stamp authority on 127.0.0.1 only: its certificate, and an HTTP server that answers each
# RFC 3161 request with openssl ts.
mkdir "$work/tsa"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Vireo Test TSA" \
  -addext "extendedKeyUsage=critical,timeStamping" -keyout "$work/tsa/tsa.key" -out "$work/tsa/tsa.pem" 2>/dev/null
printf '[tsa]\ndefault_tsa = authority\n[authority]\nserial = %s/tsa/serial\nsigner_cert = %s/tsa/tsa.pem\nsigner_key = %s/tsa/tsa.key\nsigner_digest = sha256\ndefault_policy = 1.2.3.4.1\ndigests = sha256, sha384, sha512\nessCertIdChain = no\ness_cert_id_alg = sha256\n' \
  "$work" "$work" "$work" >"$work/tsa/tsa.cnf"
echo 01 >"$work/tsa/serial"
cat >"$work/tsa/answer" <<'ANSWER'
#!/bin/bash
length=0
while IFS=$'\r' read -r line && [ -n "$line" ]; do
  [[ ${line,,} == content-length:* ]] && length=${line#*: }
done
head -c "$length" >"$1/request.tsq"
openssl ts -reply -config "$1/tsa.cnf" -queryfile "$1/request.tsq" -out "$1/reply.tsr" 2>/dev/null
printf 'HTTP/1.1 200 OK\r\nContent-Type: application/timestamp-reply\r\nContent-Length: %d\r\nConnection: close\r\n\r\n' "$(stat -c %s "$1/reply.tsr")"
cat "$1/reply.tsr"
ANSWER
chmod +x "$work/tsa/answer"
port=$((20000 + RANDOM % 20000))
socat "TCP-LISTEN:$port,bind=127.0.0.1,reuseaddr,fork" "EXEC:$work/tsa/answer $work/tsa" &
tsa=$!
trap 'kill $tsa 2>/dev/null; rm -rf "$work"' EXIT

# One throwaway certificate: in a PKCS#12 file with the legacy encryption of older exports, and
# with its key on a SoftHSM2 token made here.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Vireo Test Signer" \
  -addext keyUsage=digitalSignature -addext extendedKeyUsage=codeSigning \
  -keyout "$work/signer.key" -out "$work/signer.pem" 2>/dev/null
openssl pkcs12 -export -legacy -certpbe PBE-SHA1-RC2-40 -keypbe PBE-SHA1-3DES -inkey "$work/signer.key" \
  -in "$work/signer.pem" -out "$work/signer.pfx" -passout pass:"$password"
# Certificates that sign but whose signatures never verify: one expired, one not for code signing.
# Their files have no password, so their refusals also show that such a file signs.
faketime -f -3d openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=Vireo Expired" \
  -addext extendedKeyUsage=codeSigning -keyout "$work/expired.key" -out "$work/expired.pem" 2>/dev/null
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Vireo Server" \
  -addext extendedKeyUsage=serverAuth -keyout "$work/server.key" -out "$work/server.pem" 2>/dev/null
for name in expired server; do
  openssl pkcs12 -export -inkey "$work/$name.key" -in "$work/$name.pem" -out "$work/$name.pfx" -passout pass:
done
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
  if env "$@" "${checkout:-$clone}/release/release" "${target:-$dist}" >"$work/out" 2>&1; then fail "$what was accepted"; fi
  grep -q "^release: .*$reason" "$work/out" || { cat "$work/out"; fail "no reason given for $what"; }
  [ "$(cat "$dist/SHA256SUMS")" = earlier ] || fail "$what changed $dist"
  [ -d "$clone/.git" ] || fail "$what removed the checkout"
  compgen -G "${target:-$dist}.*" >/dev/null && fail "$what left $(compgen -G "${target:-$dist}.*")"
  return 0
}
refused "a wrong password" "wrong VIREO_SIGN_PASSWORD" VIREO_SIGN_PFX="$work/signer.pfx" VIREO_SIGN_PASSWORD=wrong
refused "a missing certificate file" "cannot read" VIREO_SIGN_PFX="$work/none.pfx"
refused "a wrong PIN" "wrong VIREO_SIGN_PIN" "${token[@]}" VIREO_SIGN_PIN=1111
refused "an expired certificate" "has expired" VIREO_SIGN_PFX="$work/expired.pfx"
refused "a certificate not for code signing" "not for code signing" VIREO_SIGN_PFX="$work/server.pfx"
refused "an unsigned DLL inside the package" "the DLL inside the MSI is not signed" \
  VIREO_SIGN_PFX="$work/signer.pfx" VIREO_SIGN_PASSWORD=$password VIREO_TEST_UNSIGNED=VIREOPLUGIN.DLL
target=$clone refused "the checkout as the folder" "holds the checkout"
target=$work refused "a folder holding the checkout" "holds the checkout"
mkdir -p "$clone/build-release/out" && echo earlier >"$clone/build-release/out/SHA256SUMS"
dist=$clone/build-release/out refused "a folder in the build folder" "which the release deletes"
ln -s "$clone" "$work/linked checkout"
checkout=$work/linked\ checkout dist=$clone/build-release/out refused "the build folder through a link" "which the release deletes"
rm -rf "$clone/build-release"
echo mine >"$dist/notes.txt"
refused "a folder with other files" "holds notes.txt"
rm "$dist/notes.txt"
echo change >>"$clone/README.md"
refused "uncommitted changes" "uncommitted changes"
git -C "$clone" checkout -q README.md

echo "a release signed from a legacy PKCS#12 file verifies"
VIREO_SIGN_PFX=$work/signer.pfx VIREO_SIGN_PASSWORD=$password VIREO_SIGN_TIMESTAMP_URL=http://127.0.0.1:$port \
  VIREO_RELEASE_URL=https://downloads.tessaline.example/vireo/ release "$dist" >"$work/out" 2>&1 || { cat "$work/out"; fail "the signed release"; }
grep -x "  InstallerUrl: https://downloads.tessaline.example/vireo/VireoPlugin-[0-9.]*.msi" "$dist/winget/Tessaline.VireoPlugin.installer.yaml" >/dev/null ||
  fail "the winget manifest does not name the release's URL"
(cd "$dist" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS"
# Every file of the release is listed, the symbol store's too.
[ "$(cd "$dist" && find . -type f ! -name SHA256SUMS -printf '%P\n' | LC_ALL=C sort)" = "$(awk '{ print $2 }' "$dist/SHA256SUMS")" ] ||
  fail "SHA256SUMS does not list every file"
# SHA-256 signatures, time-stamped by the authority, whose stamp verifies.
for file in "$dist/VIREOPLUGIN.DLL" "$dist"/VireoPlugin-*.msi; do
  report=$(osslsigncode verify -CAfile "$work/signer.pem" -TSA-CAfile "$work/tsa/tsa.pem" -in "$file" 2>&1) || { echo "$report"; fail "$file does not verify with its time stamp"; }
  grep -iE 'message digest algorithm *: *sha256' <<<"$report" >/dev/null || fail "$file is not signed with SHA-256"
  grep -iE 'timestamp server signature verification: ok|timestamp verified' <<<"$report" >/dev/null || { echo "$report"; fail "$file has no verified time stamp"; }
done
msi=$(echo "$dist"/VireoPlugin-*.msi)
for file in "$dist/VIREOPLUGIN.DLL" "$msi"; do
  verify "$file" "$(basename "$file")"
done
msiextract -C "$work/unpacked" "$msi" >/dev/null
verify "$(find "$work/unpacked" -name VIREOPLUGIN.DLL)" "the DLL inside the MSI"
"$root/scripts/wine-exec" "$prefix" regsvr32 /s "Z:${dist//\//\\}\\VIREOPLUGIN.DLL" \
  || fail "the signed DLL does not register"
# BUILDINFO.txt gives the package's own codes, by which administrators remove and detect it.
[ "$(sed -n 's/^product code: //p' "$dist/BUILDINFO.txt")" = "$(msiinfo export "$msi" Property | tr -d '\r' | awk -F'\t' '$1 == "ProductCode" { print $2 }')" ] &&
  [ "$(sed -n 's/^package code: //p' "$dist/BUILDINFO.txt")" = "$(msiinfo suminfo "$msi" | sed -n 's/^Revision number (UUID): //p')" ] ||
  fail "BUILDINFO.txt's codes are not the package's: $(grep code "$dist/BUILDINFO.txt" | paste -sd' ')"

echo "a release signed on a token verifies, and its PIN shows nowhere"
env "${token[@]}" VIREO_SIGN_PIN=$pin "$clone/release/release" "$work/token dist" >"$work/out" 2>&1 \
  || { cat "$work/out"; fail "the release signed on the token"; }
verify "$work/token dist/VIREOPLUGIN.DLL" "the token-signed DLL"
grep -q $pin "$work/out" && fail "the PIN is in the release's output"
grep -e $pin -e "$password" "$work/command-lines" >/dev/null && fail "a secret was on the signing tool's command line"
echo "release: without a time stamp, the release says so"
grep -q "stop validating when the certificate expires" "$work/out" || fail "no word on the missing time stamp"

echo "two unsigned releases are the same, made under locales that sort differently and in time zones a day apart"
git clone -q "$root" "$work/second clone"
TZ=UTC "$clone/release/release" "$clone.out" >"$work/unsigned"
sleep 1
mkdir "$work/locales"
localedef -i en_US -f UTF-8 "$work/locales/en_US.UTF-8"
# Fourteen hours east of UTC from the commit's noon on, twelve west before it: in that zone the
# commit falls on another day, so any date taken in local time differs.
far=VIREO+12
[ "$(date -u -d "@$(git -C "$clone" log -1 --format=%ct)" +%-H)" -ge 12 ] && far=VIREO-14
# Made from outside the checkout, it records the checkout's commit all the same.
(cd "$work" && TZ=$far LOCPATH=$work/locales LC_ALL=en_US.UTF-8 "$work/second clone/release/release" "$work/second clone.out" >/dev/null)
grep -qx "commit: $(git -C "$work/second clone" rev-parse HEAD)" "$work/second clone.out/BUILDINFO.txt" ||
  fail "a release made from outside the checkout records: $(grep '^commit' "$work/second clone.out/BUILDINFO.txt")"
diff -r "$clone.out" "$work/second clone.out" || fail "the unsigned releases differ"
# BUILDINFO.txt names the package of every header that the DLL's compile read (the compiler's
# dependency files) and of every program that builds the DLL and the package.
check_tools() {
  local clang=$clone/build-release/clang
  { { sed -n 's/^set(CMAKE_\(CXX\|RC\)_COMPILER "\(.*\)")$/\2/p' "$clang"/CMakeFiles/*/CMake*Compiler.cmake
      sed -n 's/^CMAKE_LINKER:FILEPATH=//p' "$clang/CMakeCache.txt"
      printf '%s\n' wixl msibuild msiinfo faketime uuidgen; } | while read -r program; do command -v "$program"; done
    find "$clang/CMakeFiles" -name '*.d' -exec cat {} + | tr ' \\' '\n\n' | grep '^/usr/' | sort -u
  } | xargs realpath | { xargs dpkg-query -S 2>&1 || true; } |
    sed 's/^dpkg-query: no path found matching pattern /unowned:/; t; s/: .*//; s/, /\n/g' | sort -u | while read -r package; do
    case $package in
      unowned:*) echo "no package owns ${package#unowned:}" ;;
      *) grep -q "^${package%:*}\(:[a-z0-9]*\)\? " "$1" || echo "BUILDINFO.txt does not name $package" ;;
    esac
  done
}
missing=$(check_tools "$clone.out/BUILDINFO.txt")
[ -z "$missing" ] || fail "$missing; it names: $(sed -n '/^tools:$/,$p' "$clone.out/BUILDINFO.txt" | cut -d' ' -f1 | paste -sd' ')"
sed '/^g++-mingw-w64-i686-posix /d' "$clone.out/BUILDINFO.txt" >"$work/dropped.txt"
grep -qx "BUILDINFO.txt does not name g++-mingw-w64-i686-posix" <<<"$(check_tools "$work/dropped.txt")" ||
  fail "the tools check let a dropped package through"

echo "the signed release is proven this commit's by a rebuild with its signatures, and a changed one is not"
rebuild() { "$work/second clone/release/release" --signatures-from "$1" "$work/rebuilt" >"$work/out" 2>&1; }
rebuild "$dist" || { cat "$work/out"; fail "the signed release was not proven this commit's"; }
grep -q "^release: $dist is this checkout's release, byte for byte" "$work/out" || fail "the rebuild did not say so: $(cat "$work/out")"
diff -r "$dist" "$work/rebuilt" || fail "the rebuilt release differs"
verify "$work/rebuilt/VIREOPLUGIN.DLL" "the rebuilt DLL with the published signature"
# A copy of the signed release, with SHA256SUMS made anew, as a forger or a rebuilder's machine would.
published() { rm -rf "$work/changed" && cp -r "$dist" "$work/changed"; }
resum() { (cd "$work/changed" && find . -type f ! -name SHA256SUMS -printf '%P\n' | LC_ALL=C sort | xargs -d '\n' sha256sum -- >SHA256SUMS); }
# Refused, naming WHAT: a DLL built from another line of code, signed; a DLL whose signature was taken
# away; another licence; one file more.
not_proven() {
  local status=0
  rebuild "$work/changed" || status=$?
  [ "$status" = 1 ] || fail "a release with $1 exited with $status, not 1: $(cat "$work/out")"
  grep -q "^release: $2" "$work/out" || fail "the rebuild did not name $1: $(cat "$work/out")"
}
published
sed 's/WMPlayer_PluginAddRemove/WMPlayer_PluginAddRemovX/' "$clone.out/VIREOPLUGIN.DLL" >"$work/changed/VIREOPLUGIN.DLL"
VIREO_SIGN_PFX=$work/signer.pfx VIREO_SIGN_PASSWORD=$password "$clone/release/sign-file" "$work/changed/VIREOPLUGIN.DLL"
not_proven "another DLL" "the signature of VIREOPLUGIN.DLL in $work/changed does not verify on the rebuilt VIREOPLUGIN.DLL"
rm "$work/changed/VIREOPLUGIN.DLL"
osslsigncode remove-signature -in "$dist/VIREOPLUGIN.DLL" -out "$work/changed/VIREOPLUGIN.DLL" >/dev/null
not_proven "an unsigned DLL" "VIREOPLUGIN.DLL in $work/changed carries no signature"
published
echo "Amended." >>"$work/changed/LICENSE.txt"
resum
not_proven "another licence" "LICENSE.txt differs from"
published
cp "$work/changed/LICENSE.txt" "$work/changed/EXTRA.txt"
not_proven "a file more" "$work/changed holds EXTRA.txt, which this commit's release does not"
# A copy recorded with osslsigncode 0.1-1, in BUILDINFO.txt and the SBOM, its SHA256SUMS not redone.
other_tools() {
  published
  sed -i 's/^osslsigncode .*/osslsigncode 0.1-1/' "$work/changed/BUILDINFO.txt"
  /usr/bin/python3 - "$work/changed"/VireoPlugin-*.cdx.json <<'PYTHON'
import json, sys
bom = json.load(open(sys.argv[1]))
for tool in bom["metadata"]["tools"]["components"]:
    if tool["name"] == "osslsigncode":
        tool["version"] = "0.1-1"
with open(sys.argv[1], "w") as out:
    json.dump(bom, out, indent=2, ensure_ascii=False)
    out.write("\n")
PYTHON
}
# Records that differ in more than the tools prove nothing, nor do sums false of the published files.
other_tools
sed -i 's/^commit: .*/commit: 0123456789abcdef0123456789abcdef01234567/' "$work/changed/BUILDINFO.txt"
resum
not_proven "records of other tools and another commit" "BUILDINFO.txt: .* is not this checkout's release"
other_tools
not_proven "sums false of its records" "BUILDINFO.txt: .* is not this checkout's release"
# Records of other tools alone: the programs are proven, the tools named, and the exit code is 3.
other_tools
resum
status=0
rebuild "$work/changed" || status=$?
[ "$status" = 3 ] || { cat "$work/out"; fail "a release recorded with other tools exited with $status, not 3"; }
grep -q "^  published: *osslsigncode 0.1-1$" "$work/out" && grep -q "differ only because other versions of the tools made them" "$work/out" ||
  fail "the rebuild did not name the tools: $(cat "$work/out")"
echo "a release stopped between its two renames leaves the previous one"
previous=$(stat -c %i "$clone.out/SHA256SUMS")
VIREO_TEST_STOP=1 "$clone/release/release" "$clone.out" >"$work/out" 2>&1 && fail "the stopped release succeeded"
# It was stopped at its renames: a release into a previous one's folder is not refused.
[ -e "$work/stopped" ] || fail "a release into the previous release's folder: $(cat "$work/out")"
[ "$(stat -c %i "$clone.out/SHA256SUMS" 2>/dev/null)" = "$previous" ] || fail "the stopped release did not leave the previous one"
compgen -G "$clone.out.*" >/dev/null && fail "the stopped release left $(compgen -G "$clone.out.*")"
awk '{ print $2 }' "$clone.out/SHA256SUMS" | LC_ALL=C sort -c || fail "SHA256SUMS is not in byte order"
"$root/tests/server/hardened_test.sh" "$clone.out/VIREOPLUGIN.DLL" "$clone/build-release/clang/VIREOPLUGIN.map"
grep -q "^release: VIREO_RELEASE_URL is not set" "$work/unsigned" || fail "no word on the winget manifests' placeholder URL"

echo "the winget manifests validate and describe the release"
# Checks the manifests in DIR against winget's schemas (Debian's jsonschema and yaml, not another
# Python's) and against the release: the package's SHA-256, codes and version (the round trip of the
# packages shows that installing it lists that version), how winget runs it (a chosen folder goes to
# INSTALLDIR; an upgrade installs over the old version, which keeps its folder and stays installed
# should the new one fail), the licence it names, and the exit codes that docs/deploying.md lists, each known to winget for an MSI or listed
# in the manifest.
check_manifests() {
  /usr/bin/python3 - "$1" "${2:-$clone.out}" "$root/tests/release/winget-schema-1.12.0" "$root/docs/deploying.md" \
    "$(date -u -d "@$(git -C "$clone" log -1 --format=%ct)" +%F)" <<'PYTHON'
import glob, hashlib, json, re, subprocess, sys
import jsonschema, yaml
manifests, release, schemas, codes, released = sys.argv[1:]
winget_knows = {112, 1601, 1602, 1618, 1625, 1638, 1641, 3010}
def load(name, kind):
    # YAML reads a date as a date; winget and its schemas read it as text.
    manifest = json.loads(json.dumps(yaml.safe_load(open(f"{manifests}/Tessaline.VireoPlugin{name}.yaml")), default=str))
    jsonschema.validate(manifest, json.load(open(f"{schemas}/manifest.{kind}.1.12.0.json")))
    return manifest
version, installer, locale = load("", "version"), load(".installer", "installer"), load(".locale.en-US", "defaultLocale")
msi = glob.glob(f"{release}/VireoPlugin-*.msi")[0]
table = subprocess.run(["msiinfo", "export", msi, "Property"], capture_output=True, text=True, check=True).stdout
properties = dict(line.split("\t", 1) for line in table.replace("\r", "").splitlines()[3:])
entry, package = installer["AppsAndFeaturesEntries"][0], installer["Installers"][0]
problems = [f"{what}: {found}, not {wanted}" for what, found, wanted in [
    ("versions", {version["PackageVersion"], installer["PackageVersion"], locale["PackageVersion"], entry["DisplayVersion"]}, {properties["ProductVersion"]}),
    ("InstallerSha256", package["InstallerSha256"].lower(), hashlib.sha256(open(msi, "rb").read()).hexdigest()),
    ("InstallerUrl", package["InstallerUrl"].rsplit("/", 1)[1], msi.rsplit("/", 1)[1]),
    ("ProductCode", {installer["ProductCode"], entry["ProductCode"]}, {properties["ProductCode"]}),
    ("UpgradeCode", entry["UpgradeCode"], properties["UpgradeCode"]),
    ("InstallLocation", (installer.get("InstallerSwitches") or {}).get("InstallLocation"), 'INSTALLDIR="<INSTALLPATH>"'),
    ("UpgradeBehavior", installer.get("UpgradeBehavior"), "install"),
    ("ReleaseDate", installer["ReleaseDate"], released),
    ("LicenseUrl", locale["LicenseUrl"], package["InstallerUrl"].rsplit("/", 1)[0] + "/LICENSE.txt"),
    ("License", locale["License"].split(" (")[0], open(f"{release}/LICENSE.txt").readline().strip())] if found != wanted]
listed = {int(code) for code in re.findall(r"^\| (\d+) \|", open(codes).read(), re.M)} - {0}
expected = {code["InstallerReturnCode"] for code in installer.get("ExpectedReturnCodes") or []}
if expected - listed:
    problems.append(f"ExpectedReturnCodes docs/deploying.md does not list: {sorted(expected - listed)}")
if listed - expected - winget_knows:
    problems.append(f"codes neither winget nor the manifest knows: {sorted(listed - expected - winget_knows)}")
if problems:
    sys.exit("\n".join(problems))
PYTHON
}
check_manifests "$clone.out/winget" || fail "the winget manifests"
check_manifests "$dist/winget" "$dist" || fail "the signed release's winget manifests, with its URL"

echo "the documents' facts for administrators are the package's, and the DLL's size the release's"
# Checks the documents under DOCS (a checkout's README.md, SECURITY.md, CHANGELOG.md and docs/)
# against the build: in deploying.md the upgrade code, a row of its table of public properties for
# each property the package secures (but those that the upgrade table sets), and every registry key
# and value it writes; the product code in the CHANGELOG; the DLL's size in benchmarks.md; one table
# of exit codes; that every link between them reaches a file and an anchor that exist; and that
# every name in a code span or a code block is real: a path of the tree, a script's options, a test
# that ctest lists, a registry key that the package or the code uses, and an all-capitals property
# or variable that the package or the tree (outside the documents) holds.
(cd "$(dirname "$prefix")" && ctest -N) | sed -n 's/^ *Test *#[0-9]*: //p' >"$work/tests.txt"
check_documents() {
  /usr/bin/python3 - "$1" "$(echo "$clone.out"/VireoPlugin-*.msi)" "$clone.out/VIREOPLUGIN.DLL" "$root" "$work/tests.txt" <<'PYTHON'
import glob, os, re, shutil, subprocess, sys, tempfile
docs, msi, dll, tree, tests = sys.argv[1:]
tests = set(open(tests).read().split())
def table(name):
    rows = subprocess.run(["msiinfo", "export", msi, name], capture_output=True, text=True, check=True).stdout
    return [row.split("\t") for row in rows.replace("\r", "").splitlines()[3:]]
doc, problems = open(f"{docs}/docs/deploying.md").read(), []
properties = dict(row[:2] for row in table("Property"))
if properties["UpgradeCode"] not in doc:
    problems.append(f"the upgrade code {properties['UpgradeCode']} is not given")
rows = set(re.findall(r"^\| `([A-Z_]+)`", doc, re.M))
problems += [f"no row for the secure property {name}" for name in
             set(properties["SecureCustomProperties"].split(";")) - {row[6] for row in table("Upgrade")} - rows]
for row in table("Registry"):
    key = "HKLM\\" + row[2]
    if row[1] != "2" or f"`{key}`" not in doc or f"`{row[3] or '(default)'}`" not in doc.replace("(default)", "`(default)`"):
        problems.append(f"{key} {row[3]} is not given")
if re.findall(r"Product code\s+`(\{[0-9A-F-]+\})`", open(f"{docs}/CHANGELOG.md").read())[:1] != [properties["ProductCode"]]:
    problems.append(f"the CHANGELOG does not give the product code {properties['ProductCode']}")
size = os.path.getsize(dll)
if f"| VIREOPLUGIN.DLL size | {size} bytes |" not in open(f"{docs}/docs/benchmarks.md").read():
    problems.append(f"docs/benchmarks.md does not give the DLL's size, {size} bytes")
# The exit codes have one table, deploying.md's.
for path in [f"{docs}/{name}" for name in ("README.md", "SECURITY.md", "CHANGELOG.md")] + glob.glob(f"{docs}/docs/*.md"):
    if not path.endswith("/deploying.md") and re.search(r"^\| (1602|1603|1618|1638|3010) \|", open(path).read(), re.M):
        problems.append(f"{os.path.relpath(path, docs)} has a table of exit codes of its own")
# Anchors as GitHub makes them from headings, and those written as <a id>.
def anchors(path):
    text = open(path).read()
    return {re.sub(r"[^\w\- ]", "", heading.lower()).replace(" ", "-") for heading in re.findall(r"^#+ (.+)$", text, re.M)} | \
           set(re.findall(r'<a id="([^"]+)">', text))
for path in [f"{docs}/{name}" for name in ("README.md", "SECURITY.md", "CHANGELOG.md")] + glob.glob(f"{docs}/docs/*.md"):
    for target in re.findall(r"\]\(([^)\s]+)\)", open(path).read()):
        if re.match(r"[a-z]+:", target):
            continue
        file, _, anchor = target.partition("#")
        linked = os.path.normpath(os.path.join(os.path.dirname(path), file)) if file else path
        if not os.path.exists(linked) or (anchor and anchor not in anchors(linked)):
            problems.append(f"{os.path.relpath(path, docs)} links {target}, which does not exist")
# The names in code spans and code blocks.
tracked = subprocess.run(["git", "-C", tree, "ls-files"], capture_output=True, text=True, check=True).stdout.split()
folders = {os.path.dirname(name) for name in tracked}
folders |= {folder.rsplit("/", i)[0] for folder in folders for i in range(folder.count("/") + 1)}
tops = {name.split("/")[0] for name in tracked if "/" in name}
# The tree's text, but the documents and this test, which plants names that exist nowhere else.
sources = {name: open(f"{tree}/{name}", errors="replace").read() for name in tracked
           if not name.endswith(".md") and name != "tests/release/release_test.sh" and os.path.getsize(f"{tree}/{name}") < 200000}
with tempfile.TemporaryDirectory() as folder:
    names = subprocess.run(["msiinfo", "tables", msi], capture_output=True, text=True, check=True).stdout.split()
    package = "".join(subprocess.run(["msiinfo", "export", msi, name], capture_output=True, text=True, cwd=folder).stdout
                      for name in names)
keys = {"HKLM\\" + row[2] for row in table("Registry")}
# The code's keys, as C string literals, under either root.
keys |= {root + key.replace("\\\\", "\\") for text in sources.values()
         for key in re.findall(r'"(Software(?:\\\\[^"\\]+)+)"', text) for root in ("HKCU\\", "HKLM\\")}
def is_key(path):
    for long, short in (("HKEY_LOCAL_MACHINE\\", "HKLM\\"), ("HKEY_CURRENT_USER\\", "HKCU\\")):
        path = short + path[len(long):] if path.startswith(long) else path
    path = path.replace("WOW6432Node\\", "").rstrip("\\.")
    return any((key.lower() + "\\").startswith(path.lower() + "\\") for key in keys)
def in_tree(word):
    return word in tracked or word.rstrip("/") in folders
def help_of(script):
    """The options a script takes: its own, and those of the programs it hands its arguments to."""
    text = sources.get(script, "")
    for line in text.splitlines():
        if '"$@"' in line:
            for program in re.findall(r"(?:^|\s)([a-z][\w.-]*)(?=\s)", line):
                if shutil.which(program) and program not in ("exec", "env"):
                    text += subprocess.run([program, "--help"], capture_output=True, text=True).stdout
    return text
for path in [f"{docs}/{name}" for name in ("README.md", "SECURITY.md", "CHANGELOG.md")] + glob.glob(f"{docs}/docs/*.md"):
    text, where = open(path).read(), os.path.relpath(path, docs)
    spans = re.findall(r"`([^`\n]+)`", text) + re.findall(r"^    (\S.*)$", text, re.M)
    for span in spans:
        words = [word.strip("[],;:()'\"") for word in span.split()]
        for word in words:
            if word.split("/")[0] in tops and "/" in word and not re.search(r"[<*]", word) and not in_tree(word):
                problems.append(f"{where} names {word}, which the tree does not hold")
        if words and words[0] in sources and os.access(f"{tree}/{words[0]}", os.X_OK):
            known = help_of(words[0])
            for i, word in enumerate(words[1:], 1):
                option = word.split("=")[0]
                if re.fullmatch(r"--?[A-Za-z][\w-]*", option) and not re.search(rf"(?<![\w-]){re.escape(option)}(?![\w-])", known):
                    problems.append(f"{where} gives {words[0]} the option {option}, which it does not take")
                if option in ("-R", "-E") and i + 1 < len(words) and not words[i + 1].isupper() and \
                        not any(re.search(words[i + 1], test) for test in tests):
                    problems.append(f"{where} selects the tests {words[i + 1]}, which match none that ctest lists")
        if re.fullmatch(r"[A-Z][A-Za-z0-9]*\.(\*|[A-Za-z0-9_]+)", span) and not re.search(r"\.(DLL|[a-z]{1,4})$", span):
            prefix = span[:-1] if span.endswith("*") else None
            if not (span in tests or (prefix and any(test.startswith(prefix) for test in tests))):
                problems.append(f"{where} names the test {span}, which ctest does not list")
        elif re.fullmatch(r"[A-Z]\w+Test", span) and not any(test.startswith(span + ".") for test in tests):
            problems.append(f"{where} names the test suite {span}, which ctest does not list")
        for path in re.findall(r'\b((?:HKLM|HKCU|HKEY_LOCAL_MACHINE|HKEY_CURRENT_USER)\\[^"`]*?)(?="|$| /)', span):
            if not is_key(path):
                problems.append(f"{where} names the key {path}, which neither the package nor the code uses")
        names = [span] if re.fullmatch(r"[A-Z][A-Z0-9_]{2,}", span) else []
        names += [word.split("=")[0] for word in span.split() if re.match(r"[A-Z][A-Z0-9_]{2,}=", word)]
        for name in names:
            if not re.search(rf"\b{name}\b", package) and not any(re.search(rf"\b{name}\b", text) for text in sources.values()):
                problems.append(f"{where} names {name}, which neither the package nor the tree holds")
if problems:
    sys.exit("\n".join(problems))
PYTHON
}
check_documents "$root" || fail "the documents"
# Each fault must be found: another upgrade code, a property's row, a key, the size, the product code,
# an anchor and a second table of exit codes.
plant_document() {
  rm -rf "$work/documents" && mkdir "$work/documents"
  (cd "$root" && cp -r --parents README.md SECURITY.md CHANGELOG.md LICENSE.txt THIRD-PARTY-NOTICES.txt docs "$work/documents/")
  sed -i "$2" "$work/documents/$1"
  local report
  report=$(check_documents "$work/documents" 2>&1) && fail "the documents' check let through: $2 in $1"
  grep -qF -- "${3:-}" <<<"$report" || fail "the documents' check did not name ${3:-}: $report"
}
plant_document docs/deploying.md 's/5E0C33B1-6F0A/5E0C33B1-6F0B/'
plant_document docs/deploying.md '/^| `INSTALLDIR`/d'
plant_document docs/deploying.md 's/MediaPlayer\\UIPlugins/MediaPlayer\\Plugins/'
plant_document docs/benchmarks.md 's/| [0-9]* bytes |/| 1 bytes |/'
plant_document CHANGELOG.md 's/`{5317046E/`{6317046E/'
plant_document docs/releasing.md 's/deploying.md#upgrades/deploying.md#upgrade/'
plant_document SECURITY.md '$a | 1603 | nothing changed |'
# And each name: a file, an option, a test, a suite, a key and a property that do not exist.
plant_document docs/developing.md '$a See `server/Nothing.cpp`.' "names server/Nothing.cpp, which the tree does not hold"
plant_document docs/releasing.md 's/\[--allow-dirty\]/[--allow-nothing]/' "the option --allow-nothing"
plant_document docs/developing.md 's/`Installer.win64`/`Installer.win128`/' "names the test Installer.win128"
plant_document docs/developing.md 's/`QualityDialogTest`/`QuantityDialogTest`/' "names the test suite QuantityDialogTest"
plant_document docs/deploying.md 's/Tessaline\\Vireo Plugin" \/v/Tessaline\\Vireo Plug" \/v/' "names the key HKLM\\Software\\Tessaline\\Vireo Plug"
plant_document docs/deploying.md 's/`ARPNOMODIFY`/`ARPNOCHANGE`/' "names ARPNOCHANGE"

echo "security.txt is RFC 9116's, and expires inside the support period"
/usr/bin/python3 - "$dist/security.txt" "$(git -C "$clone" log -1 --format=%ct)" <<'PYTHON' || fail "security.txt"
import datetime, re, sys
fields = {}
for line in open(sys.argv[1]).read().splitlines():
    name, value = re.fullmatch(r"([A-Za-z-]+): (\S.*)", line).groups()
    fields.setdefault(name, []).append(value)
released = datetime.datetime.fromtimestamp(int(sys.argv[2]), datetime.timezone.utc)
expires = datetime.datetime.strptime(fields["Expires"][0], "%Y-%m-%dT%H:%M:%SZ").replace(tzinfo=datetime.timezone.utc)
problems = [f"no {name}" for name in ("Contact", "Expires", "Policy", "Canonical", "Preferred-Languages") if name not in fields]
if not released < expires <= released + datetime.timedelta(days=365):
    problems.append(f"expires {expires}, not within a year of the release ({released}), which the support period covers")
if fields["Contact"] != ["mailto:security@tessaline.example"] or fields["Policy"] != ["https://downloads.tessaline.example/vireo/SECURITY.md"]:
    problems.append(f"another contact or policy: {fields}")
if fields["Canonical"] != ["https://downloads.tessaline.example/.well-known/security.txt", "https://downloads.tessaline.example/vireo/security.txt"]:
    problems.append(f"Canonical: {fields['Canonical']}")
if problems:
    sys.exit("\n".join(problems))
PYTHON
# Each fault must be found: a stale SHA-256, another product's code, a return code missing, the
# folder's switch missing, the old version removed first.
planted=$work/planted
plant() {
  rm -rf "$planted" && cp -r "$clone.out/winget" "$planted" && sed -i "$2" "$planted/Tessaline.VireoPlugin.installer.yaml"
  local report
  report=$(check_manifests "$planted" 2>&1) && fail "the manifest check let a planted fault through: $2"
  grep -q "$1" <<<"$report" || fail "the manifest check did not name the fault $2: $report"
}
plant InstallerSha256 "s/InstallerSha256: .*/InstallerSha256: $(sha256sum <"$clone.out/VIREOPLUGIN.DLL" | cut -c1-64)/"
plant ProductCode "0,/ProductCode: '{./s//ProductCode: '{0/"
plant "neither winget nor the manifest" "/InstallerReturnCode: 1603/,+1d"
plant InstallLocation "/InstallLocation:/d"
plant UpgradeBehavior "s/UpgradeBehavior: install/UpgradeBehavior: uninstallPrevious/"

echo "the licence and the notices ship, and the bill of materials validates and describes the release"
cmp "$clone/LICENSE.txt" "$clone.out/LICENSE.txt" && cmp "$clone/THIRD-PARTY-NOTICES.txt" "$clone.out/THIRD-PARTY-NOTICES.txt" ||
  fail "the release does not ship the licence and the notices"
# Checks the SBOM FILE of the release in DIR against CycloneDX's schema (Debian's jsonschema) and
# against the files, not against the code that wrote it: each component's SHA-512 and version, its
# executable flag read from the file, for every component a creator, declared and concluded
# licences and the guideline's file properties, no URL with an empty path part, a dependency graph
# that is the release's nesting (what the package's contents hold), and the commit and tools.
check_sbom() {
  /usr/bin/python3 - "$1" "$2" "$root/tests/release/cyclonedx-schema-1.6" "$work/contents" \
    "$(git -C "$clone" rev-parse HEAD)" <<'PYTHON'
import glob, hashlib, json, os, re, shutil, struct, subprocess, sys
import jsonschema, jsonschema._validators
# Debian 12's jsonschema fails to word an error about several extra objects in an array.
jsonschema._validators.extras_msg = lambda extras: (", ".join(map(repr, extras)), "was" if len(extras) == 1 else "were")
file, release, schemas, contents, commit = sys.argv[1:]
bom = json.load(open(file))
# The DLL's version resource (VS_FIXEDFILEINFO, after its signature): the product's version, and the
# SBOM's name.
dll = open(f"{release}/VIREOPLUGIN.DLL", "rb").read()
high, low = struct.unpack_from("<II", dll, dll.index(b"\xbd\x04\xef\xfe") + 8)
dll_version = f"{high >> 16}.{high & 0xFFFF}.{low >> 16}.{low & 0xFFFF}"
schema = json.load(open(f"{schemas}/bom-1.6.schema.json"))
store = {part["$id"]: part for part in (json.load(open(f"{schemas}/{name}")) for name in ("spdx.schema.json", "jsf-0.82.schema.json"))}
resolver = jsonschema.RefResolver.from_schema(schema, store=store)
problems = [f"schema: {error.message}" for error in jsonschema.Draft7Validator(schema, resolver=resolver).iter_errors(bom)]
product, components = bom["metadata"]["component"], {part["bom-ref"]: part for part in bom["components"]}
if product["version"] != dll_version or (os.path.dirname(file) == release and os.path.basename(file) != f"VireoPlugin-{dll_version}.cdx.json"):
    problems.append(f"{os.path.basename(file)} gives the version {product['version']}, where the DLL's is {dll_version}")
msi = glob.glob(f"{release}/VireoPlugin-*.msi")[0].rsplit("/", 1)[1]
version = msi[len("VireoPlugin-"):-len(".msi")]
sha512 = lambda path: hashlib.sha512(open(path, "rb").read()).hexdigest()
# What the package holds, by SHA-512.
shutil.rmtree(contents, ignore_errors=True)
subprocess.run(["msiextract", "-C", f"{contents}/msi", f"{release}/{msi}"], capture_output=True, check=True)
held = {"msi": {sha512(path) for path in glob.glob(f"{contents}/msi/**", recursive=True) if os.path.isfile(path)}}
path_of = {}
for ref, part in components.items():
    properties = {p["name"]: p["value"] for p in part.get("properties", [])}
    hashes = [h["content"] for r in part.get("externalReferences", []) if r["type"] == "distribution" for h in r.get("hashes", []) if h["alg"] == "SHA-512"]
    if {entry["license"].get("acknowledgement") for entry in part.get("licenses", [])} != {"declared", "concluded"}:
        problems.append(f"{ref}: no declared and concluded licences")
    if not part.get("manufacturer", {}).get("url") or not part.get("purl"):
        problems.append(f"{ref}: no creator's URL or purl")
    if {"bsi:component:" + name for name in ("filename", "executable", "archive", "structured")} - set(properties):
        problems.append(f"{ref}: file properties missing: {sorted(properties)}")
        continue
    path = path_of[ref] = f"{release}/{properties['bsi:component:filename']}"
    if not os.path.isfile(path) or hashes != [sha512(path)] or part["version"] != version:
        problems.append(f"{ref}: SHA-512 {hashes} or version {part['version']} is not the release's")
        continue
    if properties["bsi:component:executable"] != ("executable" if open(path, "rb").read(2) == b"MZ" else "non-executable"):
        problems.append(f"{ref}: marked {properties['bsi:component:executable']}, unlike its file")
if {os.path.basename(path) for path in path_of.values()} != {"VIREOPLUGIN.DLL", msi}:
    problems.append(f"shipped files described: {sorted(path_of.values())}")
problems += [f"a URL with an empty part: {url}" for url in re.findall(r'"(https?://[^"]*)"', json.dumps(bom)) if "//" in url.split("://", 1)[1]]
# What carries what: the release its files; the package what its contents hold.
nesting = {product["bom-ref"]: set(path_of)}
for ref in path_of:
    nesting[ref] = {other for other, inner in path_of.items() if other != ref and os.path.isfile(inner) and sha512(inner) in held.get(ref, ())}
graph = {entry["ref"]: set(entry.get("dependsOn", [])) for entry in bom["dependencies"]}
if graph != nesting:
    problems.append(f"dependencies {sorted((k, sorted(v)) for k, v in graph.items())}, where the files nest as {sorted((k, sorted(v)) for k, v in nesting.items())}")
# What it declares complete holds nothing it does not list: the release's files, or a package's.
listed = {sha512(path) for path in path_of.values() if os.path.isfile(path)}
files = {sha512(path) for path in glob.glob(f"{release}/**", recursive=True) if os.path.isfile(path) and path != file and not path.endswith("/SHA256SUMS")}
for ref in {ref for entry in bom["compositions"] if entry["aggregate"] == "complete" for ref in entry["assemblies"]}:
    if (files if ref == product["bom-ref"] else held.get(ref, set())) - listed:
        problems.append(f"{ref}: declared complete, but it holds files that the SBOM does not list")
# The commit and the tools that made the release: this clone's, and those BUILDINFO.txt names.
recorded = {(tool["name"], tool["version"]) for tool in bom["metadata"].get("tools", {}).get("components", [])}
buildinfo = open(f"{release}/BUILDINFO.txt").read().split("\ntools:\n", 1)[1]
if recorded != {tuple(line.split(" ", 1)) for line in buildinfo.splitlines()}:
    problems.append(f"tools recorded: {sorted(recorded)}, where BUILDINFO.txt names {buildinfo.split()}")
if {p["name"]: p["value"] for p in bom["metadata"].get("properties", [])}.get("tessaline:commit") != commit:
    problems.append(f"the commit recorded is not {commit}")
if "vulnerabilities" in bom:
    problems.append("vulnerability data in the SBOM")
if problems:
    sys.exit("\n".join(problems))
PYTHON
}
check_sbom "$(echo "$clone.out"/VireoPlugin-*.cdx.json)" "$clone.out" || fail "the SBOM"
# The signed release's, with its URL; and the serial number, which follows from the files, is
# another for the token-signed release of the same URL.
check_sbom "$(echo "$dist"/VireoPlugin-*.cdx.json)" "$dist" || fail "the signed release's SBOM"
serial() { /usr/bin/python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))["serialNumber"])' "$1"/VireoPlugin-*.cdx.json; }
[ "$(serial "$work/token dist")" != "$(serial "$clone.out")" ] || fail "a signed and an unsigned release's SBOMs have one serial number"
# Each fault must be found: a stale SHA-512, a component without a licence, another tool.
sbom=$(echo "$clone.out"/VireoPlugin-*.cdx.json)
plant_sbom() {
  /usr/bin/python3 -c 'import json, sys; bom = json.load(open(sys.argv[1])); exec(sys.argv[2]); json.dump(bom, open(sys.argv[3], "w"))' \
    "$sbom" "$2" "$work/planted.json"
  local report
  report=$(check_sbom "$work/planted.json" "$clone.out" 2>&1) && fail "the SBOM check let a planted fault through: $2"
  grep -q "$1" <<<"$report" || fail "the SBOM check did not name the fault $2: $report"
}
plant_sbom "dll: SHA-512" 'bom["components"][0]["externalReferences"][0]["hashes"][0]["content"] = "0" * 128'
plant_sbom "no declared and concluded licences" 'del bom["components"][1]["licenses"]'
plant_sbom "tools recorded" 'bom["metadata"]["tools"]["components"][0]["version"] = "0"'

echo "the symbols match the DLL and read back"
out=$clone.out
summary=$(llvm-pdbutil-16 dump --summary "$out/VIREOPLUGIN.pdb")
key=$(sed -n 's/^ *GUID: {\(.*\)}$/\1/p' <<<"$summary" | tr -d -)$(awk '$1 == "Age:" { printf "%X", $2 }' <<<"$summary")
cmp -s "$out/VIREOPLUGIN.pdb" "$out/symbols/VIREOPLUGIN.pdb/$key/VIREOPLUGIN.pdb" ||
  fail "the DLL does not name the PDB $key: $(ls "$out/symbols/VIREOPLUGIN.pdb")"
stored=$(echo "$out"/symbols/VIREOPLUGIN.DLL/*/VIREOPLUGIN.DLL)
cmp -s "$out/VIREOPLUGIN.DLL" "$stored" && [[ $stored != */00000000*/* ]] || fail "the symbol store's DLL: $stored"
headers=$(llvm-readobj-16 --file-headers --coff-exports --coff-debug-directory "$out/VIREOPLUGIN.DLL")
grep -qx ' *PDBFileName: VIREOPLUGIN.pdb' <<<"$headers" || fail "the DLL names its PDB with a folder"
grep -aqF "$work" "$out/VIREOPLUGIN.pdb" && fail "the PDB holds a build path"
base=$(awk '$1 == "ImageBase:" { print $2 }' <<<"$headers")
rva=$(awk '/Name: DllGetClassObject/ { getline; print $2 }' <<<"$headers")
symbol=$(llvm-symbolizer-16 --obj="$out/VIREOPLUGIN.DLL" $((base + rva)))
grep -q '^DllGetClassObject$' <<<"$symbol" && grep -q 'server\\Exports\.cpp:' <<<"$symbol" ||
  fail "DllGetClassObject symbolises as: $symbol"
echo "release: passed"
