#!/usr/bin/env bash
# A throw-away PostgreSQL 15 cluster for the tests.
#   pg_fixture.sh start DIR PORT   fresh cluster in DIR, socket in DIR, TCP on 127.0.0.1:PORT,
#                                  trust authentication, role and database "quervin"
#   pg_fixture.sh stop DIR         stops the server and removes DIR
# Run as root, the server runs as the postgres user (initdb refuses root).
set -euo pipefail

cmd=${1:-}
dir=${2:-}
port=${3:-}
user=quervin
database=quervin

usage() {
    echo "usage: $0 start DIR PORT | stop DIR" >&2
    exit 2
}
[ -n "$cmd" ] && [ -n "$dir" ] || usage

bindir=${QUERVIN_PG_BINDIR:-}
if [ -z "$bindir" ]; then
    for b in /usr/lib/postgresql/15/bin /usr/lib/postgresql/*/bin; do
        if [ -x "$b/initdb" ]; then
            bindir=$b
            break
        fi
    done
fi
[ -n "$bindir" ] && [ -x "$bindir/initdb" ] || {
    echo "PostgreSQL server binaries not found (install the postgresql package)" >&2
    exit 1
}

as_server=()
if [ "$(id -u)" -eq 0 ]; then
    as_server=(runuser -u postgres --)
fi
run() { "${as_server[@]}" "$@"; }

stop_cluster() {
    local real
    [ -e "$dir" ] || [ -L "$dir" ] || return 0
    real=$(readlink -f "$dir")
    if [ -f "$real/data/postmaster.pid" ]; then
        run "$bindir/pg_ctl" -D "$real/data" -m immediate -w stop >/dev/null 2>&1 || true
    fi
    rm -rf "$real"
    rm -rf "$dir"
}

start_cluster() {
    [ -n "$port" ] || usage
    stop_cluster  # whatever an interrupted run left behind
    mkdir -p "$(dirname "$dir")"
    local real=$dir
    if [ ${#as_server[@]} -gt 0 ] && ! runuser -u postgres -- test -x "$(dirname "$dir")"; then
        # The server's user cannot reach DIR: keep the cluster in /tmp and let DIR point at it.
        real=$(mktemp -d /tmp/quervin-pg.XXXXXX)
        ln -s "$real" "$dir"
    else
        mkdir "$dir"
    fi
    if [ ${#as_server[@]} -gt 0 ]; then
        chown postgres: "$real"
    fi
    chmod 700 "$real"

    if ! run "$bindir/initdb" -D "$real/data" -E UTF8 --locale=C.UTF-8 -A trust -U postgres \
        >"$real/initdb.log" 2>&1; then
        cat "$real/initdb.log" >&2
        exit 1
    fi
    cat >>"$real/data/postgresql.conf" <<CONF
listen_addresses = '127.0.0.1'
port = $port
unix_socket_directories = '$real'
unix_socket_permissions = 0777
max_connections = 40
fsync = off
synchronous_commit = off
full_page_writes = off
CONF
    if ! run "$bindir/pg_ctl" -D "$real/data" -l "$real/server.log" -w -t 60 start >/dev/null; then
        echo "PostgreSQL did not start on port $port:" >&2
        cat "$real/server.log" >&2
        exit 1
    fi
    # Other users (the tests, when root runs them) reach the socket through DIR.
    chmod 711 "$real"
    run "$bindir/psql" -h "$real" -p "$port" -U postgres -d postgres -v ON_ERROR_STOP=1 -q \
        -c "CREATE ROLE $user LOGIN" -c "CREATE DATABASE $database OWNER $user ENCODING 'UTF8'"
    echo "$port" >"$real/port"
}

case $cmd in
    start) start_cluster ;;
    stop) stop_cluster ;;
    *) usage ;;
esac
