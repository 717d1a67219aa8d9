#!/bin/sh
# Prints the display of a headless X server kept for the given Wine prefix, starting it if needed.
# Usage: xvfb-display.sh PREFIX
set -eu

prefix=$(realpath -m "$1")
state="$prefix.xvfb"
mkdir -p "$(dirname "$prefix")"
exec 8>"$state.lock"
flock 8

if [ -s "$state" ]; then
    read -r pid display <"$state"
    if kill -0 "$pid" 2>/dev/null; then
        echo "$display"
        exit 0
    fi
fi

command -v Xvfb >/dev/null || { echo "xvfb-display.sh: Xvfb is not installed" >&2; exit 2; }
numberfile=$(mktemp)
Xvfb -displayfd 7 -screen 0 1280x1024x24 -nolisten tcp 7>"$numberfile" >/dev/null 2>&1 8>&- &
pid=$!
tries=0
while [ ! -s "$numberfile" ]; do
    tries=$((tries + 1))
    if [ $tries -gt 100 ] || ! kill -0 "$pid" 2>/dev/null; then
        echo "xvfb-display.sh: Xvfb did not start" >&2
        exit 2
    fi
    sleep 0.1
done
display=":$(tr -d '\n' <"$numberfile")"
rm -f "$numberfile"
echo "$pid $display" >"$state"
echo "$display"
