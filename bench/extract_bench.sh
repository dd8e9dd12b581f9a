#!/usr/bin/env bash
# Whole-program benchmark. For a generated school, three kinds of run of `norv-extract`, each beside the
# complete floor of its job and two floors for reading the data it needs:
#   whole first run   `run` (full extraction and attendance) into an empty folder
#   incremental run   `run --att` into the folder a first run left, after sample/change-attendance.py
#                     changed the source's attendance the way a school day does
#   full extraction   `run --demo` (the tables alone) into an empty folder
# The floors are the minimal ODBC client norv_odbc_floor (bench/OdbcFloorClient.c: binds every column as
# wide text, fetches in blocks of 256 rows, nothing else) running
#   the same statements  every statement the program sent in that kind of run, taken from its log file
#                        (its Proprietary lines): table statements, attendance windows, existence probes
#   the job              the fewest statements that read the same data: the table statements of the full
#                        extraction (each once, no probe or catalogue read; none for the incremental run)
#                        and ONE statement per attendance view reading every row the program's attendance
#                        pass read (its change window and its overlap window joined with OR)
# The complete floor, norv_complete_floor (bench/CompleteFloorClient.c), runs the job's statements the same
# way and also does what a run must do with the rows: it writes every fetched row as a TAB-separated line
# through one 1 MiB buffer (one fsync), and stores the attendance rows of included students that carry a
# code with one prepared INSERT OR REPLACE in one transaction into an SQLite file of the cache's layout
# (2 MiB page cache). The ratios are to the complete floor; its cache rows are checked against the rows of
# the program's cache after the first run (a difference fails the benchmark), its lines shown beside the
# program's. With --pg-port the server's CPU time during each run is measured as well (srv s: what the
# private server's processes spent), and (cpu+srv)/compl compares client and server time together.
#
#   bench/extract_bench.sh [--build DIR] [--students N | --sizes] [--pg-port PORT] [--runs R] [--keep DIR]
#                          [--sample DIR] [--baseline DIR] [--native]
#
# --build    the project's build folder (default: build) with norv-extract, norv_odbc_floor and
#            norv_complete_floor built
#            (cmake --build DIR --target norv-extract norv_odbc_floor norv_complete_floor)
# --students students of the measured school 1021 (default 5000); the sample has three schools and this
#            one has 55 % of their students
# --sizes    measure at 1,000, 5,000 and 20,000 students and summarise across them: the ratios, and the
#            peak memory at the largest size against the smallest
# --pg-port  also measure against the PostgreSQL DSN of a private test server already started on PORT
#            (NORV_PG_PORT=PORT scripts/pg-test-server.sh start); a generated sample's database is kept on
#            that server as norv_sSIZE, and the runs read a copy of it (norv_bench)
# --runs     rounds of timed runs (default 3): in each round every program and floor runs once, in an
#            order rotated from round to round; the figures are medians over the rounds, and each ratio is
#            the median of the ratios within a round (on a loaded machine, figures of different moments
#            mislead)
# --keep     keep the samples, outputs and logs in DIR instead of a temporary folder; samples found there
#            from an earlier run of the same size are reused
# --sample   measure the sample already built in DIR instead of generating one: DIR is a folder
#            sample/build-sample.sh made (one size; with --pg-port the server's database "norv" must hold
#            the same sample), or one that --keep left (its folders sSIZE are reused for --sizes)
# --baseline also measure the norv-extract of another build folder DIR (say, of the previous commit) on the
#            same sample, in the same rounds, against the same job floor and its own same-statement floor
# --native   also time the database's own command line (sqlite3 with the sample's extension; psql) on the
#            job statements
#
# Every run reads a private copy of the sample (its SQLite file and server database), so that the
# attendance changes never reach the sample. Times are wall clock and CPU (user + system of the client
# process; a server's own time is only in the wall time), measured with /usr/bin/time after one untimed
# run of each program that also yields its statements. Peak memory (maximum resident size) includes what
# the ODBC driver holds: the sample's DSNs stream results (StepAPI=1, UseDeclareFetch=1 with Fetch=...; see
# sample/build-sample.sh). To see where a run's time goes: perf record -g build/norv-extract run ...
# (Debian package linux-perf); the script prints the command line of one run. Not run by the tests.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
source "$here/bench-lib.sh"
build=$top/build
sizes=(5000)
port=""
runs=3
keep=""
sample=""
baseline=""
native=""
usage() {
  sed -n '/^#   bench/,/^#  *\[--sample/p' "$0" | sed 's/^# *//' >&2
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
    --native) native=1; shift ;;
    *) usage ;;
  esac
