#include "host/screen.h"

CHAR_INFO screenCells[screenColumns * screenRows];
HANDLE consoleOut = nullptr;

static COORD bufferSize{80, 50};
static COORD bufferCoord{0, 0};
static SMALL_RECT writeRegion{0, 0, 79, 49};

void openConsoleScreen() {
    consoleOut = GetStdHandle(STD_OUTPUT_HANDLE);
    SetConsoleTitleA("Zembo - VRKT #12 - Compofiller!");
    SMALL_RECT window{0, 0, 79, 49};
    SetConsoleWindowInfo(consoleOut, TRUE, &window);
    SetConsoleScreenBufferSize(consoleOut, bufferSize);
}

void presentScreen() { WriteConsoleOutputA(consoleOut, screenCells, bufferSize, bufferCoord, &writeRegion); }
