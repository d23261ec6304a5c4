#!/usr/bin/env bash
# Installs the build tree into a throw-away folder and checks what lands there:
# the programs, the launcher (validated), icons, metadata (validated), udev rule,
# man pages and the package documentation.
set -euo pipefail
build="$1"
root="$2"
rm -rf "$root"
DESTDIR="$root" cmake --install "$build" --prefix /usr >/dev/null

fail=0
expect() { [ -e "$root$1" ] || { echo "missing: $1"; fail=1; }; }
for f in /usr/bin/zendal-editor /usr/bin/zendalctl /usr/bin/zendal-pedal-sim \
         /usr/share/applications/zendal-editor.desktop \
         /usr/share/metainfo/io.github.zendal_editor.ZendalEditor.metainfo.xml \
         /usr/share/icons/hicolor/scalable/apps/zendal-editor.svg \
         /usr/share/icons/hicolor/48x48/apps/zendal-editor.png \
         /usr/share/icons/hicolor/256x256/apps/zendal-editor.png \
         /lib/udev/rules.d/60-zendal.rules \
         /usr/share/man/man1/zendal-editor.1.gz /usr/share/man/man1/zendalctl.1.gz \
         /usr/share/man/man1/zendal-pedal-sim.1.gz \
         /usr/share/doc/zendal-editor/copyright /usr/share/doc/zendal-editor/changelog.gz; do
    expect "$f"
done

if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$root/usr/share/applications/zendal-editor.desktop" || fail=1
fi

if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net \
        "$root/usr/share/metainfo/io.github.zendal_editor.ZendalEditor.metainfo.xml" >/dev/null ||
        { echo "metainfo does not validate"; fail=1; }
fi

# udev rule: every non-comment line is KEY==/=/+= pairs, with the FT230X ids.
rules="$root/lib/udev/rules.d/60-zendal.rules"
if [ -f "$rules" ]; then
    while IFS= read -r line; do
        case "$line" in ''|'#'*) continue ;; esac
        echo "$line" | grep -Eq '^([A-Z]+(\{[a-zA-Z]+\})?(==|!=|=|\+=)"[^"]*"(, )?)+$' \
            || { echo "bad udev line: $line"; fail=1; }
        echo "$line" | grep -q 'idVendor}=="0403"' || { echo "no vendor id: $line"; fail=1; }
        echo "$line" | grep -q 'idProduct}=="6015"' || { echo "no product id: $line"; fail=1; }
    done < "$rules"
fi

# man pages format without warnings.
if command -v man >/dev/null; then
    for m in "$root"/usr/share/man/man1/*.1.gz; do
        out=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$m" 2>&1 >/dev/null || true)
        [ -z "$out" ] || { echo "man page warnings in $m: $out"; fail=1; }
    done
fi

[ $fail -eq 0 ] && echo "install tree: 1 passed, 0 failed"
exit $fail
