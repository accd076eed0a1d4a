#!/usr/bin/env bash
# Tile-wall benchmark (not a test): the application watching 32 tiles of moving screens, measured over
# a minute. Four local Xvnc servers (1024x768, clocks, eyes and top) are shared by the 32 records, the
# program runs on its own Xvfb screen at the tiles' pacing (16 bpp, one update every 2 s per tile).
# Prints the average CPU of the program, its resident memory and how late a 20 ms timer of its user
# interface thread fired (responsiveness). Targets: <= 10 % of one core, <= 300 MB, <= 50 ms.
# Busy mode: every tile watches busy_server (1920x1080), which answers each update request with a
# whole-screen Hextile change, the case to size for. Targets with 64 tiles: <= 15 % of one core,
# <= 400 MB, timer 99th percentile <= 50 ms.
# With 256 busy tiles of which about 40 are in sight (LATIS_WALL_SCREEN=1280x1024): <= 10 % of one core.
# Quiet mode: four Xvnc servers with still screens (an idle xterm). Targets with 256
# tiles: every tile's picture within 20 s, <= 5 % of one core, <= 600 MB, timer p99 <= 50 ms.
# Usage: bench/tile_wall.sh [busy|quiet] [tiles=32, busy: 64] [seconds=60]
# (LATIS_BENCH_BUILD names another build folder than build/bench, e.g. an existing release build.)
# LATIS_WALL_GROUPS=n puts the computers into n groups ("Oda 1" ...); LATIS_WALL_SEARCH=text types
# that text into the search field after the measurement and switches through the groups, timing
# each step; LATIS_WALL_SCREEN=WxH sizes the program's screen (default 1920x1200; 1280x1024 shows
# about 40 tiles of 160, the rest scrolled out of sight); LATIS_WALL_REBUILDS=n rebuilds the grid n
# times after the measurement and prints how long each took.
# Busy mode only: LATIS_WALL_TLS=1 has busy_server offer only VeNCrypt with anonymous TLS (TLSNone) and
# the program require encryption, so every tile is encrypted or fails; LATIS_WALL_TIGHT=1 turns on the
# program's "Düşük bant genişliği (Tight)" setting (tiles ask for Tight with JPEG at 32 bpp) and has
# busy_server answer those requests with the same pictures as Tight JPEG rectangles. Both may be set.
# Busy mode also prints the bytes per second busy_server put on the wire during the measurement and the
# sessions it served of each kind (TLS, Tight JPEG), which shows the options took effect.
# LATIS_WALL_WRAP runs the program under a tool, e.g. LATIS_WALL_WRAP="heaptrack -o FILE".
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/xvnc-servers.sh
busy=0
quiet=0
if [[ ${1:-} == busy ]]; then
    busy=1
    shift
elif [[ ${1:-} == quiet ]]; then
    quiet=1
    shift
fi
tiles=${1:-$((busy ? 64 : 32))}
seconds=${2:-60}

build=${LATIS_BENCH_BUILD:-build/bench}
if [[ ! -f $build/build.ninja ]]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLATIS_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target latisvnc_tilewall busy_server -j 2

