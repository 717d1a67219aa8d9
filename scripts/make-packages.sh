#!/bin/sh
# Builds the packages: the Debian package of velmora-cli from the linux preset and the zip of
# Velmora.exe and velmora-cli.exe from the win32 preset. cpack names the files it writes.
set -eu
cd "$(dirname "$0")/.."

for preset in linux win32; do
    # An existing build directory reconfigures itself when it needs to.
    [ -f "build/$preset/CMakeCache.txt" ] || cmake --preset "$preset"
    cmake --build --preset "$preset" --parallel "$(nproc)" --target velmora-package-files
    # Only this version's package stays, for the checks and for whoever installs it.
    rm -f "build/$preset"/*.deb "build/$preset"/*.zip
    (cd "build/$preset" && cpack)
done
