# Helpers shared by the whole-program benchmark (extract_bench.sh) and the output comparison
# (compare_outputs.sh); sourced, not run. REQUIRES: $top (the source folder) is set.
#
# A measured sample lives in a folder of its own (sample/build-sample.sh --out DIR). The runs never read it
# directly: each gets a private copy of the source (bench_source), which sample/change-attendance.py may
# change (bench_change_attendance) without spoiling the sample for the next measurement. On the private
# PostgreSQL server the sample's database is the template of the copies: "norv" as build-sample.sh leaves
# it, or the name kept in DIR/pg-database (bench_sample gives each generated size a database of its own, so
# that samples of several sizes can be reused while one server runs).

# pg_admin PORT ARGS...: psql as the superuser of the private test server on PORT.
pg_admin() {
  local port=$1
  shift
  PGOPTIONS="-c client_min_messages=warning" NORV_PG_PORT=$port "$top/scripts/pg-test-server.sh" psql "$@"
}

# bench_students SIZE: the sample's students over its three schools when school 1021 (55 %) has SIZE.
bench_students() {
  echo $((($1 * 100 + 54) / 55))
}

# bench_sample DIR SIZE [PORT]: makes sure DIR holds a sample whose school 1021 has SIZE students (and, with
# PORT, that the server holds its database); builds one when it does not. Says which on standard output.
bench_sample() {
  local dir=$1 size=$2 port=${3:-}
  local db=norv_s$size
  if [ -f "$dir/norv.db" ] && [ -f "$dir/norv.json" ] && [ -f "$dir/students" ] &&
    [ "$(cat "$dir/students")" = "$size" ] &&
    { [ -z "$port" ] || [ "$(pg_admin "$port" -d postgres -tAc \
      "SELECT 1 FROM pg_database WHERE datname = '$(bench_pg_template "$dir")'")" = 1 ]; }; then
    echo "== reusing the sample in $dir ($size students in school 1021)"
    return 0
  fi
  echo "== generating the sample in $dir: $(bench_students "$size") students over three schools ($size in school 1021)"
  rm -rf "$dir" && mkdir -p "$dir"
  local args=(--out "$dir" --students "$(bench_students "$size")")
  [ -n "$port" ] && args+=(--pg-port "$port")
  "$top/sample/build-sample.sh" "${args[@]}" >/dev/null
  if [ -n "$port" ]; then
    pg_admin "$port" -d postgres -c "DROP DATABASE IF EXISTS $db" -c "ALTER DATABASE norv RENAME TO $db" >/dev/null
    echo "$db" >"$dir/pg-database"
  fi
  echo "$size" >"$dir/students"
}

# bench_pick_sample SIZE: sets $dir to the sample to measure at SIZE students, and $size to its size: the
# one sample that --sample names (a folder sample/build-sample.sh made; its size as recorded there), or the
# folder sSIZE of --sample or of the work folder, built when missing or of another size.
# REQUIRES: $sample (may be empty), $work, $port (may be empty) and the array $sizes are set.
bench_pick_sample() {
  size=$1
  if [ -n "$sample" ] && [ -f "$sample/norv.db" ]; then
    [ ${#sizes[@]} -eq 1 ] || {
      echo "$(basename "$0"): $sample holds one sample; several sizes need a folder that --keep left" >&2
      exit 2
    }
    dir=$sample
    [ ! -f "$dir/students" ] || size=$(cat "$dir/students")
    echo "== the sample of $sample ($size students in school 1021)"
  else
    dir=${sample:-$work}/s$size
    bench_sample "$dir" "$size" "$port"
  fi
}

# bench_pg_template DIR: the server database holding the sample of DIR.
bench_pg_template() {
  if [ -f "$1/pg-database" ]; then cat "$1/pg-database"; else echo norv; fi
}

# bench_source SAMPLE DEST [PORT DB]: a private copy of the sample's source in DEST: DEST/norv.db and
# DEST/odbc.ini with the DSNs NorvSQLite (on DEST/norv.db) and, with PORT, NorvPG (on the server database DB,
# made afresh from the sample's, readable by norv_reader only).
bench_source() {
  local sample dest port=${3:-} db=${4:-}
  mkdir -p "$2"
  sample=$(cd "$1" && pwd) dest=$(cd "$2" && pwd)
  cp "$sample/norv.db" "$dest/norv.db.tmp" && mv -f "$dest/norv.db.tmp" "$dest/norv.db"
  cp "$sample/norv_oracle.so" "$dest/norv_oracle.so"
  ln -sfn "$sample/norv.json" "$dest/norv.json"
  local edits=(-e "s|$sample/|$dest/|g")
  [ -z "$db" ] || edits+=(-e "s|^Database=norv\$|Database=$db|")
  sed "${edits[@]}" "$sample/odbc.ini" >"$dest/odbc.ini"
  if [ -n "$port" ]; then
    grep -q '^\[NorvPG\]' "$dest/odbc.ini" || {
      echo "bench_source: $sample was built without --pg-port: it has no NorvPG DSN" >&2
      return 1
    }
    pg_admin "$port" -d postgres -c "DROP DATABASE IF EXISTS $db WITH (FORCE)" \
      -c "CREATE DATABASE $db TEMPLATE $(bench_pg_template "$sample")" \
      -c "REVOKE ALL ON DATABASE $db FROM PUBLIC" -c "GRANT CONNECT ON DATABASE $db TO norv_reader" >/dev/null
  fi
}

# bench_drop_source PORT DB: drops a copy's server database.
bench_drop_source() {
  [ -z "$1" ] || pg_admin "$1" -d postgres -c "DROP DATABASE IF EXISTS $2 WITH (FORCE)" >/dev/null
}

# bench_change_attendance DEST [PORT DB [SEED]]: changes the attendance of the copy in DEST the way a school
# day does (sample/change-attendance.py, stamped today): on DEST/norv.db and, with PORT, on the database DB.
# The statements go to DEST/change-SEED.sql, those that take the changes back to DEST/revert-SEED.sql (for
# bench_apply_sql).
bench_change_attendance() {
  local dest=$1 port=${2:-} db=${3:-} seed=${4:-1}
  python3 "$top/sample/change-attendance.py" --json "$dest/norv.json" --seed "$seed" \
    --sql-out "$dest/change-$seed.sql" --revert-out "$dest/revert-$seed.sql" 2>"$dest/change-$seed.txt"
  bench_apply_sql "$dest" "$port" "$db" "$dest/change-$seed.sql"
}

# bench_apply_sql DEST PORT DB SCRIPT: runs the statements of SCRIPT in one transaction on DEST/norv.db and,
# with PORT, on the database DB.
bench_apply_sql() {
  local dest=$1 port=$2 db=$3 script=$4
  { echo "BEGIN;"; cat "$script"; echo "COMMIT;"; } | sqlite3 -bail "$dest/norv.db"
  if [ -n "$port" ]; then
    { echo "BEGIN;"; cat "$script"; echo "COMMIT;"; } | pg_admin "$port" -d "$db" >/dev/null
  fi
}

# statements_of LOG: the SQL statements a run sent to its source, from its log file, one a line.
statements_of() {
  python3 "$top/bench/bench_statements.py" sent "$1"
}

# job_statements TABLE_LOG [ATTENDANCE_LOG]: the statements of the job floor, one a line (see
# bench_statements.py).
job_statements() {
  python3 "$top/bench/bench_statements.py" job "$@"
}

# complete_statements TABLE_LOG [ATTENDANCE_LOG]: the statements of the complete floor, tagged.
complete_statements() {
  python3 "$top/bench/bench_statements.py" complete "$@"
}
