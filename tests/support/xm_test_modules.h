#pragma once
// Small XM modules for tests: instruments with a short looping tone, empty
// patterns to fill in, and helpers to turn a module into bytes or a file.
#include <cstdint>
#include <string>
#include <vector>

#include "tools/xm/xm_writer.h"

namespace testmodules {

// An instrument with one looping 16-bit sample (a square-ish tone), audible at
// any note, so every trigger is heard.
xm::Instrument toneInstrument(const std::string& name);

// A module with `channels` channels, `instruments` tone instruments (named
// "inst1", "inst2", ...), `patterns` empty patterns of `rows` rows and the
// order list 0, 1, ..., patterns - 1.
xm::Module emptyModule(int channels, int instruments, int patterns, int rows = 16, int speed = 6, int tempo = 125);

// Sets one cell: XM note byte (49 = C-4, 97 key-off), 1-based instrument.
void put(xm::Module& module, int pattern, int row, int channel, int note, int instrument,
         int effect = 0, int param = 0, int volume = 0);

std::vector<std::uint8_t> bytes(const xm::Module& module);

// The module as an OggMod XM (.oxm): every sample's data replaced by its
// original byte size and an Ogg Vorbis stream of it.
std::vector<std::uint8_t> oxmBytes(const xm::Module& module);

// A fresh empty folder under the system's temporary folder.
std::string makeTempFolder(const std::string& prefix);

// Writes the module into `folder` as `name`; returns the path.
std::string writeModule(const xm::Module& module, const std::string& folder, const std::string& name);

// Twelve orders of about 0.96 s, so that the captions of orders 2, 4 and 6
// show long enough to be seen, and two voices that never repeat a stretch.
xm::Module captionOrdersSong();

// Frames per tick at 44100 Hz for a tempo (BPM).
inline std::int64_t tickFrames(int tempo) { return 44100 * 5 / (2 * tempo); }

}  // namespace testmodules
