#!/usr/bin/env bash
# Installs what building, running and testing need on Debian 12 (as root).
set -euo pipefail
packages=(
    build-essential cmake ninja-build clang libclang-rt-14-dev
    qt6-base-dev qt6-base-dev-tools libgl-dev libxcb1-dev libxcb-randr0-dev qt6-translations-l10n
    libgtest-dev libbenchmark-dev
    tigervnc-standalone-server tigervnc-tools x11vnc xvfb x11-apps x11-xserver-utils xterm x11-utils xdotool xclip openbox
    imagemagick fonts-dejavu-core poppler-utils
    dpkg-dev iproute2 zlib1g-dev libturbojpeg0-dev libisal-dev wayvnc sway swaybg grim qt6-wayland
    libgnutls28-dev gnutls-bin # TLS; certtool makes the tests' certificates
    tightvncserver xfonts-base python3 # Xtightvnc needs the X "fixed" font; python3 moves its pointer
    qemu-system-x86 # QEMU's RFB server, showing a diskless machine
    pkg-config libvncserver-dev tigervnc-viewer # peers the benchmarks measure against
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
# sway refuses to run as root: the wayvnc tests run it and wayvnc as this unprivileged user.
id latis-wayland >/dev/null 2>&1 || useradd --system --no-create-home --shell /usr/sbin/nologin latis-wayland
