#!/usr/bin/env bash
# The demo: builds latisvnc, starts four local Xvnc servers on 127.0.0.1 (password "latis", moving
# clocks, eyes and top), writes their bilgisayar.ini into a demo program folder and runs the program
# from there. The servers stop when the program exits. Without a display the program runs on a
# virtual one (Xvfb) that you can watch through its own VNC server.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/xvnc-servers.sh

bash scripts/install-deps.sh
build_program build/demo

folder=$PWD/build/demo/program
prepare_program_folder build/demo "$folder"
work=$(mktemp -d)
password=latis
make_password_file "$work/passwd" "$password"

app=
cleanup() {
    [[ -n $app ]] && kill "$app" 2>/dev/null || true
    stop_all_xvnc
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

entries=()
geometries=(1024x768 1280x800 1920x1080 800x600)
contents=(clock eyes top mixed)
display=40
for i in 0 1 2 3; do
    display=$(free_display "$display")
    port=$(free_port)
    start_xvnc "$display" "$port" "${geometries[$i]}" "$work/passwd" "${contents[$i]}"
    entries+=("Demo $((i + 1)) (${geometries[$i]}):$port")
    display=$((display + 1))
done
write_computer_list "$folder/bilgisayar.ini" "$password" "${entries[@]}"
# Larger tiles on the first run; the program keeps whatever the operator chooses later.
[[ -e $folder/latisvnc.INI ]] || printf '[AnaFormF]\r\nsTrackBar1.Position=300\r\n' >"$folder/latisvnc.INI"
echo "Servers: ${entries[*]}"

if [[ -z ${DISPLAY:-} ]]; then
    screen=$(free_display 90)
    viewport=$(free_port)
    setsid bash -c "Xvfb :$screen -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
        sleep 1; x11vnc -display :$screen -localhost -rfbport $viewport -forever -nopw -quiet >/dev/null 2>&1 & wait" \
        </dev/null >/dev/null 2>&1 &
    XVNC_GROUPS+=($!)
    for _ in $(seq 50); do [[ -e /tmp/.X11-unix/X$screen ]] && break; sleep 0.1; done
    export DISPLAY=:$screen
    echo "No display: the program runs on Xvfb $DISPLAY, visible through VNC at 127.0.0.1:$viewport"
fi

"$folder/latisvnc" &
app=$!
wait "$app" || true
app=
