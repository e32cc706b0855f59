#include "host/frame_loop.h"

void drawCells() {}
int runDemo() { return 0; }
