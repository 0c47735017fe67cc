#!/usr/bin/env bash
# Runs the link benchmark against SQLite and a PostgreSQL server of its own on loopback.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/deps.sh --test
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target bench_link >/dev/null
pgdir=$(mktemp -d /tmp/vk-pg.XXXXXX)
chmod 755 "$pgdir"
trap '"$root/scripts/pg.sh" stop "$pgdir"' EXIT
eval "$(scripts/pg.sh start "$pgdir")"
build/bench/bench_link "$@"
