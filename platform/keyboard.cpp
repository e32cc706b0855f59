#include "platform/keyboard.h"

SHORT GetAsyncKeyState(int) { return 0; }
