#!/usr/bin/env bash
# Attendance benchmark: the first attendance run (run --att, no SchoolConfig.xml) of a period-attendance
# school of 5,000 students with a year of period attendance, beside the native sqlite3 command line loading
# the same rows (.import) into a table of the cache's layout and primary key. Prints both wall times, their
# ratio, and the run's peak memory beside that of a run over a tenth of the rows (flat memory: the year is
# never held in memory). Then the incremental run of the next day (a hundredth of the rows changed) with the
# default overlap window of 14 days beside the same run without the window (--overlapdays=0), medians of
# three each, and beside sqlite3 .import of the window's rows.
#
#   bench/attendance_bench.sh [--build DIR] [--students N] [--rate R] [--date-indexes]
#
# --build     the project's build folder (default: build) with norv-extract built
# --students  students of the school (default 5000)
# --rate      share of student-day-periods with an absence (default 0.08: about 400,000 rows a year)
# --date-indexes  index the source's create_date, mod_date and absent_date too (each week window of the run
#             is a query on the change dates, the overlap window one on the absence dates; without indexes
#             every one of them scans the whole view)
#
# The source is a SQLite file made here with the sample's own schema (sample/generate.py --schema sqlite)
# and the sample's TO_DATE extension; its attendance is the current school year's, from 15 August to 27 June,
# each row created on its day, and the runs see the clock at the end of that school year (faketime), so that
# the first run always reads a whole year. Not run by the tests.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
build=$top/build
students=5000
rate=0.08
indexes=""
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$(cd "${2:?}" && pwd); shift 2 ;;
    --students) students=${2:?}; shift 2 ;;
    --rate) rate=${2:?}; shift 2 ;;
    --date-indexes)
      indexes="CREATE INDEX bench_created ON V_VLMR_STU_PERIOD_ATTENDANCE (create_date);
CREATE INDEX bench_modified ON V_VLMR_STU_PERIOD_ATTENDANCE (mod_date);
CREATE INDEX bench_absent ON V_VLMR_STU_PERIOD_ATTENDANCE (school, absent_date);"
      shift ;;
    *) sed -n '7p' "$0" | sed 's/^# *//' >&2; exit 2 ;;
  esac
done
[ -x /usr/bin/time ] || { echo "attendance_bench.sh: /usr/bin/time is needed (apt-get install time)" >&2; exit 1; }
command -v sqlite3 >/dev/null || { echo "attendance_bench.sh: the sqlite3 command line is needed" >&2; exit 1; }
command -v faketime >/dev/null || { echo "attendance_bench.sh: faketime is needed (apt-get install faketime)" >&2; exit 1; }
[ -x "$build/norv-extract" ] || { echo "attendance_bench.sh: build norv-extract first" >&2; exit 1; }

work=$(mktemp -d /tmp/norv-attendance-bench.XXXXXX)
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
cc -shared -fPIC -O2 -o "$work/norv_oracle.so" "$top/sample/sqlite_ext/norv_oracle.c"

# The school year running today, and the moments of the runs: the first at its end, the incremental a day
# later.
year=$(python3 -c 'import datetime as d; t=d.date.today(); print(t.year if t.month >= 7 else t.year - 1)')
first_day="$year-08-15"
last_day="$((year + 1))-06-27"
first_now="$((year + 1))-06-28 10:00:00"
next_now="$((year + 1))-06-29 10:00:00"
window_start="$((year + 1))-06-15"  # the next run's overlap window: 14 days before its day

