#!/usr/bin/env bash
# Side-by-side decode benchmark (not a test): our engine (dova-snap) and libvncclient (vncclient_peer,
# Debian libvncserver-dev, only measured against) each take the same whole-screen 1920x1080 Hextile
# updates from busy_server over loopback, one after the other. Prints the process CPU per update of
# each and our share of the peer's (the best of a few alternating runs, as the machine may be shared).
# Target: ours <= 0.5x.
# Usage: bench/peer_decode.sh [bpp=16] [updates=300] [build folder=build/bench] [runs=3]
set -euo pipefail
cd "$(dirname "$0")/.."
bpp=${1:-16}
updates=${2:-300}
build=${3:-build/bench}
runs=${4:-3}

if [[ ! -f $build/build.ninja ]]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLATIS_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target busy_server dova-snap vncclient_peer -j 2 >/dev/null

work=$(mktemp -d)
"$build/bench/busy_server" --seconds 600 >"$work/server.out" 2>"$work/server.err" &
server=$!
cleanup() {
    kill "$server" 2>/dev/null || true
    wait "$server" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT INT TERM
for _ in $(seq 50); do [[ -s $work/server.out ]] && break; sleep 0.1; done
port=$(awk '/^port/ {print $2}' "$work/server.out")

# CPU seconds (user + system) of one command, its output discarded.
cpu_of() {
    local TIMEFORMAT='%U %S'
    { time "$@" >/dev/null 2>"$work/run.err"; } 2>&1 | awk '{printf "%.3f", $1 + $2}'
}
# Each client once untimed so the server has encoded the frames before the timed runs.
"$build/dova/tools/dova-snap" "127.0.0.1:P$port" --bpp "$bpp" --encodings 5 --updates 2 >/dev/null
ours=
peer=
for ((run = 0; run < runs; run++)); do
    o=$(cpu_of "$build/dova/tools/dova-snap" "127.0.0.1:P$port" --bpp "$bpp" --encodings 5 --updates "$updates")
    p=$(cpu_of "$build/bench/vncclient_peer" "$port" "$bpp" "$updates")
    ours=$(awk -v a="${ours:-$o}" -v b="$o" 'BEGIN {print (b < a ? b : a)}')
    peer=$(awk -v a="${peer:-$p}" -v b="$p" 'BEGIN {print (b < a ? b : a)}')
done
grep -h 'frames of' "$work/server.err" || true
awk -v o="$ours" -v p="$peer" -v n="$updates" -v b="$bpp" 'BEGIN {
    printf "%d updates at %d bpp (best of runs): dova-snap %.2f ms CPU per update, libvncclient %.2f ms; ours = %.2fx the peer\n",
           n, b, o * 1000 / n, p * 1000 / n, o / p }'
