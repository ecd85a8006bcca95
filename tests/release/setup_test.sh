#!/usr/bin/env bash
# scripts/setup against an archive that is mid-sync, with stand-ins first on PATH for apt-get (which
# answers as told and logs its calls), sleep, sudo and dpkg, and a dpkg-query for which every package
# is missing: an update that fails twice then succeeds; an update that always fails with an install
# that succeeds; an update and an install that both fail; every index fetched and an install that
# fails.
# Usage: setup_test.sh SOURCE_DIR
set -euo pipefail
root=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*"; exit 1; }
mkdir "$work/bin"
index=http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz
# apt-get fails its next N updates, as a mid-sync mirror makes it fail, and its install when told.
cat >"$work/bin/apt-get" <<STANDIN
#!/bin/sh
echo "apt-get \$*" >>"$work/calls"
case "\$*" in
  *update*)
    left=\$(cat "$work/updates-failing")
    [ "\$left" = 0 ] && exit 0
    [ "\$left" = always ] || echo \$((left - 1)) >"$work/updates-failing"
    echo "E: Failed to fetch $index  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 203.0.113.80 80]" >&2
    echo "E: Some index files failed to download. They have been ignored, or old ones used instead." >&2
    exit 100 ;;
  *install*) exit "\$(cat "$work/install-status")" ;;
esac
STANDIN
printf '#!/bin/sh\necho "sleep $*" >>"%s/calls"\n' "$work" >"$work/bin/sleep"
printf '#!/bin/sh\nexec "$@"\n' >"$work/bin/sudo"
printf '#!/bin/sh\n[ "$1" = --print-foreign-architectures ] && echo i386\nexit 0\n' >"$work/bin/dpkg"
printf '#!/bin/sh\nexit 1\n' >"$work/bin/dpkg-query"
chmod +x "$work"/bin/*

# Runs the set-up with UPDATES failing updates and an install that exits INSTALL; it must exit CODE.
set_up() {
  local updates=$1 install=$2 code=$3 status=0
  echo "$updates" >"$work/updates-failing"
  echo "$install" >"$work/install-status"
  : >"$work/calls"
  PATH="$work/bin:$PATH" "$root/scripts/setup" >"$work/out" 2>&1 || status=$?
  [ "$status" = "$code" ] || { cat "$work/out"; fail "the set-up exited with $status, not $code ($updates failing updates)"; }
}
calls() { grep -o '^[a-z-]* [a-z0-9]*' "$work/calls" | paste -sd,; }

set_up 2 0 0
[ "$(calls)" = "apt-get update,sleep 10,apt-get update,sleep 30,apt-get update,apt-get install" ] || fail "retries: $(calls)"
[ "$(grep -c 'trying again' "$work/out")" = 2 ] || fail "not one line a try: $(cat "$work/out")"
grep -F 'failed' "$work/out" | grep -v 'trying again' && fail "a passing update was reported as failed"

set_up always 0 0
[ "$(calls)" = "apt-get update,sleep 10,apt-get update,sleep 30,apt-get update,sleep 60,apt-get update,apt-get install" ] ||
  fail "retries: $(calls)"
[ "$(grep -c "these indexes failed: $index\$" "$work/out")" = 1 ] || fail "the failed index was not named: $(cat "$work/out")"

set_up always 100 100
tail -1 "$work/out" | grep -F "the archive's state" | grep -F 'run this command again' >/dev/null ||
  fail "the last line does not say what to do: $(tail -1 "$work/out")"
grep -xF "setup:   $index" "$work/out" >/dev/null || fail "the failed index was not named: $(cat "$work/out")"

set_up 0 100 100
[ "$(tail -1 "$work/out")" = "setup: apt-get install failed (exit code 100)." ] || fail "the last line: $(tail -1 "$work/out")"
echo "setup: passed"
