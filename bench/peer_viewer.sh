#!/usr/bin/env bash
# Full-screen viewer benchmark (not a test): dova-viewer and TigerVNC's viewer (Debian tigervnc-viewer,
# only measured against) each show busy_server's 1920x1080 Hextile stream (every tile changes on every
# request) full screen in an Xvfb of their own at 1920x1080, one after the other. Prints each viewer's
# CPU per frame and frames per second (frames counted by the server), with and without its X server's
# CPU, and our share of the peer's CPU per frame. Target: ours <= 0.8x at 32 bpp.
# Usage: bench/peer_viewer.sh [bpp=32] [seconds=20] [build folder=build/bench]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/xvnc-servers.sh
bpp=${1:-32}
seconds=${2:-20}
build=${3:-build/bench}
warmup=5

if [[ ! -f $build/build.ninja ]]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLATIS_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target busy_server dova-viewer -j 2 >/dev/null

work=$(mktemp -d)
setsid "$build/bench/busy_server" --progress --seconds $((4 * (seconds + warmup) + 60)) \
    >"$work/server.out" 2>"$work/server.err" </dev/null &
XVNC_GROUPS+=($!)
cleanup() {
    stop_all_xvnc
    rm -rf "$work"
}
trap cleanup EXIT INT TERM
for _ in $(seq 50); do [[ -s $work/server.out ]] && break; sleep 0.1; done
port=$(awk '/^port/ {print $2; exit}' "$work/server.out")

ticks=$(getconf CLK_TCK)
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
frames_sent() { awk '/^frames/ {n = $2} END {print n + 0}' "$work/server.out"; }

# measure <name> <command...>: runs the viewer in a fresh Xvfb and prints its figures.
measure() {
    local name=$1
    shift
    local screen xvfb viewer
    screen=$(free_display 90)
    setsid Xvfb ":$screen" -screen 0 1920x1080x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
    xvfb=$!
    XVNC_GROUPS+=($xvfb)
    for _ in $(seq 50); do [[ -e /tmp/.X11-unix/X$screen ]] && break; sleep 0.1; done
    DISPLAY=:$screen setsid "$@" </dev/null >"$work/$name.log" 2>&1 &
    viewer=$!
    XVNC_GROUPS+=($viewer)
    sleep "$warmup"
    local c0 x0 f0 c1 x1 f1
    c0=$(cpu_ticks "$viewer") x0=$(cpu_ticks "$xvfb") f0=$(frames_sent)
    sleep "$seconds"
    c1=$(cpu_ticks "$viewer") x1=$(cpu_ticks "$xvfb") f1=$(frames_sent)
    kill -TERM -- "-$viewer" "-$xvfb" 2>/dev/null || true
    sleep 1
    awk -v n="$name" -v c=$((c1 - c0)) -v x=$((x1 - x0)) -v f=$((f1 - f0)) -v t="$ticks" -v s="$seconds" 'BEGIN {
        if (f == 0) { printf "%s: no frames\n", n; exit }
        printf "%s: %.1f frames/s, %.2f ms CPU per frame (%.2f ms with its X server), %.0f%% of a core\n",
               n, f / s, c * 1000 / t / f, (c + x) * 1000 / t / f, c * 100 / t / s }' | tee -a "$work/results"
}

measure dova-viewer "$build/dova/control/viewer/dova-viewer" "127.0.0.1:$port" --bpp "$bpp" --view-only \
    --full-screen
if [[ $bpp == 32 ]]; then
    measure tigervnc xtigervncviewer -FullScreen -ViewOnly -AutoSelect=0 -FullColor=1 -PreferredEncoding=hextile \
        "127.0.0.1::$port"
fi
grep -h 'frames of' "$work/server.err" || true
awk '/ms CPU per frame/ { for (i = 1; i <= NF; ++i) if ($i == "ms" && $(i + 1) == "CPU") v[NR] = $(i - 1) }
     END { if (v[1] && v[2]) printf "dova-viewer = %.2fx TigerVNC CPU per frame\n", v[1] / v[2] }' "$work/results"
