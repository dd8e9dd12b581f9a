#!/usr/bin/env bash
# Installs what is missing, builds a normal and an address+undefined sanitizer configuration and runs
# every test on both; each build's ctest starts its private PostgreSQL server and builds the sample
# source databases itself (the fixture norv_sources_start), and always stops the server.
#   ./test.sh           the full check (what CI runs)
#   ./test.sh --quick   the normal configuration only, for the edit-and-test loop
# Exits non-zero when anything fails. Prints how long each phase took, in wall and CPU time.
set -euo pipefail
cd "$(dirname "$0")"

quick=0
case "${1:-}" in
  "") ;;
  --quick) quick=1 ;;
  *) echo "usage: ./test.sh [--quick]" >&2; exit 2 ;;
esac

scripts/install-deps.sh

jobs=$(nproc)
port=${NORV_TEST_PG_PORT:-54329}
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
configs=(build)
[ "$quick" = 1 ] || configs+=(build-asan)
# A ctest that is interrupted does not run its clean-up: stop the servers here too.
trap 'for b in "${configs[@]}"; do scripts/test-sources.sh stop "$PWD/$b" "$port" || true; done' EXIT

# Runs one phase and prints its wall time and the CPU time it took, its child processes included.
phase() {
  local name=$1
  shift
  echo "== $name"
  local TIMEFORMAT="== $name: %0R s (CPU: %0U s user, %0S s system)"
  time "$@"
}

# Line tables are what the sanitizers' reports, a crash's backtrace and perf need; full debug information
# made the builds take twice as long.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" \
  -DNORV_TEST_PG_PORT="$port" "${launcher[@]}" >/dev/null
phase "build (normal)" cmake --build build -j "$jobs"
if [ "$quick" = 0 ]; then
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DNORV_SANITIZE=ON \
    -DNORV_BUILD_BENCH=OFF -DNORV_TEST_PG_PORT="$port" "${launcher[@]}" >/dev/null
  phase "build (address + undefined sanitizer)" cmake --build build-asan -j "$jobs"
fi

status=0
phase "tests (normal build)" ctest --test-dir build --output-on-failure -j "$jobs" || status=1
if [ "$quick" = 0 ]; then
  echo "== (the crash-consistency tests AttendanceKilled and CliKill ran in the normal build only)"
  phase "tests (address + undefined sanitizer build)" ctest --test-dir build-asan --output-on-failure -j "$jobs" \
    || status=1
fi
exit $status
