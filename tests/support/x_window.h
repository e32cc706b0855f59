#pragma once
// A program's window on an X server as a window manager sees it: found by
// its title, its place on the screen, and the close button's message.
#include <string>

namespace xtest {

struct WindowPlace {
    unsigned long id = 0;  // 0: no such window
    int x = 0, y = 0;      // of the inside, on the screen
    int width = 0, height = 0;
    std::string title;
};

// The first mapped window (at any depth: a window manager's frames hold
// the programs' windows) whose title (_NET_WM_NAME, else WM_NAME) holds
// `title`.
WindowPlace findWindow(const std::string& display, const std::string& title);
// The window's place now; id 0 once it is gone.
WindowPlace placeOf(const std::string& display, unsigned long id);
// WM_DELETE_WINDOW, as a window manager sends it for its close button.
bool sendCloseButton(const std::string& display, unsigned long id);
// True once a window manager has taken the screen (_NET_SUPPORTING_WM_CHECK).
bool windowManagerRunning(const std::string& display);

}  // namespace xtest
