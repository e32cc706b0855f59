#include "tools/songgen/patterns.h"

#include <algorithm>
#include <array>
#include <vector>

#include "tools/songgen/arrangement.h"
#include "tools/songgen/instruments.h"

namespace songgen {
namespace {

// ---- harmony ------------------------------------------------------------

// Pad voicing of each chord (MIDI notes), chosen for smooth voice leading.
std::array<int, 3> voicing(Chord c) {
    switch (c) {
        case Chord::Am: return {57, 60, 64};
        case Chord::F: return {57, 60, 65};
        case Chord::C: return {55, 60, 64};
        case Chord::G: return {55, 59, 62};
        case Chord::Em: return {55, 59, 64};
        case Chord::Dm: return {57, 62, 65};
        case Chord::E: return {56, 59, 64};
    }
    return {57, 60, 64};
}

int rootClass(Chord c) {
    switch (c) {
        case Chord::Am: return 9;
        case Chord::F: return 5;
        case Chord::C: return 0;
        case Chord::G: return 7;
        case Chord::Em: case Chord::E: return 4;
        case Chord::Dm: return 2;
    }
    return 9;
}

int bassRoot(Chord c) { return 28 + (rootClass(c) + 8) % 12; }   // E1 .. D#2
int stabRoot(Chord c) { return 57 + (rootClass(c) + 3) % 12; }   // A3 .. G#4

// ---- melodies -------------------------------------------------------------

struct Note {
    int row, pitch, length;
};
using Phrase = std::vector<Note>;

// The main theme, one bar per chord of Am F C G (3-3-2 rhythm).
Phrase themeA(Chord c, bool ending) {
    switch (c) {
        case Chord::Am: return {{0, 76, 3}, {3, 72, 3}, {6, 69, 2}, {8, 71, 2}, {10, 72, 2}, {12, 74, 2}, {14, 76, 2}};
        case Chord::F: return {{0, 77, 3}, {3, 76, 3}, {6, 72, 2}, {8, 69, 4}, {12, 72, 4}};
        case Chord::C: return {{0, 79, 3}, {3, 76, 3}, {6, 72, 2}, {8, 76, 2}, {10, 79, 2}, {12, 76, 2}, {14, 74, 2}};
        case Chord::G:
            if (ending) return {{0, 74, 6}, {6, 76, 2}, {8, 79, 4}, {12, 81, 4}};
            return {{0, 74, 3}, {3, 71, 3}, {6, 67, 2}, {8, 71, 4}, {12, 74, 4}};
        default: return {};
    }
}

// The second theme: busier, syncopated, lower.
Phrase themeB(Chord c) {
    switch (c) {
        case Chord::Am: return {{0, 69, 2}, {2, 72, 2}, {4, 76, 3}, {7, 74, 1}, {8, 72, 2}, {10, 71, 2}, {12, 72, 4}};
        case Chord::F: return {{0, 77, 2}, {2, 76, 2}, {4, 72, 3}, {7, 69, 1}, {8, 72, 2}, {10, 74, 2}, {12, 76, 4}};
        case Chord::C: return {{0, 76, 2}, {2, 79, 2}, {4, 76, 3}, {7, 72, 1}, {8, 74, 2}, {10, 72, 2}, {12, 67, 4}};
        case Chord::G: return {{0, 71, 3}, {3, 74, 3}, {6, 79, 2}, {8, 74, 2}, {10, 71, 2}, {12, 74, 2}, {14, 71, 2}};
        default: return {};
    }
}

// The bell tune: slow chord tones, a bar per chord.
Phrase bellTune(Chord c) {
    switch (c) {
        case Chord::Am: return {{0, 81, 8}, {8, 76, 4}, {12, 79, 4}};
        case Chord::F: return {{0, 77, 8}, {8, 76, 4}, {12, 72, 4}};
        case Chord::C: return {{0, 76, 8}, {8, 79, 4}, {12, 84, 4}};
        case Chord::G: return {{0, 83, 12}, {12, 79, 4}};
        case Chord::Em: return {{0, 79, 8}, {8, 76, 4}, {12, 71, 4}};
        case Chord::Dm: return {{0, 77, 8}, {8, 74, 4}, {12, 81, 4}};
        case Chord::E: return {{0, 80, 8}, {8, 83, 4}, {12, 76, 4}};
    }
    return {};
}

// ---- pattern writing ------------------------------------------------------

constexpr std::uint8_t volumeByte(int v) { return static_cast<std::uint8_t>(0x10 + std::clamp(v, 0, 64)); }

class Writer {
public:
    Writer(xm::Pattern& p) : p_(p) {}
    int rows() const { return p_.rows; }
    bool empty(int row, int ch) const {
        const xm::Cell& c = p_.at(row, ch);
        return c.note == 0 && c.instrument == 0 && c.volume == 0 && c.effect == 0 && c.param == 0;
    }
    // A note (MIDI pitch) with its instrument and volume.
    void note(int row, int ch, int pitch, Ins ins, int volume) {
        if (row < 0 || row >= p_.rows) return;
        xm::Cell& c = p_.at(row, ch);
        c.note = static_cast<std::uint8_t>(std::clamp(pitch - 11, 1, 96));
        c.instrument = ins;
        c.volume = volumeByte(volume);
    }
    // A key-off, only where the channel has nothing else to do.
    void off(int row, int ch) {
        if (row < 0 || row >= p_.rows || !empty(row, ch)) return;
        p_.at(row, ch).note = xm::keyOff;
    }
    xm::Cell& cell(int row, int ch) { return p_.at(row, ch); }

private:
    xm::Pattern& p_;
};

// What carries over from one order to the next.
struct Carry {
    std::array<int, 3> pad{};   // sounding pad notes, 0 = none
    std::array<bool, channelCount> pendingOff{};  // key-off due on row 0
    int riserRow = 0;           // rows into the current riser
    int riserRows = 0;          // its whole length
};

void drums(Writer& w, const OrderPlan& plan) {
    const int rows = w.rows();
    for (int bar = 0; bar < plan.bars; ++bar) {
        const int b = bar * rowsPerBar;
        // Kick: the third pulse.
        switch (plan.kick) {
            case Kick::halfTime: w.note(b, chKick, 60, boom, 64); w.note(b + 8, chKick, 60, boom, 58); break;
            case Kick::fourFloor: for (int r = 0; r < 16; r += 4) w.note(b + r, chKick, 60, kick, 64); break;
            case Kick::eighths:
                for (int r = 0; r < 16; r += 2) w.note(b + r, chKick, 60, kick, r % 4 == 0 ? 64 : 50);
                break;
            case Kick::none: break;
        }
        // Backbeat: the first pulse.
        switch (plan.backbeat) {
            case Backbeat::clapOnFour: w.note(b + 12, chClap, 60, clap, 44); break;
            case Backbeat::claps: w.note(b + 4, chClap, 60, clap, 48); w.note(b + 12, chClap, 60, clap, 48); break;
            case Backbeat::clapsAndGhosts:
                w.note(b + 4, chClap, 60, clap, 48);
                w.note(b + 12, chClap, 60, clap, 48);
                w.note(b + 7, chSnare, 60, snare, 14);
                w.note(b + 10, chSnare, 60, snare, 18);
                w.note(b + 15, chSnare, 60, snare, 14);
                break;
            case Backbeat::none: break;
        }
        // Off-beats: the second pulse.
        for (int r = 2; r < 16; r += 4) {
            switch (plan.hats) {
                case Hats::shaker: w.note(b + r, chShaker, 60, shaker, r == 10 ? 40 : 32); break;
                case Hats::closed: w.note(b + r, chHat, 60, closedHat, 34); break;
                case Hats::open:
                    w.note(b + r, chHat, 60, openHat, 26);
                    if (r == 6 || r == 14) w.note(b + r + 1, chShaker, 60, shaker, 22);
                    break;
                case Hats::none: break;
            }
        }
        if (plan.ticks) {
            for (int r = 0; r < 16; ++r) {
                if (r % 4 != 2) w.note(b + r, chTicks, 60, ticks, r % 2 == 1 ? 20 : 14);
            }
        }
    }
    // Snare rolls and fills, louder towards the end of the order.
    const int last = (plan.bars - 1) * rowsPerBar;
    auto roll = [&](int from, int to, int step) {
        for (int r = from; r < to; r += step) {
            w.note(r, chSnare, 60, snare, 16 + (r * 40) / rows);
        }
    };
    switch (plan.roll) {
        case Roll::fill:
            for (int r : {8, 10, 12, 13, 14, 15}) w.note(last + r, chSnare, 60, snare, 20 + r * 2);
            break;
        case Roll::lastBeatEighths: roll(last + 12, rows, 2); break;
        case Roll::secondBarEighths: roll(last, rows, 2); break;
        case Roll::eighths: roll(0, rows, 2); break;
        case Roll::eighthsThenSixteenths: roll(0, last, 2); roll(last, rows, 1); break;
        case Roll::sixteenths: roll(0, rows, 1); break;
        case Roll::climax:
            roll(0, rows, 1);
            for (int r = rows - 4; r < rows; ++r) w.note(r, chSnare, 60, snare, 64);
            break;
        case Roll::none: break;
    }
}

void bassLine(Writer& w, const OrderPlan& plan) {
    for (int bar = 0; bar < plan.bars; ++bar) {
        const int b = bar * rowsPerBar;
        const int root = bassRoot(plan.chords[static_cast<std::size_t>(bar)]);
        switch (plan.bass) {
            case Bass::held:
                w.note(b, chBass, root, bass, 50);
                w.off(b + 14, chBass);
                break;
            case Bass::offbeat:
                for (int r = 2; r < 16; r += 4) {
                    w.note(b + r, chBass, r == 14 ? root + 12 : root, bass, r == 14 ? 44 : 52);
                    w.off(b + r + 2, chBass);
                }
                break;
            case Bass::rolling:
                for (int r = 0; r < 16; ++r) {
                    if (r % 4 == 0) w.off(b + r, chBass);
                    else w.note(b + r, chBass, r % 4 == 3 ? root + 12 : root, bass, r % 4 == 1 ? 52 : 42);
                }
                break;
            case Bass::pedal:
                for (int r = 0; r < 16; r += 2) {
                    w.note(b + r, chBass, r % 4 == 2 ? 40 : 28, bass, r % 4 == 2 ? 44 : 52);
                    w.off(b + r + 1, chBass);
                }
                break;
            case Bass::none: break;
        }
    }
}

void padChords(Writer& w, const OrderPlan& plan, Carry& carry) {
    const int rows = w.rows();
    if (plan.padVolume == 0) {
        for (int v = 0; v < 3; ++v) {
            if (carry.pad[static_cast<std::size_t>(v)] != 0) w.off(0, chPad1 + v);
            carry.pad[static_cast<std::size_t>(v)] = 0;
        }
        return;
    }
    const int endVolume = plan.padVolumeEnd ? plan.padVolumeEnd : plan.padVolume;
    for (int bar = 0; bar < plan.bars; ++bar) {
        const std::array<int, 3> notes = voicing(plan.chords[static_cast<std::size_t>(bar)]);
        const int row = bar * rowsPerBar;
        for (int v = 0; v < 3; ++v) {
            int& sounding = carry.pad[static_cast<std::size_t>(v)];
            const int ch = chPad1 + v;
            const int target = notes[static_cast<std::size_t>(v)];
            if (sounding == 0) {
                // Spread the three voices left, centre and right.
                w.note(row, ch, target, pad, plan.padVolume);
                w.cell(row, ch).effect = 0x8;
                w.cell(row, ch).param = static_cast<std::uint8_t>(0x50 + 0x30 * v);
            } else if (sounding != target) {
                // Glide to the next chord without restarting the swell.
                xm::Cell& c = w.cell(row, ch);
                c.note = static_cast<std::uint8_t>(target - 11);
                c.effect = 0x3;
                c.param = 0x40;
            }
            sounding = target;
        }
    }
    // Volume swells: a new volume every other row.
    if (endVolume != plan.padVolume) {
        for (int r = 0; r < rows; r += 2) {
            const int v = plan.padVolume + (endVolume - plan.padVolume) * r / (rows - 1);
            for (int ch = chPad1; ch <= chPad3; ++ch) w.cell(r, ch).volume = volumeByte(v);
        }
    } else {
        for (int ch = chPad1; ch <= chPad3; ++ch) w.cell(0, ch).volume = volumeByte(plan.padVolume);
    }
}

void arpeggio(Writer& w, const OrderPlan& plan) {
    static constexpr int order[16] = {0, 1, 2, 3, 1, 2, 3, 2, 0, 1, 2, 3, 2, 3, 1, 2};
    for (int bar = 0; bar < plan.bars; ++bar) {
        const std::array<int, 3> v = voicing(plan.chords[static_cast<std::size_t>(bar)]);
        // An octave above the pad; an octave lower while the lead sings there.
        const int shift = 12 * (1 + plan.pluckOctave - (plan.lead != Melody::none ? 1 : 0));
        const int tones[4] = {v[0] + shift, v[1] + shift, v[2] + shift, v[0] + shift + 12};
        for (int r = 0; r < 16; ++r) {
            const int accent = r % 4 == 0 ? 0 : (r % 2 == 0 ? -6 : -12);
            w.note(bar * rowsPerBar + r, chPluck, tones[order[r]], pluck, plan.pluckVolume + accent);
        }
    }
}

void stabs(Writer& w, const OrderPlan& plan) {
    for (int bar = 0; bar < plan.bars; ++bar) {
        const int root = stabRoot(plan.chords[static_cast<std::size_t>(bar)]);
        const std::vector<int> rows = bar % 2 == 0 ? std::vector<int>{3, 6, 11} : std::vector<int>{3, 6, 10, 13};
        for (int r : rows) w.note(bar * rowsPerBar + r, chStab, root, stab, r == 3 ? 34 : 28);
    }
}

// A phrase on a channel and its echo three rows later, quieter and panned.
void melody(Writer& w, Carry& carry, int ch, int echoCh, Ins ins, int volume, int echoVolume, std::uint8_t echoPan,
            int bar, const Phrase& phrase, int transpose, bool keyOffs) {
    const int b = bar * rowsPerBar;
    for (const Note& n : phrase) {
        w.note(b + n.row, ch, n.pitch + transpose, ins, volume);
        const int echoRow = b + n.row + 3;
        if (echoRow < w.rows()) {
            w.note(echoRow, echoCh, n.pitch + transpose, ins, echoVolume);
            xm::Cell& c = w.cell(echoRow, echoCh);
            c.effect = 0x8;
            c.param = echoPan;
        }
    }
    if (!keyOffs) return;
    for (const Note& n : phrase) {
        // Held notes sing: a gentle vibrato once the note has settled.
        for (int r = b + n.row + 2; r < b + n.row + n.length && r < w.rows(); ++r) {
            xm::Cell& c = w.cell(r, ch);
            if (c.note == 0 && c.effect == 0) {
                c.effect = 0x4;
                c.param = 0x43;
            }
        }
    }
    for (const Note& n : phrase) {
        const int end = b + n.row + n.length;
        if (end < w.rows()) w.off(end, ch);
        else carry.pendingOff[static_cast<std::size_t>(ch)] = true;
        if (end + 3 < w.rows()) w.off(end + 3, echoCh);
        else carry.pendingOff[static_cast<std::size_t>(echoCh)] = true;
    }
}

void riserSweep(Writer& w, Carry& carry) {
    for (int r = 0; r < w.rows(); ++r) {
        const int at = carry.riserRow + r;
        xm::Cell& c = w.cell(r, chRiser);
        if (at == 0) {
            c.note = 48 - 11;
            c.instrument = riser;
        }
        if (r % 2 == 0) c.volume = volumeByte(4 + 36 * at / carry.riserRows);
        // Two octaves over the riser: 32 units of 1/16 semitone per row step.
        c.effect = 0x1;
        c.param = static_cast<std::uint8_t>(std::max(1, (24 * 16 + carry.riserRows * 5 / 2) / (carry.riserRows * 5)));
    }
    carry.riserRow += w.rows();
}

void finalChord(Writer& w, Carry& carry) {
    w.note(0, chKick, 60, boom, 64);
    w.note(0, chClap, 60, clap, 48);
    w.note(0, chHat, 60, openHat, 30);
    w.note(0, chCrash, 60, crash, 48);
    w.note(0, chBass, 33, bass, 54);
    w.off(8, chBass);
    w.note(0, chStab, 57, stab, 36);
    w.note(0, chBell, 81, bell, 40);
    w.note(6, chBellEcho, 81, bell, 16);
    const std::array<int, 3> v = voicing(Chord::Am);
    for (int i = 0; i < 3; ++i) {
        if (carry.pad[static_cast<std::size_t>(i)] == v[static_cast<std::size_t>(i)]) {
            w.cell(0, chPad1 + i).volume = volumeByte(44);
        } else {
            w.note(0, chPad1 + i, v[static_cast<std::size_t>(i)], pad, 44);
            w.cell(0, chPad1 + i).effect = 0x8;
            w.cell(0, chPad1 + i).param = static_cast<std::uint8_t>(0x50 + 0x30 * i);
        }
        w.off(6, chPad1 + i);
    }
}

bool samePattern(const xm::Pattern& a, const xm::Pattern& b) {
    if (a.rows != b.rows || a.channels != b.channels) return false;
    for (std::size_t i = 0; i < a.cells.size(); ++i) {
        const xm::Cell &x = a.cells[i], &y = b.cells[i];
        if (x.note != y.note || x.instrument != y.instrument || x.volume != y.volume || x.effect != y.effect ||
            x.param != y.param) {
            return false;
        }
    }
    return true;
}

xm::Pattern patternFor(const OrderPlan& plan, Carry& carry) {
    xm::Pattern pattern(plan.bars * rowsPerBar, channelCount);
    Writer w(pattern);

    // Key-offs for notes that ran past the previous order's end; a note
    // written on the same row below replaces them.
    for (int ch = 0; ch < channelCount; ++ch) {
        if (carry.pendingOff[static_cast<std::size_t>(ch)]) w.off(0, ch);
        carry.pendingOff[static_cast<std::size_t>(ch)] = false;
    }

    drums(w, plan);
    if (plan.crash) {
        w.note(0, chCrash, 60, crash, 44);
        w.note(0, chKick, 60, boom, 64);
    }
    bassLine(w, plan);
    if (plan.finalChord) {
        finalChord(w, carry);
    } else {
        padChords(w, plan, carry);
    }
    if (plan.pluckVolume > 0) arpeggio(w, plan);
    if (plan.stab) stabs(w, plan);
    for (int bar = 0; bar < plan.bars; ++bar) {
        const Chord chord = plan.chords[static_cast<std::size_t>(bar)];
        const bool lastBar = bar == plan.bars - 1;
        switch (plan.lead) {
            case Melody::themeA:
                melody(w, carry, chLead, chLeadEcho, lead, 44, 18, 0x50, bar, themeA(chord, plan.leadEnding && lastBar), 0, true);
                break;
            case Melody::themeAHigh:
                melody(w, carry, chLead, chLeadEcho, lead, 40, 16, 0x50, bar, themeA(chord, false), 12, true);
                break;
            case Melody::themeB:
                melody(w, carry, chLead, chLeadEcho, lead, 42, 16, 0x50, bar, themeB(chord), 0, true);
                break;
            case Melody::none: break;
        }
        if (plan.bellTune) {
            const int volume = plan.lead == Melody::none ? 44 : 26;
            melody(w, carry, chBell, chBellEcho, bell, volume, volume / 2, 0xB0, bar, bellTune(chord), 0, false);
        } else if (plan.bellSparse) {
            const std::array<int, 3> v = voicing(chord);
            w.note(bar * rowsPerBar, chBell, v[2] + 12, bell, 30);
            w.note(bar * rowsPerBar + 3, chBellEcho, v[2] + 12, bell, 14);
        }
    }

    if (plan.riser) {
        riserSweep(w, carry);
    } else if (carry.riserRows > 0) {
        w.off(0, chRiser);
    }
    return pattern;
}

}  // namespace

xm::Module compose() {
    xm::Module module;
    module.name = "QUILLOW3";
    module.tracker = "compofiller songgen";
    module.channels = channelCount;
    module.speed = ticksPerRow;
    module.tempo = beatsPerMinute;
    module.instruments = makeInstruments();

    const std::vector<OrderPlan> plans = arrangement();
    Carry carry;
    for (std::size_t i = 0; i < plans.size(); ++i) {
        const OrderPlan& plan = plans[i];
        if (plan.riser && carry.riserRows == 0) {
            // A riser runs over a whole stretch of consecutive riser orders.
            carry.riserRow = 0;
            for (std::size_t j = i; j < plans.size() && plans[j].riser; ++j) carry.riserRows += plans[j].bars * rowsPerBar;
        }
        xm::Pattern p = patternFor(plan, carry);
        if (!plan.riser) carry.riserRows = 0;
        // Identical patterns are stored once.
        std::size_t index = 0;
        while (index < module.patterns.size() && !samePattern(module.patterns[index], p)) ++index;
        if (index == module.patterns.size()) module.patterns.push_back(std::move(p));
        module.orders.push_back(static_cast<std::uint8_t>(index));
    }
    return module;
}

}  // namespace songgen
