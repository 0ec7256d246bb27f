#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for the time its CMakeLists gives (and with its
# per-input time limit: its own, or 10 s), one per core at a time (each fuzzer uses one core). FUZZ_SECONDS overrides every time (for a quick local run).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target fuzzers
list=build/fuzz/fuzzers.txt
jobs=$(nproc)

run_one() {
    local name=$1 seconds=$2 input_seconds=$3
    local corpus=build/fuzz/corpus/$name
    mkdir -p "$corpus"
    local seeds=()
    [[ -d "fuzz/seeds/$name" ]] && seeds=("fuzz/seeds/$name")
    # No single input may hold a fuzzer (and so CI) for long: 10 s unless the target sets its own.
    local limits=("-timeout=${input_seconds:-10}")
    build/fuzz/fuzz/$name -max_total_time="$seconds" -print_final_stats=0 "${limits[@]}" \
        -artifact_prefix="build/fuzz/$name-" "$corpus" "${seeds[@]}" > "build/fuzz/$name.log" 2>&1
}

declare -A pids=()
status=0
finish() { # waits for one fuzzer and reports it
    local name=$1
    if ! wait "${pids[$name]}"; then
        echo "error: $name found a fault:" >&2
        tail -n 60 "build/fuzz/$name.log" >&2
        status=1
    else
        echo "== $name: no finding"
    fi
    unset "pids[$name]"
}
while read -r name seconds input_seconds; do
    [[ -n "${name:-}" ]] || continue
    seconds=${FUZZ_SECONDS:-$seconds}
    while (( ${#pids[@]} >= jobs )); do
        wait -n || true
        for n in "${!pids[@]}"; do
            kill -0 "${pids[$n]}" 2>/dev/null || finish "$n"
        done
    done
    echo "== fuzzing $name for ${seconds}s"
    run_one "$name" "$seconds" "${input_seconds:-}" &
    pids[$name]=$!
done < "$list"
for n in "${!pids[@]}"; do
    finish "$n"
done
exit $status
