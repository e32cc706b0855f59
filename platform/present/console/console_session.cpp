// The console on Windows. The first console call takes it over: the cursor is
// hidden, the input is read key by key, and the output code page is 437; the
// demo draws on the console's own screen buffer, as the frame loop sizes it.
// restoreConsole gives back the title, the buffer's window and size, what the
// window showed, the cursor, the code page and the input mode, at the end, at
// exit and on Ctrl-C or a closed window. (A screen buffer of the demo's own
// would keep the user's untouched, but Wine's console in a Unix terminal does
// not draw the user's again when it becomes the active one.)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "platform/common/vga_palette.h"
#include "platform/present/console/win32.h"
#include "platform/system/windows_native.h"

namespace {

std::mutex consoleMutex;  // between frames and a hand-back from another thread
bool tookOver = false;
bool restored = false;
HANDLE original = INVALID_HANDLE_VALUE;  // standard output, when a console
HANDLE screen = INVALID_HANDLE_VALUE;    // the buffer the demo draws on
HANDLE input = INVALID_HANDLE_VALUE;
bool inputIsConsole = false;
CONSOLE_SCREEN_BUFFER_INFO savedScreen{};
CONSOLE_CURSOR_INFO savedCursor{};
DWORD savedInputMode = 0;
UINT savedCodePage = 0;
wchar_t savedTitle[1024] = {};
bool titleSaved = false;
CHAR_INFO savedCells[256 * 128];
COORD savedCellsSize{};
bool savedShown = false;
bool vgaColours = true;
bool coloursSet = false;
COLORREF savedColours[16] = {};

// The 16 colours of the PC's VGA text mode, in the console's attribute order
// (blue is bit 0, red bit 2): today's consoles ship other tables (Windows 10's
// Campbell), which would change the pictures' hues.
struct VgaTable {
    COLORREF colours[16];
    VgaTable() {
        for (int i = 0; i < 16; ++i)
            colours[i] = RGB(textModePalette[i][0], textModePalette[i][1], textModePalette[i][2]);
    }
};
const VgaTable vgaTable;

// Sets the colour table, keeping the buffer's size and window. The call takes
// the window's right and bottom edges as one past the last cell, unlike the
// record it fills, so they are moved out by one or the window shrinks.
bool setColourTable(HANDLE out, const COLORREF* table, COLORREF* old) {
    CONSOLE_SCREEN_BUFFER_INFOEX info{};
    info.cbSize = sizeof info;
    if (!GetConsoleScreenBufferInfoEx(out, &info)) return false;
    if (old != nullptr) for (int i = 0; i < 16; ++i) old[i] = info.ColorTable[i];
    for (int i = 0; i < 16; ++i) info.ColorTable[i] = table[i];
    info.srWindow.Right += 1;
    info.srWindow.Bottom += 1;
    return SetConsoleScreenBufferInfoEx(out, &info) != FALSE;
}

std::atomic<std::uint64_t> writeCount{0};
std::atomic<std::uint64_t> cellsHandedCount{0};
CHAR_INFO written[80 * 50];

// A console that took 80 x 50 shows the grid whole at the buffer's top-left,
// as the size calls made it. One that did not (Windows Terminal, Wine's
// console in a Unix terminal) keeps the window it has: there the grid is
// placed in the middle of that window each frame, its centre cut out where
// the window is smaller, so that a smaller one shows the middle of the
// picture rather than its top-left corner.
bool fitted = true;
SMALL_RECT placedFor{-1, -1, -1, -1};  // the window the placement below is for
COORD shownFrom{0, 0};                 // the first grid cell shown
SMALL_RECT shownAt{0, 0, 79, 49};      // where the grid's shown part lands
bool smallSeen = false;                // the window was seen smaller than the grid
int smallColumns = 0, smallRows = 0;   // its size the first time
char smallReason[256] = {};            // why no window opened in its place

bool sameRect(const SMALL_RECT& a, const SMALL_RECT& b) {
    return a.Left == b.Left && a.Top == b.Top && a.Right == b.Right && a.Bottom == b.Bottom;
}

// Places the grid in `window` (buffer cells) and blanks what the grid leaves
// of it. On one axis: the grid centred in a larger window, the window's
// worth of the grid's middle in a smaller one.
void placeGrid(const SMALL_RECT& window) {
    placedFor = window;
    auto place = [](int first, int size, int grid, SHORT& from, SHORT& low, SHORT& high) {
        const int shown = size < grid ? size : grid;
        from = SHORT(size < grid ? (grid - size) / 2 : 0);
        low = SHORT(first + (size > grid ? (size - grid) / 2 : 0));
        high = SHORT(low + shown - 1);
    };
    const int columns = window.Right - window.Left + 1, rows = window.Bottom - window.Top + 1;
    place(window.Left, columns, 80, shownFrom.X, shownAt.Left, shownAt.Right);
    place(window.Top, rows, 50, shownFrom.Y, shownAt.Top, shownAt.Bottom);
    if ((columns < 80 || rows < 50) && !smallSeen) {
        smallSeen = true;
        smallColumns = columns;
        smallRows = rows;
    }
    for (SHORT row = window.Top; row <= window.Bottom; ++row) {
        DWORD done = 0;
        FillConsoleOutputCharacterW(screen, L' ', DWORD(columns), COORD{window.Left, row}, &done);
        FillConsoleOutputAttribute(screen, 0, DWORD(columns), COORD{window.Left, row}, &done);
    }
}

bool currentWindow(SMALL_RECT& window) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(screen, &info)) return false;
    window = info.srWindow;
    return window.Right >= window.Left && window.Bottom >= window.Top;
}

