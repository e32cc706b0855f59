#include "raymarch/fields.h"

float torusWaveField() { return 1.0f; }
float ringWaveField() { return 1.0f; }
