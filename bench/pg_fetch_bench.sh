#!/usr/bin/env bash
# The psqlODBC fetch size against a whole first run (run: full extraction and attendance) of the sample's
# school 1021: for each Fetch value, the run's wall and CPU time and peak memory (medians of interleaved
# rounds), and what it asked of the server, counted once in an untimed run from the server's log of the
# reader role's statements: its round trips (the statements the driver sent; the first FETCH of a cursor
# goes with its DECLARE) and its FETCHes. With UseDeclareFetch=1 psqlODBC reads a result through a
# cursor, Fetch rows per round trip (default 100).
#
#   bench/pg_fetch_bench.sh --pg-port PORT [--build DIR] [--students N | --sizes] [--fetch "100 500 ..."]
#                           [--runs R] [--sample DIR] [--keep DIR]
#
# --pg-port  the private test server (NORV_PG_PORT=PORT scripts/pg-test-server.sh start), required
# --fetch    the Fetch values (default "100 500 1000 5000")
# The others as for extract_bench.sh (--sizes: 5,000 and 20,000 students here). Not run by the tests.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
source "$here/bench-lib.sh"
build=$top/build sizes=(5000) port="" fetches=(100 500 1000 5000) runs=3 sample="" keep=""
usage() {
  sed -n '/^#   bench/,/^#  *\[--runs/p' "$0" | sed 's/^# *//' >&2
  exit 2
}
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$(cd "${2:?}" && pwd); shift 2 ;;
    --students) sizes=("${2:?}"); shift 2 ;;
    --sizes) sizes=(5000 20000); shift ;;
    --pg-port) port=${2:?}; shift 2 ;;
    --fetch) read -r -a fetches <<<"${2:?}"; shift 2 ;;
    --runs) runs=${2:?}; shift 2 ;;
    --sample) sample=$(cd "${2:?}" && pwd); shift 2 ;;
    --keep) keep=${2:?}; shift 2 ;;
    *) usage ;;
  esac
done
[ -n "$port" ] || usage
[ -x "$build/norv-extract" ] || { echo "pg_fetch_bench.sh: build norv-extract first" >&2; exit 1; }
server_log=${NORV_PG_ROOT:-/tmp/norv-pg-$port}/server.log
[ -r "$server_log" ] || { echo "pg_fetch_bench.sh: no server log $server_log" >&2; exit 1; }
if [ -n "$keep" ]; then
  mkdir -p "$keep" && work=$(cd "$keep" && pwd)
else
  work=$(mktemp -d /tmp/norv-fetch-bench.XXXXXX)
fi
cleanup() {
  pg_admin "$port" -d postgres -c "ALTER ROLE norv_reader RESET log_statement" >/dev/null || true
  bench_drop_source "$port" norv_bench || true
  [ -n "$keep" ] || rm -rf "$work"
}
trap cleanup EXIT

for size in "${sizes[@]}"; do
  bench_pick_sample "$size"
  run_dir=$work/fetch-s$size
  rm -rf "$run_dir" && mkdir -p "$run_dir/home"
  export HOME=$run_dir/home
  bench_source "$dir" "$run_dir/source" "$port" norv_bench
  for f in "${fetches[@]}"; do
    # The sample's DSN with this fetch size in place of its own.
    sed -e '/^Fetch=/d' -e "s/^UseDeclareFetch=1\$/UseDeclareFetch=1\nFetch=$f/" "$run_dir/source/odbc.ini" \
      >"$run_dir/odbc-$f.ini"
  done
  # run_fetch FETCH [TIME_FILE]: a whole first run into an empty folder with that fetch size, timed into
  # TIME_FILE when given.
  run_fetch() {
    local cmd=(env "ODBCINI=$run_dir/odbc-$1.ini" "$build/norv-extract" run "--path=$run_dir/out-$1"
      "--logpath=$run_dir/logs-$1" --dsn=NorvPG --school=1021 --user=norv_reader --pwd=norv-reader-pw)
    rm -rf "$run_dir/out-$1" "$run_dir/logs-$1"
    [ -z "${2:-}" ] || cmd=(/usr/bin/time -f '%e %U %S %M' -o "$2" "${cmd[@]}")
    "${cmd[@]}" >/dev/null 2>&1 || { echo "pg_fetch_bench.sh: the run with Fetch=$1 failed" >&2; return 1; }
  }
  declare -A statements=() fetch_trips=()
  # The round trips, counted once in an untimed run each (logging every statement slows the server).
  pg_admin "$port" -d postgres -c "ALTER ROLE norv_reader SET log_statement = 'all'" >/dev/null
  for f in "${fetches[@]}"; do
    from=$(stat -c %s "$server_log")
    run_fetch "$f"
    sleep 1
    tail -c +"$((from + 1))" "$server_log" >"$run_dir/server-$f.log"
    statements[$f]=$(grep -c 'LOG:  statement: ' "$run_dir/server-$f.log" || true)
    fetch_trips[$f]=$(grep -o 'fetch [0-9]* in "' "$run_dir/server-$f.log" | wc -l)
  done
  pg_admin "$port" -d postgres -c "ALTER ROLE norv_reader RESET log_statement" >/dev/null
  : >"$run_dir/times.txt"
  load_before=$(cut -d' ' -f1 /proc/loadavg)
  for ((round = 0; round < runs; round++)); do
    for ((k = 0; k < ${#fetches[@]}; k++)); do
      f=${fetches[$(((k + round) % ${#fetches[@]}))]}
      run_fetch "$f" "$run_dir/time.txt"
      echo "$round $f $(cat "$run_dir/time.txt")" >>"$run_dir/times.txt"
    done
  done
  echo
  echo "== PostgreSQL, $size students in school 1021, whole first run: medians of $runs interleaved rounds"
  echo "   machine load (1-minute average, $(nproc) cores) before and after: $load_before, $(cut -d' ' -f1 /proc/loadavg)"
  for f in "${fetches[@]}"; do echo "$f ${statements[$f]} ${fetch_trips[$f]}"; done >"$run_dir/trips.txt"
  python3 - "$run_dir/times.txt" "$run_dir/trips.txt" <<'PY'
import statistics, sys
times = {}
for line in open(sys.argv[1]):
    r, f, wall, user, system, kb = line.split()
    times.setdefault(f, []).append((float(wall), float(user) + float(system), int(kb)))
print("   %6s %7s %7s %8s %12s %8s" % ("Fetch", "wall s", "cpu s", "peak MB", "round trips", "FETCHes"))
for line in open(sys.argv[2]):
    f, statements, trips = line.split()
    rows = times[f]
    print("   %6s %7.2f %7.2f %8.1f %12s %8s" % (f, statistics.median(r[0] for r in rows),
          statistics.median(r[1] for r in rows), max(r[2] for r in rows) / 1024, statements, trips))
PY
  bench_drop_source "$port" norv_bench
done