done
[ -x /usr/bin/time ] || { echo "extract_bench.sh: /usr/bin/time is needed (apt-get install time)" >&2; exit 1; }
for program in norv-extract bench/norv_odbc_floor bench/norv_complete_floor; do
  [ -x "$build/$program" ] || {
    echo "extract_bench.sh: build $program first: cmake --build $build --target norv-extract norv_odbc_floor" \
      "norv_complete_floor" >&2
    exit 1
  }
done
[ -z "$baseline" ] || [ -x "$baseline/norv-extract" ] || {
  echo "extract_bench.sh: no norv-extract in the baseline build $baseline" >&2
  exit 1
}
for tool in sqlite3 python3; do
  command -v "$tool" >/dev/null || { echo "extract_bench.sh: $tool is needed" >&2; exit 1; }
done
[ -z "$native" ] || [ -z "$port" ] || command -v psql >/dev/null || {
  echo "extract_bench.sh: psql is needed for --native" >&2
  exit 1
}

if [ -n "$keep" ]; then
  mkdir -p "$keep"
  work=$(cd "$keep" && pwd)
else
  work=$(mktemp -d /tmp/norv-extract-bench.XXXXXX)
fi
cleanup() {
  [ -z "$port" ] || bench_drop_source "$port" norv_bench || true
  [ -n "$keep" ] || rm -rf "$work"
}
trap cleanup EXIT
school=1021 # the largest school of the sample
floor=$build/bench/norv_odbc_floor
complete=$build/bench/norv_complete_floor
server_cpu_on="" # set while the runs read the private PostgreSQL server
programs=(new)
[ -n "$baseline" ] && programs+=(baseline)
declare -A binary=([new]=$build/norv-extract [baseline]=$baseline/norv-extract)
: >"$work/summary.txt"

# server_cpu: the CPU seconds the private PostgreSQL server has spent so far: its postmaster's own and that
# of its ended children (the sessions, once reaped), from /proc; 0 when no server is measured.
server_cpu() {
  local pid_file=${NORV_PG_ROOT:-/tmp/norv-pg-$port}/data/postmaster.pid
  if [ -z "$server_cpu_on" ] || [ ! -r "$pid_file" ]; then
    echo 0
    return
  fi
  awk -v hz="$(getconf CLK_TCK)" '{ sub(/^.*\) /, ""); print ($12 + $13 + $14 + $15) / hz }' \
    "/proc/$(head -n 1 "$pid_file")/stat"
}

# timed RESULT_FILE COMMAND...: runs the command (standard input from $stdin_file when set) and writes
# "wall_seconds user_seconds system_seconds peak_kb server_seconds" into RESULT_FILE; fails with the
# command's last lines when it fails.
timed() {
  local result=$1 before after
  shift
  before=$(server_cpu)
  if ! /usr/bin/time -f '%e %U %S %M' -o "$result" "$@" <"${stdin_file:-/dev/null}" >"$work/out.txt" 2>"$work/err.txt"; then
    echo "FAILED: $*" >&2
    tail -n 5 "$work/err.txt" "$work/out.txt" >&2
    return 1
  fi
  # The session ends with the client; the server reaps it a moment later.
  [ -z "$server_cpu_on" ] || sleep 0.2
  after=$(server_cpu)
  echo "$(cat "$result") $(awk -v a="$after" -v b="$before" 'BEGIN { printf "%.2f", a - b }')" >"$result.tmp"
  mv "$result.tmp" "$result"
}

