#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for the time its CMakeLists gives.
# FUZZ_SECONDS overrides every time (for a quick local run).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh fuzz
list=build/fuzz/fuzzers.txt
status=0
while read -r name seconds; do
    [[ -n "${name:-}" ]] || continue
    seconds=${FUZZ_SECONDS:-$seconds}
    corpus=build/fuzz/corpus/$name
    mkdir -p "$corpus"
    seeds=()
    [[ -d "fuzz/seeds/$name" ]] && seeds=("fuzz/seeds/$name")
    echo "== fuzzing $name for ${seconds}s"
    if ! build/fuzz/fuzz/$name -max_total_time="$seconds" -print_final_stats=0 \
        -artifact_prefix="build/fuzz/$name-" "$corpus" "${seeds[@]}" > "build/fuzz/$name.log" 2>&1; then
        echo "error: $name found a fault:" >&2
        tail -n 60 "build/fuzz/$name.log" >&2
        status=1
    fi
done < "$list"
exit $status
