// The demo's console, keyboard and message-box calls, on every system: each
// checks what the Windows call would and hands the work to the chosen
// presenter (presenter.h).
#include "platform/console.h"
#include "platform/keyboard.h"
#include "platform/message_box.h"
#include "platform/present/presenter.h"

namespace {

Presenter* current = nullptr;  // kept to the end: no presenter is destroyed at exit

// The one console there is; its address serves as the handle.
int standardOutput = 0;

bool isConsole(HANDLE console) { return console == &standardOutput; }

BOOL result(bool done) { return done ? TRUE : FALSE; }

}  // namespace

Presenter& presenter() {
    if (current == nullptr) choosePresenter(PresenterRequest{});
    return *current;
}

void usePresenter(std::unique_ptr<Presenter> chosen) {
    if (current != nullptr) {
        current->close();
        delete current;
    }
    current = chosen.release();
}

void closePresenter() {
    if (current != nullptr) current->close();
}

HANDLE GetStdHandle(DWORD which) {
    if (which != STD_OUTPUT_HANDLE) return nullptr;
    presenter().open();
    return &standardOutput;
}

BOOL SetConsoleTitleA(const char* title) { return result(title != nullptr && presenter().setTitle(title)); }

BOOL SetConsoleWindowInfo(HANDLE console, BOOL absolute, const SMALL_RECT* window) {
    if (!isConsole(console) || absolute == FALSE || window == nullptr) return FALSE;
    return result(presenter().setWindow(window->Right - window->Left + 1, window->Bottom - window->Top + 1));
}

BOOL SetConsoleScreenBufferSize(HANDLE console, COORD size) {
    if (!isConsole(console)) return FALSE;
    return result(presenter().setBufferSize(size.X, size.Y));
}

// The handle is not looked at: there is one console, and the page presents
// cells for its tests without having asked for it.
BOOL WriteConsoleOutputA(HANDLE, const CHAR_INFO* cells, COORD bufferSize, COORD bufferCoord,
                         SMALL_RECT* writeRegion) {
    // Only the whole grid is ever written: 80 x 50 cells from the top-left.
    if (cells == nullptr || writeRegion == nullptr || bufferSize.X != 80 ||
        bufferSize.Y != 50 || bufferCoord.X != 0 || bufferCoord.Y != 0 || writeRegion->Left != 0 ||
        writeRegion->Top != 0 || writeRegion->Right != 79 || writeRegion->Bottom != 49) {
        return FALSE;
    }
    return result(presenter().present(cells));
}

SHORT GetAsyncKeyState(int virtualKey) {
    if (virtualKey != VK_ESCAPE) return 0;
    return presenter().escapePressed() ? static_cast<SHORT>(0x8001) : 0;
}

bool waitForEscapeUntil(std::int64_t deadlineNs) { return presenter().waitForEscapeUntil(deadlineNs); }

int MessageBoxA(HANDLE, const char* text, const char* caption, unsigned) {
    presenter().messageBox(caption != nullptr ? caption : "", text != nullptr ? text : "");
    return 1;  // IDOK
}
