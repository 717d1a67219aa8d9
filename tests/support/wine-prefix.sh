#!/bin/sh
# Creates a Wine prefix for Velmora once: quiet crash handling, the window's fonts, and COM11 to
# COM30 mapped to PREFIX.ports/com11 ... com30, where tests and run.sh link the slave side of a
# pseudo-terminal (the link is followed at each open, so no Wine restart is needed).
# Safe to call from parallel tests.
# Usage: wine-prefix.sh PREFIX LOADER   (WINEARCH etc. come from the caller's environment)
set -eu

prefix=$(realpath -m "$1")
loader=$2
ready="$prefix/.velmora-ready"
[ -e "$ready" ] && exit 0

mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
[ -e "$ready" ] && exit 0

export WINEPREFIX="$prefix" WINEARCH="${WINEARCH:-win64}" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Wine's first start opens a progress window; keep it off any real display.
DISPLAY= "$loader" wineboot -i >/dev/null 2>&1 || true
/usr/lib/wine/wineserver -w

# Wine's own Tahoma (the dialog's font) and Marlett (the title-bar buttons) are found only in the
# prefix's font folder.
for font in tahoma.ttf tahomabd.ttf marlett.ttf; do
    if [ -f "/usr/share/wine/fonts/$font" ]; then
        cp "/usr/share/wine/fonts/$font" "$prefix/drive_c/windows/Fonts/"
    fi
done

settings="$prefix/drive_c/velmora-settings.reg"
{
    printf 'REGEDIT4\n\n'
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]\n"ShowCrashDialog"=dword:00000000\n\n'
    # Without a window manager (Xvfb) Wine draws the title bars itself, with the Marlett glyphs.
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\n"Managed"="N"\n"Decorated"="Y"\n\n'
    # The log pane asks for "Courier New": a metric-compatible monospace font keeps its columns.
    printf '[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes]\n'
    printf '"Courier New"="Liberation Mono"\n\n'
    printf '[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n'
    for n in $(seq 11 30); do
        printf '"COM%d"="%s"\n' "$n" "$prefix.ports/com$n"
    done
} >"$settings"
DISPLAY= "$loader" regedit /S 'C:\velmora-settings.reg'
mkdir -p "$prefix.ports"
# The port mapping is read when Wine starts.
/usr/lib/wine/wineserver -k || true
/usr/lib/wine/wineserver -w

echo "$WINEARCH" >"$ready"
