#!/usr/bin/env bash
# End-to-end extraction benchmark. For a generated school, one full extraction with `norv-extract run`
# (wall time and peak memory), beside the floors for reading the same data: unixODBC's `isql -b`, the
# minimal ODBC client norv_odbc_floor (bench/OdbcFloorClient.c: binds every column as wide text, fetches
# in blocks of 256 rows, nothing else) and the native command line of the database (sqlite3 on the same
# file with the same extension; psql for PostgreSQL), all running the SQL statements the extraction sent,
# which are taken from the run's own log file (its Proprietary lines).
#
#   bench/extract_bench.sh [--build DIR] [--students N | --sizes] [--pg-port PORT] [--runs R] [--keep DIR]
#                          [--sample DIR] [--baseline DIR]
#
# --build    the project's build folder (default: build) with norv-extract and norv_odbc_floor built
#            (cmake --build DIR --target norv-extract norv_odbc_floor)
# --students students of the measured school (default 5000); the sample has three schools and this one
#            has 55 % of its students
# --sizes    measure at 1,000, 5,000 and 20,000 students and summarise: time per student and the peak
#            memory at the largest size against the smallest
# --pg-port  also measure against the PostgreSQL DSN of a private test server already started on PORT
#            (scripts/pg-test-server.sh start); the generator replaces that server's database "norv"
# --runs     timed runs of each program (default 3); the best wall time and its peak memory are shown
# --keep     keep the samples, outputs and logs in DIR instead of a temporary folder
# --baseline also time the norv-extract of another build folder DIR (say, of the previous commit) on the same
#            sample, for a before-and-after comparison in one run
# --sample   measure the sample already built in DIR (sample/build-sample.sh; with --pg-port, the server's
#            database "norv" must hold the same sample) instead of generating one; one size only
#
# Times are wall clock and CPU (user + system of the client process), measured with /usr/bin/time after one
# untimed warm-up run of the extraction; on a shared machine the CPU figures are the steadier ones. Peak
# memory includes what the ODBC driver holds: with their default DSN settings both drivers read a
# statement's whole result into the client when it runs (the extractor itself streams the tables it writes);
# StepAPI=1 (SQLite driver) and UseDeclareFetch=1 (psqlODBC) in a DSN make them fetch as they are asked.
# To see where the extraction's time goes: perf record -g build/norv-extract run ... (Debian package
# linux-perf); the script prints the command line of the last run it made. Not run by the tests.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
build=$top/build
sizes=(5000)
port=""
runs=3
keep=""
sample=""
baseline=""
usage() {
  sed -n '9p' "$0" | sed 's/^# *//' >&2
  exit 2
}
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$(cd "${2:?}" && pwd); shift 2 ;;
    --students) sizes=("${2:?}"); shift 2 ;;
    --sizes) sizes=(1000 5000 20000); shift ;;
    --pg-port) port=${2:?}; shift 2 ;;
    --runs) runs=${2:?}; shift 2 ;;
    --keep) keep=${2:?}; shift 2 ;;
    --sample) sample=$(cd "${2:?}" && pwd); shift 2 ;;
    --baseline) baseline=$(cd "${2:?}" && pwd); shift 2 ;;
    *) usage ;;
  esac
done
[ -x /usr/bin/time ] || { echo "extract_bench.sh: /usr/bin/time is needed (apt-get install time)" >&2; exit 1; }
for program in norv-extract bench/norv_odbc_floor; do
  [ -x "$build/$program" ] || {
    echo "extract_bench.sh: build $program first: cmake --build $build --target norv-extract norv_odbc_floor" >&2
    exit 1
  }
done
for tool in isql sqlite3 python3; do
  command -v "$tool" >/dev/null || { echo "extract_bench.sh: $tool is needed" >&2; exit 1; }
done

if [ -n "$keep" ]; then
  mkdir -p "$keep"
  work=$(cd "$keep" && pwd)
else
  work=$(mktemp -d /tmp/norv-extract-bench.XXXXXX)
  trap 'rm -rf "$work"' EXIT
fi
school=1021 # the largest school of the sample
floor=$build/bench/norv_odbc_floor

