#!/usr/bin/env bash
# A private PostgreSQL server for the tests: `server.sh start DIR` makes a cluster in DIR, run by
# an unprivileged user (initdb refuses root) and listening only on a unix socket in DIR, with a
# database "velnor" owned by the role "velnor" (no superuser, as a site would grant it);
# a role "velnor_station" (login only: the grants of rights.sql are given per database);
# `server.sh pause DIR` and `server.sh resume DIR` stop the server (its connections ended) and
# start it again, as a site's restart would; `server.sh stop DIR` stops it and removes DIR.
# Without PostgreSQL's programs, start writes the reason to DIR/skipped and succeeds: the tests
# then skip, unless VELNOR_REQUIRE_POSTGRESQL=1.
set -euo pipefail
action=$1 dir=$2

bindir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1 || true)
[ -x "$bindir/initdb" ] || bindir=$(dirname "$(command -v initdb 2>/dev/null || echo /none/initdb)")

as_owner() {
  if [ "$(id -u)" -ne 0 ]; then "$@"; return; fi
  local user=postgres
  id "$user" >/dev/null 2>&1 || user=nobody
  runuser -u "$user" -- "$@"
}

serve() {
  as_owner "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -s \
    -o "-c listen_addresses='' -k '$dir' -c fsync=off -c max_connections=60" start
}

case $action in
start)
  rm -rf "$dir" && mkdir -p "$dir"
  if [ ! -x "$bindir/initdb" ] || [ ! -x "$bindir/pg_ctl" ]; then
    echo "PostgreSQL's server programs (initdb, pg_ctl) are not installed" >"$dir/skipped"
    echo "postgres: skipped: $(cat "$dir/skipped")"
    [ "${VELNOR_REQUIRE_POSTGRESQL:-}" != 1 ] || { echo 'but VELNOR_REQUIRE_POSTGRESQL=1: failed'; exit 1; }
    exit 0
  fi
  [ "$(id -u)" -ne 0 ] || chown "$(id -u postgres 2>/dev/null || id -u nobody)" "$dir"
  as_owner "$bindir/initdb" -D "$dir/data" -U admin -A trust --no-sync -E UTF8 --locale=C >"$dir/initdb.log"
  serve
  as_owner "$bindir/psql" -X -q -h "$dir" -U admin -d postgres -v ON_ERROR_STOP=1 \
    -c "CREATE ROLE velnor LOGIN PASSWORD 'se''cr;et' NOSUPERUSER NOCREATEDB NOCREATEROLE" \
    -c "CREATE DATABASE velnor OWNER velnor" -c "CREATE ROLE velnor_station LOGIN NOSUPERUSER"
  echo "postgresql:///velnor?host=$dir&user=velnor" >"$dir/uri"
  ;;
pause) as_owner "$bindir/pg_ctl" -D "$dir/data" -m fast -w -s stop ;;
resume) serve ;;
stop)
  [ ! -d "$dir/data" ] || as_owner "$bindir/pg_ctl" -D "$dir/data" -m immediate -w -s stop || true
  rm -rf "$dir"
  ;;
esac
