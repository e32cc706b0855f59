// The window's calls for a build without SDL2's video and the console
// fonts' reader: the window never opens, --window says so, and no console
// font is looked for.
#include "platform/common/psf_font.h"
#include "platform/window/window_screen.h"

std::string defaultConsoleFontPath() { return {}; }

void setWindowOptions(const std::string&, int) {}
void chooseWindowRenderer(const char*) {}
std::string openWindowScreen() { return "this build of the program has no window"; }
bool windowScreenOpen() { return false; }
void setWindowTitle(const char*) {}
bool presentOnWindow(const CHAR_INFO*) { return false; }
bool windowEscapePressed() { return false; }
bool waitForWindowEscapeUntil(std::int64_t) { return false; }
void showWindowMessageBox(const char*, const char*) {}
void closeWindowScreen() {}
WindowStats windowStats() { return {}; }
