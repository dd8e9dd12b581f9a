#!/usr/bin/env bash
# Builds the sample Norv source database and a private odbc.ini with read-only DSNs for it.
#
#   sample/build-sample.sh --out DIR [--pg-port PORT] [--students N] [--seed S] [--year Y] [--as-of DATE]
#
# Writes into DIR:
#   norv.db         the SQLite database
#   norv.json       the same data as JSON (tests compute expected output from it)
#   norv_oracle.so  the SQLite extension with Oracle's TO_DATE
#   odbc.ini        DSN "NorvSQLite" (driver SQLite3, read-only) and, with --pg-port, DSN "NorvPG"
# With --pg-port, the database "norv" on the private test server (scripts/pg-test-server.sh, same port)
# is created afresh with the same data; the role norv_reader (password norv-reader-pw) may only read it.
# The DSNs carry no user or password: clients give them (isql -v NorvPG norv_reader norv-reader-pw).
# Point unixODBC at the file with: export ODBCINI=DIR/odbc.ini
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")

usage() {
  sed -n '4p' "$0" | sed 's/^# *//' >&2
  exit 2
}

out="" port="" gen_args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --out) out=${2:?}; shift 2 ;;
    --pg-port) port=${2:?}; shift 2 ;;
    --students | --seed | --year | --as-of) gen_args+=("$1" "${2:?}"); shift 2 ;;
    -h | --help) usage ;;
    *) echo "build-sample.sh: unknown option $1" >&2; usage ;;
  esac
done
[ -n "$out" ] || usage
mkdir -p "$out"
out=$(cd "$out" && pwd)
# The SQLite driver opens the file by URI (that is what makes it read-only): escape the path for one.
db_uri="file:$(python3 -c 'import sys, urllib.parse; print(urllib.parse.quote(sys.argv[1], safe="/"))' "$out/norv.db")?mode=ro"

cc -shared -fPIC -O2 -Wall -Wextra -Werror -o "$out/norv_oracle.so.tmp" "$here/sqlite_ext/norv_oracle.c"
mv -f "$out/norv_oracle.so.tmp" "$out/norv_oracle.so"

pg_script=""
if [ -n "$port" ]; then
  pg_script="$out/norv-postgres.sql"
  gen_args+=(--postgres "$pg_script")
fi
python3 "$here/generate.py" --sqlite "$out/norv.db" --json "$out/norv.json" "${gen_args[@]}"

if [ -n "$port" ]; then
  pg() { NORV_PG_PORT=$port "$top/scripts/pg-test-server.sh" psql "$@"; }
  pg -d postgres <<'SQL'
SET client_min_messages = warning;
DROP DATABASE IF EXISTS norv WITH (FORCE);
DO $$
BEGIN
  IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'norv_reader') THEN
    CREATE ROLE norv_reader LOGIN PASSWORD 'norv-reader-pw';
  END IF;
END
$$;
ALTER ROLE norv_reader NOSUPERUSER NOCREATEDB NOCREATEROLE PASSWORD 'norv-reader-pw';
ALTER ROLE norv_reader SET default_transaction_read_only = on;
CREATE DATABASE norv TEMPLATE template0 ENCODING 'UTF8' LC_COLLATE 'C' LC_CTYPE 'C';
REVOKE ALL ON DATABASE norv FROM PUBLIC;
GRANT CONNECT ON DATABASE norv TO norv_reader;
SQL
  pg -d norv -f "$pg_script"
  pg -d norv <<'SQL'
REVOKE ALL ON SCHEMA public FROM PUBLIC;
GRANT USAGE ON SCHEMA public TO norv_reader;
GRANT SELECT ON ALL TABLES IN SCHEMA public TO norv_reader;
SQL
  rm -f "$pg_script"
fi

{
  echo "[NorvSQLite]"
  echo "Description=Sample Norv source database (SQLite, read-only)"
  echo "Driver=SQLite3"
  echo "Database=$db_uri"
  echo "LoadExt=$out/norv_oracle.so"
  echo "Timeout=30000"
  # Step through a result as it is fetched instead of reading it whole when the statement runs.
  echo "StepAPI=1"
  if [ -n "$port" ]; then
    echo
    echo "[NorvPG]"
    echo "Description=Sample Norv source database (PostgreSQL, read-only)"
    echo "Driver=PostgreSQL Unicode"
    echo "Servername=127.0.0.1"
    echo "Port=$port"
    echo "Database=norv"
    echo "ReadOnly=1"
    # Fetch a result through a cursor, a block at a time, instead of reading it whole when it runs: the
    # attendance pass reads a school year in one statement.
    echo "UseDeclareFetch=1"
    # 1000 rows a round trip (the driver's default is 100): a whole first run of 20,000 students made 8,440
    # round trips with 100 and 1,682 with 1000 (wall 6.1 -> 5.4 s here, 0.4 MB more memory); 5000 saved 1,200
    # more round trips for 2 MB more, as the driver holds that many rows at a time. Over a network each
    # round trip costs the latency once more.
    echo "Fetch=1000"
    echo "SSLmode=disable"
    # Debian's odbcinst.ini turns the driver's communication log on, a file in /tmp for every connection.
    echo "CommLog=0"
    echo "Debug=0"
  fi
} >"$out/odbc.ini.tmp"
mv -f "$out/odbc.ini.tmp" "$out/odbc.ini"
echo "Sample Norv database in $out (ODBCINI=$out/odbc.ini)"
