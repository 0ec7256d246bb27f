#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite in the sanitizer build (address
# and undefined behaviour), the thread tests under ThreadSanitizer, then the fuzz targets.
# The suite runs once, under the sanitizers, to keep CI within its time on a two-core machine;
# WITH_DEFAULT=1 also builds and runs it in the default build first (what scripts/run.sh builds).
set -euo pipefail
cd "$(dirname "$0")/.."
# Each phase prints the seconds since the start, so a slow CI run shows where its time went.
phase() { echo "== $1 (at ${SECONDS}s)"; }
phase "install"
scripts/install-deps.sh
presets=(asan)
[[ "${WITH_DEFAULT:-0}" == 1 ]] && presets=(default asan)
for preset in "${presets[@]}"; do
    phase "build ($preset)"
    scripts/build.sh "$preset"
    phase "tests ($preset)"
    ctest --preset "$preset"
done
# The picture surface, the message pump, the socket client and the control's workers (streams,
# recording, sound, motion, discovery, login and configuration, mail, the datagram waits) under
# ThreadSanitizer; the preset builds only those test programs.
phase "build (tsan)"
scripts/build.sh tsan
phase "tests (tsan)"
ctest --preset tsan
phase "fuzzing"
scripts/fuzz.sh
phase "done"
echo "All tests passed."
