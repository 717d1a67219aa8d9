#!/bin/sh
# Installs the Debian packages that building, testing and running Velmora need, when any is
# missing. Needs root for that; returns at once when everything is already there.
set -eu

packages="cmake make g++ python3 googletest libbenchmark-dev libcli11-dev clang libclang-rt-14-dev
g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 wine wine64 wine32:i386
xvfb x11-utils fonts-wine fonts-liberation imagemagick srecord binutils util-linux
dpkg-dev man-db groff-base"

missing=""
for package in $packages; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    case "$status" in
        *" installed") ;;
        *) missing="$missing $package" ;;
    esac
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps.sh: missing packages:$missing" >&2
    echo "install-deps.sh: run as root to install them" >&2
    exit 1
fi

echo "Installing:$missing"
case "$missing" in
    *:i386*)
        dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
        ;;
esac
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
# shellcheck disable=SC2086
apt-get install -y -q --no-install-recommends $missing
