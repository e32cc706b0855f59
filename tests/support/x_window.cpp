#include "tests/support/x_window.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace xtest {

namespace {

// A connection for each question; an error (a window gone meanwhile) fails
// the question rather than the test program.
struct Connection {
    explicit Connection(const std::string& name) : display(XOpenDisplay(name.c_str())) {
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    }
    ~Connection() {
        if (display != nullptr) XCloseDisplay(display);
    }
    Display* display;
};

WindowPlace placeOn(Display* display, Window window) {
    WindowPlace place;
    XWindowAttributes attributes{};
    Window child = 0;
    char* name = nullptr;
    if (XGetWindowAttributes(display, window, &attributes) == 0 ||
        !XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &place.x, &place.y, &child))
        return place;
    // SDL's message box names itself only in UTF-8 (_NET_WM_NAME).
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False), 0, 1024, False,
                           AnyPropertyType, &type, &format, &count, &after, &data) == Success &&
        data != nullptr && format == 8)
        place.title.assign(reinterpret_cast<char*>(data), count);
    if (data != nullptr) XFree(data);
    if (place.title.empty() && XFetchName(display, window, &name) != 0 && name != nullptr) {
        place.title = name;
        XFree(name);
    }
    place.id = window;
    place.width = attributes.width;
    place.height = attributes.height;
    return place;
}

WindowPlace search(Display* display, Window parent, const std::string& title) {
    Window root = 0, up = 0, *children = nullptr;
    unsigned int count = 0;
    WindowPlace found;
    if (XQueryTree(display, parent, &root, &up, &children, &count) == 0) return found;
    for (unsigned int i = 0; i < count && found.id == 0; ++i) {
        XWindowAttributes attributes{};
        if (XGetWindowAttributes(display, children[i], &attributes) == 0 || attributes.map_state != IsViewable) continue;
        found = placeOn(display, children[i]);
        if (found.title.find(title) == std::string::npos) found = search(display, children[i], title);
    }
    if (children != nullptr) XFree(children);
    return found;
}

}  // namespace

WindowPlace findWindow(const std::string& display, const std::string& title) {
    const Connection x(display);
    return x.display != nullptr ? search(x.display, DefaultRootWindow(x.display), title) : WindowPlace{};
}

WindowPlace placeOf(const std::string& display, unsigned long id) {
    const Connection x(display);
    return x.display != nullptr ? placeOn(x.display, id) : WindowPlace{};
}

bool sendCloseButton(const std::string& display, unsigned long id) {
    const Connection x(display);
    if (x.display == nullptr) return false;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = id;
    event.xclient.message_type = XInternAtom(x.display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(x.display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const bool sent = XSendEvent(x.display, id, False, NoEventMask, &event) != 0;
    XSync(x.display, False);
    return sent;
}

bool windowManagerRunning(const std::string& display) {
    const Connection x(display);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const bool found = x.display != nullptr &&
                       XGetWindowProperty(x.display, DefaultRootWindow(x.display),
                                          XInternAtom(x.display, "_NET_SUPPORTING_WM_CHECK", False), 0, 1, False,
                                          XA_WINDOW, &type, &format, &count, &after, &data) == Success &&
                       count == 1;
    if (data != nullptr) XFree(data);
    return found;
}

}  // namespace xtest