// Esc: set by the key watcher, never cleared (as a terminal's key).
std::atomic<bool> escape{false};
HANDLE escapeEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
HANDLE stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
std::thread* watcher = nullptr;

void pressEscape() {
    escape.store(true);
    SetEvent(escapeEvent);
}

// Esc comes two ways. GetAsyncKeyState sees the key held on the machine's own
// keyboard, but never a key typed into a terminal the console runs in (Wine
// in a Unix terminal, an SSH session); the console's input events carry
// those. Both are polled here every 10 ms, so that a query costs the marcher
// one load, as it asks at every step.
void watchKeys() {
    for (;;) {
        HANDLE waits[2] = {stopEvent, input};
        const DWORD n = inputIsConsole ? 2 : 1;
        const DWORD result = WaitForMultipleObjects(n, waits, FALSE, 10);
        if (result == WAIT_OBJECT_0) return;
        if (result == WAIT_OBJECT_0 + 1) {
            INPUT_RECORD records[32];
            DWORD count = 0;
            if (ReadConsoleInputW(input, records, 32, &count)) {
                for (DWORD i = 0; i < count; ++i) {
                    const KEY_EVENT_RECORD& key = records[i].Event.KeyEvent;
                    if (records[i].EventType == KEY_EVENT && key.bKeyDown &&
                        (key.wVirtualKeyCode == VK_ESCAPE || key.uChar.UnicodeChar == 27)) {
                        pressEscape();
                    }
                }
            }
        }
        if ((::GetAsyncKeyState(VK_ESCAPE) & 0x8000) != 0) pressEscape();
    }
}

void handBack() {
    if (screen != INVALID_HANDLE_VALUE) {
        if (coloursSet) setColourTable(screen, savedColours, nullptr);
        // A smaller window must come before a smaller buffer, a larger buffer
        // before a larger window; trying the window on both sides covers both.
        SetConsoleWindowInfo(screen, TRUE, &savedScreen.srWindow);
        SetConsoleScreenBufferSize(screen, savedScreen.dwSize);
        SetConsoleWindowInfo(screen, TRUE, &savedScreen.srWindow);
        if (savedShown) {
            SMALL_RECT window = savedScreen.srWindow;
            WriteConsoleOutputW(screen, savedCells, savedCellsSize, COORD{0, 0}, &window);
        }
        SetConsoleCursorPosition(screen, savedScreen.dwCursorPosition);
        SetConsoleCursorInfo(screen, &savedCursor);
        SetConsoleTextAttribute(screen, savedScreen.wAttributes);
        SetConsoleOutputCP(savedCodePage);
    }
    if (titleSaved) SetConsoleTitleW(savedTitle);
    if (inputIsConsole) SetConsoleMode(input, savedInputMode);
}

