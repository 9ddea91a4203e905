#!/usr/bin/env bash
# The Debian package: made in the build folder above the program folder given, checked by lintian and the
# desktop and AppStream validators, installed on this machine, started under a private Xvfb by a user who
# never ran it, and removed. Needs root; a poronica installed by hand is left alone (exit 77: skipped).
set -euo pipefail
[[ $(id -u) -eq 0 ]] || { echo "SKIP: installing needs root"; exit 77; }
exec 9>/tmp/poronica-package-test.lock && flock 9 # one package test at a time on this machine
if dpkg-query -W -f='${Status}' poronica 2>/dev/null | grep -q installed; then
    echo "SKIP: poronica is installed" && exit 77
fi
. "$(dirname "$0")/desktop.sh"
build=$(dirname "$(realpath "$1")")
rm -f "$build"/poronica_*_amd64.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/poronica_*_amd64.deb)
lintian "$deb"
dpkg-deb -x "$deb" "$work/contents"
desktop-file-validate "$work"/contents/usr/share/applications/*.desktop
appstreamcli validate --no-net "$work"/contents/usr/share/metainfo/*.xml

purge() {
    dpkg --purge poronica >/dev/null
    [[ ! -e /usr/lib/poronica ]] || { echo "FAIL: /usr/lib/poronica is still there" && status=1; }
}
dpkg -i "$deb" >/dev/null
(cd / && exec env -u XDG_DATA_HOME HOME="$work/home" XDG_RUNTIME_DIR="$work/home" \
    DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent QTWEBENGINE_CHROMIUM_FLAGS=--no-sandbox \
    poronica >"$work/program.log" 2>&1) & pids+=($!)
window ポロニカ >/dev/null
folder="$work/home/.local/share/poronica"
[[ $(stat -c %a "$folder" "$folder/★MailData") == $'700\n700' ]] || fail "others may read the folder"
[[ -f "$folder/★MailData/ini.ini" ]] || fail "the program did not take the user's folder"
[[ -f "$folder/画像データ/denkyu.gif" ]] || fail "the pictures are not reached"
echo PASS
