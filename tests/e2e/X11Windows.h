#pragma once
// The top-level windows a process has mapped on an X display, found by the
// process id the toolkit puts on each of them.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <sys/types.h>
#include <vector>

namespace e2e {

// With their widths, so that a caller can tell the main window from a box.
struct MappedWindow {
    Window id = 0;
    int width = 0;
};

// A window that goes while it is looked at (a program ending) is no error.
inline int IgnoreXError(Display*, XErrorEvent*) { return 0; }

inline std::vector<MappedWindow> MappedWindowsOf(Display* display, pid_t pid) {
    std::vector<MappedWindow> found;
    XSync(display, False);
    auto previous = XSetErrorHandler(IgnoreXError);
    struct Restore {
        Display* display;
        int (*handler)(Display*, XErrorEvent*);
        ~Restore() {
            XSync(display, False);
            XSetErrorHandler(handler);
        }
    } restore{display, previous};
    Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
    Window root = DefaultRootWindow(display), parent, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, root, &root, &parent, &children, &count)) return found;
    for (unsigned i = 0; i < count; ++i) {
        Atom type;
        int format;
        unsigned long n, after;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display, children[i], pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &n, &after,
                               &data) != Success || !data)
            continue;
        XWindowAttributes attrs;
        if (n == 1 && static_cast<pid_t>(*reinterpret_cast<unsigned long*>(data)) == pid &&
            XGetWindowAttributes(display, children[i], &attrs) && attrs.map_state == IsViewable)
            found.push_back({children[i], attrs.width});
        XFree(data);
    }
    if (children) XFree(children);
    return found;
}

} // namespace e2e
