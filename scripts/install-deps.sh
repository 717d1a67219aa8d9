#!/bin/sh
# Installs the Debian packages that building, testing and running Velmora need, when any is
# missing. Needs root for that; returns at once when everything is already there.
set -eu

packages="cmake make g++ python3 googletest libbenchmark-dev libcli11-dev clang libclang-rt-14-dev
g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 wine wine64
xvfb x11-utils fonts-wine fonts-liberation imagemagick srecord binutils util-linux
dpkg-dev man-db groff-base libsqlite3-dev libpq-dev postgresql"
# The Windows builds fetch SQLite's amalgamation with npm (cmake/SqliteAmalgamation.cmake); a
# machine whose Node.js came with its own npm needs no Debian package for it.
command -v npm >/dev/null 2>&1 || packages="$packages npm"
# 32-bit Wine runs the win32 build's tests; without it they are skipped with the reason, so a
# failure to install it does not stop the build.
optional="wine32:i386"

missing_of() {
    for package in "$@"; do
        status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
        case "$status" in
            *" installed") ;;
            *) printf ' %s' "$package" ;;
        esac
    done
}

# shellcheck disable=SC2086
missing=$(missing_of $packages)
# shellcheck disable=SC2086
missing_optional=$(missing_of $optional)
[ -z "$missing$missing_optional" ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps.sh: missing packages:$missing$missing_optional" >&2
    echo "install-deps.sh: run as root to install them" >&2
    exit 1
fi

echo "Installing:$missing$missing_optional"
case "$missing_optional" in
    *:i386*)
        dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
        ;;
esac
export DEBIAN_FRONTEND=noninteractive
# An index that fails to download (a mirror in the middle of a sync) is tried once more; after
# that the indexes that did download serve, and only a package that then cannot be installed
# stops the build.
if ! apt-get update -q; then
    sleep 10
    apt-get update -q || echo "install-deps.sh: some package indexes failed to download;" \
        "going on with those that did" >&2
fi
if [ -n "$missing" ]; then
    # shellcheck disable=SC2086
    apt-get install -y -q --no-install-recommends $missing || true
    # shellcheck disable=SC2086
    still=$(missing_of $missing)
    if [ -n "$still" ]; then
        echo "install-deps.sh: cannot install:$still (see apt-get's messages above)" >&2
        exit 1
    fi
fi
if [ -n "$missing_optional" ]; then
    # shellcheck disable=SC2086
    apt-get install -y -q --no-install-recommends $missing_optional ||
        echo "install-deps.sh: cannot install$missing_optional: the tests that need it will" \
            "be skipped" >&2
fi
