#!/usr/bin/env python3
"""A POP3 responder for the benchmark: says +OK to everything and holds a fixed number of tiny messages.

    pop3stub.py <port file> [message count] [quit file]

Listens on 127.0.0.1 at a free port, writes the port number into <port file> and serves until killed.
With a quit file, appends to it the time (seconds since the epoch) at which each QUIT arrives.
"""
import socket
import sys
import threading
import time

MESSAGE = (b"From: bench@localhost\r\nTo: alice@localhost\r\nSubject: bench\r\n"
           b"Date: Mon, 1 Jan 2024 00:00:00 +0900\r\n\r\nhello\r\n")


def serve(connection, count, quitFile):
    stream = connection.makefile("rb")

    def send(text):
        connection.sendall(text)

    send(b"+OK bench ready <1.2@localhost>\r\n")
    for raw in stream:
        words = raw.strip().split()
        verb = words[0].upper() if words else b""
        number = int(words[1]) if len(words) > 1 and words[1].isdigit() else 0
        if verb == b"STAT":
            send(b"+OK %d %d\r\n" % (count, count * len(MESSAGE)))
        elif verb == b"LIST" and number:
            send(b"+OK %d %d\r\n" % (number, len(MESSAGE)))
        elif verb == b"LIST":
            send(b"+OK\r\n" + b"".join(b"%d %d\r\n" % (n, len(MESSAGE)) for n in range(1, count + 1)) + b".\r\n")
        elif verb in (b"TOP", b"RETR"):
            send(b"+OK\r\n" + MESSAGE + b".\r\n")
        elif verb == b"UIDL" and not number:
            send(b"+OK\r\n" + b"".join(b"%d u%d\r\n" % (n, n) for n in range(1, count + 1)) + b".\r\n")
        elif verb == b"CAPA":
            send(b"+OK\r\nUSER\r\nTOP\r\nUIDL\r\n.\r\n")
        elif verb == b"QUIT":
            arrived = time.time()
            send(b"+OK bye\r\n")
            if quitFile:
                with open(quitFile, "a") as log:
                    log.write("%.6f\n" % arrived)
            break
        else:
            send(b"+OK\r\n")
    connection.close()


def main():
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 0
    quitFile = sys.argv[3] if len(sys.argv) > 3 else None
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    with open(sys.argv[1], "w") as portFile:
        portFile.write("%d\n" % listener.getsockname()[1])
    while True:
        connection, _ = listener.accept()
        threading.Thread(target=serve, args=(connection, count, quitFile), daemon=True).start()


if __name__ == "__main__":
    main()
