#!/usr/bin/env bash
# Builds the screenshot program and writes docs/screenshots/*.png.
# Runs offscreen against the in-process virtual pedal: no display, no device.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${ZENDAL_BUILD_DIR:-$root/build/release}"
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZENDAL_BUILD_TESTS=OFF >/dev/null
ninja -C "$build" -j"${JOBS:-2}" zendal-screenshots
shots="$build/tools/zendal-screenshots"
QT_QPA_PLATFORM=offscreen "$shots" "$root/docs/screenshots"
# Twice the size, as on a desktop scaled to 200 %.
QT_QPA_PLATFORM=offscreen QT_SCALE_FACTOR=2 "$shots" "$root/docs/screenshots" --suffix -scale2
# The darkest style, with the largest font.
QT_QPA_PLATFORM=offscreen "$shots" "$root/docs/screenshots" --style 3 --suffix -stage
# Smaller files without losing anything, when optipng is at hand.
if command -v optipng >/dev/null; then
    optipng -quiet -o2 "$root"/docs/screenshots/*.png
fi
