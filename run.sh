#!/bin/sh
# Builds Velmora and starts it under Wine. With $DISPLAY set the window opens there; without one
# it runs on a headless X server and a screenshot of the window is saved to build/velmora.png.
set -eu
cd "$(dirname "$0")"
root=$(pwd)

./scripts/install-deps.sh

build() {
    cmake --preset "$1" >"build/$1.configure.log" 2>&1 || { cat "build/$1.configure.log"; exit 1; }
    # shellcheck disable=SC2086
    cmake --build --preset "$1" --parallel "$(nproc)" --target $2
}

mkdir -p build
build win32 Velmora
program="$root/build/win32/Velmora.exe"
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    # This kernel runs no 32-bit code: show the same sources built for x86-64.
    echo "note: this host cannot run 32-bit programs; starting the x86-64 build of Velmora"
    build win64 "Velmora velmora_driver"
    program="$root/build/win64/Velmora.exe"
    driver="$root/build/win64/tests/velmora_driver.exe"
else
    build win32 velmora_driver
    driver="$root/build/win32/tests/velmora_driver.exe"
fi

prefix="$root/build/run/wineprefix"
wine_run="$root/tests/support/wine-run.sh"

if [ -n "${DISPLAY:-}" ]; then
    exec "$wine_run" "$prefix" "$program"
fi

# Headless: a private X server, a screenshot once the window is up, then a clean close.
display=$("$root/tests/support/xvfb-display.sh" "$prefix")
export DISPLAY="$display"
"$wine_run" "$prefix" "$program" &
velmora=$!
"$wine_run" "$prefix" "$driver" wait-dialog 60000 >/dev/null
sleep 1
geometry=$(xwininfo -name Velmora | awk '
    /Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4}
    /Width:/ {w=$2} /Height:/ {h=$2} END {printf "%dx%d+%d+%d", w, h, x, y}')
/usr/bin/import -window root -crop "$geometry" +repage "$root/build/velmora.png"
"$wine_run" "$prefix" "$driver" close >/dev/null
wait "$velmora" || true
WINEPREFIX="$prefix" /usr/lib/wine/wineserver -k 2>/dev/null || true
read -r xvfb _ <"$prefix.xvfb" && kill "$xvfb" 2>/dev/null && rm -f "$prefix.xvfb"
echo "Velmora ran headless; its window: $root/build/velmora.png"
