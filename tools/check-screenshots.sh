#!/usr/bin/env bash
# Runs the screenshot program into a fresh folder and checks that every
# picture is there, is a PNG and is not empty.
set -euo pipefail
program="$1"
out="$2"
rm -rf "$out"
"$program" "$out"

fail=0
for name in main-window firmware-upgrade ir-preview preset-library; do
    f="$out/$name.png"
    if [ ! -s "$f" ]; then
        echo "missing or empty: $f"
        fail=1
    elif [ "$(head -c 8 "$f" | od -An -tx1 | tr -d ' \n')" != "89504e470d0a1a0a" ]; then
        echo "not a PNG: $f"
        fail=1
    fi
done

# The main window's picture holds the parameter window beside it: together
# they are far wider than the main window (400) alone.
png_width() { od -An -tu1 -j16 -N4 "$1" | awk '{print $1*16777216+$2*65536+$3*256+$4}'; }
if [ -s "$out/main-window.png" ]; then
    w=$(png_width "$out/main-window.png")
    [ "$w" -ge 800 ] || { echo "main-window.png is $w pixels wide: no parameter window beside it"; fail=1; }
fi
exit $fail
