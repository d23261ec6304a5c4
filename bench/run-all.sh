#!/usr/bin/env bash
# Builds the benchmarks in their own Release tree (build/bench), runs each of
# them and prints one table. Every figure is set against a baseline measured in the same
# run, side by side; programs that report one figure per run are run three
# times and their median is shown.
#   bench/run-all.sh [--quick]    (--quick: shorter phases, one firmware run)
set -euo pipefail

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
# ZENDAL_BENCH_BUILD: an existing build tree to use as it is (not reconfigured).
BUILD="${ZENDAL_BENCH_BUILD:-$ROOT/build/bench}"
QUICK=0
[[ "${1:-}" == "--quick" ]] && QUICK=1
JOBS="${ZENDAL_BENCH_JOBS:-2}"

fail() { echo "bench: $*" >&2; exit 1; }
"$ROOT/scripts/install-deps.sh"
export CCACHE_BASEDIR="$ROOT" CCACHE_NOHASHDIR=1
if [[ -z "${ZENDAL_BENCH_BUILD:-}" ]]; then
    # The benchmarks link the test support library, so the tree enables tests;
    # only the benchmark targets and what they need are built.
    cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZENDAL_BUILD_TESTS=ON \
        -DZENDAL_BUILD_BENCH=ON >"$BUILD.configure.log" 2>&1 \
        || { tail -n 20 "$BUILD.configure.log" >&2; fail "configuring $BUILD failed (log: $BUILD.configure.log)"; }
fi
[[ -f "$BUILD/build.ninja" ]] || fail "$BUILD is not a configured build tree"
targets=$(ninja -C "$BUILD" -t targets all | sed -n 's/^\(bench_[A-Za-z0-9_]*\):.*/\1/p' | sort -u)
[[ -n "$targets" ]] || fail "$BUILD has no benchmark targets (configure it with -DZENDAL_BUILD_BENCH=ON)"
if ! ninja -C "$BUILD" -j"$JOBS" $targets zendal-pedal-sim >"$BUILD/bench-build.log" 2>&1; then
    grep -E -m 20 'error|FAILED' "$BUILD/bench-build.log" >&2 || tail -n 20 "$BUILD/bench-build.log" >&2
    fail "the benchmarks failed to build (log: $BUILD/bench-build.log)"
fi

BIN="$BUILD/bench"
SIM="$BUILD/sim/zendal-pedal-sim"
export QT_QPA_PLATFORM=offscreen
LOGS="$(mktemp -d)"
trap 'rm -rf "$LOGS"' EXIT

median() { sort -g | awk '{a[NR]=$1} END {if (NR==0) print "n/a"; else if (NR%2) print a[(NR+1)/2]; else print (a[NR/2]+a[NR/2+1])/2}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a=="n/a" || b=="n/a" || b+0==0) print "n/a"; else printf "%.3f", a/b }'; }
row() { printf "%-46s %-34s %s\n" "$1" "$2" "$3"; }
# run NAME PROGRAM ARGS...: runs one benchmark and keeps its output; a failure is
# remembered (the table is still printed) and makes the script fail at the end.
failed=()
run() {
    local name="$1"; shift
    if [[ ! -x "$1" ]]; then
        : >"$LOGS/$name"; echo "$1 was not built" >"$LOGS/$name.err"; failed+=("$name"); return
    fi
    "$@" >"$LOGS/$name" 2>"$LOGS/$name.err" || failed+=("$name")
}

# --- the machine ---
cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n1)
echo "Machine: ${cpu:-unknown CPU}, $(nproc) cores ($(nproc --all) online), $(uname -sr)"
echo "Build:   $BUILD ($(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "$BUILD/CMakeCache.txt"))"
echo

# --- runs ---
seconds=10; fwruns=3; changes=10000
if [[ $QUICK == 1 ]]; then seconds=2; fwruns=1; changes=2000; fi
run firmware "$BIN/bench_firmware_bench" --runs "$fwruns" --sim "$SIM"
run idle "$BIN/bench_link_idle_cpu" --seconds "$seconds"
run mainwin "$BIN/bench_main_window_bench" --sim "$SIM"
run params "$BIN/bench_params_bench" --changes "$changes"
run ir "$BIN/bench_ir_bench"
for i in 1 2 3; do
    run "startup$i" "$BIN/bench_startup_bench"
    run "bare$i" "$BIN/bench_startup_bench" --bare
done

# --- the table ---
row "Figure" "Measured" "Ratio (side by side)"
row "------" "--------" "--------------------"

