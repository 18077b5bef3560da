/* Plays the X11 desktop around Quillane under Wine: a file manager that drags
 * files onto it, a window manager that closes it, and an eye that looks at it.
 *
 *   xdrive find TITLE SECONDS     print the id of the drop-aware top-level window titled TITLE
 *   xdrive drop WINDOW PATH...    drag PATHs (absolute) onto WINDOW via XDND as text/uri-list
 *   xdrive close WINDOW           send WM_DELETE_WINDOW, as a window manager's close button does
 *   xdrive black X Y W H          fail unless every screen pixel in the rectangle is black
 */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <poll.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

enum { xdnd_max_version = 5, reply_timeout_ms = 10000 };

static Display *dpy;

static void die(const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    fputs("xdrive: ", stderr);
    vfprintf(stderr, fmt, ap);
    fputc('\n', stderr);
    va_end(ap);
    exit(1);
}

static Atom atom(const char *name) { return XInternAtom(dpy, name, False); }

static long now_ms(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000L + ts.tv_nsec / 1000000L;
}

/* X errors are expected while walking a tree whose windows come and go. */
static int ignore_error(Display *d, XErrorEvent *e)
{
    (void)d;
    (void)e;
    return 0;
}

static int xdnd_version(Window w)
{
    Atom type;
    int format;
    unsigned long n, left;
    unsigned char *data = NULL;
    int version = 0;
    if (XGetWindowProperty(dpy, w, atom("XdndAware"), 0, 1, False, XA_ATOM, &type, &format, &n, &left, &data) ==
            Success &&
        data && n == 1 && format == 32)
        version = (int)*(Atom *)data;
    XFree(data);
    return version;
}

static int has_title(Window w, const char *title)
{
    XTextProperty prop;
    int match = 0;
    if (XGetWMName(dpy, w, &prop) && prop.value) {
        match = strcmp((const char *)prop.value, title) == 0;
        XFree(prop.value);
    }
    return match;
}

static Window search(Window w, const char *title)
{
    XWindowAttributes attr;
    if (XGetWindowAttributes(dpy, w, &attr) && attr.map_state == IsViewable && xdnd_version(w) &&
        has_title(w, title))
        return w;
    Window root, parent, *kids = NULL, found = None;
    unsigned int n = 0;
    if (XQueryTree(dpy, w, &root, &parent, &kids, &n))
        for (unsigned int i = 0; i < n && found == None; ++i)
            found = search(kids[i], title);
    XFree(kids);
    return found;
}

static int find(const char *title, double seconds)
{
    long deadline = now_ms() + (long)(seconds * 1000);
    XSetErrorHandler(ignore_error);
    for (;;) {
        Window w = search(DefaultRootWindow(dpy), title);
        if (w != None) {
            printf("%lu\n", w);
            return 0;
        }
        if (now_ms() > deadline)
            die("no window titled \"%s\" appeared within %.1f s", title, seconds);
        struct timespec pause = {0, 50 * 1000000L};
        nanosleep(&pause, NULL);
    }
}

static void send_client_message(Window to, Atom type, long l0, long l1, long l2, long l3, long l4)
{
    XEvent e = {0};
    e.xclient.type = ClientMessage;
    e.xclient.window = to;
    e.xclient.message_type = type;
    e.xclient.format = 32;
    e.xclient.data.l[0] = l0;
    e.xclient.data.l[1] = l1;
    e.xclient.data.l[2] = l2;
    e.xclient.data.l[3] = l3;
    e.xclient.data.l[4] = l4;
    XSendEvent(dpy, to, False, NoEventMask, &e);
    XFlush(dpy);
}

/* Keeps bytes a URI may carry as they are and percent-encodes the rest, so
 * that UTF-8 names survive as the receiving side's decoder expects. */
static void append_uri(char **buf, size_t *len, const char *path)
{
    static const char keep[] = "-._~/";
    size_t need = *len + strlen("file://") + 3 * strlen(path) + 3;
    *buf = realloc(*buf, need);
    if (!*buf)
        die("out of memory");
    *len += (size_t)sprintf(*buf + *len, "file://");
    for (const unsigned char *p = (const unsigned char *)path; *p; ++p) {
        if ((*p >= 'A' && *p <= 'Z') || (*p >= 'a' && *p <= 'z') || (*p >= '0' && *p <= '9') || strchr(keep, *p))
            (*buf)[(*len)++] = (char)*p;
        else
            *len += (size_t)sprintf(*buf + *len, "%%%02X", *p);
    }
    *len += (size_t)sprintf(*buf + *len, "\r\n");
}

static void answer_selection(XSelectionRequestEvent *req, Atom uri_list, const char *uris, size_t len)
{
    XEvent reply = {0};
    reply.xselection.type = SelectionNotify;
    reply.xselection.requestor = req->requestor;
    reply.xselection.selection = req->selection;
    reply.xselection.target = req->target;
    reply.xselection.time = req->time;
    reply.xselection.property = None;
    if (req->target == uri_list) {
        Atom property = req->property != None ? req->property : req->target;
        XChangeProperty(dpy, req->requestor, property, uri_list, 8, PropModeReplace, (const unsigned char *)uris,
                        (int)len);
        reply.xselection.property = property;
    }
    XSendEvent(dpy, req->requestor, False, NoEventMask, &reply);
    XFlush(dpy);
}

