#include "music/beat_pulses.h"

std::atomic<float> pulseA{0.0f};
std::atomic<float> pulseB{0.0f};
std::atomic<float> pulseC{0.0f};
std::atomic<std::int32_t> beatCount{0};

static_assert(std::atomic<float>::is_always_lock_free);
static_assert(std::atomic<std::int32_t>::is_always_lock_free);

// Each callback counts the beat, then sets its pulse to the full value (a
// trigger does not add to what is left of the previous one).
void triggerPulseA(FMUSIC_MODULE*, unsigned char) {
    beatCount.fetch_add(1);
    pulseA.store(3.0f);
}

void triggerPulseB(FMUSIC_MODULE*, unsigned char) {
    beatCount.fetch_add(1);
    pulseB.store(3.0f);
}

void triggerPulseC(FMUSIC_MODULE*, unsigned char) {
    beatCount.fetch_add(1);
    pulseC.store(4.0f);
}
