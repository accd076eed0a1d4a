#!/usr/bin/env bash
# Soak benchmark (not a test): the real main window (bench/SoakWallProbe.cpp) with a wall of tiles left
# running while its computers come and go, sampled over time, to see whether anything grows without
# bound: resident and data memory, open descriptors, threads, widgets, user-interface timer lateness.
# The tiles are split over four kinds of computer:
#   busy:    busy_server (whole-screen Hextile changes), killed and started again every cycle (lost
#            connections, then refused connects, then back)
#   vanish:  an Xvnc whose address disappears for most of every cycle: packets go nowhere, connected
#            tiles notice only through keep-alive, new connects run into the time-out; then it is back
#            (that Xvnc grows: it never learns of the connections closed while it was away)
#   reboot:  an Xvnc that stays, except that every third cycle it is stopped and started again
#   gone:    computers that never answer (refused, looked up by name; or swallowed), and one whose
#            password is wrong
# Each cycle presses "Yeniden Bağlan" on the failed tiles (the operator's way; with automatic
# reconnection on as well), every fourth cycle rebuilds the grid and every fifth opens the full-screen
# window of a connected tile for a few seconds. Automatic reconnection is on for the first half of the
# run and off for the second. Everything runs in a network namespace of its own (needs root): the
# servers listen on 127.0.0.1 and on 10.79.0.2, an address of that namespace's loopback device.
# Usage: bench/soak_wall.sh [minutes=12] [tiles=48] [cycle seconds=60]
# LATIS_BUILD_DIR reuses a configured build tree (default build/bench); LATIS_SOAK_WRAP runs the probe
# under a tool, e.g. LATIS_SOAK_WRAP="valgrind --leak-check=full"; LATIS_SOAK_LOG names the log file.
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=${1:-12}
tiles=${2:-48}
cycle=${3:-60}

if [[ -z ${LATIS_SOAK_INSIDE:-} ]]; then
    tree=${LATIS_BUILD_DIR:-build/bench}
    if [[ ! -f $tree/build.ninja ]]; then
        cmake -S . -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLATIS_BUILD_TESTS=OFF >/dev/null
    fi
    nice -n 5 cmake --build "$tree" --target latisvnc_soakwall busy_server -j 2 >/dev/null
    export LATIS_SOAK_INSIDE=1 LATIS_BUILD_DIR=$tree
    exec unshare -n "$0" "$@"
fi

source scripts/xvnc-servers.sh
tree=$LATIS_BUILD_DIR
ip link set lo up
# 10.79/16 goes to the loopback device; only the addresses given to it answer, the rest swallow.
ip route add 10.79.0.0/16 dev lo
vanish_address=10.79.0.2
ip addr add "$vanish_address/32" dev lo

folder=$(mktemp -d)
log=${LATIS_SOAK_LOG:-$PWD/$tree/soak_wall.log}
busy_pid=
cleanup() {
    exec 7>&- 2>/dev/null || true
    [[ -n $busy_pid ]] && kill -TERM "$busy_pid" 2>/dev/null
    stop_all_xvnc
    rm -rf "$folder"
}
trap cleanup EXIT INT TERM
cp "$tree/bench/latisvnc_soakwall" "$folder/"
make_password_file "$folder/passwd" latis

busy_port=$(free_port)
start_busy() {
    "$tree/bench/busy_server" --port "$busy_port" --size 800x600 --seconds 100000 >/dev/null 2>&1 </dev/null &
    busy_pid=$!
    for _ in $(seq 50); do (exec 3<>"/dev/tcp/127.0.0.1/$busy_port") 2>/dev/null && return; sleep 0.1; done
}
stop_busy() {
    kill -TERM "$busy_pid" 2>/dev/null || true
    wait "$busy_pid" 2>/dev/null || true
}

# start_server <slot> <address> <port> <display>: an Xvnc with a clock, in XVNC_GROUPS[slot].
start_server() {
    local slot=$1 address=$2 port=$3 display=$4
    setsid bash -c '
        Xvnc ":$1" -interface "$2" -rfbport "$3" -geometry 1024x768 -depth 24 -SecurityTypes VncAuth \
            -rfbauth "$4" -AlwaysShared -nolisten tcp -BlacklistThreshold 1000 >/dev/null 2>&1 &
        for _ in $(seq 50); do [[ -e /tmp/.X11-unix/X$1 ]] && break; sleep 0.1; done
        DISPLAY=":$1" xclock -update 1 -geometry 200x200+20+20 &
        wait
    ' _ "$display" "$address" "$port" "$folder/passwd" </dev/null >/dev/null 2>&1 &
    XVNC_GROUPS[$slot]=$!
    for _ in $(seq 100); do (exec 3<>"/dev/tcp/$address/$port") 2>/dev/null && return; sleep 0.1; done
}
stop_server() {
    kill -TERM -- "-${XVNC_GROUPS[$1]}" 2>/dev/null || true
    sleep 0.5
    kill -KILL -- "-${XVNC_GROUPS[$1]}" 2>/dev/null || true
}

