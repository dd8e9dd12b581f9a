#!/bin/sh
# Runs the nightly service's command line, taken from the shipped unit, in the file system that unit gives
# it: everything read-only (ProtectSystem=strict) but the school's output folder (ReadWritePaths=) and a
# private /var/tmp (PrivateTmp=; /tmp stays read-only here, stricter than the unit), the password only as
# the credential norv-pwd, the data source in /etc/odbc.ini (Environment=ODBCINI=/etc/odbc.ini). systemd itself cannot run here, so a user and mount
# namespace (unshare) stands in for its sandbox; where the machine allows none, the test is skipped (77).
# The run must succeed against the sample PostgreSQL source with the right credential, and fail with a
# wrong one (so the credential, not something else, logged in).
# Usage: service_sandbox_test.sh SOURCE_DIR BUILD_DIR PG_PORT
set -eu
src=$1
build=$(cd "$2" && pwd)
port=$3
fail() { echo "FAIL: $*" >&2; exit 1; }
unshare -rm true 2>/dev/null || { echo "skipped: this machine allows no user namespace (unshare -rm)"; exit 77; }

unit=$src/packaging/norv-extract@.service.in
for setting in ProtectSystem=strict 'ReadWritePaths=/srv/corvanta/import/%i' PrivateTmp=yes \
  ODBCINI=/etc/odbc.ini 'LoadCredential=norv-pwd:'; do
  grep -q -- "$setting" "$unit" || fail "the unit no longer has $setting; make this test's sandbox match it"
done
school=1021
command=$(sed -n 's/^ExecStart=@NORV_PROGRAM@ //p' "$unit" | sed -e "s/%i/$school/g" \
  -e 's/\${NORV_DSN}/NorvPG/' -e 's/\${NORV_USER}/norv_reader/')
[ -n "$command" ] || fail "no ExecStart in $unit"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/right" "$tmp/wrong" "$tmp/private-tmp" "$tmp/home"
printf 'norv-reader-pw\n' >"$tmp/right/norv-pwd"
printf 'not-the-password\n' >"$tmp/wrong/norv-pwd"
chmod 0400 "$tmp/right/norv-pwd" "$tmp/wrong/norv-pwd"
sed "s/^Port=.*/Port=$port/" "$build/testenv/odbc.ini" >"$tmp/odbc.ini"

# One run in the sandbox with the credentials folder $1; prints its exit code, leaves its output folder
# in $tmp/out-$1.
sandboxed() {
  out=$tmp/out-$(basename "$1")
  mkdir -p "$out"
  # shellcheck disable=SC2016
  unshare -rm sh -c '
    set -e
    tmp=$1 out=$2 credentials=$3 program=$4; shift 4
    mount -t tmpfs tmpfs /srv
    mkdir -p /srv/corvanta/import/'"$school"'
    for d in / /etc /usr /var /srv /tmp /home /work /root; do
      [ -d "$d" ] || continue
      mountpoint -q "$d" || mount --bind "$d" "$d"
      mount -o remount,bind,ro "$d"
    done
    mount --bind "$tmp/odbc.ini" /etc/odbc.ini && mount -o remount,bind,ro /etc/odbc.ini
    mount --bind "$out" /srv/corvanta/import/'"$school"' && mount -o remount,bind,rw /srv/corvanta/import/'"$school"'
    mount --bind "$tmp/private-tmp" /var/tmp && mount -o remount,bind,rw /var/tmp
    cd /
    set +e
    HOME=$tmp/home ODBCINI=/etc/odbc.ini CREDENTIALS_DIRECTORY=$credentials "$program" "$@" >/dev/null 2>&1
    echo $?
  ' sh "$tmp" "$out" "$1" "$build/norv-extract" $command
}

code=$(sandboxed "$tmp/right")
[ "$code" = 0 ] || fail "the run in the service's sandbox ended $code: $(grep -h -e Error -e Critical "$tmp/out-right"/*.log | head -5)"
[ -s "$tmp/out-right/Students.cef" ] || fail "no Students.cef in the output folder"
ls "$tmp/out-right"/Update\ *.CDU >/dev/null 2>&1 || fail "no attendance update file in the output folder"
grep -q 'Succeeded' "$tmp/out-right/Data ExtractorStatus.tmp" || fail "the status file does not say Succeeded"
! grep -rq 'norv-reader-pw' "$tmp/out-right" || fail "the password stands in the output folder"

code=$(sandboxed "$tmp/wrong")
[ "$code" = 1 ] || fail "a wrong credential ended $code, not 1"
echo "ok: the service's command ran in its sandbox with the credential, and failed with a wrong one"
