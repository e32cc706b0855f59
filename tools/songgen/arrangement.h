#pragma once
// The song's plan: one entry per order, saying which parts play and how.
// The demo picks its scene from the order, so each section here is the music
// of one scene (see arrangement.cpp for the order-by-order table).
#include <array>
#include <cstdint>
#include <vector>

namespace songgen {

// A chord by name; patterns.cpp knows its notes.
enum class Chord : std::uint8_t { Am, F, C, G, Em, Dm, E };

enum class Kick : std::uint8_t { none, halfTime, fourFloor, eighths };
enum class Backbeat : std::uint8_t { none, clapOnFour, claps, clapsAndGhosts };
enum class Roll : std::uint8_t { none, fill, lastBeatEighths, secondBarEighths, eighths, eighthsThenSixteenths, sixteenths, climax };
enum class Hats : std::uint8_t { none, shaker, closed, open };
enum class Bass : std::uint8_t { none, held, offbeat, rolling, pedal };
enum class Melody : std::uint8_t { none, themeA, themeB, themeAHigh };

struct OrderPlan {
    int bars = 2;                 // 16 rows each
    std::array<Chord, 4> chords{};  // one per bar
    Kick kick = Kick::none;
    Backbeat backbeat = Backbeat::none;
    Roll roll = Roll::none;
    Hats hats = Hats::none;
    bool ticks = false;           // soft sixteenth ticks
    Bass bass = Bass::none;
    int padVolume = 0;            // 0 = no pad; else start volume 1..64
    int padVolumeEnd = 0;         // volume reached at the last row (0 = same)
    int pluckVolume = 0;          // arpeggio, 0 = none
    int pluckOctave = 0;          // added octaves
    bool stab = false;
    Melody lead = Melody::none;
    bool leadEnding = false;      // the phrase's last bar rises instead of resting
    bool bellTune = false;        // the bell melody (breakdown, last section)
    bool bellSparse = false;      // a bell note on each chord (intro)
    bool crash = false;           // crash and boom on the first row
    bool riser = false;           // noise riser over the whole order
    bool finalChord = false;      // the closing hit and ring-out
};

// The plan of every order, from order 0.
std::vector<OrderPlan> arrangement();

}  // namespace songgen