folder=$PWD/$build/tilewall
mkdir -p "$folder"
rm -f "$folder/libdova.so" "$folder"/*.INI
cp "$build/bench/latisvnc_tilewall" "$folder/"
work=$(mktemp -d)
cleanup() {
    stop_all_xvnc
    rm -rf "$work"
}
trap cleanup EXIT INT TERM
make_password_file "$work/passwd" latis

ports=()
busy_options=(--progress)
if ((busy)); then
    [[ ${LATIS_WALL_TLS:-0} == 1 ]] && busy_options+=(--tls)
    [[ ${LATIS_WALL_TIGHT:-0} == 1 ]] && busy_options+=(--tight-jpeg)
    setsid "$build/bench/busy_server" --seconds $((seconds + 600)) "${busy_options[@]}" >"$work/busy.out" \
        2>"$work/busy.err" </dev/null &
    busy_pid=$!
    XVNC_GROUPS+=($busy_pid)
    for _ in $(seq 50); do [[ -s $work/busy.out ]] && break; sleep 0.1; done
    ports=("$(awk '/^port/ {print $2}' "$work/busy.out")")
else
    contents=(clock eyes top mixed)
    display=40
    for i in 0 1 2 3; do
        display=$(free_display "$display")
        port=$(free_port)
        start_xvnc "$display" "$port" 1024x768 "$work/passwd" "$( ((quiet)) && echo quiet || echo "${contents[$i]}")"
        ports+=("$port")
        display=$((display + 1))
    done
fi
entries=()
for ((i = 0; i < tiles; i++)); do
    entries+=("$(printf 'Tile %02d' "$i"):${ports[$((i % ${#ports[@]}))]}")
done
write_computer_list "$folder/bilgisayar.ini" latis "${entries[@]}"
if [[ -n ${LATIS_WALL_GROUPS:-} ]]; then
    awk -v n="$LATIS_WALL_GROUPS" '{ print } /^BILGISAYARADI=/ { printf "GRUP=Oda %d\r\n", (k++ % n) + 1 }' \
        "$folder/bilgisayar.ini" >"$work/list" && cat "$work/list" >"$folder/bilgisayar.ini"
fi

# The program's settings (its .INI beside it, group AnaFormF): encryption 2 is "Zorunlu" (required).
{
    echo '[AnaFormF]'
    if ((busy)) && [[ ${LATIS_WALL_TLS:-0} == 1 ]]; then echo 'sComboSifreleme.ItemIndex=2'; fi
    if ((busy)) && [[ ${LATIS_WALL_TIGHT:-0} == 1 ]]; then echo 'sCheckBoxDusukBant.Checked=true'; fi
} >"$folder/latisvnc_tilewall.INI"

screen=$(free_display 90)
setsid Xvfb ":$screen" -screen 0 "${LATIS_WALL_SCREEN:-1920x1200}x24" -nolisten tcp </dev/null >/dev/null 2>&1 &
XVNC_GROUPS+=($!)
for _ in $(seq 50); do [[ -e /tmp/.X11-unix/X$screen ]] && break; sleep 0.1; done

if ((busy)); then
    echo "tile wall: $tiles tiles on busy_server (1920x1080, whole screen changed per request, options:" \
        "${busy_options[*]:1}), 15 s warm-up, $seconds s measured"
else
    echo "tile wall: $tiles tiles on 4 $( ((quiet)) && echo quiet) servers, 15 s warm-up, $seconds s measured"
fi
# shellcheck disable=SC2086 # the wrapper is a command line
DISPLAY=:$screen ${LATIS_WALL_WRAP:-} "$folder/latisvnc_tilewall" 15 "$seconds" "${LATIS_WALL_REBUILDS:-0}" | tee "$work/probe.out" &
probe=$!
# A look at the wall just before the measurement (grabbing the screen would disturb the figures).
(sleep 12; xwd -root -display ":$screen" -silent | convert xwd:- "$PWD/$build/tile_wall.png") \
    2>/dev/null &
wait "$probe"
echo "screenshot: $build/tile_wall.png"
if ((busy)); then
    kill -TERM "$busy_pid" 2>/dev/null || true
    wait "$busy_pid" || true
    grep -h 'frames of' "$work/busy.err" || true
    awk '/^client/ {n++; f += $3} END {if (n) printf "busy_server: %d clients, %.1f frames each on average\n", n, f / n}' \
        "$work/busy.out"
    grep -h '^sessions' "$work/busy.out" | sed 's/^/busy_server: /' || true
    # Bytes on the wire between the progress lines nearest the probe's measurement window.
    from=$(awk '/^measuring from/ {print $3}' "$work/probe.out")
    until=$(awk '/^measured until/ {print $3}' "$work/probe.out")
    if [[ -n $from && -n $until ]]; then
        awk -v from="$from" -v until="$until" '
            /^frames .* bytes .* at / {
                t = $6; b = $4
                if (t >= from && !t0) { t0 = t; b0 = b }
                if (t <= until) { t1 = t; b1 = b }
            }
            END { if (t1 > t0) printf "bytes on the wire during the measurement: %.2f MB/s (%.1f MB in %.1f s)\n",
                  (b1 - b0) / (t1 - t0) / 1e6, (b1 - b0) / 1e6, t1 - t0 }' "$work/busy.out"
    fi
fi
