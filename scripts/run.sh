#!/usr/bin/env bash
# Installs what is missing, builds, registers the control module and runs it through the
# command-line automation host: prints the control's version and the size of its interface.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh default
host=build/default/tools/tessivor-host/tessivor-host
"$host" --register
"$host" --get VERSION --member-count
