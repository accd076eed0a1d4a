#!/usr/bin/env bash
# Screenshots of latisvnc under Xvfb watching four local Xvnc servers:
#   1-live.png       every tile shows its live remote screen, scaled whole into the tile;
#   2-failed.png     the second server was stopped: its tile shows the error text and "Yeniden Bağlan";
#   3-reconnected.png the server was started again and the button pressed: the tile is live again.
# The first one is also the README's picture of the tile wall, docs/tile-wall.png.
# Usage: scripts/screenshot.sh [output folder=build/screenshots]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/xvnc-servers.sh
out=${1:-build/screenshots}
mkdir -p "$out"

build_program build/demo
folder=$PWD/build/demo/screenshot-program
prepare_program_folder build/demo "$folder"
rm -f "$folder/latisvnc.INI"
begin_program_run

geometries=(1024x768 1280x800 1920x1080 800x600)
contents=(clock eyes top mixed)
displays=() ports=() entries=()
display=40
for i in 0 1 2 3; do
    display=$(free_display "$display")
    port=$(free_port)
    start_xvnc "$display" "$port" "${geometries[$i]}" "$work/passwd" "${contents[$i]}"
    displays+=("$display") ports+=("$port")
    entries+=("PC $((i + 1)) ${geometries[$i]}:$port")
    display=$((display + 1))
done
write_computer_list "$folder/bilgisayar.ini" latis "${entries[@]}"
# Tiles of 250 pixels: the second tile's button is then at 395, 293 of the screen.
printf '[AnaFormF]\r\nsTrackBar1.Position=250\r\n' >"$folder/latisvnc.INI"

mkdir -p "$work/screen"
start_virtual_screen 1280x800 "$work/screen"
shot() { shot_screen "$work/screen" "$out/$1"; echo "$out/$1"; }

"$folder/latisvnc" >"$work/app.log" 2>&1 &
app=$!
sleep 8
shot 1-live.png
mkdir -p docs
cp "$out/1-live.png" docs/tile-wall.png

stop_xvnc 1
sleep 6
shot 2-failed.png

# The same server again, on the same display and port.
start_xvnc "${displays[1]}" "${ports[1]}" "${geometries[1]}" "$work/passwd" "${contents[1]}"
sleep 2
xdotool mousemove 395 293 click 1
sleep 6
shot 3-reconnected.png
