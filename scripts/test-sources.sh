#!/usr/bin/env bash
# The sources the tests read, as one ctest fixture of a build folder: a private PostgreSQL server on the
# build's test port and the sample Norv databases (SQLite and PostgreSQL) in BUILD/testenv.
#   test-sources.sh start BUILD PORT   start a fresh server and build the sample sources into BUILD/testenv
#   test-sources.sh stop  BUILD PORT   stop the server and remove its folder
# The test programs find BUILD/testenv and PORT on their own (tests/TestEnvironment.cpp).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
action=${1:?usage: test-sources.sh start|stop BUILD PORT}
build=${2:?build folder}
export NORV_PG_PORT=${3:?port}
case "$action" in
  start)
    "$top/scripts/pg-test-server.sh" start
    rm -rf "$build/testenv"
    "$top/sample/build-sample.sh" --out "$build/testenv" --pg-port "$NORV_PG_PORT"
    ;;
  stop)
    "$top/scripts/pg-test-server.sh" stop
    ;;
  *)
    echo "usage: test-sources.sh start|stop BUILD PORT" >&2
    exit 2
    ;;
esac
