#!/bin/sh
# Installs what is missing, builds every preset, makes and checks the packages and runs every test;
# prints ctest's summary of each and exits non-zero when any test or check failed.
set -eu
cd "$(dirname "$0")"

./scripts/install-deps.sh

jobs=$(nproc)
presets="linux linux-asan linux-tsan win32 win64 fuzz"
mkdir -p build/logs

# Building is CPU-bound: one preset after the other, each on every core.
for preset in $presets; do
    echo "=== build $preset"
    cmake --preset "$preset" >"build/logs/$preset.configure.log" 2>&1 ||
        { cat "build/logs/$preset.configure.log"; exit 1; }
    cmake --build --preset "$preset" --parallel "$jobs"
done

# The packages of the builds above, installed into a scratch root and checked: seconds.
echo "=== packages"
if ./scripts/make-packages.sh >build/logs/packages.log 2>&1 &&
    tests/packaging/check_packages.sh build/linux build/win32 build/package-check \
        >>build/logs/packages.log 2>&1; then
    echo passed >build/logs/packages.result
else
    echo FAILED >build/logs/packages.result
    echo "packages FAILED: $(tail -n 1 build/logs/packages.log) (build/logs/packages.log)"
fi

run_tests() {
    if ctest --preset "$1" --parallel 4 >"build/logs/$1.test.log" 2>&1; then
        echo passed >"build/logs/$1.result"
    else
        echo FAILED >"build/logs/$1.result"
    fi
}

# Testing is mostly waiting (the fixed delays of the sessions that still run in real time,
# velmora-cli's and the Wine builds', and Wine starting up), so test runs overlap, in rounds. Two
# Wine builds side by side start so many Wine processes at once that a board's reply can come later
# than the protocol waits for, so each Wine build has a round of its own. The sanitizer builds,
# whose slower code would crowd the timed exchanges of the others, come after them, and last the
# fuzzer, which keeps a core busy.
echo "=== test (side by side; logs in build/logs)"
for round in "linux win64" "win32" "linux-asan linux-tsan" "fuzz"; do
    for preset in $round; do
        run_tests "$preset" &
    done
    wait
done

./scripts/stop-wine.sh

failed=""
for preset in $presets; do
    echo "=== test $preset"
    cat "build/logs/$preset.test.log"
done
echo "=== packages"
cat build/logs/packages.log
echo "=== summary"
for name in $presets packages; do
    result=$(cat "build/logs/$name.result")
    echo "  $name: $result"
    [ "$result" = passed ] || failed="$failed $name"
done
if [ -n "$failed" ]; then
    echo "FAILED:$failed"
    exit 1
fi
echo "all tests passed"
