#!/usr/bin/env bash
# Builds the Debian packages latisvnc, libdova and libdova-dev into build/deb/ (a Release build
# configured for /usr). Usage: scripts/build-deb.sh [--no-deps]
set -euo pipefail
cd "$(dirname "$0")/.."
[[ ${1-} == --no-deps ]] || bash scripts/install-deps.sh
dir=build/deb
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DLATIS_BUILD_TESTS=OFF -DLATIS_BUILD_BENCH=OFF >/dev/null
cmake --build "$dir" -j "$(nproc)"
rm -f "$dir"/*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
ls "$dir"/*.deb
