# Sourced by the journeys (argument: the built program folder): a private Xvfb at 96 DPI with a session bus and
# xfwm4, a window manager that honours top-most and transient hints; trayer as the XEmbed tray if TRAY=1, xfce4-panel
# (a StatusNotifierItem host on that bus) if PANEL=1; Dovecot with the users in DOVECOT if set; a copy of the program
# folder, helpers that act as a person would, and a trap that stops it all and on failure shows what went wrong.
set -euo pipefail
export LANG=C.UTF-8 PATH=$PATH:/usr/sbin
support=$(cd "$(dirname "${BASH_SOURCE[0]}")/../support" && pwd)
name=$(basename "$0" .sh)
out=${PORONICA_TEST_OUTPUT:-$PWD}
for tool in Xvfb dbus-daemon xfwm4 xdotool xprop xwininfo import compare identify xclip ${TRAY:+trayer} \
    ${PANEL:+xfce4-panel gdbus} ${DOVECOT:+dovecot}; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
work=$(mktemp -d /tmp/pj.XXXX) # short: Dovecot's sockets live under it
chmod 755 "$work"              # Dovecot's helpers run as other users
pids=()
finish() {
    local status=$? && set +e
    if ((status != 0 && status != 77)); then
        import -window root "$out/$name-failure.png" && echo "on screen: $out/$name-failure.png"
        echo "== program output" && cat "$work/program.log"
        echo "== Dovecot log" && cat "$work/d/dovecot.log"
    fi 2>/dev/null
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" && wait "${pids[i]}"; done 2>/dev/null
    declare -F purge >/dev/null && purge # what a journey leaves on the machine; it may set status
    rm -rf "$work" && exit "$status"
}
trap finish EXIT
fail() { echo "FAIL: $*" >&2 && exit 1; }
# Polls a command every 0.1 s for at most that many seconds.
within() { local tenths=$(($1 * 10)) && shift && until "$@"; do ((--tenths > 0)) || return 1 && sleep 0.1; done; }

Xvfb -displayfd 3 -screen 0 1280x1024x24 -dpi 96 -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" \
    >/dev/null & pids+=($!)
