// Apart from the demo's headers, which spell the console records themselves.
#include "tests/windows/console_readback.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>

bool readShownCells(std::uint16_t* characters, std::uint16_t* attributes) {
    // CONOUT$ is the buffer the console shows now: the one the program draws on.
    HANDLE shown = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
    static CHAR_INFO cells[80 * 50];
    SMALL_RECT region{0, 0, 79, 49};
    const bool read = shown != INVALID_HANDLE_VALUE &&
                      ReadConsoleOutputW(shown, cells, COORD{80, 50}, COORD{0, 0}, &region) != FALSE;
    if (!read) std::fprintf(stderr, "cannot read the console: error %lu\n", GetLastError());
    if (shown != INVALID_HANDLE_VALUE) CloseHandle(shown);
    for (int i = 0; read && i < 80 * 50; ++i) {
        characters[i] = cells[i].Char.UnicodeChar;
        attributes[i] = cells[i].Attributes;
    }
    return read;
}
