#!/bin/sh
# Builds the Debian package, checks its control fields (the version the program reports, a dependency
# on the package of every shared library the program needs, the recommended ODBC drivers), lets lintian
# find no error and no warning in it, unpacks it into a temporary root and checks the unpacked copy (see
# check_installed.sh).
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
echo "ok: $(basename "$deb")"
