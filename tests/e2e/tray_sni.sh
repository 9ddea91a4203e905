#!/usr/bin/env bash
# The tray icon in xfce4-panel's notification area, a StatusNotifierItem host on the desktop's session bus:
# "タスク" registers the item with the panel, which draws the icon; the item's title and exported menu; a left
# click on the icon opens the program's own menu, a right click the panel's drawing of the exported one, whose
# "終了" ends the program.
PANEL=1
. "$(dirname "$0")/desktop.sh"
printf 'SMTP=\r\nPOP3=127.0.0.1:1\r\nMAIL=\r\nAPOP=0\r\n' >"$work/current/vbmail.ini"
printf '[EXEINI]\r\nNAME=alice\r\nNAME2=secret\r\n' >"$work/program/★MailData/iniIdPass.ini"
start DBUS_SESSION_BUS_ADDRESS="$DBUS_SESSION_BUS_ADDRESS"
click "$(window ポロニカ)" 204 232 # "タスク"
within 10 eval '[[ $(watcher RegisteredStatusNotifierItems) == *StatusNotifierItem* ]]' || fail "no item in the panel"
service=$(watcher RegisteredStatusNotifierItems | sed -E "s/.*'([^'/]+)\/.*/\1/") # the item's bus name
call() { gdbus call --session --timeout 2 --dest "$service" --object-path "$1" --method "$2" -- "${@:3}"; }
item() { call /StatusNotifierItem org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierItem "$1"; }
[[ $(item Title) == "(<'ポロニカ'>,)" ]] || fail "the title is $(item Title)"
menu=$(item Menu | grep -oE "'/[^']*'" | tr -d "'")
[[ -n $menu && $menu != /NO_DBUSMENU ]] || fail "the item exports no menu"
layout=$(call "$menu" com.canonical.dbusmenu.GetLayout 0 -1 '[]')
[[ $(grep -oE "'(label|type)': <'[^']*'>" <<<"$layout" | cut -d"'" -f4 | tr '\n' ' ') == \
    "メイン画面を表示 separator 終了 " ]] || fail "the menu is $layout"
drawn() { shot "$panel" icon && (($(identify -format %k "$out/$name-icon.png") > 20)); } # the empty panel has 3 colours
within 5 drawn || fail "the panel drew no icon"

eval "$(xdotool getwindowgeometry --shell "$panel")"
sleep 0.5 # as a person would: a popup that opens while the main window hides is closed at once
popup() { [[ -n $(xdotool search --onlyvisible --classname '^poronica$') ]]; } # nothing else of it shows
click "$panel" $((WIDTH / 2)) $((HEIGHT / 2))
within 5 popup || fail "a left click opened no popup menu of the program"
key Escape
within 5 eval '! popup' || fail "Escape left the popup menu open"
click "$panel" $((WIDTH / 2)) $((HEIGHT / 2)) 3 # the panel's own menu, drawn from the exported one
sleep 1
key Up Return # its last item, "終了"
ended
echo PASS
