#!/usr/bin/env bash
# Builds the Debian package from the build tree with CPack and checks it:
# the files it carries, its control fields (Depends filled from the shared
# libraries), lintian's verdict when lintian is installed, and that the
# programs unpacked from it (dpkg -x, no real install) run.
# Exit 77 (skipped) where there is no dpkg-deb.
set -euo pipefail
build="$1"
work="$2"
command -v dpkg-deb >/dev/null || { echo "dpkg-deb not found: skipped"; exit 77; }
command -v dpkg-shlibdeps >/dev/null || { echo "dpkg-shlibdeps not found: skipped"; exit 77; }

rm -rf "$work"
mkdir -p "$work/out"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; exit 1; }
debs=("$work"/out/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "expected one .deb in $work/out"; exit 1; }
deb="${debs[0]}"
echo "package: $deb"

fail=0
bad() { echo "$*"; fail=1; }

# --- control fields ---
field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = zendal-editor ] || bad "Package: $(field Package)"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || bad "Architecture: $(field Architecture)"
[ -n "$(field Version)" ] || bad "no Version"
depends="$(field Depends)"
echo "Depends: $depends"
# Filled by dpkg-shlibdeps from what the programs link against.
for lib in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 libsndfile1 udev; do
    tr ',' '\n' <<<"$depends" | awk '{print $1}' | grep -qxF "$lib" || bad "Depends lacks $lib"
done
description="$(field Description)"
[ "$(wc -l <<<"$description")" -gt 1 ] || bad "Description has no extended part"

# --- files ---
contents="$(dpkg-deb --contents "$deb" | awk '{print $6}' | sed 's|^\./|/|')"
has() { grep -qx "$1" <<<"$contents" || bad "missing in the package: $1"; }
for f in /usr/bin/zendal-editor /usr/bin/zendalctl /usr/bin/zendal-pedal-sim \
         /usr/share/applications/zendal-editor.desktop \
         /usr/share/metainfo/io.github.zendal_editor.ZendalEditor.metainfo.xml \
         /usr/share/icons/hicolor/scalable/apps/zendal-editor.svg \
         /lib/udev/rules.d/60-zendal.rules \
         /usr/share/doc/zendal-editor/copyright /usr/share/doc/zendal-editor/changelog.gz; do
    has "$f"
done
for size in 16 32 48 64 128 256; do
    has "/usr/share/icons/hicolor/${size}x${size}/apps/zendal-editor.png"
done
for page in zendal-editor zendalctl zendal-pedal-sim; do
    grep -Eqx "/usr/share/man/man1/$page\.1(\.gz)?" <<<"$contents" || bad "no man page for $page"
done
# Nothing of the build machine leaks in (build paths, test programs, static libraries).
leaks="$(grep -E '(\.a|\.o|_tests|zendal-screenshots)$|/work/|/build' <<<"$contents" || true)"
[ -z "$leaks" ] || bad "unexpected files: $leaks"
# Root-owned, and no file writable by group or others.
dpkg-deb --contents "$deb" | awk '$2 != "root/root" || substr($1, 6, 1) == "w" || substr($1, 9, 1) == "w"' \
    | grep . && bad "files with wrong owner or mode (above)"

# --- lintian ---
if command -v lintian >/dev/null; then
    # Errors fail the test; warnings are shown for whoever packages next.
    lintian --tag-display-limit 0 "$deb" >"$work/lintian.txt" 2>&1 || true
    cat "$work/lintian.txt"
    grep -q '^E: ' "$work/lintian.txt" && bad "lintian reports errors (above)"
else
    echo "lintian not installed: not run"
fi

# --- the unpacked programs run ---
root="$work/root"
dpkg -x "$deb" "$root"
home="$work/home"
mkdir -p "$home" "$work/no-tty"
# A throw-away home; no serial ports, no FTDI library: only the virtual pedal.
run() {
    env -u ZENDAL_CATALOGUE_DIR -u ZENDAL_EXTRA_PORTS HOME="$home" XDG_DATA_HOME="$home/share" \
        XDG_CONFIG_HOME="$home/config" ZENDAL_SYSFS_TTY="$work/no-tty" ZENDAL_FTD2XX_LIBRARY= \
        "$root/usr/bin/zendalctl" "$@"
}
effects="$(run --virtual effects)" || bad "zendalctl --virtual effects failed"
grep -q "Noise Gate" <<<"$effects" || bad "zendalctl effects lists no 'Noise Gate': $effects"
listed="$(run --virtual list)" || bad "zendalctl --virtual list failed"
grep -q "ZVP00001" <<<"$listed" || bad "zendalctl list does not show the virtual pedal: $listed"
info="$(run --virtual info)" || bad "zendalctl --virtual info failed"
echo "$info"
# The desktop file of the package is valid.
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$root/usr/share/applications/zendal-editor.desktop" || fail=1
fi

[ $fail -eq 0 ] && echo "debian package: ok"
exit $fail
