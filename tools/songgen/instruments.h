#pragma once
// The song's instruments, all synthesised here. The numbers are the XM
// instrument numbers a tracker shows (1-based); the demo's player counts from
// zero, so for it the kick (23) is instrument 22.
//
// The demo's pictures jump on chosen instruments (its zero-based 3 and 4,
// 5, 8 and 11, 22 and 29), so the drums sit on exactly those slots:
//   snare 4, clap 5                 -> first pulse  (backbeat)
//   closed hat 6, open hat 9, shaker 12 -> second pulse (off-beats)
//   kick 23, boom 30                -> third pulse  (the beat)
// Everything melodic uses other numbers; unused slots are empty.
#include <cstdint>
#include <vector>

#include "tools/xm/xm_writer.h"

namespace songgen {

enum Ins : std::uint8_t {
    bass = 1,
    pad = 2,
    lead = 3,
    snare = 4,
    clap = 5,
    closedHat = 6,
    pluck = 7,
    stab = 8,
    openHat = 9,
    crash = 10,
    riser = 11,
    shaker = 12,
    ticks = 13,
    bell = 14,
    kick = 23,
    boom = 30,
};

inline constexpr int instrumentCount = 30;

// All instruments, index 0 = XM instrument 1.
std::vector<xm::Instrument> makeInstruments();

}  // namespace songgen
