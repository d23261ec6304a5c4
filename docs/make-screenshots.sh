#!/usr/bin/env bash
# Builds the screenshot program and writes docs/screenshots/*.png.
# Runs offscreen against the in-process virtual pedal: no display, no device.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${ZENDAL_BUILD_DIR:-$root/build/release}"
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZENDAL_BUILD_TESTS=OFF >/dev/null
ninja -C "$build" -j"${JOBS:-2}" zendal-screenshots
QT_QPA_PLATFORM=offscreen "$build/tools/zendal-screenshots" "$root/docs/screenshots"
# Smaller files without losing anything, when optipng is at hand.
if command -v optipng >/dev/null; then
    optipng -quiet -o2 "$root"/docs/screenshots/*.png
fi
