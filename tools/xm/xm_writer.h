#pragma once
// Writes FastTracker 2 (XM) modules: used by the tests to build small songs
// with exact rows and instruments, and by the generator of the bundled song.
#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace xm {

inline constexpr std::uint8_t keyOff = 97;

// One pattern cell, in XM's own values: note 1 to 96 (C-0 to B-7, 49 = C-4),
// 97 key-off, 0 none; instrument 1-based, 0 none; volume column byte (0 none,
// 0x10 to 0x50 set volume, 0xF0 to 0xFF tone portamento); effect and param.
struct Cell {
    std::uint8_t note = 0;
    std::uint8_t instrument = 0;
    std::uint8_t volume = 0;
    std::uint8_t effect = 0;
    std::uint8_t param = 0;
};

struct Pattern {
    int rows = 64;
    int channels = 0;
    std::vector<Cell> cells;  // rows * channels, row-major

    Pattern() = default;
    Pattern(int rowCount, int channelCount)
        : rows(rowCount), channels(channelCount), cells(static_cast<std::size_t>(rowCount * channelCount)) {}
    Cell& at(int row, int channel) { return cells[static_cast<std::size_t>(row * channels + channel)]; }
    const Cell& at(int row, int channel) const { return cells[static_cast<std::size_t>(row * channels + channel)]; }
};

struct Envelope {
    std::vector<std::pair<std::uint16_t, std::uint16_t>> points;  // (tick, value 0..64), at most 12
    int sustainPoint = -1;
    int loopStart = -1;
    int loopEnd = -1;
};

enum class Loop : std::uint8_t { none = 0, forward = 1, pingPong = 2 };

struct Sample {
    std::string name;
    std::vector<std::int16_t> data;  // 16-bit mono frames
    std::uint32_t loopStart = 0;     // in frames
    std::uint32_t loopLength = 0;    // in frames
    Loop loop = Loop::none;
    std::uint8_t volume = 64;
    std::int8_t finetune = 0;
    std::uint8_t panning = 128;
    std::int8_t relativeNote = 0;    // semitones added to the played note
};

struct Instrument {
    std::string name;
    std::vector<Sample> samples;
    std::array<std::uint8_t, 96> sampleForNote{};  // sample index per note, all 0 by default
    Envelope volumeEnvelope;
    Envelope panningEnvelope;
    std::uint16_t fadeout = 0;
};

struct Module {
    std::string name;
    std::string tracker = "compofiller xm";
    int channels = 4;
    std::uint16_t restartPosition = 0;
    std::uint16_t speed = 6;    // ticks per row
    std::uint16_t tempo = 125;  // BPM
    bool linearFrequencies = true;
    std::vector<std::uint8_t> orders;  // pattern numbers
    std::vector<Pattern> patterns;
    std::vector<Instrument> instruments;
};

// The module as XM file bytes. Names are cut to their field sizes.
std::vector<std::uint8_t> write(const Module& module);

// Writes the module to a file; false when the file cannot be written.
bool writeFile(const Module& module, const std::string& path);

}  // namespace xm
