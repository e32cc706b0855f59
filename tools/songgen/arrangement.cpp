#include "tools/songgen/arrangement.h"

namespace songgen {
namespace {

using enum Chord;

// The four-bar progression that carries most of the song, in halves.
constexpr std::array<Chord, 4> firstHalf{Am, F, Am, F};
constexpr std::array<Chord, 4> secondHalf{C, G, C, G};

OrderPlan groove(const std::array<Chord, 4>& chords) {
    OrderPlan p;
    p.chords = chords;
    p.kick = Kick::fourFloor;
    p.backbeat = Backbeat::claps;
    p.hats = Hats::closed;
    p.ticks = true;
    p.bass = Bass::offbeat;
    p.padVolume = 40;
    return p;
}

}  // namespace

std::vector<OrderPlan> arrangement() {
    std::vector<OrderPlan> song;
    auto add = [&](OrderPlan p) { song.push_back(p); };

    // Orders 0-3, intro (scene: beam lattice fading in). The pad swells
    // alone, then a half-time boom, claps and shaker come in; the bass joins
    // at the caption (order 2) and order 3 drives into the first groove.
    {
        OrderPlan p;
        p.chords = firstHalf;
        p.padVolume = 8;
        p.padVolumeEnd = 44;
        p.bellSparse = true;
        add(p);
        p = OrderPlan{};
        p.chords = secondHalf;
        p.kick = Kick::halfTime;
        p.backbeat = Backbeat::clapOnFour;
        p.hats = Hats::shaker;
        p.padVolume = 44;
        p.bellSparse = true;
        add(p);
        p.chords = firstHalf;
        p.bass = Bass::held;
        p.pluckVolume = 20;
        add(p);
        p.chords = secondHalf;
        p.kick = Kick::fourFloor;
        p.backbeat = Backbeat::claps;
        p.hats = Hats::closed;
        p.bellSparse = false;
        p.pluckVolume = 28;
        p.roll = Roll::fill;
        p.riser = true;
        add(p);
    }

    // Orders 4-7, the first groove (warped rings; captions at 4 and 6).
    for (int i = 0; i < 4; ++i) {
        OrderPlan p = groove(i % 2 == 0 ? firstHalf : secondHalf);
        p.crash = i == 0;
        p.stab = true;
        p.pluckVolume = i >= 2 ? 24 : 0;
        p.roll = i == 3 ? Roll::fill : Roll::none;
        add(p);
    }

    // Orders 8-11, the arpeggio groove (stripes): open hats, shaker, plucks.
    for (int i = 0; i < 4; ++i) {
        OrderPlan p = groove(i % 2 == 0 ? firstHalf : secondHalf);
        p.crash = i == 0;
        p.hats = Hats::open;
        p.pluckVolume = 40;
        p.roll = i == 3 ? Roll::fill : Roll::none;
        add(p);
    }

    // Orders 12-15, the theme (cube lattice): the lead enters over stabs.
    for (int i = 0; i < 4; ++i) {
        OrderPlan p = groove(i % 2 == 0 ? firstHalf : secondHalf);
        p.crash = i == 0;
        p.stab = true;
        p.lead = Melody::themeA;
        p.leadEnding = i == 3;
        p.roll = i == 3 ? Roll::fill : Roll::none;
        add(p);
    }

    // Orders 16-25, row of tori. 16-17: second theme over a rolling bass;
    // 18-23: the build-up, one step more intense per order, ending on the
    // dominant; 24-25: the first drop with the theme.
    for (int i = 0; i < 2; ++i) {
        OrderPlan p = groove(i % 2 == 0 ? firstHalf : secondHalf);
        p.crash = i == 0;
        p.hats = Hats::open;
        p.backbeat = Backbeat::clapsAndGhosts;
        p.bass = Bass::rolling;
        p.lead = Melody::themeB;
        p.pluckVolume = 22;
        add(p);
    }
    {
        const std::array<std::array<Chord, 4>, 6> chords{{{F, G, F, G}, {Am, Em, Am, Em}, {F, G, F, G},
                                                           {Am, Em, Am, Em}, {Dm, E, Dm, E}, {E, E, E, E}}};
        const Roll rolls[6] = {Roll::lastBeatEighths, Roll::secondBarEighths, Roll::eighths,
                               Roll::eighthsThenSixteenths, Roll::sixteenths, Roll::climax};
        for (int i = 0; i < 6; ++i) {
            OrderPlan p = groove(chords[static_cast<std::size_t>(i)]);
            p.crash = i == 0;
            p.roll = rolls[i];
            p.kick = i == 5 ? Kick::eighths : Kick::fourFloor;
            p.bass = i >= 4 ? Bass::pedal : Bass::offbeat;
            p.hats = i >= 2 ? Hats::open : Hats::closed;
            p.pluckVolume = 26 + 4 * i;
            p.pluckOctave = i >= 4 ? 1 : 0;
            p.padVolume = 34 + 4 * i;
            p.riser = i >= 4;
            add(p);
        }
    }
    for (int i = 0; i < 2; ++i) {
        OrderPlan p = groove(i % 2 == 0 ? firstHalf : secondHalf);
        p.crash = i == 0;
        p.hats = Hats::open;
        p.backbeat = Backbeat::clapsAndGhosts;
        p.bass = Bass::rolling;
        p.stab = true;
        p.lead = Melody::themeA;
        p.pluckVolume = 26;
        add(p);
    }

    // Orders 26-27, the breakdown (plasma): four bars each, no drums. Pad
    // and bell tune, then a cadence to the dominant with a snare roll back in.
    {
        OrderPlan p;
        p.bars = 4;
        p.chords = {Am, F, C, G};
        p.padVolume = 44;
        p.bass = Bass::held;
        p.bellTune = true;
        p.pluckVolume = 14;
        add(p);
        p.chords = {Dm, Am, F, E};
        p.roll = Roll::fill;
        p.riser = true;
        add(p);
    }

    // Orders 28-31, back in (cone forest): the second theme, plucks, stabs.
    for (int i = 0; i < 4; ++i) {
        OrderPlan p = groove(i % 2 == 0 ? firstHalf : secondHalf);
        p.crash = i == 0;
        p.hats = Hats::open;
        p.bass = Bass::rolling;
        p.stab = true;
        p.lead = Melody::themeB;
        p.pluckVolume = 30;
        p.roll = i == 3 ? Roll::fill : Roll::none;
        add(p);
    }

    // Orders 32-37, the climax (tunnel of tori): the theme, then an octave up
    // with the bell answering, everything playing.
    for (int i = 0; i < 6; ++i) {
        OrderPlan p = groove(i % 2 == 0 ? firstHalf : secondHalf);
        p.crash = i % 2 == 0;
        p.hats = Hats::open;
        p.backbeat = Backbeat::clapsAndGhosts;
        p.bass = Bass::rolling;
        p.stab = true;
        p.lead = i >= 4 ? Melody::themeAHigh : Melody::themeA;
        p.leadEnding = i == 3;
        p.bellTune = i >= 2;
        p.pluckVolume = 30;
        p.roll = i == 5 ? Roll::fill : Roll::none;
        add(p);
    }

    // Orders 38-41, outro (tunnel of rings; captions at 38 and 39, fading
    // from 39): the layers leave one by one; 41 is the last chord ringing out.
    {
        OrderPlan p = groove(firstHalf);
        p.crash = true;
        p.pluckVolume = 24;
        add(p);
        p = groove(secondHalf);
        p.bass = Bass::held;
        p.pluckVolume = 16;
        add(p);
        p = OrderPlan{};
        p.chords = firstHalf;
        p.kick = Kick::halfTime;
        p.backbeat = Backbeat::clapOnFour;
        p.hats = Hats::shaker;
        p.padVolume = 40;
        p.padVolumeEnd = 24;
        p.bellSparse = true;
        add(p);
        // One bar: the hit, then two seconds for everything to ring out.
        p = OrderPlan{};
        p.bars = 1;
        p.chords = {Am, Am, Am, Am};
        p.finalChord = true;
        add(p);
    }
    return song;
}

}  // namespace songgen
