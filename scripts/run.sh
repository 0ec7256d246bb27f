#!/usr/bin/env bash
# Installs what is missing, builds, and starts Pellucor SE against four simulated cameras on
# loopback (the native protocol, the video CGI with a moving clip, the motion-JPEG CGI and the
# repeated-request stream). The demo home (build/demo/home) gets a profile that assigns and
# enables the four, written by the program's own profile writer (pellucor-demohome).
#
# With a display the program opens its windows and runs until you close them. Without one it
# runs under Xvfb for a set time, saves a picture of the screen as build/demo-screen.png and ends
# by itself. Either way the profile it saves at exit is printed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh default
bin=build/default
camsim=$bin/tools/camsim/camsim
pellucor=$bin/app/windows/pellucor
"$bin/tools/tessivor-host/tessivor-host" --register >/dev/null

demo=build/demo
rm -rf "$demo"
mkdir -p "$demo/clip"
cameras=()
cleanup() {
    for pid in "${cameras[@]}"; do kill "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT

# The moving clip: a bright block that jumps from side to side, so the camera shows motion.
/usr/bin/convert -size 320x240 xc:'#1d2a38' -fill '#f0c040' -draw 'rectangle 30,70 130,170' "$demo/clip/a.jpg"
/usr/bin/convert -size 320x240 xc:'#1d2a38' -fill '#f0c040' -draw 'rectangle 190,70 290,170' "$demo/clip/b.jpg"
printf 'a.jpg\nb.jpg\n' >"$demo/clip/clip.txt"

# start_camera NAME UDPPORT ARGS...: starts one camsim on 127.0.0.1 (its image-settings datagrams
# on UDPPORT, -1 for none) and waits until it tells its ports; false when it ended instead.
start_camera() {
    local name=$1 udp=$2
    shift 2
    "$camsim" --address 127.0.0.1 --native-port 0 --http-port 0 --udp-port "$udp" --control-port -1 \
        --run-for 86400 "$@" >"$demo/$name.ports" &
    local pid=$!
    cameras+=($pid)
    for _ in $(seq 100); do
        grep -q '^camsim ready' "$demo/$name.ports" && return 0
        kill -0 "$pid" 2>/dev/null || return 1
        sleep 0.1
    done
    echo "error: the simulated camera $name did not start" >&2
    exit 1
}
port_of() { sed -n "s/^camsim $2 127\.0\.0\.1:\([0-9]*\)$/\1/p" "$demo/$1.ports"; }

# The native camera answers the image-settings datagram on its fixed port (62976), so that its
# colour panel works; should that port be taken on this machine, it starts without it.
if ! start_camera gate 62976 --rate 10; then
    echo "note: UDP port 62976 is taken; the native camera's colour panel cannot read its settings" >&2
    start_camera gate -1 --rate 10 || { echo "error: the simulated camera gate did not start" >&2; exit 1; }
fi
start_camera yard -1 --rate 5 --clip "$demo/clip/clip.txt" --clip-play || exit 1
start_camera porch -1 --rate 10 --size 352x288 || exit 1
start_camera shed -1 --rate 5 || exit 1

"$bin/tools/pellucor-demohome/pellucor-demohome" --home "$demo/home" \
    --camera "0,127.0.0.1,$(port_of gate native),Gate" \
    --camera "1,127.0.0.1,$(port_of yard http),Yard,motion" \
    --camera "2,127.0.0.1,$(port_of porch http),Porch" \
    --camera "4,127.0.0.1,$(port_of shed http),Shed"

if [[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]]; then
    echo "== Pellucor SE is running; close its windows to end it"
    "$pellucor" --home "$demo/home"
else
    screen=build/demo-screen.png
    rm -f "$screen"
    echo "== no display: Pellucor SE runs under Xvfb for 14 seconds; the screen is saved at 10 seconds"
    xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
        "$1" --home "$2" --close-after 14 &
        program=$!
        sleep 10
        import -window root "$3" || echo "error: the screen could not be saved" >&2
        wait "$program"' run "$pellucor" "$demo/home" "$screen"
    [[ -s "$screen" ]] && echo "== the screen is in $screen"
fi

echo "== the profile the program saved at exit ($demo/home/main.ini):"
/usr/bin/python3 - "$demo/home/main.ini" <<'PY'
import configparser, sys
ini = configparser.ConfigParser(interpolation=None, strict=False)
ini.optionxform = str
ini.read(sys.argv[1], encoding="utf-8")
for n in range(1, 5):
    c = ini["Cam%d" % n]
    print("  camera %d: %s at %s:%s, protocol %s, enabled %s" % (n, c.get("ServerName"), c.get("IPAddress"),
          c.get("Port"), c.get("Protocol"), c.get("Enable")))
PY
