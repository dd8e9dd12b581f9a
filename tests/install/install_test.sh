#!/bin/sh
# `cmake --install` into a fresh prefix gives a working installed copy (see check_installed.sh).
# Usage: install_test.sh BUILD_DIR [CMAKE]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"${2:-cmake}" --install "$1" --prefix "$tmp/prefix" >"$tmp/install.log" 2>&1 || { cat "$tmp/install.log" >&2; exit 1; }
sh "$here/check_installed.sh" "$tmp/prefix"
