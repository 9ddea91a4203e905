// Starts a program and reports how long it took until a top-level window with the given caption was mapped.
// Prints "<pid> <milliseconds> <window id>" and exits, leaving the program running; on a timeout it prints
// "<pid> timeout 0" and exits with status 2.
//
//   launch <timeout ms> <caption> <log file> <program> [arguments...]
#define _GNU_SOURCE
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

static double nowMs(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

static int ignoreErrors(Display *display, XErrorEvent *event)
{
    (void)display;
    (void)event;
    return 0;
}

static int hasCaption(Display *display, Window window, const char *caption)
{
    const Atom name = XInternAtom(display, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = NULL;
    int match = 0;
    if (XGetWindowProperty(display, window, name, 0, 1024, False, utf8, &type, &format, &count, &after, &data) ==
            Success &&
        data) {
        match = strcmp((const char *)data, caption) == 0;
        XFree(data);
    }
    return match;
}

int main(int argc, char **argv)
{
    if (argc < 5) {
        fprintf(stderr, "usage: %s <timeout ms> <caption> <log file> <program> [arguments...]\n", argv[0]);
        return 1;
    }
    const double timeout = atof(argv[1]);
    const char *caption = argv[2];
    Display *display = XOpenDisplay(NULL);
    if (!display) {
        fprintf(stderr, "launch: cannot open the display\n");
        return 1;
    }
    XSetErrorHandler(ignoreErrors);
    // Listen before the program starts, so that no map can be missed.
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, False);

    const double start = nowMs();
    const pid_t pid = fork();
    if (pid < 0) {
        perror("fork");
        return 1;
    }
    if (pid == 0) {
        close(ConnectionNumber(display));
        const int log = open(argv[3], O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (log >= 0) {
            dup2(log, STDOUT_FILENO);
            dup2(log, STDERR_FILENO);
            close(log);
        }
        execv(argv[4], argv + 4);
        perror("execv");
        _exit(127);
    }

    struct pollfd poller = {ConnectionNumber(display), POLLIN, 0};
    for (;;) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify && hasCaption(display, event.xmap.window, caption)) {
                printf("%d %.1f %lu\n", (int)pid, nowMs() - start, (unsigned long)event.xmap.window);
                return 0;
            }
        }
        const double left = start + timeout - nowMs();
        if (left <= 0)
            break;
        poll(&poller, 1, (int)left + 1);
    }
    printf("%d timeout 0\n", (int)pid);
    return 2;
}
