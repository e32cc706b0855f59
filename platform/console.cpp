#include "platform/console.h"

HANDLE GetStdHandle(DWORD) { return nullptr; }
BOOL SetConsoleTitleA(const char*) { return FALSE; }
BOOL SetConsoleWindowInfo(HANDLE, BOOL, const SMALL_RECT*) { return FALSE; }
BOOL SetConsoleScreenBufferSize(HANDLE, COORD) { return FALSE; }
BOOL WriteConsoleOutputA(HANDLE, const CHAR_INFO*, COORD, COORD, SMALL_RECT*) { return FALSE; }
