#include "raymarch/fields.h"

float coneField() { return 1.0f; }
