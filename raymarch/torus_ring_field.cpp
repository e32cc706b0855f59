#include "raymarch/fields.h"

float torusRingField() { return 1.0f; }
