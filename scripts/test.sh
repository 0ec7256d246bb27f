#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite in the default and the
# sanitizer builds, then the fuzz targets.
set -euo pipefail
cd "$(dirname "$0")/.."
# Each phase prints the seconds since the start, so a slow CI run shows where its time went.
phase() { echo "== $1 (at ${SECONDS}s)"; }
phase "install"
scripts/install-deps.sh
for preset in default asan; do
    phase "build ($preset)"
    scripts/build.sh "$preset"
    phase "tests ($preset)"
    ctest --preset "$preset"
done
# The picture surface and the message pump under ThreadSanitizer (the preset builds only them).
phase "build (tsan)"
scripts/build.sh tsan
phase "tests (tsan)"
ctest --preset tsan
phase "fuzzing"
scripts/fuzz.sh
phase "done"
echo "All tests passed."
