#!/bin/sh
# Runs the nightly service's command line, taken from the shipped unit, in as much of the sandbox that unit
# gives it as can be made without systemd, which cannot run here. The program runs as a user of its own
# (User=; nobody here) in a user namespace that maps that user alone (PrivateUsers=), and a mount and
# process namespace (unshare) stand in for PrivateMounts= and the unit's file system: everything read-only
# (ProtectSystem=strict) but the school's output folder (ReadWritePaths=), a private /var/tmp (PrivateTmp=;
# /tmp stays read-only here, so TMPDIR names /var/tmp), the verification's log folder (LogsDirectory=),
# a /proc that shows this process
# namespace's processes only (ProtectProc=invisible, ProcSubset=pid), a /dev with the harmless devices alone
# (PrivateDevices=), the password only as the credential norv-pwd, the data source in /etc/odbc.ini
# (Environment=ODBCINI=/etc/odbc.ini). service_syscall_filter.py then puts the unit's process settings on the
# program (UMask=, LimitCORE=, CapabilityBoundingSet=, NoNewPrivileges= and the system call filters), and
# kills it at any system call the unit's filter would refuse. Without root (to make the mounts and change
# the user) or where the machine allows no such namespaces the test is skipped (77).
# The run must succeed against the sample PostgreSQL source with the right credential, leave no file that
# other users may read, and fail with a wrong credential (so the credential, not something else, logged in).
# Usage: service_sandbox_test.sh SOURCE_DIR BUILD_DIR PG_PORT
set -eu
src=$1
build=$(cd "$2" && pwd)
port=$3
fail() { echo "FAIL: $*" >&2; exit 1; }
[ "$(id -u)" = 0 ] ||
  { echo "skipped: only root can stand in for the service's user and file system"; exit 77; }
user=nobody
unshare -mpf true 2>/dev/null &&
  setpriv --reuid=$user --regid=nogroup --clear-groups unshare -Uc true 2>/dev/null ||
  { echo "skipped: this machine allows no mount, process and user namespaces (unshare)"; exit 77; }
/usr/bin/python3 -c 'import seccomp' 2>/dev/null ||
  fail "python3-seccomp is not installed (scripts/install-deps.sh installs it)"

school=1021
# The command of a unit, and that its sandbox is the one this test makes (folder: the output folder's
# setting, ReadWritePaths= for the nightly run, ReadOnlyPaths= for the verification).
unitCommand() {
  for setting in ProtectSystem=strict "$2=/srv/corvanta/import/%i" PrivateTmp=yes ODBCINI=/etc/odbc.ini \
    'LoadCredential=norv-pwd:' PrivateUsers=yes PrivateMounts=yes ProtectProc=invisible ProcSubset=pid \
    PrivateDevices=yes; do
    grep -q -- "$setting" "$1" || fail "$1 no longer has $setting; make this test's sandbox match it"
  done
  sed -n 's/^ExecStart=@NORV_PROGRAM@ //p' "$1" | sed -e "s/%i/$school/g" \
    -e 's/\${NORV_DSN}/NorvPG/' -e 's/\${NORV_USER}/norv_reader/'
}
# The units as they are installed: the shared sandbox in place of @NORV_SANDBOX@.
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
units=$tmp/units
mkdir "$units"
for name in norv-extract@ norv-extract-verify@; do
  sed -e "/^@NORV_SANDBOX@\$/{r $src/packaging/norv-extract-sandbox.conf" -e 'd}' \
    "$src/packaging/$name.service.in" >"$units/$name.service.in"
done
unit=$units/norv-extract@.service.in
command=$(unitCommand "$unit" ReadWritePaths)
[ -n "$command" ] || fail "no ExecStart in $unit"
verifyUnit=$units/norv-extract-verify@.service.in
verifyCommand=$(unitCommand "$verifyUnit" ReadOnlyPaths)
[ -n "$verifyCommand" ] || fail "no ExecStart in $verifyUnit"
grep -q '^LogsDirectory=norv-extract$' "$verifyUnit" || fail "$verifyUnit no longer has LogsDirectory=norv-extract"

mkdir -p "$tmp/right" "$tmp/wrong" "$tmp/private-tmp" "$tmp/home" "$tmp/dev" "$tmp/logs"
chown $user "$tmp/logs"
printf 'norv-reader-pw\n' >"$tmp/right/norv-pwd"
printf 'not-the-password\n' >"$tmp/wrong/norv-pwd"
# As systemd hands the credentials to the service's user; the program must reach them through $tmp.
chown -R $user "$tmp/right" "$tmp/wrong"
chmod 0400 "$tmp/right/norv-pwd" "$tmp/wrong/norv-pwd"
chmod 0711 "$tmp"
chmod 1777 "$tmp/private-tmp"
sed "s/^Port=.*/Port=$port/" "$build/testenv/odbc.ini" >"$tmp/odbc.ini"

