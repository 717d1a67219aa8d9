#!/bin/sh
# Runs a Windows test program under Wine in a private prefix, on Xvfb when no display is set.
# Usage: wine-run.sh PREFIX PROGRAM.exe [ARGUMENTS...]
#        wine-run.sh --can-run i686|x86_64   (exit 0 when this host runs such programs)
# Exits 77 (ctest: skipped) when this host cannot run the program's architecture.
set -eu

skip() {
    echo "skipped: $*" >&2
    exit 77
}

# The loader for a PE machine field, or a skip when this host cannot run it.
choose_loader() {
    case "$1" in
        014c)
            loader=/usr/lib/wine/wine
            arch=win32
            "$loader" --version >/dev/null 2>&1 ||
                skip "this host cannot run 32-bit code (no IA-32 emulation); the win64 preset runs these tests"
            ;;
        8664)
            loader=/usr/lib/wine/wine64
            arch=win64
            ;;
        *) echo "wine-run.sh: not a PE program for x86 ($1)" >&2; exit 2 ;;
    esac
    [ -x "$loader" ] || skip "Wine is not installed ($loader)"
}

if [ "$1" = --can-run ]; then
    case "$2" in
        i686) choose_loader 014c ;;
        *) choose_loader 8664 ;;
    esac
    exit 0
fi

prefix=$(realpath -m "$1")
shift
program=$1

# The PE machine field tells a 32-bit from a 64-bit program; Wine's own programs (regedit,
# reg ...) run with the prefix's architecture.
if [ -f "$program" ]; then
    pe_offset=$(od -An -t u4 -j 60 -N 4 "$program" | tr -d ' ')
    machine=$(od -An -t x2 -j $((pe_offset + 4)) -N 2 "$program" | tr -d ' ')
else
    case "$(cat "$prefix/.velmora-ready" 2>/dev/null)" in
        win32) machine=014c ;;
        *) machine=8664 ;;
    esac
fi
choose_loader "$machine"

export WINEPREFIX="$prefix" WINEARCH="$arch" WINEDEBUG="${WINEDEBUG:--all}" WINELOADER="$loader"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

"$(dirname "$0")/wine-prefix.sh" "$prefix" "$loader"

if [ -z "${DISPLAY:-}" ]; then
    DISPLAY=$("$(dirname "$0")/xvfb-display.sh" "$prefix")
    export DISPLAY
fi

# Debian's wineserver wrapper starts the server with -p0: it shuts the prefix down as soon as its
# last program ends (its system processes told to go, the server gone some 2.5 s later), and a test
# that starts meanwhile can lose its server ("recvmsg: Connection reset by peer") or start without
# its system processes. So the prefix keeps one persistent server, until scripts/stop-wine.sh or a
# harness's restart stops it. Its system processes start here on /dev/null: they outlive the test
# that would start them, and would hold that test's output open.
server=/usr/lib/wine/wineserver64
[ -x "$server" ] || server=/usr/lib/wine/wineserver32
exec 7>"$prefix.server.lock"
flock 7
if "$server" -p </dev/null >/dev/null 2>&1 7>&-; then
    "$loader" wineboot </dev/null >/dev/null 2>&1 7>&- || true
fi
exec 7>&-

exec "$loader" "$@"
