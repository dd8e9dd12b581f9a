#!/usr/bin/env bash
# A private PostgreSQL server for the integration tests: 127.0.0.1 only, its own port, data and socket
# folders, never the system cluster.
#   pg-test-server.sh start   initialise a fresh cluster and start it (an old one on the port is stopped)
#   pg-test-server.sh stop    stop it and remove its folder
#   pg-test-server.sh psql .. run psql as the superuser over the private socket
# The role norv_admin (password norv-admin-pw) owns the database norv_test.
# Environment: NORV_PG_PORT (default 54329), NORV_PG_ROOT (default /tmp/norv-pg-<port>).
set -euo pipefail
port=${NORV_PG_PORT:-54329}
root=${NORV_PG_ROOT:-/tmp/norv-pg-$port}
bindir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
[ -n "$bindir" ] || { echo "PostgreSQL server binaries not found" >&2; exit 1; }
as=()
[ "$(id -u)" = 0 ] && as=(runuser -u postgres --)

stop() {
  if [ -f "$root/data/postmaster.pid" ]; then
    "${as[@]}" "$bindir/pg_ctl" -D "$root/data" -m immediate -w stop >/dev/null 2>&1 || true
  fi
  rm -rf "$root"
}

case "${1:-}" in
  start)
    stop
    mkdir -p "$root/sock"
    [ "$(id -u)" = 0 ] && chown -R postgres:postgres "$root"
    "${as[@]}" "$bindir/initdb" -D "$root/data" -U postgres -E UTF8 --locale=C.UTF-8 \
      --auth-local=trust --auth-host=scram-sha-256 >"$root/initdb.log" 2>&1 \
      || { cat "$root/initdb.log" >&2; exit 1; }
    "${as[@]}" "$bindir/pg_ctl" -D "$root/data" -l "$root/server.log" -w -t 60 \
      -o "-p $port -k $root/sock -c listen_addresses=127.0.0.1 -c fsync=off" start >/dev/null \
      || { cat "$root/server.log" >&2; exit 1; }
    # A password login for tests that set up their own fixtures over TCP, as a site's DSN would.
    psql -X -q -v ON_ERROR_STOP=1 -h "$root/sock" -p "$port" -U postgres \
      -c "CREATE ROLE norv_admin LOGIN SUPERUSER PASSWORD 'norv-admin-pw'" \
      -c "CREATE DATABASE norv_test OWNER norv_admin" >/dev/null
    ;;
  stop)
    stop
    ;;
  psql)
    shift
    exec psql -X -q -v ON_ERROR_STOP=1 -h "$root/sock" -p "$port" -U postgres "$@"
    ;;
  *)
    echo "usage: $0 start|stop|psql [args]" >&2
    exit 2
    ;;
esac