vanish_port=$(free_port)
reboot_port=$(free_port)
refused_port=$(free_port)
vanish_display=$(free_display 40)
reboot_display=$(free_display $((vanish_display + 1)))
start_busy
start_server 1 "$vanish_address" "$vanish_port" "$vanish_display"
start_server 2 127.0.0.1 "$reboot_port" "$reboot_display"

: >"$folder/bilgisayar.ini"
for ((i = 0; i < tiles; i++)); do
    case $((i % 8)) in
    0 | 1 | 2) kind=busy address=127.0.0.1 port=$busy_port ;;
    3 | 4) kind=vanish address=$vanish_address port=$vanish_port ;;
    5 | 6) kind=reboot address=127.0.0.1 port=$reboot_port ;;
    *) case $((i % 32)) in # by name: the lookup runs on a thread of its own
       7) kind=refused address=localhost port=$refused_port ;;
       23) kind=wrongpw address=127.0.0.1 port=$reboot_port ;;
       *) kind=silent address=10.79.1.$((i % 200)) port=5900 ;;
       esac ;;
    esac
    password=latis
    [[ $kind == wrongpw ]] && password=wrong
    printf '[RecNo%d]\r\nBILGISAYARADI=%s %02d\r\nIP=%s\r\nPORT=%s\r\nPASSWORD=%s\r\n' "$((i + 1))" \
        "$kind" "$i" "$address" "$port" "$password" >>"$folder/bilgisayar.ini"
done
printf '[AnaFormF]\nsCheckBoxYenidenBaglan.Checked=true\n' >"$folder/latisvnc_soakwall.INI"

start_virtual_screen 1920x1200
mkfifo "$folder/commands"
echo "soak wall: $tiles tiles, $minutes min, cycles of $cycle s; log $log"
# shellcheck disable=SC2086
: >"$log" # the probe appends, as the cycle notes below do
${LATIS_SOAK_WRAP:-} "$folder/latisvnc_soakwall" 10 <"$folder/commands" >>"$log" 2>"$log.err" &
probe=$!
exec 7>"$folder/commands"
say() { echo "$1" >&7; }

end=$((SECONDS + minutes * 60))
half=$((SECONDS + minutes * 30))
round=0
auto=on
sleep 20 # first connects
while ((SECONDS < end)) && kill -0 "$probe" 2>/dev/null; do
    round=$((round + 1))
    if [[ $auto == on ]] && ((SECONDS >= half)); then
        auto=off
        say "auto off"
    fi
    echo "cycle $round at $SECONDS s (auto $auto)" >>"$log"
    stop_busy
    ip addr del "$vanish_address/32" dev lo
    ((round % 3 == 0)) && stop_server 2
    sleep $((cycle * 2 / 3))
    start_busy
    ip addr add "$vanish_address/32" dev lo
    ((round % 3 == 0)) && start_server 2 127.0.0.1 "$reboot_port" "$reboot_display"
    sleep 2
    say press
    if ((round % 4 == 0)); then
        sleep 2
        say rebuild
    fi
    if ((round % 5 == 0)); then
        sleep 6
        say "fullscreen 4"
    fi
    sleep $((cycle - cycle * 2 / 3 - 2))
done
say sample
say quit
exec 7>&-
wait "$probe" || true
grep '^sample' "$log" | sed -n '1p;$p' | sed '1s/^/first: /;2s/^/last:  /'
awk '/^sample/ {for (i = 2; i <= NF; i++) {split($i, kv, "="); v[kv[1]] = kv[2]}
     if (n++ == 0) for (k in v) f[k] = v[k]; for (k in v) if (v[k] > m[k]) m[k] = v[k]}
     END {printf "max:   rss_kb=%.0f data_kb=%.0f fds=%d threads=%d widgets=%d late_max_ms=%.1f\n", m["rss_kb"],
          m["data_kb"], m["fds"], m["threads"], m["widgets"], m["late_max_ms"]}' "$log"
