#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan) and runs each of them.
#   scripts/fuzz.sh --smoke        every target for a few seconds (CI)
#   scripts/fuzz.sh --seconds 600  a longer campaign, every target
#   scripts/fuzz.sh --seconds 3600 fuzz_codec   one target
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

seconds=600
targets=()
while [ $# -gt 0 ]; do
    case "$1" in
        --smoke) seconds=10 ;;
        --seconds) seconds="$2"; shift ;;
        *) targets+=("$1") ;;
    esac
    shift
done

dir=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DZENDAL_BUILD_FUZZERS=ON -DZENDAL_BUILD_TESTS=OFF -DZENDAL_BUILD_BENCH=OFF >/dev/null
cmake --build "$dir" --target fuzzers
if [ ${#targets[@]} -eq 0 ]; then
    mapfile -t targets < <(find "$dir/fuzz" -maxdepth 1 -type f -executable -name 'fuzz_*' -printf '%f\n' | sort)
fi

export QT_QPA_PLATFORM=offscreen
failed=0
for t in "${targets[@]}"; do
    corpus="fuzz/corpus/${t#fuzz_}"
    work="build/fuzz/corpus-work/${t#fuzz_}"
    mkdir -p "$work"
    log="$dir/$t.log"
    if "$dir/fuzz/$t" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 \
        -print_final_stats=1 "$work" "$corpus" >"$log" 2>&1; then
        runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
        echo "$t: $runs executions in ${seconds}s, no findings"
    else
        echo "$t: FINDING (see $log)"; tail -30 "$log"; failed=1
    fi
done
[ $failed -eq 0 ] && echo "$(echo ${#targets[@]}) passed, 0 failed"
exit $failed
