# Shared by the demo, the screenshot and the tile-wall benchmark (source it, do not run it).
# Starts local Xvnc servers on 127.0.0.1 with a VNC password and moving content, and stops them again.
# Every server and its clients run in a process group of their own, so stopping one kills it all.

XVNC_GROUPS=()

# A TCP port on 127.0.0.1 that nobody listens on (and none handed out before by this shell).
XVNC_PORTS_TAKEN=" "
free_port() {
    local p
    while :; do
        p=$((20000 + RANDOM % 30000))
        [[ $XVNC_PORTS_TAKEN == *" $p "* ]] && continue
        if ! (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null; then
            XVNC_PORTS_TAKEN+="$p "
            echo "$p"
            return
        fi
    done
}

# A free X display number (no lock file, no socket).
free_display() {
    local n=${1:-40}
    while [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]]; do n=$((n + 1)); done
    echo "$n"
}

# make_password_file <file> <password>
make_password_file() {
    printf '%s\n' "$2" | vncpasswd -f >"$1"
    chmod 600 "$1"
}

# start_xvnc <display> <port> <geometry> <password file> <content: clock|eyes|top|mixed>
# The blacklist threshold is raised because many tiles may watch one server: Xvnc counts every
# authentication in progress against the address, and eight at once would lock 127.0.0.1 out.
start_xvnc() {
    local display=$1 port=$2 geometry=$3 passfile=$4 content=$5
    setsid bash -c '
        display=$1; port=$2; geometry=$3; passfile=$4; content=$5
        Xvnc ":$display" -interface 127.0.0.1 -rfbport "$port" -geometry "$geometry" -depth 24 \
            -SecurityTypes VncAuth -rfbauth "$passfile" -AlwaysShared -nolisten tcp \
            -BlacklistThreshold 1000 >/dev/null 2>&1 &
        for _ in $(seq 50); do [[ -e /tmp/.X11-unix/X$display ]] && break; sleep 0.1; done
        export DISPLAY=":$display"
        xsetroot -solid "#2f5f8f" 2>/dev/null || true
        case $content in
            clock) xclock -update 1 -geometry 300x300+40+40 & xterm -geometry 80x24+380+40 -e top & ;;
            eyes)  xeyes -geometry 400x300+60+60 & xclock -digital -update 1 -geometry +500+60 & ;;
            top)   xterm -geometry 100x30+20+20 -e top & ;;
            quiet) xterm -geometry 80x24+40+40 -e sleep 1000000 & ;;
            *)     xclock -update 1 -geometry 200x200+20+20 & xeyes -geometry 200x150+240+20 &
                   xterm -geometry 80x20+20+260 -e top & ;;
        esac
        wait
    ' _ "$display" "$port" "$geometry" "$passfile" "$content" </dev/null >/dev/null 2>&1 &
    XVNC_GROUPS+=($!)
    # Wait until the server accepts connections.
    for _ in $(seq 100); do
        (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && return 0
        sleep 0.1
    done
    echo "Xvnc :$display did not start on port $port" >&2
    return 1
}

# stop_xvnc <index>: stops one server with its clients.
stop_xvnc() {
    local pgid=${XVNC_GROUPS[$1]}
    kill -TERM -- "-$pgid" 2>/dev/null || true
}

stop_all_xvnc() {
    local pgid
    for pgid in "${XVNC_GROUPS[@]}"; do kill -TERM -- "-$pgid" 2>/dev/null || true; done
    sleep 0.3
    for pgid in "${XVNC_GROUPS[@]}"; do kill -KILL -- "-$pgid" 2>/dev/null || true; done
}

# start_virtual_screen <geometry> [frame buffer folder]: an Xvfb screen on a free display, stopped with
# the servers; exports DISPLAY for it. With a folder, the screen's memory is the file Xvfb_screen0 (xwd
# format) there: what a monitor would show, which shot_screen reads.
start_virtual_screen() {
    local screen
    screen=$(free_display 90)
    setsid Xvfb ":$screen" -screen 0 "${1}x24" ${2:+-fbdir "$2"} -nolisten tcp </dev/null >/dev/null 2>&1 &
    XVNC_GROUPS+=($!)
    for _ in $(seq 50); do [[ -e /tmp/.X11-unix/X$screen ]] && break; sleep 0.1; done
    export DISPLAY=:$screen
}

# shot_screen <frame buffer folder> <png>: the screen as shown. Not GetImage of the root window: under a
# window manager (openbox on Xvfb) that answers black where Qt's transient dialogs are, though they
# are drawn on the screen.
shot_screen() {
    convert "xwd:$1/Xvfb_screen0" "$2"
}

# write_computer_list <file> <password> <name:port>...: bilgisayar.ini with CR LF line ends.
write_computer_list() {
    local file=$1 password=$2; shift 2
    local n=1 entry
    : >"$file"
    for entry in "$@"; do
        printf '[RecNo%d]\r\nBILGISAYARADI=%s\r\nIP=127.0.0.1\r\nPORT=%s\r\nPASSWORD=%s\r\n' \
            "$n" "${entry%%:*}" "${entry##*:}" "$password" >>"$file"
        n=$((n + 1))
    done
    chmod 600 "$file"
}

# build_program <build dir>: configures and builds latisvnc (and with it libdova.so).
build_program() {
    local dir=$1
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLATIS_BUILD_TESTS=OFF \
        -DLATIS_BUILD_BENCH=OFF >/dev/null
    cmake --build "$dir" --target latisvnc -j "$(nproc)"
}

# prepare_program_folder <build dir> <folder>: a program folder holding only the program file, so the
# program writes its own fresh libdova.so and yardim.pdf there at start.
prepare_program_folder() {
    local dir=$1 folder=$2
    mkdir -p "$folder"
    rm -f "$folder/libdova.so" "$folder/yardim.pdf"
    cp "$dir/app/latisvnc" "$folder/latisvnc"
}

# begin_program_run: a scratch folder ($work) with the password file "latis" in it ($work/passwd), and a
# trap that ends the program started into $app, every Xvnc and the folder when the script ends.
begin_program_run() {
    work=$(mktemp -d)
    app=
    trap 'end_program_run' EXIT INT TERM
    make_password_file "$work/passwd" latis
}
end_program_run() {
    [[ -n ${app:-} ]] && kill "$app" 2>/dev/null || true
    stop_all_xvnc
    rm -rf "$work"
}
