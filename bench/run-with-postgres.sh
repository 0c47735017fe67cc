#!/usr/bin/env bash
# Runs a benchmark with a PostgreSQL server of its own on loopback beside SQLite:
#   bench/run-with-postgres.sh bench_link [orders] [amendments] [existing rows]
#   bench/run-with-postgres.sh bench_planning [rows] [existing rows]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
bench=${1:?name of the benchmark}
shift
scripts/deps.sh --test
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target "$bench" >/dev/null
pgdir=$(mktemp -d /tmp/vk-pg.XXXXXX)
chmod 755 "$pgdir"
trap '"$root/scripts/pg.sh" stop "$pgdir"' EXIT
eval "$(scripts/pg.sh start "$pgdir")"
"build/bench/$bench" "$@"
