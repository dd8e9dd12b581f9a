#!/usr/bin/env bash
# Shows that two builds of norv-extract write the same output: on the sample, both builds run side by side
# (started at the same moment, each into a folder of its own, on one copy of the source) through a
# sequence of runs, and after each run their output folders are compared byte for byte
# (bench/compare_folders.py says exactly what is masked: the status and log files, the update files' names,
# the "// Generated :" lines, the '#pragma update' and '#pragma exportdate' values, and SchoolConfig.xml's
# UpdateDate and UpdateDateTime; the attendance cache is compared by its rows).
#
#   bench/compare_outputs.sh BASELINE_BUILD_DIR NEW_BUILD_DIR [--pg-port PORT] [--students N | --sizes]
#                            [--sample DIR] [--keep DIR]
#
# --pg-port  also compare on the PostgreSQL DSN of a private test server already started on PORT
#            (NORV_PG_PORT=PORT scripts/pg-test-server.sh start); the runs read a copy (norv_compare) of
#            the sample's database
# --students students of school 1021 (default 1000); --sizes: 1,000, 5,000 and 20,000
# --sample   use the sample in DIR (a folder sample/build-sample.sh made, or one that --keep of this script
#            or of extract_bench.sh left: its folders sSIZE) instead of generating one
# --keep     keep the samples and the output folders in DIR instead of a temporary folder
#
# The runs, for each size and source, in one pair of folders:
#   1. first run       run, school 1021, into empty folders (full extraction and attendance)
#   2. incremental     run --att, after sample/change-attendance.py changed the source (seed 1)
#   3. incremental     run (full extraction and attendance), after another day's changes (seed 2)
#   4. school year     run, after LastSchoolYear in SchoolConfig.xml was set back a year: the program takes
#                      it for a change of school year (update files, cache and SchoolConfig.xml start over)
#   5. other school    run --school=875 (period and daily attendance): a change of school
#   6. incremental     run --att --school=875 after a third day's changes (seed 3): daily attendance too
#   7. other school    run --school=2040 (daily attendance only)
#   8. back            run --school=1021: a change of school back to the first
# The exit codes must agree too. Exits 1 when anything differs. Not run by the tests.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
source "$here/bench-lib.sh"
usage() {
  sed -n '/^#   bench/,/^#  *\[--sample/p' "$0" | sed 's/^# *//' >&2
  exit 2
}
[ $# -ge 2 ] || usage
baseline=$(cd "$1" && pwd) new=$(cd "$2" && pwd)
shift 2
port="" sizes=(1000) sample="" keep=""
while [ $# -gt 0 ]; do
  case "$1" in
    --pg-port) port=${2:?}; shift 2 ;;
    --students) sizes=("${2:?}"); shift 2 ;;
    --sizes) sizes=(1000 5000 20000); shift ;;
    --sample) sample=$(cd "${2:?}" && pwd); shift 2 ;;
    --keep) keep=${2:?}; shift 2 ;;
    *) usage ;;
  esac
done
for build in "$baseline" "$new"; do
  [ -x "$build/norv-extract" ] || { echo "compare_outputs.sh: no norv-extract in $build" >&2; exit 1; }
done
if [ -n "$keep" ]; then
  mkdir -p "$keep"
  work=$(cd "$keep" && pwd)
else
  work=$(mktemp -d /tmp/norv-compare.XXXXXX)
fi
cleanup() {
  [ -z "$port" ] || bench_drop_source "$port" norv_compare || true
  [ -n "$keep" ] || rm -rf "$work"
}
trap cleanup EXIT
status=0
results=()

# both STEP ARGS...: runs both builds with ARGS at the same moment, each into its folder, and compares.
both() {
  local step=$1 day
  shift
  day=$(date +%F)
  "$baseline/norv-extract" "$@" "--path=$out/baseline" >"$out/baseline.stdout" 2>&1 &
  local base_pid=$!
  "$new/norv-extract" "$@" "--path=$out/new" >"$out/new.stdout" 2>&1 &
  local new_pid=$! base_rc=0 new_rc=0
  wait "$base_pid" || base_rc=$?
  wait "$new_pid" || new_rc=$?
  echo "-- $label, $size students: $step (exit codes: baseline $base_rc, new $new_rc)"
  local verdict=identical
  if [ "$base_rc" != "$new_rc" ]; then
    echo "  DIFFERENT: the exit codes"
    verdict=DIFFERENT
  fi
  python3 "$here/compare_folders.py" "$out/baseline" "$out/new" || verdict=DIFFERENT
  [ "$day" = "$(date +%F)" ] || echo "  (the day changed during these runs: a date in the output may differ for that)"
  [ "$verdict" = identical ] || status=1
  results+=("$(printf '%-10s %6s  %-44s %s' "$label" "$size" "$step" "$verdict")")
}

# change_day SEED: a school day's attendance changes on the source copy of the current source.
change_day() {
  if [ -n "$db" ]; then
    bench_change_attendance "$out/source" "$port" "$db" "$1"
  else
    bench_change_attendance "$out/source" "" "" "$1"
  fi
}

# compare_source SIZE SAMPLE LABEL DSN USER PWD
compare_source() {
  size=$1 label=$3
  local sample_dir=$2 dsn=$4 user=$5 pwd=$6
  out=$work/s$size-$dsn
  rm -rf "$out" && mkdir -p "$out/home"
  export HOME=$out/home
  db=""
  if [ "$dsn" = NorvPG ]; then
    db=norv_compare
    bench_source "$sample_dir" "$out/source" "$port" "$db"
  else
    bench_source "$sample_dir" "$out/source"
  fi
  export ODBCINI=$out/source/odbc.ini
  local args=(run "--dsn=$dsn" "--user=$user" "--pwd=$pwd")
  both "1. first run (run)" "${args[@]}" --school=1021
  change_day 1
  both "2. incremental (run --att), changes 1" "${args[@]}" --school=1021 --att
  change_day 2
  both "3. incremental (run), changes 2" "${args[@]}" --school=1021
  local folder year
  for folder in "$out/baseline" "$out/new"; do
    year=$(sed -n 's/.*LastSchoolYearValue="\([0-9]*\)".*/\1/p' "$folder/SchoolConfig.xml")
    sed -i "s/LastSchoolYearValue=\"$year\"/LastSchoolYearValue=\"$((year - 1))\"/" "$folder/SchoolConfig.xml"
  done
  both "4. school year set back in SchoolConfig.xml" "${args[@]}" --school=1021
  both "5. other school (run, school 875)" "${args[@]}" --school=875
  change_day 3
  both "6. incremental (run --att, 875), changes 3" "${args[@]}" --school=875 --att
  both "7. other school (run, school 2040)" "${args[@]}" --school=2040
  both "8. back to school 1021 (run)" "${args[@]}" --school=1021
  [ -z "$db" ] || bench_drop_source "$port" "$db"
}

for size in "${sizes[@]}"; do
  bench_pick_sample "$size"
  compare_source "$size" "$dir" SQLite NorvSQLite reader unused
  [ -z "$port" ] || compare_source "$size" "$dir" PostgreSQL NorvPG norv_reader norv-reader-pw
done

echo
echo "== baseline $baseline against new $new"
printf '%s\n' "${results[@]}"
if [ "$status" = 0 ]; then
  echo "== identical output in every run (masked: see bench/compare_folders.py)"
else
  echo "== DIFFERENCES: see the lines DIFFERENT above"
fi
exit "$status"
