#!/usr/bin/env bash
# A PostgreSQL server of the tests' own on loopback, with a data folder of its own.
#   scripts/pg.sh start DIR   starts it (DIR is created) and prints the variables the tests read
#   scripts/pg.sh stop DIR    stops it and removes DIR
#   scripts/pg.sh pause DIR [fast|immediate]   stops it and keeps its data (fast: sessions are told;
#                                              immediate: they are cut off, as in a crash)
#   scripts/pg.sh resume DIR  starts it again
#   scripts/pg.sh freeze DIR  stops the server's processes (SIGSTOP), as a hung server machine;
#   scripts/pg.sh thaw DIR    lets them go on (SIGCONT)
set -euo pipefail

action=${1:?start or stop}
dir=${2:?data folder}
bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)
[[ -x "$bin/initdb" ]] || { echo "PostgreSQL is not installed" >&2; exit 1; }

as_postgres() {
    if ((EUID == 0)); then runuser -u postgres -- "$@"; else "$@"; fi
}

case "$action" in
start)
    mkdir -p "$dir"
    ((EUID == 0)) && chown postgres: "$dir"
    port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
    password="vk-test-$RANDOM$RANDOM"
    printf '%s\n' "$password" > "$dir/pwfile"
    ((EUID == 0)) && chown postgres: "$dir/pwfile"
    as_postgres "$bin/initdb" -N -D "$dir/data" -U vktest --pwfile="$dir/pwfile" -A scram-sha-256 -E UTF8 \
        --locale=C.UTF-8 >"$dir/initdb.log" 2>&1 || { cat "$dir/initdb.log" >&2; exit 1; }
    printf '%s\n' "$port" > "$dir/port"
    as_postgres "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 start \
        -o "-p $port -k $dir -h 127.0.0.1 -c fsync=on -c max_connections=50" >/dev/null ||
        { cat "$dir/server.log" >&2; exit 1; }
    PGPASSWORD=$password "$bin/psql" -h 127.0.0.1 -p "$port" -U vktest -d postgres -qc "CREATE DATABASE vktest" >/dev/null
    cat <<VARS
export VK_PG_PORT=$port
export VK_PG_USER=vktest
export VK_PG_PASSWORD=$password
export VK_PG_DATABASE=vktest
export VK_PG_DIR=$dir
VARS
    ;;
pause)
    mode=${3:-fast}
    as_postgres "$bin/pg_ctl" -D "$dir/data" -m "$mode" -w stop >/dev/null
    ;;
freeze | thaw)
    postmaster=$(head -1 "$dir/data/postmaster.pid")
    signal=STOP
    [[ "$action" == thaw ]] && signal=CONT
    # the server and every one of its processes, the sessions included
    kill -s "$signal" "$postmaster" $(pgrep -P "$postmaster" || true)
    ;;
resume)
    port=$(cat "$dir/port")
    as_postgres "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 start \
        -o "-p $port -k $dir -h 127.0.0.1 -c fsync=on -c max_connections=50" >/dev/null ||
        { cat "$dir/server.log" >&2; exit 1; }
    ;;
stop)
    if [[ -d "$dir/data" ]]; then
        as_postgres "$bin/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null 2>&1 || true
    fi
    rm -rf "$dir"
    ;;
*)
    echo "usage: $0 start|stop|pause|resume|freeze|thaw DIR" >&2
    exit 2
    ;;
esac