BOOL WINAPI onConsoleEvent(DWORD) {
    // Ctrl-C, Ctrl-Break, a closed window, a log-off: the console as it was,
    // then the system's own ending of the process.
    win32::restoreConsole();
    return FALSE;
}

void restoreAtExit() { win32::restoreConsole(); }

}  // namespace

namespace win32 {

void chooseVgaColours(bool vga) {
    std::lock_guard<std::mutex> lock(consoleMutex);
    vgaColours = vga;
}

void* openConsole() {
    std::lock_guard<std::mutex> lock(consoleMutex);
    if (!tookOver) {
        tookOver = true;
        HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
        if (out != INVALID_HANDLE_VALUE && out != nullptr && GetConsoleScreenBufferInfo(out, &savedScreen)) {
            original = out;
            GetConsoleCursorInfo(out, &savedCursor);
            savedCodePage = GetConsoleOutputCP();
            titleSaved = GetConsoleTitleW(savedTitle, 1024) > 0 || GetLastError() == ERROR_SUCCESS;
            screen = out;
            // What the window shows, written back at the end.
            SMALL_RECT window = savedScreen.srWindow;
            const int width = window.Right - window.Left + 1;
            const int height = window.Bottom - window.Top + 1;
            if (width > 0 && height > 0 && width * height <= int(sizeof savedCells / sizeof savedCells[0])) {
                savedCellsSize = COORD{SHORT(width), SHORT(height)};
                savedShown = ReadConsoleOutputW(out, savedCells, savedCellsSize, COORD{0, 0}, &window) != FALSE;
            }
            CONSOLE_CURSOR_INFO hidden = savedCursor;
            hidden.bVisible = FALSE;
            SetConsoleCursorInfo(screen, &hidden);
            SetConsoleOutputCP(437);
            if (vgaColours) coloursSet = setColourTable(out, vgaTable.colours, savedColours);
            for (CHAR_INFO& cell : written) cell = CHAR_INFO{};
        }
        input = ::GetStdHandle(STD_INPUT_HANDLE);
        inputIsConsole = input != INVALID_HANDLE_VALUE && input != nullptr && GetConsoleMode(input, &savedInputMode);
        if (inputIsConsole) {
            // Keys one by one without echo; Ctrl-C stays a signal.
            SetConsoleMode(input, ENABLE_PROCESSED_INPUT);
        }
        SetConsoleCtrlHandler(onConsoleEvent, TRUE);
        std::atexit(restoreAtExit);
        watcher = new std::thread(watchKeys);
    }
    return (screen != INVALID_HANDLE_VALUE && !restored) ? screen : nullptr;
}

void endAsInterrupted() {
    restoreConsole();
    ::ExitProcess(STATUS_CONTROL_C_EXIT);
}

bool setTitle(const char* title) {
    if (original == INVALID_HANDLE_VALUE || title == nullptr) return false;
    return ::SetConsoleTitleA(title) != FALSE;
}

bool setWindow(void* console, int left, int top, int right, int bottom) {
    std::lock_guard<std::mutex> lock(consoleMutex);
    if (console == nullptr || console != screen || restored) return false;
    const SMALL_RECT window{SHORT(left), SHORT(top), SHORT(right), SHORT(bottom)};
    return ::SetConsoleWindowInfo(screen, TRUE, &window) != FALSE;
}

bool setBufferSize(void* console, int columns, int rows) {
    std::lock_guard<std::mutex> lock(consoleMutex);
    if (console == nullptr || console != screen || restored) return false;
    const bool set = ::SetConsoleScreenBufferSize(screen, COORD{SHORT(columns), SHORT(rows)}) != FALSE;
    // The window after the size calls tells whether the console took the grid.
    SMALL_RECT window;
    if (currentWindow(window)) {
        fitted = sameRect(window, SMALL_RECT{0, 0, 79, 49});
        placedFor = SMALL_RECT{-1, -1, -1, -1};
    }
    return set;
}

ConsoleShape consoleShape() {
    std::lock_guard<std::mutex> lock(consoleMutex);
    ConsoleShape shape;
    SMALL_RECT window;
    if (screen == INVALID_HANDLE_VALUE || restored || !currentWindow(window)) return shape;
    shape.console = true;
    shape.columns = window.Right - window.Left + 1;
    shape.rows = window.Bottom - window.Top + 1;
    return shape;
}

void noteNoWindow(const char* why) {
    std::lock_guard<std::mutex> lock(consoleMutex);
    std::snprintf(smallReason, sizeof smallReason, "%s", why != nullptr ? why : "");
}

bool desktopAvailable() {
    // A service or a remote shell runs on a window station no one sees.
    USEROBJECTFLAGS flags{};
    HWINSTA station = GetProcessWindowStation();
    if (station == nullptr) return false;
    if (GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr) &&
        (flags.dwFlags & WSF_VISIBLE) == 0) {
        return false;
    }
    // Wine with no X display reports a desktop like any other but makes no
    // window on it: a hidden one tells.
    HWND probe = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    if (probe == nullptr) return false;
    DestroyWindow(probe);
    return true;
}

