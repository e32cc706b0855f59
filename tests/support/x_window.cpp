#include "tests/support/x_window.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <memory>

namespace xtest {

namespace {

// A connection of its own for each question; errors (a window that went
// away) make the question fail rather than end the test program.
struct Connection {
    explicit Connection(const std::string& name) : display(XOpenDisplay(name.c_str())) {
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    }
    ~Connection() {
        if (display != nullptr) XCloseDisplay(display);
    }
    Display* display;
};

std::string titleOn(Display* display, Window window) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string title;
    const Atom netName = XInternAtom(display, "_NET_WM_NAME", False);
    if (XGetWindowProperty(display, window, netName, 0, 1024, False, AnyPropertyType, &type, &format, &count, &after,
                           &data) == Success &&
        data != nullptr && format == 8) {
        title.assign(reinterpret_cast<char*>(data), count);
    }
    if (data != nullptr) XFree(data);
    if (title.empty()) {
        char* name = nullptr;
        if (XFetchName(display, window, &name) != 0 && name != nullptr) {
            title = name;
            XFree(name);
        }
    }
    return title;
}

WindowPlace placeOn(Display* display, Window window) {
    WindowPlace place;
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(display, window, &attributes) == 0) return place;
    Window child = 0;
    if (!XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &place.x, &place.y, &child))
        return place;
    place.id = window;
    place.width = attributes.width;
    place.height = attributes.height;
    return place;
}

Window search(Display* display, Window parent, const std::string& title) {
    Window root = 0, up = 0, *children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(display, parent, &root, &up, &children, &count) == 0) return 0;
    Window found = 0;
    for (unsigned int i = 0; i < count && found == 0; ++i) {
        XWindowAttributes attributes{};
        if (XGetWindowAttributes(display, children[i], &attributes) == 0 || attributes.map_state != IsViewable)
            continue;
        if (titleOn(display, children[i]).find(title) != std::string::npos) found = children[i];
        else found = search(display, children[i], title);
    }
    if (children != nullptr) XFree(children);
    return found;
}

}  // namespace

WindowPlace findWindow(const std::string& display, const std::string& title) {
    const Connection x(display);
    if (x.display == nullptr) return {};
    const Window window = search(x.display, DefaultRootWindow(x.display), title);
    return window != 0 ? placeOn(x.display, window) : WindowPlace{};
}

WindowPlace placeOf(const std::string& display, unsigned long id) {
    const Connection x(display);
    return x.display != nullptr ? placeOn(x.display, id) : WindowPlace{};
}

std::string titleOf(const std::string& display, unsigned long id) {
    const Connection x(display);
    return x.display != nullptr ? titleOn(x.display, id) : "";
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
    if (x.display == nullptr) return false;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const Atom check = XInternAtom(x.display, "_NET_SUPPORTING_WM_CHECK", False);
    const bool found = XGetWindowProperty(x.display, DefaultRootWindow(x.display), check, 0, 1, False, XA_WINDOW, &type,
                                          &format, &count, &after, &data) == Success &&
                       count == 1;
    if (data != nullptr) XFree(data);
    return found;
}

}  // namespace xtest
