#!/usr/bin/python3
"""The library's command sequence with Python's poplib, as a reference for the benchmark:
USER, PASS, STAT, then TOP n 0, LIST n and TOP n <size> for every message, QUIT.

    poplib_walk.py <host> <port> <user> <password>
"""
import poplib
import sys


def main():
    host, port, user, password = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
    pop = poplib.POP3(host, port)
    pop.user(user)
    pop.pass_(password)
    count, _ = pop.stat()
    total = 0
    for number in range(1, count + 1):
        pop.top(number, 0)
        size = int(pop.list(number).split()[2])
        _, lines, octets = pop.top(number, size)
        total += octets
    pop.quit()
    print(f"messages={count} octets={total}")


if __name__ == "__main__":
    main()