# A source of one school: students, the all-year section that dates the year, and the period attendance.
make_source() {  # db students rate
  local db=$1 n=$2 r=$3
  python3 "$top/sample/generate.py" --schema sqlite >"$work/schema.sql"
  sqlite3 "$db" <<SQL
.read $work/schema.sql
INSERT INTO V_VLMR_SCHOOL (school, long_name, attendance_type, alternate_period_attendance)
  VALUES ('1021', 'Bench Secondary', 'P', 'N');
INSERT INTO V_VLMR_COURSE_SECT_MAINT (id, school, year, semester, term, start_date, stop_date)
  VALUES (1, '1021', $year, 0, 0, '$first_day', '$((year + 1))-06-30');
WITH RECURSIVE s(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM s WHERE i < $n)
INSERT INTO V_VLMR_STU_DEMOGRAPHIC (pupil_number, school, registered_indicator)
  SELECT printf('30%07d', i), '1021', 'R' FROM s;
WITH RECURSIVE d(day) AS (SELECT date('$first_day') UNION ALL SELECT date(day, '+1 day') FROM d
                          WHERE day < '$last_day'),
     p(period) AS (VALUES ('1'), ('2'), ('3'), ('4'))
INSERT INTO V_VLMR_STU_PERIOD_ATTENDANCE (pupil_number, school, absent_date, period, absent_code,
                                          reason_code, create_date, mod_date)
  SELECT pupil_number, '1021', day, period, CASE WHEN abs(random()) % 5 = 0 THEN 'L' ELSE 'A' END,
         CASE WHEN abs(random()) % 3 = 0 THEN 'ILL' ELSE '' END, day || ' 10:00:00', NULL
  FROM V_VLMR_STU_DEMOGRAPHIC, d, p
  -- The random draw names every table's column, so that it is made for each row, not once per loop.
  WHERE strftime('%w', day) NOT IN ('0', '6')
    AND abs(random() + length(pupil_number || day || period)) % 1000000 < $r * 1000000;
CREATE INDEX bench_ix ON V_VLMR_STU_PERIOD_ATTENDANCE (school);
$indexes
ANALYZE;
SQL
}

# Seconds of wall time and peak kilobytes of one attendance run of the source db.
run_extract() {  # db name
  local db=$1 name=$2 out="$work/out-$2"
  cat >"$work/odbc-$name.ini" <<INI
[Bench$name]
Driver=SQLite3
Database=file:$db?mode=ro
LoadExt=$work/norv_oracle.so
Timeout=30000
StepAPI=1
INI
  mkdir -p "$out" "$work/home"
  ODBCINI="$work/odbc-$name.ini" HOME="$work/home" /usr/bin/time -f '%e %M %U %S' -o "$work/time-$name" \
    faketime "$first_now" "$build/norv-extract" run --att --dsn="Bench$name" --user=bench --pwd=bench --school=1021 \
    --path="$out" --logpath="$work/logs" --log=off >/dev/null 2>&1
  local rows
  rows=$(awk '/^\/\/ Cached Period Attendance/{t=1; getline; next} /^\*/{t=0} t' "$out"/Update*.CDU | wc -l)
  echo "$(cat "$work/time-$name") $rows"
}

echo "Generating the source: $students students, rate $rate ..."
make_source "$work/source.db" "$students" "$rate"
make_source "$work/small.db" $((students / 10)) "$rate"
source_rows=$(sqlite3 "$work/source.db" "SELECT COUNT(*) FROM V_VLMR_STU_PERIOD_ATTENDANCE")

read -r run_s run_kb run_user run_sys run_rows < <(run_extract "$work/source.db" full)
read -r small_s small_kb small_user small_sys small_rows < <(run_extract "$work/small.db" small)

# The same rows, in the cache's layout, loaded by sqlite3's own .import.
sqlite3 -separator $'\t' "$work/source.db" \
  "SELECT pupil_number, absent_date, period, '', '', '', '', '', '', 'AttPerRef', NULL,
          CASE WHEN reason_code <> '' THEN reason_code ELSE absent_code END
   FROM V_VLMR_STU_PERIOD_ATTENDANCE" >"$work/rows.tsv"
cat >"$work/import.sql" <<SQL
CREATE TABLE PERIOD_ATT (stdkey VARCHAR(100), attdate DATETIME, perkey VARCHAR(100), reason VARCHAR(100),
  excused VARCHAR(100), absent VARCHAR(100), tardy VARCHAR(100), truant VARCHAR(100), discipline VARCHAR(100),
  header VARCHAR(10), oldcode VARCHAR(100), newcode VARCHAR(100), PRIMARY KEY (stdkey, attdate, perkey, header));
