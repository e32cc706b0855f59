#include "effects/effects.h"

void warpRingsCell() {}
