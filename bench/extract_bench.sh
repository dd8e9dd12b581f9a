#!/usr/bin/env bash
# End-to-end extraction benchmark: a school of 5,000 students from the sample generator, one full
# extraction (tables and attendance frame) of that school, its wall time and peak memory, beside the time
# unixODBC's isql -b takes to run the same SQL statements on the same DSN.
#
#   bench/extract_bench.sh [--build DIR] [--students N] [--pg-port PORT]
#
# --build    the project's build folder (default: build); its static libraries must be built
#            (cmake --build DIR --target norv_engine)
# --students students of the generated sample (default 5000 in the measured school: 9100 over the
#            three schools, of which the largest has 55 %)
# --pg-port  also measure against the PostgreSQL DSN of a private test server already started on PORT
#            (scripts/pg-test-server.sh start); the generator replaces that server's database "norv"
#
# The extraction runs through a small driver around the engine (compiled here from the build's static
# libraries) and, when the command line can run extractions, through build/norv-extract run as well.
# Not run by the tests.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
build=$top/build
students=9100
port=""
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$(cd "${2:?}" && pwd); shift 2 ;;
    --students) students=${2:?}; shift 2 ;;
    --pg-port) port=${2:?}; shift 2 ;;
    *) sed -n '6p' "$0" | sed 's/^# *//' >&2; exit 2 ;;
  esac
done
[ -x /usr/bin/time ] || { echo "extract_bench.sh: /usr/bin/time is needed (apt-get install time)" >&2; exit 1; }
[ -f "$build/libnorv_engine.a" ] || {
  echo "extract_bench.sh: build the engine first: cmake --build $build --target norv_engine" >&2
  exit 1
}

work=$(mktemp -d /tmp/norv-extract-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT

echo "== generating the sample ($students students over three schools)"
sample_args=(--out "$work/sample" --students "$students")
[ -n "$port" ] && sample_args+=(--pg-port "$port")
"$top/sample/build-sample.sh" "${sample_args[@]}" >/dev/null
export ODBCINI=$work/sample/odbc.ini
school=1021  # the largest school of the sample
count=$(python3 -c '
import json, sys
data = json.load(open(sys.argv[1]))
rows = data["views"]["V_VLMR_STU_DEMOGRAPHIC"]["rows"]
print(sum(1 for r in rows if r[1] == sys.argv[2]))' "$work/sample/norv.json" "$school")
echo "school $school: $count student rows"

echo "== compiling the engine driver"
cat >"$work/driver.cpp" <<'CPP'
// Runs one extraction with the engine and writes the SQL statements it sent, one per line.
#include <QCoreApplication>
#include <QFile>
#include <cstdio>

#include "engine/ExpEngine.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 7) {
        std::fprintf(stderr, "usage: driver DSN USER PWD SCHOOL OUTDIR SQLFILE\n");
        return 2;
    }
    QFile sql(QString::fromLocal8Bit(argv[6]));
    if (!sql.open(QIODevice::WriteOnly)) {
        return 2;
    }
    QString lastError;
    {
        ExpEngine engine;
        QObject::connect(&engine, &AppTaskBase::writeLog, &engine,
                         [&](int level, const QString& message, const QString&) {
                             if (level == 3) {
                                 lastError = message;
                             }
                             if (level != 9) {
                                 return;
                             }
                             QString statement = message;
                             for (const char* prefix : {"Table Exists query:", "Field Exists query:"}) {
                                 if (statement.startsWith(QLatin1String(prefix))) {
                                     statement.remove(0, int(qstrlen(prefix)));
                                 }
                             }
                             if (statement.startsWith(QLatin1String("SELECT"), Qt::CaseInsensitive)) {
                                 sql.write(statement.toUtf8() + "\n");
                             }
                         });
        TaskValues values{{"dsn", argv[1]}, {"user", argv[2]},       {"pwd", argv[3]},
                          {"school", argv[4]}, {"path", argv[5]},    {"appShortName_", "Norv"},
                          {"bridgeAlias_", "norv"}};
        if (!engine.Execute(values, -1)) {
            std::fprintf(stderr, "extraction failed: %s\n", qPrintable(lastError));
            return 1;
        }
    }
    return 0;
}
CPP
libs=()
for layer in engine attendance dataaccess writer task messages ado sqlitewrap support platform; do
  [ -f "$build/libnorv_$layer.a" ] && libs+=("$build/libnorv_$layer.a")
done
# shellcheck disable=SC2046
g++ -std=c++20 -O2 -fPIC -I"$top/src" $(pkg-config --cflags Qt6Core) -o "$work/driver" "$work/driver.cpp" \
  "${libs[@]}" $(pkg-config --libs Qt6Core) -lodbc -lsqlite3

# measure LABEL COMMAND...: wall time and peak memory of one run.
measure() {
  local label=$1
  shift
  if ! /usr/bin/time -v -o "$work/time.txt" "$@" >"$work/out.txt" 2>&1; then
    echo "$label: FAILED"
    sed 's/^/    /' "$work/out.txt" | tail -n 5
    return 1
  fi
  local wall rss
  wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$work/time.txt")
  rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time.txt")
  printf '%-44s wall %s   peak memory %s KB\n' "$label" "$wall" "$rss"
}

# isql_time DSN USER PWD: wall time of isql -b running the recorded statements.
isql_time() {
  local start end
  start=$(date +%s.%N)
  isql -b "$@" <"$work/queries.sql" >/dev/null 2>&1 || true
  end=$(date +%s.%N)
  python3 -c 'import sys; print("%.2f s" % (float(sys.argv[2]) - float(sys.argv[1])))' "$start" "$end"
}

run_source() {
  local label=$1 dsn=$2 user=$3 pwd=$4
  echo "== $label ($dsn)"
  rm -rf "$work/out" && mkdir -p "$work/out"
  measure "engine (full extraction, school $school)" \
    "$work/driver" "$dsn" "$user" "$pwd" "$school" "$work/out" "$work/queries.sql" || return 0
  printf '%-44s %s lines in Students.cef, %s statements\n' "" \
    "$(wc -l <"$work/out/Students.cef")" "$(wc -l <"$work/queries.sql")"
  printf '%-44s wall %s\n' "isql -b (the same statements, same DSN)" \
    "$(isql_time "$dsn" ${user:+"$user"} ${pwd:+"$pwd"})"
  if [ -x "$build/norv-extract" ]; then
    rm -rf "$work/cli" && mkdir -p "$work/cli"
    local cli=("$build/norv-extract" run "--path=$work/cli" "--dsn=$dsn" "--school=$school" "--user=${user:-reader}"
      "--pwd=${pwd:-unused}" "--logpath=$work/logs")
    if HOME=$work/home "${cli[@]}" >/dev/null 2>&1 && [ -f "$work/cli/Norv.CDE" ]; then
      rm -rf "$work/cli" && mkdir -p "$work/cli"
      HOME=$work/home measure "norv-extract run (whole program)" "${cli[@]}" || true
    else
      echo "norv-extract run: cannot extract yet (command line not wired to the engine); skipped"
    fi
  fi
}

run_source "SQLite" NorvSQLite "" ""
if [ -n "$port" ]; then
  run_source "PostgreSQL" NorvPG norv_reader norv-reader-pw
fi
