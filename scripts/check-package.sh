#!/usr/bin/env bash
# Checks the Debian packages as a user meets them, without changing the machine: builds them
# (scripts/build-deb.sh), lays their files over /usr in a private mount namespace (read-only, as an
# installed system is for a user), then
#   - starts /usr/bin/latisvnc as an ordinary user with a fresh HOME under Xvfb: it keeps its files in
#     ~/.local/share/latisvnc (0700), reads the bilgisayar.ini placed there, connects its tiles to two
#     local Xvnc servers, and the records editor saves there (0600);
#   - builds packaging/host/DovaHost.cpp only from the installed header and pkg-config and connects it.
# Screenshots go to build/package-check/. Usage: scripts/check-package.sh [--no-build]  (as root)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/xvnc-servers.sh
[[ ${1-} == --no-build ]] || bash scripts/build-deb.sh
out=$PWD/build/package-check
mkdir -p "$out"
user=nobody
work=$(mktemp -d /tmp/latis-package.XXXXXX)
chmod 755 "$work"
app=
cleanup() {
    [[ -n $app ]] && kill "$app" 2>/dev/null || true
    stop_all_xvnc
    rm -rf "$work"
}
trap cleanup EXIT INT TERM
fail() { echo "FAILED: $*" >&2; exit 1; }

debs=(build/deb/latisvnc_*.deb build/deb/libdova_*.deb build/deb/libdova-dev_*.deb)
for deb in "${debs[@]}"; do [[ -f $deb ]] || fail "missing package $deb"; done
echo "== packages"
for deb in "${debs[@]}"; do dpkg-deb -f "$deb" Package Version Depends | sed 's/^/   /'; done
apt-get install -s -qq --no-install-recommends "./${debs[0]}" "./${debs[1]}" "./${debs[2]}" >/dev/null ||
    fail "the packages' dependencies cannot be installed"

root=$work/root
for deb in "${debs[@]}"; do dpkg -x "$deb" "$root"; done
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
for f in usr/bin/latisvnc usr/share/applications/latisvnc.desktop usr/share/icons/hicolor/scalable/apps/latisvnc.svg \
    usr/share/icons/hicolor/48x48/apps/latisvnc.png "usr/lib/$multiarch/libdova.so" usr/include/dova/IVNCViewer.h \
    "usr/lib/$multiarch/pkgconfig/dova.pc"; do
    [[ -e $root/$f ]] || fail "$f is not in the packages"