# One run of the nightly unit (or, with a third argument, of the verification unit: the output folder
# read-only, the log folder systemd would make writable) in the sandbox with the credentials folder $1;
# prints its exit code, leaves its output folder in $tmp/out-$1.
sandboxed() {
  out=$tmp/out-$(basename "$1")
  mkdir -p "$out"
  chown $user:nogroup "$out"
  access=rw
  sandboxUnit=$unit
  set -- "$1" $command
  if [ "${verifying:-}" = 1 ]; then
    access=ro
    sandboxUnit=$verifyUnit
    set -- "$1" $verifyCommand
  fi
  credentialsFolder=$1
  shift
  # shellcheck disable=SC2016
  unshare -mpf sh -c '
    set -e
    tmp=$1 out=$2 credentials=$3 program=$4 filter=$5 unit=$6 user=$7 access=$8; shift 8
    mount -t tmpfs -o mode=755 tmpfs "$tmp/dev"
    for device in null zero full random urandom tty; do
      : >"$tmp/dev/$device"
      mount --bind "/dev/$device" "$tmp/dev/$device"
    done
    mount --move "$tmp/dev" /dev
    mount -t proc -o hidepid=invisible,subset=pid proc /proc
    mount -t tmpfs tmpfs /srv
    mkdir -p /srv/corvanta/import/'"$school"'
    for d in / /etc /usr /var /srv /tmp /home /work /root; do
      [ -d "$d" ] || continue
      mountpoint -q "$d" || mount --bind "$d" "$d"
      mount -o remount,bind,ro "$d"
    done
    mount --bind "$tmp/odbc.ini" /etc/odbc.ini && mount -o remount,bind,ro /etc/odbc.ini
    mount --bind "$out" /srv/corvanta/import/'"$school"' && mount -o remount,bind,$access /srv/corvanta/import/'"$school"'
    mount --bind "$tmp/private-tmp" /var/tmp && mount -o remount,bind,rw /var/tmp
    mount -t tmpfs tmpfs /var/log
    mkdir /var/log/norv-extract
    mount --bind "$tmp/logs" /var/log/norv-extract && mount -o remount,bind,rw /var/log/norv-extract
    cd /
    set +e
    HOME=$tmp/home ODBCINI=/etc/odbc.ini CREDENTIALS_DIRECTORY=$credentials TMPDIR=/var/tmp \
      setpriv --reuid=$user --regid=nogroup --clear-groups unshare -Uc --keep-caps \
      setpriv --bounding-set=-all --inh-caps=-all --ambient-caps=-all \
      /usr/bin/python3 "$filter" "$unit" "$program" "$@" >/dev/null 2>&1
    echo $?
  ' sh "$tmp" "$out" "$credentialsFolder" "$build/norv-extract" "$src/tests/install/service_syscall_filter.py" \
    "$sandboxUnit" $user $access "$@"
}

code=$(sandboxed "$tmp/right")
[ "$code" != 159 ] ||
  fail "the run made a system call the unit's filter refuses (killed by SIGSYS; strace -f shows which)"
[ "$code" = 0 ] || fail "the run in the service's sandbox ended $code: $(grep -h -e Error -e Critical "$tmp/out-right"/*.log | head -5)"
[ -s "$tmp/out-right/Students.cef" ] || fail "no Students.cef in the output folder"
ls "$tmp/out-right"/Update\ *.CDU >/dev/null 2>&1 || fail "no attendance update file in the output folder"
grep -q 'Succeeded' "$tmp/out-right/Data ExtractorStatus.tmp" || fail "the status file does not say Succeeded"
! grep -rq 'norv-reader-pw' "$tmp/out-right" || fail "the password stands in the output folder"
# UMask=0027: the group may read, other users nothing (the folder itself is the test's).
shared=$(find "$tmp/out-right" -mindepth 1 -perm /o=rwx)
[ -z "$shared" ] || fail "other users may use: $(printf '%s\n' "$shared" | head -5)"
modes=$(cd "$tmp/out-right" && stat -c %a StudentMed.cef Attendance Attendance/Attendance.db | tr '\n' ' ')
[ "$modes" = "640 750 640 " ] || fail "modes: $(ls -la "$tmp/out-right" "$tmp/out-right/Attendance")"

# The weekly verification of that folder, under its own unit: it agrees, and changes nothing there.
before=$(cd "$tmp/out-right" && find . -type f -exec sha256sum {} + | sort)
code=$(verifying=1 sandboxed "$tmp/right")
[ "$code" = 0 ] || fail "the verification in its sandbox ended $code: $(tail -5 "$tmp/logs"/*.log)"
grep -q "Verify: the target's attendance equals the source's" "$tmp/logs"/*.log ||
  fail "the verification's log in /var/log/norv-extract does not say that the folder agrees"
[ "$(cd "$tmp/out-right" && find . -type f -exec sha256sum {} + | sort)" = "$before" ] ||
  fail "the verification changed the output folder"

code=$(sandboxed "$tmp/wrong")
[ "$code" = 1 ] || fail "a wrong credential ended $code, not 1"
echo "ok: the services' commands ran in their sandboxes with the credential, and the run failed with a wrong one"