# timed RESULT_FILE COMMAND...: runs the command (standard input from $stdin_file when set) and writes
# "wall_seconds user_seconds system_seconds peak_kb" into RESULT_FILE; fails with the command's last lines
# when it fails.
timed() {
  local result=$1
  shift
  if ! /usr/bin/time -f '%e %U %S %M' -o "$result" "$@" <"${stdin_file:-/dev/null}" >"$work/out.txt" 2>"$work/err.txt"; then
    echo "FAILED: $*" >&2
    tail -n 5 "$work/err.txt" "$work/out.txt" >&2
    return 1
  fi
}

# best COMMAND...: $runs timed runs; prints "wall cpu peak_kb": the best wall time, the best CPU time and
# the largest peak memory. The function named by $before (when set) runs untimed before each run.
best() {
  local i
  : >"$work/times.txt"
  for ((i = 0; i < runs; i++)); do
    if [ -n "${before:-}" ]; then "$before"; fi
    timed "$work/time.txt" "$@" || return 1
    cat "$work/time.txt" >>"$work/times.txt"
  done
  python3 -c '
import sys
rows = [line.split() for line in open(sys.argv[1]) if line.strip()]
print("%.2f %.2f %d" % (min(float(r[0]) for r in rows), min(float(r[1]) + float(r[2]) for r in rows),
                        max(int(r[3]) for r in rows)))' "$work/times.txt"
}

# The SELECT statements of a run, from its log file: the Proprietary lines are Base64 and hold the text
# after the method; the existence probes carry a label before the statement.
statements_of() {
  python3 - "$1" <<'PY'
import base64, sys
for raw in open(sys.argv[1], encoding="utf-8", errors="replace"):
    raw = raw.rstrip("\r\n")
    if not raw.startswith("proprietary:"):
        continue
    line = base64.b64decode(raw[len("proprietary:"):]).decode("utf-8", "replace")
    # name:hh:mm:ss: <level name, 13 characters> method: message
    head, _, rest = line.partition(": ")
    message = rest[14:].partition(": ")[2]
    for label in ("Table Exists query:", "Field Exists query:"):
        if message.startswith(label):
            message = message[len(label):]
    if message.lstrip().upper().startswith("SELECT"):
        print(" ".join(message.split()))
PY
}

declare -A summary

