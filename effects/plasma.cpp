#include "effects/effects.h"

void plasmaCell() {}
