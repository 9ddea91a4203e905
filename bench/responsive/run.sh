#!/usr/bin/env bash
# Whether the program answers the desktop while a check waits on a slow server: the longest time that the
# window manager's ping (_NET_WM_PING, by which desktops decide to offer "Force quit") waits for the main
# window's answer, sent every 100 ms from the press of "メ｜ルチェック" on. Two servers on 127.0.0.1:
#   greeting after 10 s      greets after 10 s, then serves an empty mailbox
#   greeting after 12 s, ... greets after 12 s, then never answers USER (the check ends in the "エラー" box
#                            after the 30 s reply timeout)
#
#   bench/responsive/run.sh [-p program folder] [-b baseline program folder]
#
#   -p  the built program folder (default build/program of this checkout)
#   -b  another build's program folder, measured in the same run for comparison
#
# Everything runs under a private Xvfb without a window manager (the ping goes to the window directly).
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
repo="$(cd "$here/../.." && pwd)"
program="$repo/build/program"
baseline=""
while getopts "p:b:" option; do
    case "$option" in
    p) program="$(cd "$OPTARG" && pwd)" ;;
    b) baseline="$(cd "$OPTARG" && pwd)" ;;
    *) sed -n '9,12p' "$0" >&2; exit 1 ;;
    esac
done
for tool in Xvfb xdotool cc /usr/bin/python3; do
    command -v "$tool" >/dev/null || { echo "run.sh: $tool is missing" >&2; exit 1; }
done

work="$(mktemp -d /tmp/poronica-responsive.XXXXXX)"
pids=()
finish() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap finish EXIT

cc -O2 -o "$work/ping" "$here/ping.c" -lX11
Xvfb -displayfd 3 -screen 0 1280x1024x24 -dpi 96 -nolisten tcp -noreset 3>"$work/display" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [[ -s "$work/display" ]] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"

# A POP3 server that greets after a delay, then serves an empty mailbox or, with "stall", never answers USER.
cat >"$work/server.py" <<'PY'
import socket, sys, threading, time
port, delay, stall = int(sys.argv[1]), float(sys.argv[2]), sys.argv[3] == "stall"
def serve(client):
    time.sleep(delay)
    client.sendall(b"+OK ready\r\n")
    for line in client.makefile("rb"):
        verb = line.split()[0].upper() if line.split() else b""
        if verb == b"USER" and stall:
            time.sleep(3600)
        client.sendall({b"CAPA": b"+OK\r\nUSER\r\nTOP\r\n.\r\n", b"STAT": b"+OK 0 0\r\n"}.get(verb, b"+OK\r\n"))
        if verb == b"QUIT":
            break
    client.close()
listener = socket.socket()
listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
listener.bind(("127.0.0.1", port))
listener.listen(5)
while True:
    threading.Thread(target=serve, args=(listener.accept()[0],), daemon=True).start()
PY

port=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')

# Prints "<longest wait in ms> <pings>" for one program against one server.
measure() { # program folder, greeting delay, "stall" or "serve", seconds to ping
    local folder="$work/run" server
    rm -rf "$folder" && cp -r "$1" "$folder" && mkdir -p "$folder/current"
    find "$folder/★MailData" -type f -delete
    printf '[EXEINI]\r\nNAME=alice\r\nNAME2=secret\r\n' >"$folder/★MailData/iniIdPass.ini"
    printf 'POP3=127.0.0.1:%s\r\n' "$port" >"$folder/current/vbmail.ini"
    /usr/bin/python3 "$work/server.py" "$port" "$2" "$3" & server=$!
    sleep 0.3
    (cd "$folder/current" && exec env QT_QPA_PLATFORM=xcb DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent \
        "$folder/poronica" >"$work/program.log" 2>&1) &
    local started=$! window=""
    for _ in $(seq 100); do
        window=$(xdotool search --onlyvisible --name '^ポロニカ$' 2>/dev/null | tail -n 1) && [[ -n $window ]] && break
        sleep 0.1
    done
    sleep 0.5
    xdotool mousemove --window "$window" 204 134 click 1 # "メ｜ルチェック"
    "$work/ping" "$window" "$4"
    kill "$started" "$server" 2>/dev/null || true
    pkill -f "$folder/poronica" 2>/dev/null || true
    wait "$started" "$server" 2>/dev/null || true
}

printf '%-40s %-10s %12s %7s\n' "server" "program" "longest (ms)" "pings"
for scenario in "10 serve 14 greeting after 10 s" "12 stall 46 greeting after 12 s, then no reply"; do
    read -r delay mode seconds name <<<"$scenario"
    read -r after pings < <(measure "$program" "$delay" "$mode" "$seconds")
    printf '%-40s %-10s %12s %7s\n' "$name" "this" "$after" "$pings"
    if [[ -n $baseline ]]; then
        read -r before pings < <(measure "$baseline" "$delay" "$mode" "$seconds")
        printf '%-40s %-10s %12s %7s   baseline/this %.0f (this counted as at least 1 ms)\n' "$name" "baseline" \
            "$before" "$pings" "$(/usr/bin/python3 -c "print($before / max($after, 1))")"
    fi
done
