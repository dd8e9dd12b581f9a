#!/bin/sh
# Builds the Debian package, checks its control fields (the version the program reports, a dependency
# on the package of every shared library the program needs, the recommended ODBC drivers), lets lintian
# find no error and no warning in it, unpacks it into a temporary root and checks the unpacked copy (see
# check_installed.sh) and its nightly and verification services: files private to the service's group
# (UMask=0027), a run-time limit of hours, and an exposure of at most 2.0 in `systemd-analyze security`.
# Usage: package_test.sh BUILD_DIR [CPACK]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
cpack=${2:-cpack}
fail() { echo "FAIL: $*" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

"$cpack" --config "$build/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log" 2>&1 || { cat "$tmp/cpack.log" >&2; exit 1; }
set -- "$tmp"/out/*.deb
[ $# -eq 1 ] && [ -f "$1" ] || fail "expected one package, found: $*"
deb=$1

[ "$(dpkg-deb -f "$deb" Package)" = norv-extract ] || fail "package name $(dpkg-deb -f "$deb" Package)"
dpkg-deb -x "$deb" "$tmp/root"
sh "$here/check_installed.sh" "$tmp/root/usr" /usr

command -v lintian >/dev/null || fail "lintian is not installed (scripts/install-deps.sh installs it)"
findings=$(lintian "$deb" 2>&1 | grep -E '^[EW]: ' || true)
[ -z "$findings" ] || fail "lintian: $findings"

program=$tmp/root/usr/lib/norv-extract/norv-extract
reported=$(cd "$tmp" && HOME=$tmp "$program" version | awk -F '\t' '$1 == "version" { print $3 }')
[ "$(dpkg-deb -f "$deb" Version)" = "$reported" ] ||
  fail "package version $(dpkg-deb -f "$deb" Version), the program reports $reported"

# Every library the program loads must come from a package the package depends on.
depends=$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/(.*)//; s/ //g')
for soname in $(objdump -p "$program" | awk '$1 == "NEEDED" { print $2 }'); do
  path=$(ldd "$program" | awk -v lib="$soname" '$1 == lib { print $3 }')
  [ -n "$path" ] || fail "$soname is not found on this machine"
  owner=$(dpkg -S "$(readlink -f "$path")" 2>/dev/null || dpkg -S "$path") || fail "no package owns $path"
  owner=${owner%%:*}
  printf '%s\n' "$depends" | grep -qx "$owner" || fail "$soname comes from $owner, which Depends lacks"
done

recommends=$(dpkg-deb -f "$deb" Recommends | tr ',' '\n' | sed 's/(.*)//; s/ //g')
for driver in libsqliteodbc odbc-postgresql; do
  printf '%s\n' "$recommends" | grep -qx "$driver" || fail "Recommends lacks $driver"
done
command -v systemd-analyze >/dev/null ||
  fail "systemd-analyze is not installed (scripts/install-deps.sh installs it)"
exposures=
for name in norv-extract@ norv-extract-verify@; do
  service=$tmp/root/usr/lib/systemd/system/$name.service
  grep -qx 'UMask=0027' "$service" || fail "$name.service does not set UMask=0027: $(grep UMask "$service")"
  # A source that answers, but slowly, must not keep a run going into the next nights.
  limit=$(sed -n 's/^TimeoutStartSec=//p' "$service")
  [ -n "$limit" ] || fail "$name.service has no run-time limit (TimeoutStartSec=)"
  micros=$(systemd-analyze timespan "$limit" | awk '$1 == "μs:" { print $2 }')
  [ -n "$micros" ] && [ "$micros" -ge 3600000000 ] && [ "$micros" -le 43200000000 ] ||
    fail "the run-time limit $limit of $name.service is not between one and twelve hours"
  exposure=$(systemd-analyze security --offline=true "$service" 2>&1 |
    sed -n 's/^.*Overall exposure level for [^:]*: \([0-9.]*\) .*$/\1/p')
  [ -n "$exposure" ] || fail "systemd-analyze security gave no exposure for $name.service"
  awk -v e="$exposure" 'BEGIN { exit !(e <= 2.0) }' ||
    fail "systemd-analyze security scores $name.service $exposure, above 2.0"
  exposures="$exposures $name.service $exposure"
done
echo "ok: $(basename "$deb") (its services' exposure:$exposures)"
