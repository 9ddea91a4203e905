// The notice window from outside, for run.sh.
//
//   notice shown <timeout ms> <caption>   waits until a top-level window with the caption is on screen and
//                                         its page pane (369 x 329 at its top left) holds a picture (more
//                                         than 50 colours: an empty or unpainted pane has one or two), then
//                                         prints "<seconds since the epoch> <window id>"; "timeout 0" and
//                                         status 2 if it never does
//   notice close <window id>              asks the window to close, as a window manager's close button does
#define _GNU_SOURCE
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

enum { PaneWidth = 369, PaneHeight = 329 };

static double now(void)
{
    struct timespec t;
    clock_gettime(CLOCK_REALTIME, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

static int ignoreErrors(Display *display, XErrorEvent *event)
{
    (void)display;
    (void)event;
    return 0;
}

static int hasCaption(Display *display, Window window, const char *caption)
{
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = NULL;
    int match = 0;
    if (XGetWindowProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False), 0, 1024, False,
                           XInternAtom(display, "UTF8_STRING", False), &type, &format, &count, &after,
                           &data) == Success &&
        data) {
        match = strcmp((const char *)data, caption) == 0;
        XFree(data);
    }
    return match;
}

// The viewable top-level window with the caption, or 0. Qt may replace the window while the page comes
// in, so it is looked for afresh every time.
static Window find(Display *display, const char *caption, int *x, int *y)
{
    Window root = 0, parent = 0, *children = NULL, found = 0;
    unsigned int count = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count))
        return 0;
    for (unsigned int i = 0; i < count && !found; ++i) {
        XWindowAttributes attributes;
        if (XGetWindowAttributes(display, children[i], &attributes) && attributes.map_state == IsViewable &&
            hasCaption(display, children[i], caption)) {
            found = children[i];
            *x = attributes.x;
            *y = attributes.y;
        }
    }
    XFree(children);
    return found;
}

static int colours(Display *display, int x, int y)
{
    // The root window's pixels, not the notice's own: the notice may be gone by the time they are read.
    XImage *image = XGetImage(display, DefaultRootWindow(display), x, y, PaneWidth, PaneHeight, AllPlanes, ZPixmap);
    if (!image)
        return 0;
    static unsigned char seen[1 << 21];
    memset(seen, 0, sizeof seen);
    int distinct = 0;
    for (int row = 0; row < PaneHeight; ++row) {
        for (int column = 0; column < PaneWidth; ++column) {
            const unsigned long pixel = XGetPixel(image, column, row) & 0xffffff;
            if (!(seen[pixel >> 3] & (1 << (pixel & 7)))) {
                seen[pixel >> 3] |= 1 << (pixel & 7);
                ++distinct;
            }
        }
    }
    XDestroyImage(image);
    return distinct;
}

int main(int argc, char **argv)
{
    Display *display = argc > 2 ? XOpenDisplay(NULL) : NULL;
    if (!display) {
        fprintf(stderr, "usage: %s shown <timeout ms> <caption> | close <window id> (with a display)\n", argv[0]);
        return 1;
    }
    XSetErrorHandler(ignoreErrors);
    if (strcmp(argv[1], "close") == 0) {
        XEvent event;
        memset(&event, 0, sizeof event);
        event.xclient.type = ClientMessage;
        event.xclient.window = (Window)strtoul(argv[2], NULL, 0);
        event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = (long)XInternAtom(display, "WM_DELETE_WINDOW", False);
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(display, event.xclient.window, False, NoEventMask, &event);
        XCloseDisplay(display);
        return 0;
    }
    if (strcmp(argv[1], "shown") != 0 || argc < 4)
        return 1;
    const double deadline = now() + atof(argv[2]) / 1000;
    while (now() < deadline) {
        int x = 0, y = 0;
        const Window window = find(display, argv[3], &x, &y);
        if (window && colours(display, x, y) > 50) {
            printf("%.6f %lu\n", now(), (unsigned long)window);
            return 0;
        }
        usleep(10000);
    }
    printf("timeout 0\n");
    return 2;
}