fw() { # $1: "with verify" or "without verify"
    local line
    line=$(grep -m1 "^$1" "$LOGS/firmware" || true)
    if [[ -z "$line" ]]; then row "Firmware_5 erase+write, $1" "n/a" "n/a"; return; fi
    local ed fl st
    ed=$(sed -n 's/.*editor \([0-9.]*\) s.*/\1/p' <<<"$line")
    fl=$(sed -n 's/.*floor \([0-9.]*\) s.*/\1/p' <<<"$line")
    st=$(sed -n 's/.*stm32flash \([0-9.]*\) s.*/\1/p' <<<"$line")
    row "Firmware_5 erase+write, $1" "editor ${ed:-n/a} s, floor ${fl:-n/a} s" \
        "editor/floor $(ratio "${ed:-n/a}" "${fl:-n/a}")"
    row "" "stm32flash ${st:-not run} s" "editor/stm32flash $(ratio "${ed:-n/a}" "${st:-n/a}")"
}
fw "with verify"
fw "without verify"

up=$(grep -m1 "mean .* ms, wire time" "$LOGS/mainwin" || true)
upm=$(sed -n 's/.*mean \([0-9.]*\) ms.*/\1/p' <<<"$up")
upw=$(sed -n 's/.*pause \([0-9.]*\) ms.*/\1/p' <<<"$up")
row "Largest upload, click -> \"Upload complete\"" "${upm:-n/a} ms vs wire ${upw:-n/a} ms" \
    "upload/wire $(ratio "${upm:-n/a}" "${upw:-n/a}")"

# Idle and waiting CPU: already a share of one core (CPU time / wall time).
while IFS= read -r line; do
    what=$(sed 's/[[:space:]]*[0-9.]* % of a core.*//' <<<"$line")
    pct=$(sed -n 's/.* \([0-9.]*\) % of a core.*/\1/p' <<<"$line")
    row "CPU: $what" "${pct:-n/a} % of a core" "$(ratio "${pct:-n/a}" 100) of a core"
done < <(grep "% of a core" "$LOGS/idle" "$LOGS/mainwin" -h || true)

sl=$(grep -m1 "^slider change" "$LOGS/params" || true)
p50=$(sed -n 's/.*p50 \([0-9.]*\) us.*/\1/p' <<<"$sl")
p99=$(sed -n 's/.*p99 \([0-9.]*\) us.*/\1/p' <<<"$sl")
row "Slider -> pedal message" "p50 ${p50:-n/a} us, p99 ${p99:-n/a} us" "p99/p50 $(ratio "${p99:-n/a}" "${p50:-n/a}")"
bw=$(grep -m1 "^build window" "$LOGS/params" || true)
b50=$(sed -n 's/.*p50 \([0-9.]*\) us.*/\1/p' <<<"$bw")
b99=$(sed -n 's/.*p99 \([0-9.]*\) us.*/\1/p' <<<"$bw")
row "Parameter window build (largest)" "p50 ${b50:-n/a} us, p99 ${b99:-n/a} us" "p99/p50 $(ratio "${b99:-n/a}" "${b50:-n/a}")"

# Impulse-response preparation against its goals (100 ms; 300 ms with plots).
ip=$(sed -n 's/^prepare: median \([0-9.]*\) ms.*/\1/p' "$LOGS/ir")
ipp=$(sed -n 's/^prepare + plots: median \([0-9.]*\) ms.*/\1/p' "$LOGS/ir")
row "IR prepare, 2 s 96 kHz stereo 24-bit" "median ${ip:-n/a} ms" "of the 100 ms goal $(ratio "${ip:-n/a}" 100)"
row "IR prepare + plots" "median ${ipp:-n/a} ms" "of the 300 ms goal $(ratio "${ipp:-n/a}" 300)"

field() { sed -n "s/.*$1 \([0-9.]*\).*/\1/p" "$LOGS"/$2* 2>/dev/null | median; }
sms=$(field startup_ms startup); bms=$(field startup_ms bare)
skb=$(field peak_kb startup); bkb=$(field peak_kb bare)
row "Start to first paint (median of 3)" "editor ${sms} ms, bare window ${bms} ms" "editor/bare $(ratio "$sms" "$bms")"
row "Peak memory VmHWM (median of 3)" "editor ${skb} kB, bare window ${bkb} kB" "editor/bare $(ratio "$skb" "$bkb")"

echo
# A program that failed or printed nothing shows why.
for f in "$LOGS"/*.err; do
    out="${f%.err}"
    name=$(basename "$out")
    if [[ " ${failed[*]} " == *" $name "* || ( ! -s "$out" && -s "$f" ) ]]; then
        echo "--- $name failed or printed nothing; its last errors:"
        tail -n 5 "$f"
    fi
done
[[ ${#failed[@]} -eq 0 ]] || fail "these benchmarks failed: ${failed[*]}"
exit 0
