#!/usr/bin/env bash
# Installs what is missing, builds, registers the control module and runs it through the
# command-line automation host: prints the control's version and the size of its interface, then
# starts the simulated camera on 127.0.0.1 and lets the control stream from it for a few seconds,
# printing every event as it arrives.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh default
host=build/default/tools/tessivor-host/tessivor-host
camsim=build/default/tools/camsim/camsim
"$host" --register
"$host" --get VERSION --member-count

ports=$(mktemp)
"$camsim" --address 127.0.0.1 --native-port 0 --http-port 0 --udp-port -1 --control-port -1 \
    --rate 10 --run-for 60 > "$ports" &
camera=$!
trap 'kill "$camera" 2>/dev/null || true; rm -f "$ports"' EXIT
for _ in $(seq 50); do
    grep -q '^camsim ready' "$ports" && break
    sleep 0.1
done
port=$(sed -n 's/^camsim http 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$ports")
[[ -n "$port" ]] || { echo "error: the simulated camera did not start" >&2; exit 1; }
echo "== streaming from the simulated camera at 127.0.0.1:$port (/VIDEO.CGI) for 3 seconds"
picture=build/demo-picture.ppm
"$host" --set RemoteHost=127.0.0.1 --set "RemotePort=$port" --set Protocol=1 --target 320x240 \
    --call 'Run()' --wait-event 2:5 --run-for 3 --get FrameCount --dump-target "$picture" \
    --call 'Stop()' --wait-event 0:5 --get Status
echo "== the last picture drawn is in $picture"
