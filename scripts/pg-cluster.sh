#!/usr/bin/env bash
# A throwaway PostgreSQL cluster for the tests and benchmarks.
#   scripts/pg-cluster.sh start DIR   initdb (when DIR has no cluster) and start it; prints the
#                                      data-source text of its database "dailybalance"
#   scripts/pg-cluster.sh stop DIR    stop it and remove DIR
# PG_CLUSTER_DURABLE=1 starts it with the server's default durability settings.
# The server listens on a Unix socket in DIR only (no TCP port), so clusters of parallel runs
# never collide.  initdb refuses to run as root: as root the cluster belongs to the "postgres"
# account of the Debian package.
set -euo pipefail
action=${1:?usage: pg-cluster.sh start|stop DIR}
dir=${2:?usage: pg-cluster.sh start|stop DIR}
bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)
[ -x "$bin/initdb" ] || { echo "pg-cluster: PostgreSQL server binaries not found (install postgresql)" >&2; exit 2; }

as_owner() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

case $action in
  start)
    mkdir -p "$dir"
    [ "$(id -u)" -eq 0 ] && chown postgres: "$dir"
    if [ ! -f "$dir/data/PG_VERSION" ]; then
      as_owner "$bin/initdb" -D "$dir/data" -U postgres --auth=trust -E UTF8 --locale=C.UTF-8 >"$dir/initdb.log" 2>&1 ||
        { cat "$dir/initdb.log" >&2; exit 1; }
    fi
    # Settings for a test server: no durability wait, room for the parallel tests' sessions, and no
    # autovacuum: its ANALYZE would change plans between a test's clean run and the runs compared
    # with it, and rows that no ORDER BY fixes (a stock bill's entries) would come in another order.
    # PG_CLUSTER_DURABLE=1 (the benchmarks) keeps the server's default durability and autovacuum,
    # as a shop's server runs.
    settings="-c listen_addresses='' -k $dir -c max_connections=200 -c shared_buffers=256MB"
    if [ "${PG_CLUSTER_DURABLE:-0}" != 1 ]; then
      settings="$settings -c fsync=off -c synchronous_commit=off -c full_page_writes=off -c autovacuum=off"
    fi
    as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 start -o "$settings" >/dev/null ||
      { cat "$dir/server.log" >&2; exit 1; }
    as_owner "$bin/psql" -h "$dir" -U postgres -d postgres -qAt -c "CREATE DATABASE dailybalance" >/dev/null 2>&1 || true
    echo "postgresql://postgres@/dailybalance?host=$dir"
    ;;
  stop)
    if [ -f "$dir/data/postmaster.pid" ]; then
      as_owner "$bin/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1 || true
    fi
    rm -rf "$dir"
    ;;
  *) echo "pg-cluster: unknown action $action" >&2; exit 2 ;;
esac
