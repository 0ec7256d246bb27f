#!/usr/bin/env bash
# Redraws the shipped skins, button tables and tool set of data/lang with tools/pellucor-skinart.
# Run after changing the drawing or the layout tables, then commit what changed in data/lang.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build --preset default --target pellucor-skinart pellucor-packcheck
for folder in english_1 english_2 Bar cam; do
    rm -rf "data/lang/$folder"
done
build/default/tools/pellucor-skinart/pellucor-skinart data/lang
build/default/tools/pellucor-packcheck/pellucor-packcheck data/lang english
