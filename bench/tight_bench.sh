#!/usr/bin/env bash
# Tight against ZRLE on a real server (not a test): starts TigerVNC's Xvnc at 1920x1080 on 127.0.0.1,
# shows (a) a desktop of text and windows and (b) a full-screen photo-like picture (ImageMagick's plasma
# fractal, softened), and runs tight_bench on each: bytes per whole-screen update of ZRLE, Tight
# lossless and Tight with JPEG quality 5, and decode CPU per update against libvncclient on the same
# recorded bytes. Targets: on the photo Tight q5 <= 1/5 of ZRLE's bytes; on text Tight lossless <= ZRLE;
# decoding <= 0.8x libvncclient's CPU.
# Usage: bench/tight_bench.sh [frames=10] [rounds=3] [build folder=build/bench]
set -euo pipefail
cd "$(dirname "$0")/.."
frames=${1:-10}
rounds=${2:-3}
build=${3:-build/bench}

if [[ ! -f $build/build.ninja ]]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLATIS_BUILD_TESTS=OFF \
        -DLATIS_BUILD_BENCH=ON >/dev/null
fi
cmake --build "$build" --target tight_bench -j 2 >/dev/null

work=$(mktemp -d)
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
Xvnc -geometry 1920x1080 -depth 24 -rfbport "$port" -localhost -interface 127.0.0.1 -SecurityTypes None \
    -nolisten tcp -displayfd 3 3>"$work/display" >"$work/xvnc.log" 2>&1 &
server=$!
terms=()
cleanup() {
    kill "${terms[@]}" 2>/dev/null || true
    kill "$server" 2>/dev/null || true
    wait "$server" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT INT TERM
for _ in $(seq 100); do [[ -s $work/display ]] && break; sleep 0.1; done
export DISPLAY=:$(cat "$work/display")

# (a) Text and windows: xterms full of source text on a desktop colour.
xsetroot -solid '#3a6ea5'
terms=()
for window in "110x75+20+20:dova/framebuffer/ZrleDecoder.cpp" "100x40+720+30:dova/engine/SessionThread.cpp" \
    "100x30+760+620:dova/framebuffer/HextileDecoder.cpp"; do
    xterm -geometry "${window%%:*}" -fa 'DejaVu Sans Mono' -fs 9 -e sh -c "cat ${window#*:}; sleep 600" &
    terms+=($!)
done
sleep 2
# (b) A photo-like picture filling the screen.
convert -size 1920x1080 -seed 7 plasma:fractal -blur 0x2 "$work/photo.png"

"$build/bench/tight_bench" "$port" "text and windows" "$frames" "$rounds"
kill "${terms[@]}" 2>/dev/null || true
sleep 1
display -window root "$work/photo.png" || true # ends with status 1 after setting the root
"$build/bench/tight_bench" "$port" "photo" "$frames" "$rounds"
