#!/usr/bin/env bash
# Builds the fuzz targets with clang, address and undefined-behaviour sanitizers, and runs each
# for a while (60 seconds unless told): fuzz/run.sh [seconds]
# A target that fails does not stop the others. Each input that made a target crash or leak is
# copied to fuzz/crashes/<target>/, where the tests replay it (ctest fuzz_replay_<target>); the
# failures are listed at the end and the exit code is 1 when there was any.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
scripts/deps.sh
command -v clang++ >/dev/null || { apt-get install -y -qq clang libclang-rt-14-dev >/dev/null; }
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVK_SANITIZE=ON \
    -DVK_FUZZ=ON -DVK_BUILD_TESTS=OFF -DVK_BUILD_BENCH=OFF >/dev/null
targets=(settings_fuzz w2w_text_fuzz manifest_fuzz version_record_fuzz http_header_fuzz)
cmake --build build-fuzz --target "${targets[@]}"
failures=()
for target in "${targets[@]}"; do
    artifacts="build-fuzz/artifacts/$target"
    rm -rf "$artifacts"
    mkdir -p "build-fuzz/corpus/$target" "$artifacts" "fuzz/crashes/$target"
    # new finds go to build-fuzz/corpus; the seeds kept in fuzz/corpus are read as well
    status=0
    "build-fuzz/fuzz/$target" -max_total_time="$seconds" -max_len=65536 -artifact_prefix="$artifacts/" \
        "build-fuzz/corpus/$target" "fuzz/corpus/$target" || status=$?
    found=0
    for input in "$artifacts"/*; do
        [[ -f "$input" ]] || continue
        found=1
        case "$(basename "$input")" in
            crash-* | leak-*)
                # a fault the replay test shows again, with or without the sanitizers
                cp "$input" "fuzz/crashes/$target/"
                failures+=("$target: fuzz/crashes/$target/$(basename "$input")")
                ;;
            *)
                # too slow or too much memory: kept out of the replay, which has no such limits
                failures+=("$target: $input")
                ;;
        esac
    done
    if ((status != 0 && found == 0)); then
        failures+=("$target: stopped with exit code $status, no input saved")
    fi
done
if ((${#failures[@]} > 0)); then
    echo "== Fuzz targets that failed:"
    printf '  %s\n' "${failures[@]}"
    exit 1
fi
echo "== No target failed"
