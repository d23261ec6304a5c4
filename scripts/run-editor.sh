#!/usr/bin/env bash
# Builds the editor and starts it. The virtual pedal is offered in the device
# list (Connection > Virtual Pedal), so everything works with no pedal attached.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZENDAL_BUILD_TESTS=OFF >/dev/null
cmake --build build/release --target zendal-editor zendalctl zendal-pedal-sim
export ZENDAL_VIRTUAL_PEDAL="${ZENDAL_VIRTUAL_PEDAL:-1}"
# The virtual pedal has no button to hold: B2 is held, so Upgrade Mode works.
export ZENDAL_VIRTUAL_PEDAL_SAVE_HELD="${ZENDAL_VIRTUAL_PEDAL_SAVE_HELD:-1}"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: starting under xvfb-run (nothing will be visible)." >&2
    exec xvfb-run -a build/release/app/zendal-editor "$@"
fi
exec build/release/app/zendal-editor "$@"
