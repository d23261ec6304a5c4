#!/usr/bin/env bash
# Builds everything and runs the whole test suite (no display needed: widgets
# run on Qt's offscreen platform).
#   scripts/test.sh             debug build in build/debug
#   scripts/test.sh --sanitize  AddressSanitizer + UndefinedBehaviorSanitizer in build/asan
set -euo pipefail
cd "$(dirname "$0")/.."
# Share compiled objects between checkouts in different folders.
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
scripts/install-deps.sh

dir=build/debug
# The suite needs no benchmarks: bench/run-all.sh builds them in a Release tree of its own.
flags=(-DCMAKE_BUILD_TYPE=Debug -DZENDAL_BUILD_BENCH=OFF)
if [ "${1:-}" = "--sanitize" ]; then
    dir=build/asan
    # The web view's Chromium brings its own allocator and processes, which do not
    # run under the sanitizers; this build tests the text view of the
    # description window instead (the debug build tests the web view, where
    # Qt WebEngine is installed).
    flags=(-DCMAKE_BUILD_TYPE=Debug -DZENDAL_SANITIZE=ON -DZENDAL_BUILD_BENCH=OFF
        -DZENDAL_WITH_WEBENGINE=OFF)
    export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
    export LSAN_OPTIONS="suppressions=$PWD/.ci/lsan.supp"
fi
cmake -S . -B "$dir" -G Ninja "${flags[@]}" >/dev/null
cmake --build "$dir"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$dir" --output-on-failure -j2 --timeout 300