.mode tabs
.import $work/rows.tsv PERIOD_ATT
SQL
/usr/bin/time -f '%e %M %U %S' -o "$work/time-import" sqlite3 "$work/import.db" ".read $work/import.sql"
read -r import_s import_kb import_user import_sys <"$work/time-import"
imported=$(sqlite3 "$work/import.db" "SELECT COUNT(*) FROM PERIOD_ATT")

# Incremental runs from the folder the first run left, after a hundredth of the rows changed today: with the
# window (every absence of the last 14 days read again) and without it; interleaved, medians of three.
sqlite3 "$work/source.db" "UPDATE V_VLMR_STU_PERIOD_ATTENDANCE SET absent_code = 'L',
  mod_date = '$((year + 1))-06-29 09:00:00' WHERE abs(random()) % 100 = 0"
run_incremental() {  # overlap name
  local out="$work/incr-$2"
  rm -rf "$out"
  cp -a "$work/out-full" "$out"
  ODBCINI="$work/odbc-full.ini" HOME="$work/home" /usr/bin/time -f '%e %U %S' -o "$work/time-incr" \
    faketime "$next_now" "$build/norv-extract" run --att --dsn=Benchfull --user=bench --pwd=bench --school=1021 --path="$out" \
    --logpath="$work/logs" --log=off --overlapdays="$1" >/dev/null 2>&1
  cat "$work/time-incr"
}
median() { sort -n | sed -n 2p; }
for i in 1 2 3; do
  run_incremental 14 window >>"$work/incr-window.times"
  run_incremental 0 nowindow >>"$work/incr-nowindow.times"
done
window_s=$(cut -d' ' -f1 "$work/incr-window.times" | median)
nowindow_s=$(cut -d' ' -f1 "$work/incr-nowindow.times" | median)
window_cpu=$(awk '{print $2 + $3}' "$work/incr-window.times" | median)
nowindow_cpu=$(awk '{print $2 + $3}' "$work/incr-nowindow.times" | median)
window_rows=$(sqlite3 "$work/source.db" "SELECT COUNT(*) FROM V_VLMR_STU_PERIOD_ATTENDANCE
  WHERE absent_date >= '$window_start'")
sqlite3 -separator $'\t' "$work/source.db" \
  "SELECT pupil_number, absent_date, period, '', '', '', '', '', '', 'AttPerRef', NULL,
          CASE WHEN reason_code <> '' THEN reason_code ELSE absent_code END
   FROM V_VLMR_STU_PERIOD_ATTENDANCE WHERE absent_date >= '$window_start'" >"$work/window.tsv"
sed "s|$work/rows.tsv|$work/window.tsv|" "$work/import.sql" >"$work/import-window.sql"
/usr/bin/time -f '%e %U %S' -o "$work/time-import-window" sqlite3 "$work/import-window.db" ".read $work/import-window.sql"
read -r wimport_s wimport_user wimport_sys <"$work/time-import-window"

echo "source rows:                $source_rows"
echo "attendance run (--att):     ${run_s} s (cpu ${run_user} + ${run_sys} s), peak ${run_kb} kB, ${run_rows} rows in the update file"
echo "sqlite3 .import:            ${import_s} s (cpu ${import_user} + ${import_sys} s), ${imported} rows"
echo "ratio run / import:         $(python3 -c "print(round($run_s / max($import_s, 0.01), 2))")"
echo "a tenth of the rows:        ${small_s} s, peak ${small_kb} kB, ${small_rows} rows"
echo "incremental, 14-day window: ${window_s} s (cpu ${window_cpu} s), median of 3"
echo "incremental, no window:     ${nowindow_s} s (cpu ${nowindow_cpu} s), median of 3"
echo "window / no window:         $(python3 -c "print(round($window_s / max($nowindow_s, 0.01), 2))") (goal: at most 1.25)"
echo "sqlite3 .import, window:    ${wimport_s} s (cpu ${wimport_user} + ${wimport_sys} s), ${window_rows} rows"