bool writeCells(void* console, const Cell* cells) {
    std::lock_guard<std::mutex> lock(consoleMutex);
    if (console == nullptr || console != screen || restored) return false;
    for (int i = 0; i < 80 * 50; ++i) {
        written[i].Char.UnicodeChar = static_cast<WCHAR>(cells[i].character);
        written[i].Attributes = cells[i].attributes;
    }
    COORD from{0, 0};
    SMALL_RECT region{0, 0, 79, 49};
    if (!fitted) {
        // The window is asked again each frame: the user may resize it.
        SMALL_RECT window;
        if (!currentWindow(window)) return false;
        if (!sameRect(window, placedFor)) placeGrid(window);
        from = shownFrom;
        region = shownAt;
    }
    const int handed = (region.Right - region.Left + 1) * (region.Bottom - region.Top + 1);
    if (!::WriteConsoleOutputW(screen, written, COORD{80, 50}, from, &region)) return false;
    writeCount.fetch_add(1);
    cellsHandedCount.fetch_add(std::uint64_t(handed));
    return true;
}

void restoreConsole() {
    std::thread* stopping = nullptr;
    {
        std::lock_guard<std::mutex> lock(consoleMutex);
        if (!tookOver || restored) return;
        restored = true;
        handBack();
        stopping = watcher;
        watcher = nullptr;
        if (smallSeen) {
            // Said once the console is back, where it can be read.
            std::fprintf(stderr,
                         "compofiller: the console could not be made 80 x 50 (it was %d x %d)%s%s, so only the "
                         "centre of the picture was shown; enlarge its window or choose a smaller font\n",
                         smallColumns, smallRows, smallReason[0] != '\0' ? " " : "", smallReason);
            std::fflush(stderr);
        }
    }
    if (stopping != nullptr) {
        SetEvent(stopEvent);
        // The watcher ends by itself within 10 ms; from the console's own
        // event thread it is left to end with the process.
        if (stopping->get_id() != std::this_thread::get_id()) stopping->join();
        else stopping->detach();
        delete stopping;
    }
}

std::uint64_t cellWrites() { return writeCount.load(); }
std::uint64_t cellsHanded() { return cellsHandedCount.load(); }

bool escapePressed() { return escape.load(std::memory_order_relaxed); }

bool waitForEscape(std::int64_t deadlineNs) {
    // Sleeps in whole milliseconds while more than one is left, then gives
    // the processor away until the deadline, so a frame starts within a few
    // microseconds of its time rather than up to a millisecond late.
    for (;;) {
        if (escape.load()) return true;
        const std::int64_t left = deadlineNs - win32::nanoseconds();
        if (left <= 0) return false;
        if (left > 1500000) {
            if (WaitForSingleObject(escapeEvent, DWORD((left - 500000) / 1000000)) == WAIT_OBJECT_0) return true;
        } else {
            SwitchToThread();
        }
    }
}

int messageBox(const char* text, const char* caption, unsigned type) {
    // Also on stderr, where a script or a log can read it.
    std::fprintf(stderr, "%s: %s\n", caption, text);
    std::fflush(stderr);
    return ::MessageBoxA(nullptr, text, caption, type | MB_SETFOREGROUND);
}

}  // namespace win32
