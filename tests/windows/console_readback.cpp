// Apart from the demo's headers, which spell the console records themselves.
#include "tests/windows/console_readback.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>

bool readShownWindow(int& columns, int& rows, std::vector<std::uint16_t>& characters,
                     std::vector<std::uint16_t>& attributes) {
    // CONOUT$ is the buffer the console shows now: the one the program draws on.
    HANDLE shown = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
    CONSOLE_SCREEN_BUFFER_INFO info{};
    bool read = shown != INVALID_HANDLE_VALUE && GetConsoleScreenBufferInfo(shown, &info);
    std::vector<CHAR_INFO> cells;
    if (read) {
        SMALL_RECT region = info.srWindow;
        columns = region.Right - region.Left + 1;
        rows = region.Bottom - region.Top + 1;
        cells.resize(std::size_t(columns * rows));
        read = ReadConsoleOutputW(shown, cells.data(), COORD{SHORT(columns), SHORT(rows)}, COORD{0, 0}, &region) !=
               FALSE;
    }
    if (!read) std::fprintf(stderr, "cannot read the console: error %lu\n", GetLastError());
    if (shown != INVALID_HANDLE_VALUE) CloseHandle(shown);
    characters.clear();
    attributes.clear();
    for (const CHAR_INFO& cell : cells) {
        characters.push_back(cell.Char.UnicodeChar);
        attributes.push_back(cell.Attributes);
    }
    return read;
}
