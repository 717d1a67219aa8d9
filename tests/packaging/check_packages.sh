#!/bin/sh
# Checks the packages that scripts/make-packages.sh made: the Debian package installs a velmora-cli
# that runs, with a manual page that renders without warnings, and the zip holds the two programs
# and a text that Notepad shows.
# Usage: check_packages.sh LINUX-BUILD WIN32-BUILD SCRATCH-DIRECTORY
set -eu
linux_build=$1
win32_build=$2
scratch=$3

fail() {
    echo "check_packages: FAILED: $*"
    exit 1
}

set -- "$linux_build"/velmora-cli_*.deb
if [ $# -ne 1 ] || [ ! -f "$1" ]; then
    fail "not one Debian package in $linux_build: $*"
fi
deb=$1
echo "=== dpkg -c $deb"
dpkg -c "$deb"
echo "=== dpkg -I $deb"
dpkg -I "$deb"

# The files, and nothing else: no test programs, benchmarks or fuzz targets.
files=$(dpkg -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort | xargs)
expected="./usr/bin/velmora-board-sim ./usr/bin/velmora-cli"
expected="$expected ./usr/share/bash-completion/completions/velmora-cli"
expected="$expected ./usr/share/man/man1/velmora-cli.1.gz"
[ "$files" = "$expected" ] || fail "the package holds '$files', expected '$expected'"
depends=$(dpkg-deb -f "$deb" Depends)
case "$depends" in
    *libc6*) ;;
    *) fail "Depends is '$depends': dpkg-shlibdeps did not fill it" ;;
esac
recommends=$(dpkg-deb -f "$deb" Recommends)
[ "$recommends" = "bash-completion" ] ||
    fail "Recommends is '$recommends': without bash-completion the completion is never loaded"

rm -rf "$scratch"
mkdir -p "$scratch"
dpkg -x "$deb" "$scratch/root"
cli=$scratch/root/usr/bin/velmora-cli
version=$("$cli" --version) || fail "the installed velmora-cli --version failed"
echo "=== installed: $version"
[ "$version" = "velmora-cli $(dpkg-deb -f "$deb" Version)" ] ||
    fail "'$version' is not the package's version $(dpkg-deb -f "$deb" Version)"
"$scratch/root/usr/bin/velmora-board-sim" --help >/dev/null ||
    fail "the installed velmora-board-sim --help failed"

page=$scratch/root/usr/share/man/man1/velmora-cli.1.gz
warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null) ||
    fail "man -l $page failed: $warnings"
[ -z "$warnings" ] || fail "the manual page has warnings: $warnings"
lexgrog "$page" >/dev/null || fail "the manual page's NAME section is not one whatis can read"
# Every option that --help lists heads a paragraph of OPTIONS ("-p, --port PORT").
MANWIDTH=80 man -l "$page" | sed -n '/^OPTIONS/,/^[A-Z]/p' >"$scratch/options.txt"
for command in write info ports; do
    for option in $("$cli" $command --help | sed -n 's/^  \(-[^ ]*\).*/\1/p' | tr ',' ' '); do
        grep -qE -e "^ +(-[a-z], )?$option( |,|\$)" "$scratch/options.txt" ||
            fail "the manual page's OPTIONS do not describe $option of velmora-cli $command"
    done
done

set -- "$win32_build"/Velmora-*-win32.zip
if [ $# -ne 1 ] || [ ! -f "$1" ]; then
    fail "not one zip in $win32_build: $*"
fi
echo "=== python3 -m zipfile -l $1"
python3 -m zipfile -l "$1"
python3 - "$1" <<'PYTHON' || fail "the zip's contents are wrong (see above)"
import sys
import zipfile

with zipfile.ZipFile(sys.argv[1]) as archive:
    names = sorted(name.split("/", 1)[1] for name in archive.namelist())
    if names != ["README.txt", "Velmora.exe", "velmora-cli.exe"]:
        sys.exit(f"the zip holds {names}")
    text = archive.read(next(n for n in archive.namelist() if n.endswith("README.txt")))
if not text.isascii() or text.replace(b"\r\n", b"").count(b"\n") or not text.endswith(b"\r\n"):
    sys.exit("README.txt is not ASCII text with CR LF line ends")
PYTHON
echo "check_packages: passed"
