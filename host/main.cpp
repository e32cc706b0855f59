#include "host/frame_loop.h"

int main() { return runDemo(); }
