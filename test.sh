#!/usr/bin/env bash
# Installs what is missing, builds a normal and an address+undefined sanitizer configuration, starts a
# private PostgreSQL server, builds the sample source databases and runs every test on both builds.
# Exits non-zero when anything fails. The server is always stopped.
set -euo pipefail
cd "$(dirname "$0")"
top=$PWD

scripts/install-deps.sh

jobs=$(nproc)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DNORV_SANITIZE=ON -DNORV_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan -j "$jobs"

export NORV_PG_PORT=${NORV_PG_PORT:-54329}
export NORV_TEST_ROOT=$top/build/testenv
trap 'scripts/pg-test-server.sh stop' EXIT
scripts/pg-test-server.sh start
rm -rf "$NORV_TEST_ROOT"
mkdir -p "$NORV_TEST_ROOT"
if [ -x sample/build-sample.sh ]; then
  sample/build-sample.sh --out "$NORV_TEST_ROOT" --pg-port "$NORV_PG_PORT"
  export ODBCINI=$NORV_TEST_ROOT/odbc.ini
fi

# The SQLite ODBC driver's own leak is only recognisable through the frames of the driver itself, which
# the fast unwinder cannot see through the libraries it loads without frame pointers.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:fast_unwind_on_malloc=0
export LSAN_OPTIONS=suppressions=$top/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

status=0
echo "== tests (normal build)"
ctest --test-dir build --output-on-failure -j "$jobs" || status=1
echo "== tests (address + undefined sanitizer build)"
ctest --test-dir build-asan --output-on-failure -j "$jobs" || status=1
exit $status
