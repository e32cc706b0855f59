#include "host/frame_values.h"
#include "music/beat_pulses.h"

float timeMsStart = 0.0f;
double secondsStart = 0.0;
float timeMs = 0.0f;
double seconds = 0.0;
std::int32_t order = 0;
std::int32_t scene = 0;
std::int32_t row = 0;
std::int32_t col = 0;
float cellX = 0.0f;
float cellY = 0.0f;

std::int32_t sceneForOrder(std::int32_t songOrder) {
    std::int32_t s = 0;
    if (songOrder > 3) s = 1;
    if (songOrder > 7) s = 3;
    if (songOrder > 11) s = 9;
    if (songOrder > 15) s = 2;
    if (songOrder > 25) s = 4;
    if (songOrder > 27) s = 5;
    if (songOrder > 31) s = 8;
    if (songOrder > 37) s = 7;
    return s;
}

namespace {

// Lowers one pulse by `step` while it is above 0: the step is subtracted in
// double and the result stored as float. The compare-and-swap keeps a trigger
// that lands between the read and the store: the decay is then retried on the
// triggered value instead of overwriting it.
void decayPulse(std::atomic<float>& pulse, float step) {
    float value = pulse.load();
    while (value > 0.0f && !pulse.compare_exchange_weak(value, static_cast<float>(double(value) - step))) {
    }
}

}  // namespace

void decayPulses() {
    decayPulse(pulseA, 0.1f);
    decayPulse(pulseB, 0.1f);
    decayPulse(pulseC, 0.2f);
}
