#!/usr/bin/env bash
# The tray icon as a StatusNotifierItem host sees it, on a private bus (under dbus-run-session): a watcher takes
# the item that "タスク" registers; the host reads its title and exported menu, clicks it both ways (each call
# answered at once, whatever the program opens) and ends the program through the exported "終了".
/usr/bin/python3 -c 'import dbus, gi' 2>/dev/null && command -v gdbus >/dev/null ||
    { echo "SKIP: no gdbus or python3-dbus/gi" && exit 77; }
. "$(dirname "$0")/desktop.sh"
/usr/bin/python3 - "$work/item" <<'EOF' &
import sys, dbus, dbus.service, dbus.mainloop.glib
from gi.repository import GLib
WATCHER = 'org.kde.StatusNotifierWatcher'
class Watcher(dbus.service.Object):
    @dbus.service.method(WATCHER, in_signature='s')
    def RegisterStatusNotifierItem(self, service):
        open(sys.argv[1], 'w').write(service)
    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature='ss', out_signature='v')
    def Get(self, interface, name):
        return True  # IsStatusNotifierHostRegistered
    # Qt reads the properties through introspection, so they must be published.
    @dbus.service.method(dbus.INTROSPECTABLE_IFACE, out_signature='s')
    def Introspect(self):
        return (f'<node><interface name="{WATCHER}"><property name="IsStatusNotifierHostRegistered" type="b" '
                'access="read"/></interface></node>')
dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
Watcher(dbus.service.BusName(WATCHER, dbus.SessionBus()), '/StatusNotifierWatcher')
GLib.MainLoop().run()
EOF
pids+=($!) # the watcher
watching() { gdbus introspect --session --dest org.kde.StatusNotifierWatcher --object-path / >/dev/null 2>&1; }
within 10 watching || fail "the watcher did not start"
printf 'SMTP=\r\nPOP3=127.0.0.1:1\r\nMAIL=\r\nAPOP=0\r\n' >"$work/current/vbmail.ini"
printf '[EXEINI]\r\nNAME=alice\r\nNAME2=secret\r\n' >"$work/program/★MailData/iniIdPass.ini"
start DBUS_SESSION_BUS_ADDRESS="$DBUS_SESSION_BUS_ADDRESS"
click "$(window ポロニカ)" 204 232 # "タスク"
within 10 test -s "$work/item" || fail "no item was registered with the watcher"
sleep 0.5 # as a person would: a popup that opens while the main window hides is closed at once
call() { gdbus call --session --timeout 2 --dest "$(cat "$work/item")" --object-path "$1" --method "$2" -- "${@:3}"; }
item() { call /StatusNotifierItem org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierItem "$1"; }
[[ $(item Title) == "(<'ポロニカ'>,)" ]] || fail "the title is $(item Title)"
menu=$(item Menu | grep -oE "'/[^']*'" | tr -d "'")
[[ -n $menu && $menu != /NO_DBUSMENU ]] || fail "the item exports no menu"
layout=$(call "$menu" com.canonical.dbusmenu.GetLayout 0 -1 '[]')
[[ $(grep -oE "'(label|type)': <'[^']*'>" <<<"$layout" | cut -d"'" -f4 | tr '\n' ' ') == \
    "メイン画面を表示 separator 終了 " ]] || fail "the menu is $layout"
popup() { [[ -n $(xdotool search --onlyvisible --classname '^poronica$') ]]; } # nothing else of it shows
for click in Activate ContextMenu; do
    call /StatusNotifierItem "org.kde.StatusNotifierItem.$click" 0 0 >/dev/null ||
        fail "$click got no answer in time"
    within 5 popup || fail "$click opened no popup menu of the program"
    key Escape
    within 5 eval '! popup' || fail "Escape left the popup menu open"
done
quit=$(grep -oE "\(([0-9]+), \{[^}]*'label': <'終了'>" <<<"$layout" | grep -oE '[0-9]+' | head -n 1)
call "$menu" com.canonical.dbusmenu.Event "$quit" clicked '<"">' 0 >/dev/null
ended
echo PASS