within 10 test -s "$work/display" || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$(cat "$work/display")"
mkdir -m 700 "$work/current" "$work/home"
# The desktop's parts keep their settings in the journey's home, and xfconfd reads the panel's from there.
desktop=(env HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work/home" NO_AT_BRIDGE=1)
"${desktop[@]}" dbus-daemon --session --nofork --print-address=3 3>"$work/bus" >/dev/null 2>&1 & pids+=($!)
within 10 test -s "$work/bus" || fail "the session bus did not start"
export DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$work/bus")
"${desktop[@]}" xfwm4 --compositor=off >"$work/xfwm4.log" 2>&1 & pids+=($!)
managed() { xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'; }
within 10 managed || fail "xfwm4 did not start: $(cat "$work/xfwm4.log")"
if [[ -n ${TRAY:-} ]]; then
    trayer --edge top --align right --widthtype pixel --width 100 --height 32 --transparent false --expand false \
        >"$work/trayer.log" 2>&1 & pids+=($!)
    within 10 xdotool search --classname '^panel$' >/dev/null || fail "trayer did not start"
fi
if [[ -n ${PANEL:-} ]]; then # one panel at the bottom, no larger than the notification area it holds
    install -D -m 644 "$support/xfce4-panel.xml" "$work/home/.config/xfce4/xfconf/xfce-perchannel-xml/xfce4-panel.xml"
    "${desktop[@]}" xfce4-panel >"$work/panel.log" 2>&1 & pids+=($!)
    watcher() { gdbus call --session --dest org.kde.StatusNotifierWatcher --object-path /StatusNotifierWatcher \
        --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher "$1" 2>/dev/null; } # a property
    within 15 eval '[[ $(watcher IsStatusNotifierHostRegistered) == "(<true>,)" ]]' || fail "xfce4-panel hosts no notification area: $(cat "$work/panel.log")"
    panel=$(xdotool search --onlyvisible --classname '^xfce4-panel$' | head -n 1)
fi
if [[ -n ${DOVECOT:-} ]]; then
    read -r port tls < <(/usr/bin/python3 -c 'import socket; s = [socket.socket() for _ in "12"]
[x.bind(("127.0.0.1", 0)) for x in s]; print(*(x.getsockname()[1] for x in s))')
    mkdir "$work/d"
    "$support/dovecot.sh" "$work/d" "$port" "$tls" $DOVECOT >"$work/dovecot.out" 2>&1 & pids+=($!)
    greets() { [[ $(timeout 2 bash -c "exec 4<>/dev/tcp/127.0.0.1/$port && head -c 3 <&4" 2>/dev/null) == +OK ]]; }
    within 15 greets || fail "Dovecot did not answer: $(cat "$work/dovecot.out")"
fi
deliver() { "$support/dovecot.sh" deliver "$work/d" "$@"; } # user, file name; the message on input
logins() { grep -c 'Login: user=' "$work/d/dovecot.log" || true; }

cp -r "$1" "$work/program"
find "$work/program/★MailData" -type f -delete
# Starts the program (env assignments as arguments) with no session bus: the tray icon goes to an XEmbed tray.
start() {
    (cd "$work/current" && exec env HOME="$work/home" XDG_RUNTIME_DIR="$work/home" QT_QPA_PLATFORM=xcb \
        QTWEBENGINE_CHROMIUM_FLAGS=--no-sandbox DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent "$@" \
        "$work/program/poronica" >>"$work/program.log" 2>&1) &
    program=$! && pids+=("$program")
}
# The program's visible window with exactly this title; waits for it and prints its id.
find_window() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | tail -n 1; }
nonempty() { [[ -n $("$@") ]]; } # the command printed something
window() { within "${2:-15}" nonempty find_window "$1" && find_window "$1" || fail "no window \"$1\""; }
viewable() { xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; }
gone() { within 5 eval "! viewable $1" || fail "window $1 stayed on screen"; }
click() { xdotool mousemove --window "$1" "$2" "$3" click "${4:-1}"; }
typein() { xdotool type --delay 30 -- "$1"; }
key() { xdotool key --delay 60 "$@"; }
# Is the first window stacked above the second? The window manager lists them bottom to top.
above() {
    local order && order=$(xprop -root _NET_CLIENT_LIST_STACKING | grep -oE '0x[0-9a-f]+' | xargs printf '%d\n')
    (($(grep -nx "$1" <<<"$order" | cut -d: -f1) > $(grep -nx "$2" <<<"$order" | cut -d: -f1)))
}
shot() { [[ -n $1 ]] && import -window "$1" ${3:+-crop "$3" +repage} "$out/$name-$2.png"; } # window, name[, WxH+X+Y]
differ() { (($(compare -metric AE "$out/$name-$1.png" "$out/$name-$2.png" null: 2>&1) > ${3:-200})); }
# What a window manager's close box does: WM_DELETE_WINDOW.
close_window() {
    /usr/bin/python3 -c 'import ctypes as c, sys
x = c.CDLL("libX11.so.6"); x.XOpenDisplay.restype = c.c_void_p; x.XInternAtom.restype = c.c_ulong
x.XInternAtom.argtypes = [c.c_void_p, c.c_char_p, c.c_int]; d = c.c_void_p(x.XOpenDisplay(None))
a = [x.XInternAtom(d, n, 0) for n in (b"WM_PROTOCOLS", b"WM_DELETE_WINDOW")]; w = int(sys.argv[1])
# XClientMessageEvent as longs: type, serial, send_event, display, window, message_type, format, data.
x.XSendEvent(d, c.c_ulong(w), 0, 0, (c.c_long * 24)(33, 0, 1, 0, w, a[0], 32, a[1])); x.XCloseDisplay(d)' "$1"
}
ended() { # by itself, with status 0
    within 5 eval "! kill -0 $program 2>/dev/null" || fail "the program is still running"
    wait "$program" || fail "the program ended with status $?"; }