/* Serves the selection until the target sends `wanted`, then returns its first data words. */
static XClientMessageEvent await(Atom wanted, Atom uri_list, const char *uris, size_t len)
{
    long deadline = now_ms() + reply_timeout_ms;
    for (;;) {
        while (XPending(dpy)) {
            XEvent e;
            XNextEvent(dpy, &e);
            if (e.type == SelectionRequest)
                answer_selection(&e.xselectionrequest, uri_list, uris, len);
            else if (e.type == ClientMessage && e.xclient.message_type == wanted)
                return e.xclient;
        }
        long left = deadline - now_ms();
        if (left <= 0)
            die("the drop target did not answer with %s", XGetAtomName(dpy, wanted));
        struct pollfd pfd = {ConnectionNumber(dpy), POLLIN, 0};
        poll(&pfd, 1, (int)left);
    }
}

static int drop(Window target, int npaths, char **paths)
{
    char *uris = NULL;
    size_t len = 0;
    for (int i = 0; i < npaths; ++i) {
        if (paths[i][0] != '/')
            die("path is not absolute: %s", paths[i]);
        append_uri(&uris, &len, paths[i]);
    }

    int version = xdnd_version(target);
    if (!version)
        die("window 0x%lx does not accept XDND drops", target);
    if (version > xdnd_max_version)
        version = xdnd_max_version;

    Window source = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 1, 1, 0, 0, 0);
    Atom uri_list = atom("text/uri-list"), copy = atom("XdndActionCopy");
    XSetSelectionOwner(dpy, atom("XdndSelection"), source, CurrentTime);
    if (XGetSelectionOwner(dpy, atom("XdndSelection")) != source)
        die("could not own XdndSelection");

    Window child;
    int x, y;
    XWindowAttributes attr;
    XGetWindowAttributes(dpy, target, &attr);
    XTranslateCoordinates(dpy, target, DefaultRootWindow(dpy), attr.width / 2, attr.height / 2, &x, &y, &child);

    send_client_message(target, atom("XdndEnter"), (long)source, (long)version << 24, (long)uri_list, None, None);
    send_client_message(target, atom("XdndPosition"), (long)source, 0, ((long)x << 16) | y, CurrentTime,
                        (long)copy);
    XClientMessageEvent status = await(atom("XdndStatus"), uri_list, uris, len);
    if (!(status.data.l[1] & 1)) {
        send_client_message(target, atom("XdndLeave"), (long)source, 0, 0, 0, 0);
        die("the window refused the drop (does it accept files?)");
    }
    send_client_message(target, atom("XdndDrop"), (long)source, 0, CurrentTime, 0, 0);
    XClientMessageEvent finished = await(atom("XdndFinished"), uri_list, uris, len);
    if (version >= 5 && !(finished.data.l[1] & 1))
        die("the window reported the drop as not accepted");
    free(uris);
    return 0;
}

static int close_window(Window w)
{
    send_client_message(w, atom("WM_PROTOCOLS"), (long)atom("WM_DELETE_WINDOW"), CurrentTime, 0, 0, 0);
    XSync(dpy, False);
    return 0;
}

static int black(int x, int y, int w, int h)
{
    XImage *img = XGetImage(dpy, DefaultRootWindow(dpy), x, y, (unsigned)w, (unsigned)h, AllPlanes, ZPixmap);
    if (!img)
        die("could not read the screen at %d,%d %dx%d", x, y, w, h);
    long others = 0;
    int fx = 0, fy = 0;
    unsigned long first = 0;
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) {
            unsigned long p = XGetPixel(img, i, j);
            if (p != BlackPixel(dpy, DefaultScreen(dpy)) && !others++) {
                fx = x + i;
                fy = y + j;
                first = p;
            }
        }
    XDestroyImage(img);
    if (others)
        die("%ld of %d pixels are not black; first at %d,%d is 0x%06lx", others, w * h, fx, fy, first);
    return 0;
}

static Window window_arg(const char *s)
{
    char *end;
    unsigned long w = strtoul(s, &end, 0);
    if (*end || !w)
        die("bad window id: %s", s);
    return (Window)w;
}

int main(int argc, char **argv)
{
    dpy = XOpenDisplay(NULL);
    if (!dpy)
        die("cannot open display \"%s\"", XDisplayName(NULL));
    const char *cmd = argc > 1 ? argv[1] : "";
    if (!strcmp(cmd, "find") && argc == 4)
        return find(argv[2], atof(argv[3]));
    if (!strcmp(cmd, "drop") && argc >= 4)
        return drop(window_arg(argv[2]), argc - 3, argv + 3);
    if (!strcmp(cmd, "close") && argc == 3)
        return close_window(window_arg(argv[2]));
    if (!strcmp(cmd, "black") && argc == 6)
        return black(atoi(argv[2]), atoi(argv[3]), atoi(argv[4]), atoi(argv[5]));
    die("usage: xdrive find TITLE SECONDS | drop WINDOW PATH... | close WINDOW | black X Y W H");
}