done
# Unpacked under another root, dova.pc must lead to the files beside it, not to /usr.
unpacked_pc() { PKG_CONFIG_PATH="$root/usr/lib/$multiarch/pkgconfig" pkg-config "$@" dova; }
pc_library=$(unpacked_pc --variable=library) || fail "pkg-config cannot read the unpacked dova.pc"
pc_include=$(unpacked_pc --variable=includedir) || fail "pkg-config cannot read the unpacked dova.pc"
[[ $(realpath -e "$pc_library") == "$(realpath "$root/usr/lib/$multiarch/libdova.so")" &&
    -f $pc_include/dova/IVNCViewer.h && $(realpath "$pc_include") == "$(realpath "$root")"/* ]] ||
    fail "dova.pc does not follow the unpacked root: $pc_library, $pc_include"

make_password_file "$work/passwd" latis
ports=()
display=40
for geometry in 1024x768 1280x800; do
    display=$(free_display "$display")
    port=$(free_port)
    start_xvnc "$display" "$port" "$geometry" "$work/passwd" clock
    ports+=("$port")
    display=$((display + 1))
done
start_virtual_screen 1280x800
# A window manager, for the close box that ends the records editor (Alt+F4).
setsid openbox </dev/null >/dev/null 2>&1 &
XVNC_GROUPS+=($!)

home=$work/home
mkdir -m 700 "$home" && chown "$user:" "$home"
data=$home/.local/share/latisvnc
# Runs a command in the namespace where the packages are installed, as the user with the fresh HOME.
as_user() {
    unshare --mount --propagation private -- bash -c '
        mount -t overlay overlay -o "lowerdir=$1/usr:/usr" /usr || exit 99
        shift
        exec setpriv --reuid="$USERNAME" --regid="$(id -g "$USERNAME")" --init-groups \
            env -i HOME="$HOME_DIR" DISPLAY="$DISPLAY" PATH=/usr/bin:/bin LANG=C.UTF-8 "$@"
    ' _ "$root" "$@"
}
export USERNAME=$user HOME_DIR=$home
shot() { xwd -root -silent | /usr/bin/convert xwd:- "$out/$1"; echo "   screenshot $out/$1"; }
# The focused window alone (a dialog under the window manager is black in a capture of the root).
shot_window() { xwd -id "$(xdotool getactivewindow)" -silent | /usr/bin/convert xwd:- "$out/$1"; echo "   screenshot $out/$1"; }
# Opens the "Dosya" menu of the main window and picks an entry by keyboard.
menu_item() { # <downs: 1 = first item, 0 = last item>
    local window
    window=$(xdotool search --onlyvisible --name '^TARNOVEX LatisVNC s1\.02\.01f$' | head -1)
    [[ -n $window ]] || fail "the main window is not on screen"
    xdotool mousemove --window "$window" 20 10 click 1
    sleep 0.5
    if (($1 == 0)); then xdotool key Up; else for _ in $(seq "$1"); do xdotool key Down; done; fi
    xdotool key Return
}
established() { ss -tnH state established "( dport = :$1 )" | wc -l; }

echo "== first start with a fresh HOME"
as_user /usr/bin/latisvnc >"$work/app1.log" 2>&1 &
app=$!
sleep 5
shot 1-first-start.png
menu_item 0 # Çıkış
wait "$app" || fail "latisvnc ended with an error: $(cat "$work/app1.log")"
app=
[[ $(stat -c %a "$data") == 700 ]] || fail "$data is not 0700"
for f in libdova.so yardim.pdf latisvnc.INI; do [[ -f $data/$f ]] || fail "$data/$f was not written"; done
[[ ! -e $data/bilgisayar.ini ]] || fail "a computer list appeared without the editor"
ls -la "$data" | sed 's/^/   /'

echo "== a computer list in the data folder, and a component left by an older package"
original=$(sha256sum <"$data/libdova.so")
printf 'older' >>"$data/libdova.so" # still loads: an ELF file ignores bytes past its end
# Sections named otherwise than the program writes them, so the editor's save shows.
printf '[Sunucu]\r\nBILGISAYARADI=Sunucu\r\nIP=127.0.0.1\r\nPORT=%s\r\nPASSWORD=latis\r\n[Muhasebe]\r\nBILGISAYARADI=Muhasebe\r\nIP=127.0.0.1\r\nPORT=%s\r\nPASSWORD=latis\r\n' \
    "${ports[0]}" "${ports[1]}" >"$data/bilgisayar.ini"
chown "$user:" "$data/bilgisayar.ini" && chmod 600 "$data/bilgisayar.ini"
as_user /usr/bin/latisvnc >"$work/app2.log" 2>&1 &
app=$!
sleep 8
shot 2-tiles.png
for port in "${ports[@]}"; do
    (($(established "$port") >= 1)) || fail "no tile connected to the server on port $port"
done
[[ $(sha256sum <"$data/libdova.so") == "$original" ]] || fail "the older libdova.so in $data was not replaced"
menu_item 1 # Bilgisayar Kayıtları
sleep 5
shot_window 3-editor.png
xdotool key alt+F4
sleep 3
grep -q '^\[RecNo1\]' "$data/bilgisayar.ini" || fail "the records editor did not save into $data"
[[ $(stat -c %a "$data/bilgisayar.ini") == 600 ]] || fail "bilgisayar.ini is not 0600"
head -3 "$data/bilgisayar.ini" | sed 's/^/   /'
menu_item 0
wait "$app" || fail "latisvnc ended with an error: $(cat "$work/app2.log")"
app=

echo "== a host built from the installed header and pkg-config"
mkdir "$work/host" && cp packaging/host/DovaHost.cpp "$work/host/" && chown -R "$user:" "$work/host"
as_user bash -c 'cd "$1" && g++ -std=c++17 -O1 DovaHost.cpp $(pkg-config --cflags --libs dova) -o dova-host &&
    QT_QPA_PLATFORM=offscreen ./dova-host "127.0.0.1:P$2" latis' _ "$work/host" "${ports[0]}" ||
    fail "the host did not build or connect"
echo "package check passed"
