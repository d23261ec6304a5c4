#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan) and runs each of them.
#   scripts/fuzz.sh --smoke        every target for a few seconds (CI)
#   scripts/fuzz.sh --seconds 600  a longer campaign, every target
#   scripts/fuzz.sh --seconds 3600 fuzz_codec   one target
#   scripts/fuzz.sh --runs 10000000 fuzz_wav     a campaign of a fixed number of
#                                                executions (no time limit)
#   --no-build   runs what is built (for several campaigns side by side)
set -euo pipefail
cd "$(dirname "$0")/.."
# Share compiled objects between checkouts in different folders.
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1

seconds=600
runs=-1
build=1
targets=()
while [ $# -gt 0 ]; do
    case "$1" in
        --smoke) seconds=10 ;;
        --no-build) build=0 ;;
        --seconds) seconds="$2"; shift ;;
        --runs) runs="$2"; seconds=0; shift ;;
        *) targets+=("$1") ;;
    esac
    shift
done

dir=build/fuzz
if [ $build -eq 1 ]; then
    scripts/install-deps.sh
    # The libraries under test get coverage and sanitizer instrumentation too: without
    # it the fuzzer is blind inside them and ASan misses their overflows. Undefined
    # behaviour stops the run like a crash. The description window's web view
    # (Chromium) does not run under the sanitizers and is not ours to fuzz.
    sanitize="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
    CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_C_FLAGS="$sanitize" -DCMAKE_CXX_FLAGS="$sanitize" \
        -DZENDAL_BUILD_FUZZERS=ON -DZENDAL_BUILD_TESTS=OFF -DZENDAL_BUILD_BENCH=OFF \
        -DZENDAL_WITH_WEBENGINE=OFF >/dev/null
    cmake --build "$dir" --target fuzzers -j "${FUZZ_JOBS:-2}"
fi
if [ ${#targets[@]} -eq 0 ]; then
    mapfile -t targets < <(find "$dir/fuzz" -maxdepth 1 -type f -executable -name 'fuzz_*' -printf '%f\n' | sort)
fi

export QT_QPA_PLATFORM=offscreen
# A smaller quarantine than ASan's 256 MB: the Qt code allocates a lot, and
# cycling that much freed memory costs most of the speed. Memory then stays
# flat at a level that shows a leak of a few bytes per run within minutes.
export ASAN_OPTIONS="${ASAN_OPTIONS:-quarantine_size_mb=32}"
failed=0
for t in "${targets[@]}"; do
    corpus="fuzz/corpus/${t#fuzz_}"
    work="build/fuzz/corpus-work/${t#fuzz_}"
    mkdir -p "$work"
    log="$dir/$t.log"
    # Longest input: what one read or one file of the target can reasonably be.
    case "$t" in
        fuzz_incoming | fuzz_pollpedal) max_len=70000 ;;  # a read of up to 65,536 bytes, a whole dump
        # A reply, a descriptor, a preset file, a WAV file with an impulse
        # response of up to 370 samples in any format and chunks around it.
        *) max_len=4096 ;;
    esac
    started=$(date +%s)
    if "$dir/fuzz/$t" -max_total_time="$seconds" -runs="$runs" -timeout=5 -rss_limit_mb=2048 -max_len="$max_len" \
        -print_final_stats=1 "$work" "$corpus" >"$log" 2>&1; then
        executed=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
        rate=$(grep -o 'stat::average_exec_per_sec: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
        rss=$(grep -o 'stat::peak_rss_mb: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
        echo "$t: $executed executions in $(($(date +%s) - started))s ($rate/s, peak ${rss} MB), no findings"
    else
        echo "$t: FINDING (see $log)"; tail -30 "$log"; failed=1
    fi
done
[ $failed -eq 0 ] && echo "$(echo ${#targets[@]}) passed, 0 failed"
exit $failed
