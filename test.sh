#!/bin/sh
# Installs what is missing, builds every preset and runs every test; prints ctest's summary of
# each and exits non-zero when any test failed.
set -eu
cd "$(dirname "$0")"

./scripts/install-deps.sh

jobs=$(nproc)
presets="linux linux-asan linux-tsan win32 win64 fuzz"

for preset in $presets; do
    echo "=== build $preset"
    mkdir -p build
    cmake --preset "$preset" >"build/$preset.configure.log" 2>&1 ||
        { cat "build/$preset.configure.log"; exit 1; }
    rm -f "build/$preset.configure.log"
    cmake --build --preset "$preset" --parallel "$jobs"
done

failed=""
summary=""
for preset in $presets; do
    echo "=== test $preset"
    if ctest --preset "$preset" --parallel 4; then
        summary="$summary\n  $preset: passed"
    else
        summary="$summary\n  $preset: FAILED"
        failed="$failed $preset"
    fi
done

./scripts/stop-wine.sh

printf "=== summary%b\n" "$summary"
if [ -n "$failed" ]; then
    echo "FAILED:$failed"
    exit 1
fi
echo "all tests passed"
