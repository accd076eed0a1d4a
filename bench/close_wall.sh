#!/usr/bin/env bash
# Close benchmark (not a test): how long the program takes from the close of its main window to process
# exit with a wall of tiles, repeated. The probe (bench/TileWallProbe.cpp) runs the real main window,
# closes it after the warm-up and prints when; the time to the process's end is measured here.
#   busy:      every tile watches busy_server (whole 1080p screen changed on every request)
#   quiet:     every tile watches one of four Xvnc servers (ordinary desktops, small changes)
#   refused:   every record points at a closed loopback port
#   silent:    a listener accepts every connection and never says a word (handshake pending)
#   blackhole: every address swallows its packets, tiles are mid-connect at the close (own namespace)
#   slowname:  every record names a computer whose name server never answers, tiles are still waiting
#              for the name lookup at the close (own network and mount namespace)
# Usage: bench/close_wall.sh busy|quiet|refused|silent|blackhole|slowname [tiles=64] [rounds=5]
# Set LATIS_BUILD_DIR to reuse a configured build tree (default: build/bench); LATIS_CLOSE_AFTER=S
# closes S seconds after the start instead (e.g. 1: while the tiles are still connecting).
# Before each close the grid is rebuilt LATIS_REBUILDS times (default 1), as closing the records editor
# does; the time the user-interface thread spends clearing and building is printed per round.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/xvnc-servers.sh
mode=${1:-busy}
tiles=${2:-64}
rounds=${3:-5}
tree=${LATIS_BUILD_DIR:-build/bench}

if [[ ! -f $tree/build.ninja ]]; then
    cmake -S . -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLATIS_BUILD_TESTS=OFF >/dev/null
fi
nice -n 5 cmake --build "$tree" --target latisvnc_tilewall busy_server -j 2 >/dev/null

folder=$(mktemp -d)
cleanup() {
    stop_all_xvnc
    rm -rf "$folder"
}
trap cleanup EXIT INT TERM
cp "$tree/bench/latisvnc_tilewall" "$folder/"
make_password_file "$folder/passwd" latis

address=127.0.0.1
ports=()
warmup=10
case $mode in
busy)
    setsid "$tree/bench/busy_server" --seconds 3600 >"$folder/busy.out" 2>/dev/null </dev/null &
    XVNC_GROUPS+=($!)
    for _ in $(seq 50); do [[ -s $folder/busy.out ]] && break; sleep 0.1; done
    ports=("$(awk '/^port/ {print $2}' "$folder/busy.out")")
    ;;
quiet)
    display=40
    for _ in 1 2 3 4; do
        display=$(free_display "$display")
        port=$(free_port)
        start_xvnc "$display" "$port" 1024x768 "$folder/passwd" none
        ports+=("$port")
        display=$((display + 1))
    done
    ;;
refused)
    warmup=3
    ports=("$(free_port)")
    ;;
silent)
    warmup=3
    ports=("$(free_port)")
    setsid python3 -c '
import socket, sys
s = socket.socket()
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.1", int(sys.argv[1])))
s.listen(256)
held = []
while True:
    held.append(s.accept()[0])
' "${ports[0]}" </dev/null >/dev/null 2>&1 &
    XVNC_GROUPS+=($!)
    ;;
blackhole)
    warmup=3
    ports=(5900)
    ;;
slowname)
    warmup=3
    ports=(5900)
    # The one name server swallows its questions (see the blackhole route below); one try of 60 s each.
    printf 'nameserver 10.78.0.1\noptions timeout:60 attempts:1\n' >"$folder/resolv.conf"
    ;;
*)
    echo "unknown mode $mode" >&2
    exit 2
    ;;
esac

: >"$folder/bilgisayar.ini"
for ((i = 0; i < tiles; i++)); do
    host=$address
    [[ $mode == blackhole ]] && host=10.78.0.$((2 + i % 200))
    [[ $mode == slowname ]] && host=bilgisayar-$i.latis.test
    printf '[RecNo%d]\r\nBILGISAYARADI=Tile %02d\r\nIP=%s\r\nPORT=%s\r\nPASSWORD=latis\r\n' "$((i + 1))" "$i" \
        "$host" "${ports[$((i % ${#ports[@]}))]}" >>"$folder/bilgisayar.ini"
done

warmup=${LATIS_CLOSE_AFTER:-$warmup}
rebuilds=${LATIS_REBUILDS:-1}
start_virtual_screen 1920x1200
echo "close wall: $tiles tiles, $mode, $warmup s warm-up then close, $rounds rounds"
times=()
for ((r = 1; r <= rounds; r++)); do
    if [[ $mode == blackhole ]]; then
        # Packets to 10.78/16 loop back in and are dropped unanswered, like computers switched off.
        unshare -n sh -c 'ip link set lo up && ip route add 10.78.0.0/16 dev lo && exec "$0" "$1" 1 "$2"' \
            "$folder/latisvnc_tilewall" "$warmup" "$rebuilds" >"$folder/probe.out" 2>/dev/null
    elif [[ $mode == slowname ]]; then
        # The machine's resolv.conf is swapped only inside the probe's own mount namespace.
        unshare -nm sh -c 'ip link set lo up && ip route add 10.78.0.0/16 dev lo &&
            mount --bind "$3" /etc/resolv.conf && exec "$0" "$1" 1 "$2"' \
            "$folder/latisvnc_tilewall" "$warmup" "$rebuilds" "$folder/resolv.conf" >"$folder/probe.out" 2>/dev/null
    else
        "$folder/latisvnc_tilewall" "$warmup" 1 "$rebuilds" >"$folder/probe.out" 2>/dev/null
    fi
    ended=$EPOCHREALTIME
    closed=$(awk '/^closing at/ {print $3}' "$folder/probe.out")
    connected=$(awk '/^tiles/ {print $4}' "$folder/probe.out")
    took=$(awk -v a="$closed" -v b="$ended" 'BEGIN {printf "%.0f", (b - a) * 1000}')
    times+=("$took")
    echo "round $r: $connected tiles connected, close to exit $took ms"
    grep '^rebuild' "$folder/probe.out" | sed 's/^/    /' || true
done
printf '%s\n' "${times[@]}" | sort -n | awk '{t[NR] = $1} END {printf "close to exit: min %d ms, median %d ms, max %d ms\n", t[1], t[int((NR + 1) / 2)], t[NR]}'
