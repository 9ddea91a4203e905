#!/usr/bin/env bash
# The daily use from trayer's tray with counted seconds of 200 ms (a minute is 12.2 s; a due second spans two
# polls): a timed check logs in once and starts the mail program once, and the tray menu ends the program.
TRAY=1 DOVECOT="alice:secret"
. "$(dirname "$0")/desktop.sh"
printf 'From: a@example.jp\r\nSubject: hello\r\n\r\nhello\r\n' | deliver alice 1000000001.M1.poronica
printf 'SMTP=\r\nPOP3=127.0.0.1:%s\r\nMAIL=\r\nAPOP=0\r\n' "$port" >"$work/current/vbmail.ini"
data="$work/program/★MailData"
printf '[EXEINI]\r\nNAME=alice\r\nNAME2=secret\r\nNAME3=1\r\n' >"$data/iniIdPass.ini"
printf '#!/bin/sh\necho started >>%s/starts\n' "$work" >"$work/mailer" && chmod +x "$work/mailer"
printf '[EXEINI]\r\nNUMBER2=1\r\nNAME=%s\r\nNUMBER3=1\r\n' "$work/mailer" >"$data/ini.ini"
now() { date +%s%3N; }
starts() { cat "$work/starts" 2>/dev/null | wc -l; }
icon() { xwininfo -tree -id "$(xdotool search --classname '^panel$')" | awk '/"poronica"/ { print $1; exit }'; }
menu() {
    for w in $(xdotool search --onlyvisible --classname '^poronica$'); do
        xwininfo -id "$w" | grep -q 'Override Redirect State: yes' && ! xprop -id "$w" | grep -q TOOLTIP && echo "$w"
    done | grep -vx "$(($(icon)))" | tail -n 1 # the icon is one of them too
}
to_tray() {
    start PORONICA_SECOND_MS=200 && launched=$(now)
    main=$(window ポロニカ) && click "$main" 204 232 # "タスク"
    gone "$main"
    within 5 nonempty icon || fail "no icon in the tray"
}
quit_from_tray() {
    sleep 0.5 # as a person would: a click right after "タスク" may close the menu at once
    click "$(icon)" 11 15
    within 5 nonempty menu || fail "a click on the icon opened no menu"
    eval "$(xdotool getwindowgeometry --shell "$(menu)")"
    click "$WINDOW" $((WIDTH / 2)) $((HEIGHT * 3 / 4)) # "終了", below the separator
    ended
}

to_tray
within 20 eval '(($(starts) > 0))' || fail "no timed check started the mail program"
due=$(($(now) - launched))
sleep 1.5
((due > 11000)) || fail "a timed check came after $due ms, before a counted minute"
[[ $(logins) == 1 && $(starts) == 1 ]] || fail "one due second: $(logins) logins, $(starts) mail program starts"
quit_from_tray

# The end writes the main window's two settings back as they were read.
[[ $(cat "$data/ini.ini") == $'[EXEINI]\r\nNUMBER2=1\r\nNAME='"$work/mailer"$'\r\nNUMBER3=1\r' ]] ||
    fail "ini.ini: $(cat -A "$data/ini.ini")"
echo PASS
