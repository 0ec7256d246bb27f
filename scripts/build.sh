#!/usr/bin/env bash
# Configures and builds the given presets (default: "default").
set -euo pipefail
cd "$(dirname "$0")/.."
presets=("$@")
[[ ${#presets[@]} -gt 0 ]] || presets=(default)
for preset in "${presets[@]}"; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done
