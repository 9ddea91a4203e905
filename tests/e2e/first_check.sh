#!/usr/bin/env bash
# A person's first start under a window manager: both settings dialogs in front of the top-most main window
# and filled in, "設定" in front of it likewise, a check against Dovecot, the notice page, a second check while
# the notice is open, and the end; then the settings files. (The account file's mode and the mailbox left as
# it was are the settings and POP3 tests' affair.)
DOVECOT="alice:secret"
. "$(dirname "$0")/desktop.sh"
mail() { printf 'From: sender@example.jp\r\nSubject: note %s\r\n\r\nhello\r\n' "$1"; }
for n in 1 2 3; do mail $n | deliver alice "100000000$n.M$n.poronica"; done
pictures="$work/program/画像データ"
# The page lies beside the program: each picture it names is there, and it names nothing elsewhere.
grep -oE '(src="|url\(")[^"#)]+' "$pictures/tokonoma.html" | sed -E 's/^(src="|url\(")//' | grep -v '^data:' |
    while read -r file; do [[ -f $pictures/$file ]] || fail "the page names a missing $file"; done
! grep -rhoE "https?://[^\"' <>)]+|(src|href)=[\"']//|url\([\"']?//" "$pictures" | grep -v '^http://www.w3.org/' ||
    fail "the page reaches outside the program folder"

start
main=$(window ポロニカ) && server=$(window サーバー設定) && account=$(window ID,PASS)
click "$main" 12 250 # "ON", all that the dialogs leave in sight: the main window comes forward, not over them
sleep 0.5
above "$server" "$main" || fail "サーバー設定 is behind the main window"
above "$account" "$main" || fail "ID,PASS is behind the main window"
xdotool windowactivate --sync "$server" && click "$server" 60 72 && typein "127.0.0.1:$port"
click "$server" 76 180 && gone "$server" # "設定"
xdotool windowactivate --sync "$account" && click "$account" 100 16 && typein alice && key Tab && typein secret
click "$account" 36 76 && key Return && gone "$account" # "保存する", then OK
xdotool windowmove "$main" 0 0 # off the notice's page, which takes the middle of the screen
click "$main" 124 241 # "設定"
settings=$(window 設定)
above "$settings" "$main" || fail "設定 is behind the main window"
close_window "$settings" && gone "$settings"

# The notice shows the count and a drawn page; the browser engine lives only in the notice helper.
count_is() { # copied from the count box as a person would
    xdotool windowfocus --sync "$notice" && click "$notice" 336 398 && key ctrl+a ctrl+c
    [[ $(xclip -o -selection clipboard) == "$1" ]]; }
# An empty or unpainted pane has few colours; the page's pictures give it thousands.
drawn() { shot "$(find_window 新着のお知らせ)" page 369x329+0+0 && (($(identify -format %k "$out/$name-page.png") > 1000)); }
click "$main" 204 134 # "メ｜ルチェック"
within 30 drawn || fail "no notice page with its pictures was drawn"
notice=$(window 新着のお知らせ)
xprop -id "$notice" _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE || fail "the notice is not top-most"
count_is 3 || fail "the notice does not show 3"
helper=$(ps -o pid= --ppid "$program" | head -n 1)
grep -q libQt6WebEngineCore "/proc/${helper// /}/maps" || fail "no notice helper with the browser engine"
! grep -q libQt6WebEngine "/proc/$program/maps" || fail "the resident program maps the browser engine"

# The box on the page can be carried aside; a page loaded again would put it back.
shot "$notice" box0 72x80+156+160
xdotool mousemove --window "$notice" 192 190 mousedown 1 mousemove --window "$notice" 150 220 \
    mousemove --window "$notice" 80 270 mouseup 1 mousemove --window "$notice" 20 310 sleep 1.2
shot "$notice" box1 72x80+156+160 && differ box0 box1 || fail "the box did not move"

# A fourth message: the same window takes the new count without reloading the page (the box stays).
mail 4 | deliver alice 1000000004.M4.poronica
click "$main" 204 134
within 10 count_is 4 || fail "the notice does not show 4"
(($(xdotool search --onlyvisible --name '^新着のお知らせ$' | wc -l) == 1)) || fail "a second notice window"
shot "$notice" box2 72x80+156+160 && ! differ box1 box2 || fail "the page was loaded again"
shot "$notice" notice

close_window "$notice" && gone "$notice"
close_window "$main" && ended
! grep '^js:' "$work/program.log" || fail "the page wrote to its console"
[[ $(cat "$work/current/vbmail.ini") == $'SMTP=\r\nPOP3=127.0.0.1:'$port$'\r\nMAIL=\r\nAPOP=0\r' ]] ||
    fail "vbmail.ini: $(cat -A "$work/current/vbmail.ini")"
data="$work/program/★MailData"
[[ $(cat "$data/iniIdPass.ini") == $'[EXEINI]\r\nNAME=alice\r\nNAME2=secret\r\nNAME3=1\r' ]] || fail "iniIdPass.ini"
echo PASS
