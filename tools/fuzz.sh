#!/usr/bin/env bash
# Builds the fuzz targets of fuzz/ with clang (libFuzzer, ASan, UBSan) and runs each for the
# given number of seconds on its seed corpus (fuzz/corpus/<target>) and the corpus it grew in
# earlier runs, as many targets at once as there are cores. Crashing inputs are left in
# build-fuzz/findings/. Exits non-zero when a target found one.
#
#   tools/fuzz.sh [SECONDS]      (default 600 per target)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}

source tools/packages.sh
nbx_packages+=(clang libclang-rt-dev)
nbx_install_packages >&2

build=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DNBX_SANITIZE=fuzzer -DNBX_BUILD_BENCH=OFF >/dev/null
targets=()
for source in fuzz/*_fuzz.cpp; do targets+=("$(basename "$source" .cpp)"); done
mkdir -p "$build/findings"
# The compiler's warnings about the framework's headers would drown the results: they go to a
# log that is shown only when the build fails.
if ! cmake --build "$build" -j "$(nproc)" --target "${targets[@]}" >"$build/build.log" 2>&1; then
    tail -50 "$build/build.log"
    exit 2
fi

# One target per core at a time: each runs for the whole time given, so the run takes that
# time once per round of targets rather than once per target.
fuzz_one() {
    local target=$1 grown=$build/corpus/$1 log=$build/findings/$1.log result runs
    mkdir -p "$grown"
    if "$build/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$build/findings/$target-" "$grown" "fuzz/corpus/$target" >"$log" 2>&1; then
        result=ok
    else
        result=FOUND
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    echo "$target: $result, ${runs:-0} runs, $(( ${runs:-0} / (seconds > 0 ? seconds : 1) )) per second"
    [[ $result == ok ]]
}

status=0
running=0
for target in "${targets[@]}"; do
    if ((running >= $(nproc))); then
        wait -n || status=1
        running=$((running - 1))
    fi
    fuzz_one "$target" &
    running=$((running + 1))
done
while ((running > 0)); do
    wait -n || status=1
    running=$((running - 1))
done
exit $status