# The entries of one set of interleaved runs: a label, a role (see report_set), a shell command run untimed
# before each timed run, a standard input file and the timed command.
new_set() {
  labels=() roles=() befores=() stdins=() commands=()
}
add_entry() {  # LABEL ROLE BEFORE STDIN COMMAND...
  labels+=("$1") roles+=("$2") befores+=("$3") stdins+=("$4")
  shift 4
  local quoted
  printf -v quoted '%q ' "$@"
  commands+=("$quoted")
}

# run_set FILE: $runs rounds; each runs every entry once, starting one entry further each round; writes
# "round entry wall user system peak_kb server_seconds" lines into FILE.
run_set() {
  local file=$1 round k i count=${#labels[@]}
  : >"$file"
  load_before=$(cut -d' ' -f1 /proc/loadavg)
  for ((round = 0; round < runs; round++)); do
    for ((k = 0; k < count; k++)); do
      i=$(((k + round) % count))
      [ -z "${befores[i]}" ] || eval "${befores[i]}"
      stdin_file=${stdins[i]}
      eval "timed \"\$work/time.txt\" ${commands[i]}"
      stdin_file=""
      echo "$round $i $(cat "$work/time.txt")" >>"$file"
    done
  done
  load_after=$(cut -d' ' -f1 /proc/loadavg)
}

# report_set FILE TITLE DSN SIZE KIND: prints the set's table and adds its program rows to the summary.
# Roles: "program SAME" (a program, whose same-statement floor is the entry labelled SAME), "job" (the
# complete floor, which the ratios are to), "floor" (another floor) and "native".
report_set() {
  local spec=$work/spec.txt i
  : >"$spec"
  for i in "${!labels[@]}"; do
    printf '%s\t%s\t%s\n' "$i" "${labels[i]}" "${roles[i]}" >>"$spec"
  done
  python3 - "$1" "$spec" "$2" "$3" "$4" "$5" "$work/summary.txt" <<'PY'
import statistics, sys
times_file, spec_file, title, dsn, size, kind, summary = sys.argv[1:]
entries = {}
for line in open(spec_file, encoding="utf-8"):
    index, label, role = line.rstrip("\n").split("\t")
    entries[int(index)] = (label, role.split(" ", 1))
rounds = {}
for line in open(times_file):
    r, i, wall, user, system, kb, server = line.split()
    rounds.setdefault(int(r), {})[int(i)] = (float(wall), float(user) + float(system), int(kb), float(server),
                                             float(user) + float(system) + float(server))
by_label = {label: i for i, (label, _) in entries.items()}
job = next(i for i, (_, role) in entries.items() if role[0] == "job")
def ratio(i, floor, what):
    values = [rounds[r][i][what] / rounds[r][floor][what] for r in rounds if rounds[r][floor][what] > 0]
    return statistics.median(values) if values else float("nan")
print("\n   %s" % title)
print("   %-34s %7s %7s %6s %8s %10s %9s %14s %10s %9s" % (
    "", "wall s", "cpu s", "srv s", "peak MB", "wall/compl", "cpu/compl", "(cpu+srv)/compl", "wall/same",
    "cpu/same"))
with open(summary, "a") as out:
    for i, (label, role) in entries.items():
        wall = statistics.median(rounds[r][i][0] for r in rounds)
        cpu = statistics.median(rounds[r][i][1] for r in rounds)
        mb = max(rounds[r][i][2] for r in rounds) / 1024
        server = statistics.median(rounds[r][i][3] for r in rounds)
        cells = ["%.2fx" % ratio(i, job, 0), "%.2fx" % ratio(i, job, 1), "%.2fx" % ratio(i, job, 4)]
        if role[0] == "program":
            same = by_label[role[1]]
            cells += ["%.2fx" % ratio(i, same, 0), "%.2fx" % ratio(i, same, 1)]
            out.write("%s\t%s\t%s\t%s\t%.2f\t%.2f\t%.2f\t%.1f\t%s\n" % (
                dsn, size, kind, label, wall, cpu, server, mb, "\t".join(c.rstrip("x") for c in cells)))
        elif role[0] == "job":
            cells = ["", "", ""]
        print("   %-34s %7.2f %7.2f %6.2f %8.1f %10s %9s %14s %10s %9s" % (
            (label, wall, cpu, server, mb) + tuple(cells + ["", ""])[:5]))
PY
}

# native_entry LABEL STATEMENTS DSN USER PWD SRC: a set entry for the database's own command line.
native_entry() {
  local label=$1 statements=$2 dsn=$3 user=$4 pwd=$5 src=$6 script=$2.native
  if [ "$dsn" = NorvSQLite ]; then
    { echo ".load $src/norv_oracle.so"; sed 's/$/;/' "$statements"; } >"$script"
    add_entry "$label" native "" "$script" sqlite3 -batch -bail "file:$src/norv.db?mode=ro"
  else
    sed 's/$/;/' "$statements" >"$script"
    add_entry "$label" native "" "$script" env "PGPASSWORD=$pwd" psql -X -q -h 127.0.0.1 -p "$port" -U "$user" \
      -d norv_bench -v ON_ERROR_STOP=1
  fi
}

# measure_source SIZE SAMPLE_DIR LABEL DSN USER PWD
measure_source() {
  local size=$1 sample_dir=$2 label=$3 dsn=$4 user=$5 pwd=$6
  local run_dir=$work/s$size-$dsn p
  rm -rf "$run_dir" && mkdir -p "$run_dir/home"
  export HOME=$run_dir/home
  local src=$run_dir/source
  if [ "$dsn" = NorvPG ]; then bench_source "$sample_dir" "$src" "$port" norv_bench; else bench_source "$sample_dir" "$src"; fi
  export ODBCINI=$src/odbc.ini
  server_cpu_on=""
  [ "$dsn" = NorvPG ] && server_cpu_on=1
  local login=()
  [ "$dsn" = NorvPG ] && login=("$user" "$pwd")
  local args=("--dsn=$dsn" "--school=$school" "--user=$user" "--pwd=$pwd")

  # Untimed runs of each program: the first run's folder stays for the incremental runs, and the logs give
  # the statements of each kind of run.
  for p in "${programs[@]}"; do
    "${binary[$p]}" run "--path=$run_dir/first-$p" "--logpath=$run_dir/log-first-$p" "${args[@]}" >/dev/null 2>&1 ||
      { echo "extract_bench.sh: the first run of $p failed (see $run_dir/log-first-$p)" >&2; return 1; }
    "${binary[$p]}" run --demo "--path=$run_dir/demo-$p" "--logpath=$run_dir/log-demo-$p" "${args[@]}" >/dev/null 2>&1 ||
      { echo "extract_bench.sh: the full extraction of $p failed (see $run_dir/log-demo-$p)" >&2; return 1; }
    statements_of "$run_dir"/log-first-$p/*.log >"$run_dir/same-first-$p.sql"
    statements_of "$run_dir"/log-demo-$p/*.log >"$run_dir/same-demo-$p.sql"
  done
  job_statements "$run_dir"/log-demo-new/*.log "$run_dir"/log-first-new/*.log >"$run_dir/job-first.sql"
  job_statements "$run_dir"/log-demo-new/*.log >"$run_dir/job-demo.sql"
  complete_statements "$run_dir"/log-demo-new/*.log "$run_dir"/log-first-new/*.log >"$run_dir/complete-first.sql"
  complete_statements "$run_dir"/log-demo-new/*.log >"$run_dir/complete-demo.sql"
  local rows
  rows=$(cat "$run_dir"/first-new/*.cef "$run_dir"/first-new/*.CDU | wc -l)
  # The complete floor stores what the program's first run stored: the same rows in each cache table.
  mkdir -p "$run_dir/complete"
  "$complete" "$run_dir/complete" "$dsn" "${login[@]}" <"$run_dir/complete-first.sql" 2>"$run_dir/complete-first.txt" ||
    { echo "extract_bench.sh: the complete floor failed:" >&2; cat "$run_dir/complete-first.txt" >&2; return 1; }
  local table stored cached
  for table in PERIOD_ATT DAILY_ATT; do
    stored=$(sed -n "s/^stored $table //p" "$run_dir/complete-first.txt")
    cached=0
    if [ "$(sqlite3 "$run_dir/first-new/Attendance/Attendance.db" \
      "SELECT count(*) FROM sqlite_master WHERE name = '$table'")" = 1 ]; then
      cached=$(sqlite3 "$run_dir/first-new/Attendance/Attendance.db" "SELECT count(*) FROM $table")
    fi
    [ "$stored" = "$cached" ] || {
      echo "extract_bench.sh: the complete floor stored $stored rows in $table, the program's cache holds $cached" >&2
      return 1
    }
  done

  echo
  echo "== $label (DSN $dsn), $size students in school $school: medians of $runs interleaved rounds"
  echo "   cpu = user + system time of the client process; srv = the server's CPU time during the run"
  echo "   ratios: to the complete floor and to the program's own same-statement floor, medians of the rounds' ratios"
  echo "   complete floor check: $(sed -n 's/^stored //p' "$run_dir/complete-first.txt" | tr '\n' ' ')rows in the cache" \
    "tables as the program's; it writes $(sed -n 's/.* rows, \([0-9]*\) lines.*/\1/p' "$run_dir/complete-first.txt")" \
    "lines, the program $rows"
  echo -n "   statements: job floor $(wc -l <"$run_dir/job-first.sql") (first run), $(wc -l <"$run_dir/job-demo.sql") (tables)"
  for p in "${programs[@]}"; do
    echo -n "; $p $(wc -l <"$run_dir/same-first-$p.sql") (first run), $(wc -l <"$run_dir/same-demo-$p.sql") (tables)"
  done
  echo "; $rows lines written by the first run"

  # The whole first run and the full extraction alone, in one set of rounds.
  new_set
  for p in "${programs[@]}"; do
    add_entry "$p: whole first run" "program same floor ($p, first run)" "rm -rf $(printf %q "$run_dir/t-$p")" "" \
      "${binary[$p]}" run "--path=$run_dir/t-$p" "--logpath=$run_dir/t-$p/logs" "${args[@]}"
    add_entry "$p: full extraction" "program same floor ($p, tables)" "rm -rf $(printf %q "$run_dir/t-$p")" "" \
      "${binary[$p]}" run --demo "--path=$run_dir/t-$p" "--logpath=$run_dir/t-$p/logs" "${args[@]}"
    add_entry "same floor ($p, first run)" floor "" "$run_dir/same-first-$p.sql" "$floor" "$dsn" "${login[@]}"
    add_entry "same floor ($p, tables)" floor "" "$run_dir/same-demo-$p.sql" "$floor" "$dsn" "${login[@]}"
  done
  add_entry "complete floor (first run)" job "" "$run_dir/complete-first.sql" "$complete" "$run_dir/complete" "$dsn" \
    "${login[@]}"
  add_entry "complete floor (tables)" floor "" "$run_dir/complete-demo.sql" "$complete" "$run_dir/complete" "$dsn" \
    "${login[@]}"
  add_entry "job floor (first run)" floor "" "$run_dir/job-first.sql" "$floor" "$dsn" "${login[@]}"
  add_entry "job floor (tables)" floor "" "$run_dir/job-demo.sql" "$floor" "$dsn" "${login[@]}"
  [ -z "$native" ] || native_entry "native (job, first run)" "$run_dir/job-first.sql" "$dsn" "$user" "$pwd" "$src"
  run_set "$run_dir/set-first.txt"
  echo "   machine load (1-minute average, $(nproc) cores) before and after the rounds of both: $load_before, $load_after"
  # Two tables from one set: each kind against its own complete floor.
  local keep_labels=("${labels[@]}") keep_roles=("${roles[@]}") i
  for kind in "whole first run" "full extraction"; do
    labels=() roles=()
    local job_label="complete floor (first run)" same_suffix="first run"
    [ "$kind" = "full extraction" ] && job_label="complete floor (tables)" same_suffix=tables
    for i in "${!keep_labels[@]}"; do
      local l=${keep_labels[i]} r=${keep_roles[i]}
      case "$l" in
        *": $kind" | "same floor ("*", $same_suffix)" | "job floor ($same_suffix)" | "$job_label" | \
          "native (job, $same_suffix)") ;;
        *) l="" ;;
      esac
      [ "$l" = "$job_label" ] && r=job
      [ "$r" = job ] && [ "$l" != "$job_label" ] && r=floor
      labels[i]=$l roles[i]=$r
    done
    report_filtered "$run_dir/set-first.txt" "$kind ($( [ "$kind" = "full extraction" ] && echo "run --demo" || echo run ))" \
      "$dsn" "$size" "$kind"
  done

  # The incremental run, from the folder each program's first run left, after a school day's changes.
  if [ "$dsn" = NorvPG ]; then bench_change_attendance "$src" "$port" norv_bench; else bench_change_attendance "$src"; fi
  for p in "${programs[@]}"; do
    cp -a "$run_dir/first-$p" "$run_dir/incr-$p"
    "${binary[$p]}" run --att "--path=$run_dir/incr-$p" "--logpath=$run_dir/log-incr-$p" "${args[@]}" >/dev/null 2>&1 ||
      { echo "extract_bench.sh: the incremental run of $p failed (see $run_dir/log-incr-$p)" >&2; return 1; }
    statements_of "$run_dir"/log-incr-$p/*.log >"$run_dir/same-incr-$p.sql"
  done
  job_statements - "$run_dir"/log-incr-new/*.log >"$run_dir/job-incr.sql"
  complete_statements - "$run_dir"/log-incr-new/*.log >"$run_dir/complete-incr.sql"
  new_set
  for p in "${programs[@]}"; do
    add_entry "$p: incremental run" "program same floor ($p, incremental)" \
      "rm -rf $(printf %q "$run_dir/t-$p") && cp -a $(printf %q "$run_dir/first-$p") $(printf %q "$run_dir/t-$p")" "" \
      "${binary[$p]}" run --att "--path=$run_dir/t-$p" "--logpath=$run_dir/t-$p/logs" "${args[@]}"
    add_entry "same floor ($p, incremental)" floor "" "$run_dir/same-incr-$p.sql" "$floor" "$dsn" "${login[@]}"
  done
  add_entry "complete floor (incremental)" job "" "$run_dir/complete-incr.sql" "$complete" "$run_dir/complete" \
    "$dsn" "${login[@]}"
  add_entry "job floor (incremental)" floor "" "$run_dir/job-incr.sql" "$floor" "$dsn" "${login[@]}"
  [ -z "$native" ] || native_entry "native (job, incremental)" "$run_dir/job-incr.sql" "$dsn" "$user" "$pwd" "$src"
  run_set "$run_dir/set-incr.txt"
  echo -n "   (incremental: job floor $(wc -l <"$run_dir/job-incr.sql") statements"
  for p in "${programs[@]}"; do echo -n ", $p $(wc -l <"$run_dir/same-incr-$p.sql")"; done
  echo "; $(($(cat "$run_dir"/incr-new/Update*.CDU | wc -l) - $(cat "$run_dir"/first-new/Update*.CDU | wc -l))) update lines)"
  report_set "$run_dir/set-incr.txt" "incremental run (run --att, after sample/change-attendance.py)" "$dsn" "$size" \
    "incremental run"
  echo "   machine load (1-minute average, $(nproc) cores) before and after these rounds: $load_before, $load_after"
  echo "   profile: ODBCINI=$ODBCINI perf record -g ${binary[new]} run --path=$run_dir/t-new ${args[*]}"
  [ "$dsn" != NorvPG ] || bench_drop_source "$port" norv_bench
}

# report_filtered FILE TITLE DSN SIZE KIND: report_set on the entries whose label is not empty.
report_filtered() {
  local file=$1 keep_file=$work/filtered.txt i
  local all_labels=("${labels[@]}") all_roles=("${roles[@]}")
  local -A renumber=()
  labels=() roles=()
  for i in "${!all_labels[@]}"; do
    [ -n "${all_labels[i]}" ] || continue
    renumber[$i]=${#labels[@]}
    labels+=("${all_labels[i]}") roles+=("${all_roles[i]}")
  done
  : >"$keep_file"
  while read -r round i rest; do
    [ -n "${renumber[$i]:-}" ] && echo "$round ${renumber[$i]} $rest" >>"$keep_file"
  done <"$file"
  report_set "$keep_file" "$2" "$3" "$4" "$5"
}

for size in "${sizes[@]}"; do
  bench_pick_sample "$size"
  measure_source "$size" "$dir" SQLite NorvSQLite reader unused
  if [ -n "$port" ]; then
    measure_source "$size" "$dir" PostgreSQL NorvPG norv_reader norv-reader-pw
  fi
done

echo
echo "== summary: medians of $runs interleaved rounds; ratios to the complete floor (wall, client cpu, client and"
echo "   server cpu) and to the program's own same-statement floor (wall and cpu); peak memory of the program"
python3 - "$work/summary.txt" <<'PY'
import collections, sys
rows = [line.rstrip("\n").split("\t") for line in open(sys.argv[1]) if line.strip()]
print("   %-10s %7s %-17s %-9s %6s %6s %6s %7s %10s %9s %9s %9s %8s" % (
    "source", "size", "run", "program", "wall s", "cpu s", "srv s", "peak MB", "wall/compl", "cpu/compl",
    "+srv/compl", "wall/same", "cpu/same"))
peaks = collections.defaultdict(dict)
for dsn, size, kind, label, wall, cpu, srv, mb, wj, cj, sj, ws, cs in rows:
    program = label.split(":")[0]
    print("   %-10s %7s %-17s %-9s %6s %6s %6s %7s %10s %9s %9s %9s %8s" % (
        dsn, size, kind, program, wall, cpu, srv, mb, wj, cj, sj, ws, cs))
    peaks[(dsn, kind, program)][int(size)] = float(mb)
print()
for (dsn, kind, program), by_size in peaks.items():
    if len(by_size) > 1:
        small, large = min(by_size), max(by_size)
        print("   %-10s %-17s %-9s peak memory at %d students against %d: %.2fx (%.1f -> %.1f MB)" % (
            dsn, kind, program, large, small, by_size[large] / by_size[small], by_size[small], by_size[large]))
for dsn, size, kind, label, wall, cpu, srv, mb, wj, cj, sj, ws, cs in rows:
    if kind in ("whole first run", "incremental run") and label.startswith("new"):
        verdict = "met" if float(cj) <= 1.4 else "missed"
        print("   target %s <= 1.4x the complete floor in client cpu, %s %s: cpu %sx (wall %sx): %s" % (
            kind, dsn, size, cj, wj, verdict))
PY
