#pragma once
#include "platform/console.h"

// Milliseconds from a monotonic clock, as an unsigned 32-bit count that wraps.
DWORD timeGetTime();
