#!/usr/bin/env bash
# The attendance convergence check on the sample, by hand: for each school of the sample, a first run into
# a folder, then rounds of a school day's changes (sample/change-attendance.py: changed, blanked, NULL,
# deleted and added absences) each followed by an incremental run (run --att, and a whole run every other
# round); then a fresh first run into an empty folder. Every update file of the first folder, applied in
# name order to an empty target (a row with a code sets its key, one without deletes it), must give exactly
# what the fresh run's update file gives: same keys, same codes, same reasons, nothing extra or missing.
#
#   bench/convergence_check.sh [--build DIR] [--students N] [--rounds R] [--pg-port PORT] [--keep DIR]
#                              [--fault SYSCALL:N]
#
# --build    the build folder with norv-extract (default: build)
# --students students of school 1021 (default 1000; the sample has three schools: 1021 period attendance,
#            875 period and daily, 2040 daily)
# --rounds   rounds of changes and incremental runs (default 4)
# --pg-port  also check on the PostgreSQL DSN of a private test server already started on PORT
#            (NORV_PG_PORT=PORT scripts/pg-test-server.sh start)
# --keep     keep the sample and the folders in DIR instead of a temporary folder
# --fault    the first round's run is killed (strace) at the Nth call of SYSCALL (rename:2 is the update
#            file's rename, the step after the cache's commit; rename:3 the rename of SchoolConfig.xml,
#            after the update file is in place), and the source then takes that round's changes back, as the
#            staff would correct them, before the next round: what the killed run sent or failed to send must
#            still reach the target. The check fails when the run was not killed there.
# Exits 1 when a folder does not converge. Not run by the tests (the integration tests check the same on
# small fixtures).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
source "$here/bench-lib.sh"
build=$top/build students=1000 rounds=4 port="" keep="" fault=""
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$(cd "${2:?}" && pwd); shift 2 ;;
    --students) students=${2:?}; shift 2 ;;
    --rounds) rounds=${2:?}; shift 2 ;;
    --pg-port) port=${2:?}; shift 2 ;;
    --keep) keep=${2:?}; shift 2 ;;
    --fault) fault=${2:?}; shift 2 ;;
    *) sed -n '/^#   bench/,/^# --fault/p' "$0" | sed 's/^# *//' >&2; exit 2 ;;
  esac
done
program=$build/norv-extract
[ -x "$program" ] || { echo "no $program: build it first" >&2; exit 2; }
if [ -n "$keep" ]; then
  work=$keep
  mkdir -p "$work"
else
  work=$(mktemp -d)
  trap 'bench_drop_source "$port" norv_convergence; rm -rf "$work"' EXIT
fi
work=$(cd "$work" && pwd)
bench_sample "$work/sample" "$students" "$port"

sources=(NorvSQLite)
[ -z "$port" ] || sources+=(NorvPG)
status=0
for dsn in "${sources[@]}"; do
  for school in 1021 875 2040; do
    case=$work/$dsn-$school
    rm -rf "$case"
    db_port="" db=""
    [ "$dsn" = NorvSQLite ] || { db_port=$port db=norv_convergence; }
    bench_source "$work/sample" "$case/source" "$db_port" "$db"
    run() {
      HOME=$case/home ODBCINI=$case/source/odbc.ini "$program" run "$@" --dsn="$dsn" --user=norv_reader \
        --pwd=norv-reader-pw --school="$school" --log=consoleoff >/dev/null 2>&1 ||
        { echo "run $* failed: see the log in its folder" >&2; return 1; }
    }
    run --path="$case/incremental"
    for round in $(seq 1 "$rounds"); do
      bench_change_attendance "$case/source" "$db_port" "$db" "$round"
      if [ "$round" = 1 ] && [ -n "$fault" ]; then
        call=${fault%%:*}
        code=0
        HOME=$case/home ODBCINI=$case/source/odbc.ini strace -f -o /dev/null -e trace="$call" \
          -e inject="$call:signal=KILL:when=${fault#*:}" "$program" run --att --path="$case/incremental" \
          --dsn="$dsn" --user=norv_reader --pwd=norv-reader-pw --school="$school" --log=consoleoff \
          >/dev/null 2>&1 || code=$?
        [ "$code" = 137 ] || { echo "the run was not killed at $fault (it ended $code)" >&2; exit 1; }
        bench_apply_sql "$case/source" "$db_port" "$db" "$case/source/revert-$round.sql"
        continue
      fi
      if [ $((round % 2)) = 1 ]; then run --att --path="$case/incremental"; else run --path="$case/incremental"; fi
    done
    run --path="$case/fresh"
    python3 - "$case/incremental" "$case/fresh" "$dsn" "$school" <<'EOF' || status=1
import glob, os, sys

def tables(path):
    # Each attendance table of an update file: "// Cached <title>", its field line, its rows up to "*".
    found = {}
    lines = open(path, "rb").read().split(b"\n")
    i = 0
    while i < len(lines):
        line = lines[i].strip()
        if line.startswith(b"// Cached "):
            rows = found.setdefault(line[3:], [])
            i += 2
            while i < len(lines) and lines[i] != b"*\r":
                rows.append(lines[i].rstrip(b"\r"))
                i += 1
        i += 1
    return found

def applied(folder):
    target, files, sent, gone = {}, sorted(glob.glob(os.path.join(folder, "Update *.CDU"))), 0, 0
    for name in files:
        for table, rows in tables(name).items():
            held = target.setdefault(table, {})
            for row in rows:
                fields = row.split(b"\t")
                key, code = b"\t".join(fields[:3]), fields[3] if len(fields) > 3 else b""
                sent += 1
                if code:
                    held[key] = row
                else:
                    gone += 1
                    held.pop(key, None)
    return target, len(files), sent, gone

incremental, files, sent, gone = applied(sys.argv[1])
fresh, _, _, _ = applied(sys.argv[2])
problems = []
for table in sorted(set(incremental) | set(fresh)):
    want, have = fresh.get(table, {}), incremental.get(table, {})
    problems += [b"missing " + want[k] for k in want if k not in have]
    problems += [b"stale " + have[k] + b" instead of " + want[k] for k in want if k in have and have[k] != want[k]]
    problems += [b"extra " + have[k] for k in have if k not in want]
rows = sum(len(t) for t in fresh.values())
verdict = "converges" if not problems else "DOES NOT CONVERGE (%d differences)" % len(problems)
print("%-10s school %-4s: %d update files, %d rows sent (%d as gone); the target holds %d rows: %s"
      % (sys.argv[3], sys.argv[4], files, sent, gone, rows, verdict))
for problem in problems[:10]:
    print("   ", problem.decode("cp1252", "replace"))
sys.exit(1 if problems else 0)
EOF
    bench_drop_source "$db_port" "$db"
  done
done
exit $status
