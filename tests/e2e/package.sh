#!/usr/bin/env bash
# The Debian package: made from the build folder given, checked by lintian and the desktop and AppStream
# validators, installed on this machine, started under a private Xvfb by a user who never ran it, and
# removed. Needs root; a poronica installed by hand is left alone (exit 77: skipped).
set -euo pipefail
export LANG=C.UTF-8
build=$(realpath "$1")
[[ $(id -u) -eq 0 ]] || { echo "SKIP: installing needs root"; exit 77; }
exec 9>/tmp/poronica-package-test.lock # one package test at a time on this machine
flock 9
if dpkg-query -W -f='${Status}' poronica 2>/dev/null | grep -q installed; then
    echo "SKIP: poronica is installed"
    exit 77
fi

rm -f "$build"/poronica_*_amd64.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/poronica_*_amd64.deb)
lintian "$deb"
dpkg-deb -x "$deb" "$build/package-contents"
desktop-file-validate "$build"/package-contents/usr/share/applications/*.desktop
appstreamcli validate --no-net "$build"/package-contents/usr/share/metainfo/*.xml
rm -rf "$build/package-contents"

work=$(mktemp -d "$build/package-XXXXXX")
pids=()
finish() {
    kill "${pids[@]}" 2>/dev/null || true
    wait "${pids[@]}" 2>/dev/null || true
    dpkg --purge poronica >/dev/null
    [[ ! -e /usr/lib/poronica ]] || { echo "FAIL: /usr/lib/poronica is still there"; exit 1; }
    rm -rf "$work"
}
trap finish EXIT
dpkg -i "$deb" >/dev/null

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 50); do [[ -s "$work/display" ]] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"
(cd / && exec env -u XDG_DATA_HOME HOME="$work" XDG_RUNTIME_DIR="$work" \
    DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent QTWEBENGINE_CHROMIUM_FLAGS=--no-sandbox \
    poronica >"$work/program.log" 2>&1) &
pids+=($!)
for _ in $(seq 100); do xdotool search --onlyvisible --name '^ポロニカ$' >/dev/null && break; sleep 0.1; done
xdotool search --onlyvisible --name '^ポロニカ$' >/dev/null ||
    { cat "$work/program.log"; echo "FAIL: no main window"; exit 1; }

folder="$work/.local/share/poronica"
[[ $(stat -c %a "$folder" "$folder/★MailData") == $'700\n700' ]] || { echo "FAIL: others may read the folder"; exit 1; }
[[ -f "$folder/★MailData/ini.ini" ]] || { echo "FAIL: the program did not take the user's folder"; exit 1; }
[[ -f "$folder/画像データ/denkyu.gif" ]] || { echo "FAIL: the pictures are not reached"; exit 1; }
echo PASS
