#!/usr/bin/env bash
# A private Dovecot POP3 server on 127.0.0.1:
#   dovecot.sh DIR PLAIN_PORT TLS_PORT user:password...  runs Dovecot in the foreground (stop it with SIGTERM)
#   dovecot.sh deliver DIR USER NAME <message              delivers a message; POP3 numbers follow NAME
# DIR gets dovecot.conf, the users, a certificate for localhost and 127.0.0.1 (cert.pem), the log (dovecot.log)
# and a maildir per user under mail/USER. DIR must be short (Dovecot's sockets live under it).
set -euo pipefail
here=$(dirname "$0")
# Dovecot refuses uid 0 for mail users: as root the mailboxes belong to nobody.
owner=$(id -u):$(id -g)
[[ $(id -u) -ne 0 ]] || owner=65534:65534
if [[ $1 == deliver ]]; then
    box=$2/mail/$3
    mkdir -p "$box"/{new,cur,tmp}
    cat >"$box/tmp/$4"
    chown "$owner" "$box/tmp/$4" && chmod 644 "$box/tmp/$4"
    exec mv "$box/tmp/$4" "$box/new/$4"
fi
dir=$1 plain=$2 tls=$3 && shift 3
if [[ $(id -u) -eq 0 ]]; then
    uid=65534 gid=65534
    users=$'default_login_user = dovenull\ndefault_internal_user = dovecot\ndefault_internal_group = dovecot'
else
    uid=$(id -u) gid=$(id -g)
    users="default_login_user = $(id -un)"$'\n'"default_internal_user = $(id -un)"
fi
chmod 755 "$dir"
rm -rf "$dir/run" "$dir/state" && mkdir -p "$dir/mail"
: >"$dir/users"
for entry in "$@"; do
    user=${entry%%:*}
    mkdir -p "$dir/mail/$user"/{new,cur,tmp}
    echo "$user:{PLAIN}${entry#*:}:$uid:$gid::$dir/mail/$user" >>"$dir/users"
done
chown -R "$owner" "$dir/mail" && chmod -R a+rX "$dir/mail" && chmod 644 "$dir/users"
[[ -f "$dir/cert.pem" ]] || openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 -subj /CN=localhost \
    -addext "subjectAltName=DNS:localhost,IP:127.0.0.1" -keyout "$dir/key.pem" -out "$dir/cert.pem" 2>/dev/null
chmod 644 "$dir/cert.pem"
users=${users//$'\n'/\\n}
sed -e "s|@DIR@|$dir|g" -e "s|@PLAIN_PORT@|$plain|g" -e "s|@TLS_PORT@|$tls|g" -e "s|@USERS@|$users|" \
    "$here/dovecot.conf.in" >"$dir/dovecot.conf"
exec /usr/sbin/dovecot -F -c "$dir/dovecot.conf"
