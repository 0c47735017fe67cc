#!/usr/bin/env bash
# Builds the fuzz targets with clang, address and undefined-behaviour sanitizers, and runs each
# for a while (60 seconds unless told): fuzz/run.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
scripts/deps.sh
command -v clang++ >/dev/null || { apt-get install -y -qq clang libclang-rt-14-dev >/dev/null; }
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVK_SANITIZE=ON \
    -DVK_FUZZ=ON -DVK_BUILD_TESTS=OFF -DVK_BUILD_BENCH=OFF >/dev/null
targets=(settings_fuzz w2w_text_fuzz manifest_fuzz version_record_fuzz http_header_fuzz)
cmake --build build-fuzz --target "${targets[@]}"
for target in "${targets[@]}"; do
    mkdir -p "build-fuzz/corpus/$target"
    # new finds go to build-fuzz/corpus; the seeds kept in fuzz/corpus are read as well
    "build-fuzz/fuzz/$target" -max_total_time="$seconds" -max_len=65536 "build-fuzz/corpus/$target" \
        "fuzz/corpus/$target"
done
