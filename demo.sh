#!/usr/bin/env bash
# Installs what is missing, builds norv-extract and runs it.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"
echo "norv-extract is built as build/norv-extract; the command line comes with the application frame."
