#!/usr/bin/env bash
# Screenshots of the wall at scale under Xvfb: 40 computers in two groups ("Oda 1", "Oda 2") watched
# on two local Xvnc servers, into docs/ by default:
#   wall-all.png       every computer ("Tümü"), the status line counting them by state;
#   wall-search.png    Ctrl+F and "ışık" typed: only the matching tiles, Turkish letters folded;
#   wall-keyboard.png  Tab into the grid and two arrow keys: the selected tile is framed;
#   wall-group.png     the group "Oda 2" chosen (remembered in the settings file).
# Usage: scripts/screenshot-wall.sh [output folder=docs] [build folder=build/demo]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/xvnc-servers.sh
out=${1:-docs}
build=${2:-build/demo}
mkdir -p "$out"

[[ -x $build/app/latisvnc ]] || build_program "$build"
folder=$PWD/$build/wall-screenshot-program
prepare_program_folder "$build" "$folder"
rm -f "$folder/latisvnc.INI"
begin_program_run

ports=()
display=40
for content in clock eyes; do
    display=$(free_display "$display")
    port=$(free_port)
    start_xvnc "$display" "$port" 1024x768 "$work/passwd" "$content"
    ports+=("$port")
    display=$((display + 1))
done
entries=()
groups=()
for i in $(seq -w 1 10); do
    entries+=("Işık-$i:${ports[0]}" "Muhasebe-$i:${ports[1]}")
    groups+=("Oda 1" "Oda 1")
done
for i in $(seq -w 1 10); do
    entries+=("İstanbul-$i:${ports[1]}" "Depo-$i:${ports[0]}")
    groups+=("Oda 2" "Oda 2")
done
write_computer_list "$folder/bilgisayar.ini" latis "${entries[@]}"
awk -v list="$(printf '%s\n' "${groups[@]}")" 'BEGIN { n = split(list, g, "\n") }
    { print } /^BILGISAYARADI=/ { printf "GRUP=%s\r\n", g[++k] }' "$folder/bilgisayar.ini" >"$work/list"
cat "$work/list" >"$folder/bilgisayar.ini"

mkdir -p "$work/screen"
start_virtual_screen 1280x1000 "$work/screen"
shot() { shot_screen "$work/screen" "$out/$1"; echo "$out/$1"; }
run() {
    "$folder/latisvnc" >"$work/app.log" 2>&1 &
    app=$!
    for _ in $(seq 100); do xdotool search --name LatisVNC >/dev/null 2>&1 && break; sleep 0.1; done
    sleep 8
}
stop() {
    kill "$app"
    wait "$app" 2>/dev/null || true
    app=
}

# Tiles of 160 pixels.
printf '[AnaFormF]\r\nsTrackBar1.Position=160\r\n' >"$folder/latisvnc.INI"
run
shot wall-all.png
xdotool key ctrl+f
xdotool type --delay 150 'ışık'
sleep 2
shot wall-search.png
xdotool key Escape Tab Right Down
sleep 2
shot wall-keyboard.png
stop

printf '[AnaFormF]\r\nsTrackBar1.Position=160\r\nGrup=Oda 2\r\n' >"$folder/latisvnc.INI"
run
shot wall-group.png
stop
