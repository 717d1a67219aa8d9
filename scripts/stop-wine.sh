#!/bin/sh
# Stops the Wine servers and headless X servers that tests and run.sh started under build/.
set -u
cd "$(dirname "$0")/.."

for state in build/*/wineprefix*.xvfb build/*/*/wineprefix*.xvfb; do
    [ -s "$state" ] || continue
    read -r pid _ <"$state"
    kill "$pid" 2>/dev/null
    rm -f "$state"
done
for prefix in build/*/wineprefix* build/*/*/wineprefix*; do
    [ -d "$prefix/dosdevices" ] || continue
    WINEPREFIX=$(realpath "$prefix") /usr/lib/wine/wineserver -k 2>/dev/null
done
exit 0
