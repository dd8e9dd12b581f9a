#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the demo need. Skips apt when all are present.
set -euo pipefail
packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev
  libsqlite3-dev sqlite3
  unixodbc unixodbc-dev odbcinst libsqliteodbc odbc-postgresql
  postgresql
  libgtest-dev strace python3-seccomp
  python3 clang-format
  fonts-dejavu-core poppler-utils groff-base time
  lintian systemd
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" = 0 ] || sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi
