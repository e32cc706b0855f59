#include "effects/effects.h"

void stripesCell() {}
