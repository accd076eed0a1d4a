#!/usr/bin/env bash
# Screenshots under Xvfb of the application's other windows, each from a fresh start of the program
# (no window manager runs, so a modal window is left by ending the program):
#   editor.png       "Dosya" > "Bilgisayar Kayıtları": the records editor;
#   settings.png     "Dosya" > "Ayarlar": the settings dialog;
#   about.png        "Yardım" > "Hakkında": the about window, then about-credits.png after Ctrl+Alt+T;
#   fullscreen.png   "Tam Ekran" of a live tile, answered "No": the full-screen window, view only;
#   fullscreen-lost.png  the same window once its computer's server has stopped;
#   help-N.png       the pages of the help document yardim.pdf.
# Usage: scripts/screenshot-windows.sh [output folder=build/screenshots] [build dir=build/demo]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/xvnc-servers.sh
out=${1:-build/screenshots}
build=${2:-build/demo}
mkdir -p "$out"

if [[ $build == build/demo ]]; then build_program "$build"; else cmake --build "$build" --target latisvnc; fi
folder=$PWD/$build/screenshot-windows
prepare_program_folder "$build" "$folder"
begin_program_run

entries=()
names=(Muhasebe Depo)
display=40
for i in 0 1; do
    display=$(free_display "$display")
    port=$(free_port)
    start_xvnc "$display" "$port" 1024x768 "$work/passwd" "$([[ $i == 0 ]] && echo mixed || echo clock)"
    entries+=("${names[$i]}:$port")
    display=$((display + 1))
done
write_computer_list "$folder/bilgisayar.ini" latis "${entries[@]}"
# Tiles of 250 pixels: the first tile's button is then at 135, 293 of the screen.
printf '[AnaFormF]\r\nsTrackBar1.Position=250\r\n' >"$folder/latisvnc.INI"

mkdir -p "$work/screen"
start_virtual_screen 1280x800 "$work/screen"
shot() { shot_screen "$work/screen" "$out/$1"; echo "$out/$1"; }
start_app() {
    "$folder/latisvnc" >>"$work/app.log" 2>&1 &
    app=$!
    sleep "${1:-3}"
}
stop_app() {
    kill "$app" 2>/dev/null || true
    wait "$app" 2>/dev/null || true
    app=
}
menu() { # <menu x> <item y>
    xdotool mousemove "$1" 8 click 1
    sleep 0.7
    xdotool mousemove "$(($1 + 30))" "$2" click 1
    sleep 1.5
}

start_app
menu 27 30
shot editor.png
stop_app

start_app
menu 27 52
shot settings.png
stop_app

start_app
menu 77 52
shot about.png
xdotool key ctrl+alt+t
sleep 1
shot about-credits.png
stop_app

start_app 8
xdotool mousemove 135 293 click 1
sleep 1
shot fullscreen-question.png
xdotool key Return
sleep 5
shot fullscreen.png
stop_xvnc 1 # "Depo", the first tile by name
sleep 3
shot fullscreen-lost.png
stop_app

pdftoppm -r 70 -png "$folder/yardim.pdf" "$out/help"
ls "$out"/help*.png
