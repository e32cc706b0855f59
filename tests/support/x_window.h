#pragma once
// A program's window on an X server, as a window manager or a person sees
// it: found by its title, its place and size on the screen, its title, and
// the close button's message.
#include <string>

namespace xtest {

struct WindowPlace {
    unsigned long id = 0;  // 0: no such window
    int x = 0, y = 0;      // of the client area, on the screen
    int width = 0, height = 0;
};

// The first mapped window whose title holds `title` (WM_NAME or
// _NET_WM_NAME), searched through the whole tree (a window manager's frames
// hold the programs' windows).
WindowPlace findWindow(const std::string& display, const std::string& title);
// The window's place now; id 0 once it is gone.
WindowPlace placeOf(const std::string& display, unsigned long id);
std::string titleOf(const std::string& display, unsigned long id);
// Sends WM_DELETE_WINDOW, as a window manager does when its close button is
// clicked.
bool sendCloseButton(const std::string& display, unsigned long id);
// True once a window manager has taken the screen (_NET_SUPPORTING_WM_CHECK).
bool windowManagerRunning(const std::string& display);

}  // namespace xtest
