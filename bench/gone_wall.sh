#!/usr/bin/env bash
# Gone-wall benchmark (not a test): the application with every computer of its list gone, measured from
# inside (bench/TileWallProbe.cpp). Shows what automatic reconnection costs when nothing answers.
#   refused:   every record points at a closed loopback port (connection refused at once)
#   blackhole: every record points at an address whose packets vanish (each attempt runs into the
#              connect time-out); the program runs in a network namespace of its own (needs root)
# Usage: bench/gone_wall.sh [refused|blackhole] [on|off] [tiles=64] [seconds=120]
# Set LATIS_BUILD_DIR to reuse a configured build tree (default: build/gone).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/xvnc-servers.sh
mode=${1:-refused}
reconnect=${2:-on}
tiles=${3:-64}
seconds=${4:-120}
tree=${LATIS_BUILD_DIR:-build/gone}

if [[ -z ${LATIS_BUILD_DIR:-} ]]; then
    cmake -S . -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLATIS_BUILD_TESTS=OFF >/dev/null
fi
nice -n 5 cmake --build "$tree" --target latisvnc_tilewall -j 2 >/dev/null

folder=$(mktemp -d)
trap 'stop_all_xvnc; rm -rf "$folder"' EXIT INT TERM
cp "$tree/bench/latisvnc_tilewall" "$folder/"
checked=false
[[ $reconnect == on ]] && checked=true
printf '[AnaFormF]\nsCheckBoxYenidenBaglan.Checked=%s\n' "$checked" >"$folder/latisvnc_tilewall.INI"

address=127.0.0.1
: >"$folder/bilgisayar.ini"
for ((i = 0; i < tiles; i++)); do
    if [[ $mode == refused ]]; then
        port=$(free_port)
    else
        address=10.78.0.$((2 + i % 200))
        port=5900
    fi
    printf '[RecNo%d]\r\nBILGISAYARADI=Gone %02d\r\nIP=%s\r\nPORT=%s\r\nPASSWORD=latis\r\n' \
        "$((i + 1))" "$i" "$address" "$port" >>"$folder/bilgisayar.ini"
done

start_virtual_screen 1920x1200
echo "gone wall: $tiles tiles, $mode, auto-reconnect $reconnect, 5 s warm-up, $seconds s measured"
if [[ $mode == refused ]]; then
    "$folder/latisvnc_tilewall" 5 "$seconds"
else
    # Packets to 10.78/16 loop back in and are dropped unanswered, like computers that are switched off.
    unshare -n sh -c 'ip link set lo up && ip route add 10.78.0.0/16 dev lo && exec "$0" 5 "$1"' \
        "$folder/latisvnc_tilewall" "$seconds"
fi
