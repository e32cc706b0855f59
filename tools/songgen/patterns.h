#pragma once
// Turns the arrangement into XM patterns: one pattern per order, the parts
// written channel by channel.
#include "tools/xm/xm_writer.h"

namespace songgen {

// Channels of every pattern.
enum Channel : int {
    chKick, chClap, chSnare, chHat, chShaker, chTicks, chBass,
    chPad1, chPad2, chPad3, chStab, chPluck, chLead, chLeadEcho,
    chBell, chBellEcho, chCrash, chRiser,
    channelCount
};

inline constexpr int rowsPerBar = 16;  // sixteenth notes
inline constexpr int ticksPerRow = 6;
inline constexpr int beatsPerMinute = 120;

// The whole song: instruments, patterns and order list.
xm::Module compose();

}  // namespace songgen
