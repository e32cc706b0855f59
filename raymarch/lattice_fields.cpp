#include "raymarch/fields.h"

Vec3 boxSize{};
Vec3 cellPos{};

float beamLatticeField() { return 1.0f; }
float cubeLatticeField() { return 1.0f; }