# measure_source SIZE LABEL DSN USER PWD
measure_source() {
  local size=$1 label=$2 dsn=$3 user=$4 pwd=$5 dir=$work/s$size
  local run_dir=$dir/run-$dsn
  local cli=("$build/norv-extract" run "--path=$run_dir/out" "--dsn=$dsn" "--school=$school" "--user=$user"
    "--pwd=$pwd" "--logpath=$run_dir/logs")
  rm -rf "$run_dir" && mkdir -p "$run_dir/home"
  export HOME=$run_dir/home
  # Warm-up, and the statements it sent.
  timed "$work/time.txt" "${cli[@]}" || return 0
  statements_of "$(ls "$run_dir"/logs/*.log "$run_dir"/out/*.log 2>/dev/null | head -n 1)" >"$run_dir/statements.sql"
  local count lines
  count=$(wc -l <"$run_dir/statements.sql")
  lines=$(cat "$run_dir"/out/*.cef 2>/dev/null | wc -l)
  local engine isql_r floor_r native="" native_label
  # Each timed run starts from an empty output folder, as a first extraction does.
  clean_run() { rm -rf "$run_dir/out" "$run_dir/logs"; }
  engine=$(before=clean_run best "${cli[@]}") || return 0
  local base="- - -"
  if [ -n "$baseline" ]; then
    base=$(before=clean_run best "$baseline/norv-extract" "${cli[@]:1}") || base="- - -"
  fi
  local login=()
  [ "$dsn" = NorvPG ] && login=("$user" "$pwd")
  stdin_file=$run_dir/statements.sql
  isql_r=$(best isql -b "$dsn" "${login[@]}") || isql_r="- - -"
  floor_r=$(best "$floor" "$dsn" "${login[@]}") || floor_r="- - -"
  if [ "$dsn" = NorvSQLite ]; then
    { echo ".load $dir/norv_oracle.so"; sed 's/$/;/' "$run_dir/statements.sql"; } >"$run_dir/native.sql"
    stdin_file=$run_dir/native.sql
    native=$(best sqlite3 -batch -bail "file:$dir/norv.db?mode=ro") || native="- - -"
    native_label="sqlite3 (native)"
  else
    sed 's/$/;/' "$run_dir/statements.sql" >"$run_dir/native.sql"
    stdin_file=$run_dir/native.sql
    native=$(PGPASSWORD=$pwd best psql -X -q -h 127.0.0.1 -p "$port" -U "$user" -d norv -v ON_ERROR_STOP=1) ||
      native="- - -"
    native_label="psql (native)"
  fi
  stdin_file=""
  echo
  echo "== $label (DSN $dsn), $size students in school $school: $count statements, $lines lines written"
  echo "   best of $runs runs; cpu = user + system time of the client process (a server's own time is not in it)"
  local extra=()
  [ -n "$baseline" ] && extra=("norv-extract run of the baseline build" "$base")
  python3 - "$floor_r" "norv-extract run (full extraction)" "$engine" "${extra[@]}" "isql -b" "$isql_r" \
    "norv_odbc_floor (minimal ODBC client)" "$floor_r" "$native_label" "$native" <<'PY2'
import sys
floor = sys.argv[1].split()
def ratio(value, base):
    try:
        return "%.2fx" % (float(value) / float(base)) if float(base) > 0 else "-"
    except ValueError:
        return "-"
print("   %-40s %8s %8s %9s %10s %10s" % ("", "wall s", "cpu s", "peak MB", "wall/floor", "cpu/floor"))
args = sys.argv[2:]
for name, figures in zip(args[::2], args[1::2]):
    wall, cpu, rss = figures.split()
    mb = "%.1f" % (int(rss) / 1024) if rss != "-" else "-"
    print("   %-40s %8s %8s %9s %10s %10s" % (name, wall, cpu, mb, ratio(wall, floor[0]), ratio(cpu, floor[1])))
PY2
  summary["$dsn $size"]="$engine $floor_r"
  [ -n "$baseline" ] && summary["$dsn $size baseline"]="$base $floor_r"
  echo "   profile: perf record -g ${cli[*]}"
}

for size in "${sizes[@]}"; do
  total=$(((size * 100 + 54) / 55))
  dir=$work/s$size
  if [ -n "$sample" ]; then
    rm -rf "$dir" && mkdir -p "$dir"
    cp "$sample/norv_oracle.so" "$dir/"
    sed "s|$sample/|$dir/|g" "$sample/odbc.ini" >"$dir/odbc.ini"
    ln -s "$sample/norv.db" "$dir/norv.db"
    echo "== the sample of $sample"
  else
    echo "== generating the sample: $total students over three schools ($size in school $school)"
    sample_args=(--out "$dir" --students "$total")
    [ -n "$port" ] && sample_args+=(--pg-port "$port")
    "$top/sample/build-sample.sh" "${sample_args[@]}" >/dev/null
  fi
  export ODBCINI=$dir/odbc.ini
  measure_source "$size" SQLite NorvSQLite "reader" "unused"
  if [ -n "$port" ]; then
    measure_source "$size" PostgreSQL NorvPG norv_reader norv-reader-pw
  fi
done

if [ ${#sizes[@]} -gt 1 ]; then
  echo
  echo "== scaling of norv-extract run"
  for which in "" " baseline"; do
    [ -z "$which" ] || [ -n "$baseline" ] || continue
    [ -z "$which" ] || echo "   (the baseline build)"
    for dsn in NorvSQLite NorvPG; do
      entries=()
      for size in "${sizes[@]}"; do
        [ -n "${summary["$dsn $size$which"]:-}" ] && entries+=("$size ${summary["$dsn $size$which"]}")
      done
      [ ${#entries[@]} -gt 0 ] || continue
      python3 - "$dsn" "${entries[@]}" <<'PY2'
import sys
dsn = sys.argv[1]
rows = [entry.split() for entry in sys.argv[2:]]
print("   %-11s %9s %8s %8s %12s %12s %9s %10s" % (dsn, "students", "wall s", "cpu s", "wall us/std", "cpu us/std",
                                                  "peak MB", "wall/floor"))
for size, wall, cpu, rss, fwall, fcpu, frss in rows:
    n = int(size)
    print("   %-11s %9d %8s %8s %12.1f %12.1f %9.1f %9.2fx" % ("", n, wall, cpu, float(wall) * 1e6 / n,
          float(cpu) * 1e6 / n, int(rss) / 1024, float(wall) / float(fwall) if float(fwall) > 0 else 0))
print("   %-11s peak memory at %s students against %s: %.2fx" % ("", rows[-1][0], rows[0][0],
                                                              int(rows[-1][3]) / int(rows[0][3])))
PY2
    done
  done
fi
