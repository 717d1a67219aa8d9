#!/bin/sh
# Builds Velmora and starts it under Wine, with a simulated H8SX/1520R board on COM11 unless a
# port is named: ./run.sh [COMn]
#
# With $DISPLAY set the window opens there: press "...", choose velmora-demo.mot, then Write.
# Without a display the same job runs by itself on a headless X server, and a screenshot of the
# finished run is saved to build/velmora.png.
set -eu
cd "$(dirname "$0")"
root=$(pwd)
port=${1:-}

./scripts/install-deps.sh
mkdir -p build

build() {
    cmake --preset "$1" >"build/$1.configure.log" 2>&1 || { cat "build/$1.configure.log"; exit 1; }
    # shellcheck disable=SC2086
    cmake --build --preset "$1" --parallel "$(nproc)" --target $2 >"build/$1.build.log" 2>&1 ||
        { cat "build/$1.build.log"; exit 1; }
}

echo "Building Velmora ..."
build win32 "Velmora velmora_driver"
program="$root/build/win32/Velmora.exe"
driver="$root/build/win32/tests/velmora_driver.exe"
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    # This kernel runs no 32-bit code: show the same sources built for x86-64.
    echo "note: this host cannot run 32-bit programs; starting the x86-64 build of Velmora"
    build win64 "Velmora velmora_driver"
    program="$root/build/win64/Velmora.exe"
    driver="$root/build/win64/tests/velmora_driver.exe"
fi

prefix="$root/build/run/wineprefix"
wine_run="$root/tests/support/wine-run.sh"
sample="$root/samples/velmora-demo.mot"
board=""

# Wine goes first: it holds the board's terminal, and losing it makes Wine's server dump its state.
stop_all() {
    WINEPREFIX="$prefix" /usr/lib/wine/wineserver -k 2>/dev/null || true
    [ -n "$board" ] && kill "$board" 2>/dev/null
    if [ -s "$prefix.xvfb" ]; then
        read -r xvfb _ <"$prefix.xvfb"
        kill "$xvfb" 2>/dev/null
        rm -f "$prefix.xvfb"
    fi
}
trap stop_all EXIT INT TERM

if [ -z "$port" ]; then
    build linux velmora-board-sim
    port=COM11
    mkdir -p "$prefix.ports"
    "$root/build/linux/tools/board-sim/velmora-board-sim" --link "$prefix.ports/com11" \
        --log "$root/build/run/board.log" --dump "$root/build/run/board.flash" \
        >"$root/build/run/board.out" 2>&1 &
    board=$!
    echo "Simulated board on $port (event log build/run/board.log, flash build/run/board.flash)"
fi

headless=""
if [ -z "${DISPLAY:-}" ]; then
    headless=1
    DISPLAY=$("$root/tests/support/xvfb-display.sh" "$prefix")
    export DISPLAY
fi

# Wine's own messages go to build/run/wine.log.
wine_log="$root/build/run/wine.log"
mkdir -p build/run
driver() {
    "$wine_run" "$prefix" "$driver" "$@" >/dev/null 2>>"$wine_log" ||
        { echo "run.sh: driver $* failed" >&2; exit 1; }
}

# The open-file dialog starts in Velmora's current folder: the one with the sample.
(cd "$root/samples" && exec "$wine_run" "$prefix" "$program" 2>>"$wine_log") &
velmora=$!
driver wait-dialog 60000
driver select-port "$port"

if [ -z "$headless" ]; then
    echo "Velmora is open on $port: press \"...\", choose velmora-demo.mot, then Write."
    wait "$velmora" || true
    exit 0
fi

echo "No display: loading $sample and writing it to $port ..."
driver click 1021
driver open-file "Z:$(echo "$sample" | tr / '\\')"
driver wait-status "Parsing completed. update is possible now." 30000
driver click 1022
driver wait-status "Completed." 300000
sleep 1
geometry=$(xwininfo -name Velmora | awk '
    /Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4}
    /Width:/ {w=$2} /Height:/ {h=$2} END {printf "%dx%d+%d+%d", w, h, x, y}')
/usr/bin/import -window root -crop "$geometry" +repage "$root/build/velmora.png"
driver close
wait "$velmora" || true
echo "Done. The finished run: $root/build/velmora.png"
