#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite in the default and the
# sanitizer builds, then the fuzz targets.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
for preset in default asan; do
    scripts/build.sh "$preset"
    echo "== tests ($preset)"
    ctest --preset "$preset"
done
# The picture surface and the message pump under ThreadSanitizer (the preset builds only them).
scripts/build.sh tsan
echo "== tests (tsan)"
ctest --preset tsan
scripts/fuzz.sh
echo "All tests passed."
