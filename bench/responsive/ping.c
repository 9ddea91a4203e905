// ping <window id> <seconds>: sends the window manager's _NET_WM_PING to the window every 100 ms for that
// long, then prints the longest time in milliseconds that a ping waited for its answer (a ping still
// unanswered at the end counts until then) and the number of pings.
#include <X11/Xlib.h>

#include <stdio.h>
#include <stdlib.h>
#include <sys/select.h>
#include <time.h>

enum { MaxPings = 100000 };

static double now(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

int main(int argc, char **argv)
{
    if (argc != 3)
        return 2;
    Display *display = XOpenDisplay(NULL);
    if (!display)
        return 2;
    const Window window = strtoul(argv[1], NULL, 0);
    const Window root = DefaultRootWindow(display);
    const Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    const Atom ping = XInternAtom(display, "_NET_WM_PING", False);
    // The answer goes to the root window, with the structure-notify mask.
    XSelectInput(display, root, StructureNotifyMask);
    static double sent[MaxPings];
    static int answered[MaxPings];
    const double start = now(), end = start + atof(argv[2]) * 1e3;
    double longest = 0, next = start;
    int pings = 0;
    while (now() < end) {
        if (now() >= next && pings < MaxPings) {
            XEvent event = {0};
            event.xclient.type = ClientMessage;
            event.xclient.window = window;
            event.xclient.message_type = protocols;
            event.xclient.format = 32;
            event.xclient.data.l[0] = (long)ping;
            event.xclient.data.l[1] = pings; // the timestamp field carries the ping's number
            event.xclient.data.l[2] = (long)window;
            sent[pings++] = now();
            XSendEvent(display, window, False, NoEventMask, &event);
            XFlush(display);
            next += 100;
        }
        while (XPending(display)) {
            XEvent reply;
            XNextEvent(display, &reply);
            const long number = reply.xclient.data.l[1];
            if (reply.type == ClientMessage && reply.xclient.message_type == protocols &&
                (Atom)reply.xclient.data.l[0] == ping && number >= 0 && number < pings && !answered[number]) {
                answered[number] = 1;
                if (now() - sent[number] > longest)
                    longest = now() - sent[number];
            }
        }
        fd_set ready;
        FD_ZERO(&ready);
        FD_SET(ConnectionNumber(display), &ready);
        struct timeval wait = {0, 5000};
        select(ConnectionNumber(display) + 1, &ready, NULL, NULL, &wait);
    }
    for (int i = 0; i < pings; ++i) {
        if (!answered[i] && end - sent[i] > longest)
            longest = end - sent[i];
    }
    printf("%.0f %d\n", longest, pings);
    return 0;
}
