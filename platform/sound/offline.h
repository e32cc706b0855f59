#pragma once
// Offline rendering of a module through the same player the live output uses:
// no audio device, as fast as the decoder runs. For tests and tools: the mixed
// audio, every instrument trigger at its sample position, where each order
// starts, and the song's facts.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/sound_library.h"

namespace sound {

inline constexpr int sampleRate = 44100;

// The demo's two equalisers on the global output: centre Hz, bandwidth in
// semitones, gain in dB.
struct EqSetting {
    float centre;
    float bandwidth;
    float gain;
};
inline constexpr EqSetting demoEqHigh{14000.0f, 32.0f, 8.0f};
inline constexpr EqSetting demoEqLow{55.0f, 32.0f, 4.5f};

// A note starting on a channel. `instrument` is zero-based (the tracker shows
// it as instrument + 1), the number FMUSIC_SetInstCallback takes.
struct Trigger {
    std::int64_t sample = 0;  // stereo frame at which the note starts
    int order = 0;
    int row = 0;
    int channel = 0;
    int instrument = 0;
};

// The song entered `order` at stereo frame `sample` (once per change of order,
// so a repeated song lists its orders again).
struct OrderStart {
    std::int64_t sample = 0;
    int order = 0;
};

struct SongFacts {
    std::string format;      // libopenmpt's short type name, "xm", "mod", "it", ...
    std::string formatName;  // long type name, "FastTracker 2"
    std::string title;
    int orders = 0;          // entries in the order list
    int channels = 0;
    int restartOrder = 0;    // the order the song repeats from (libopenmpt's view)
    double durationSeconds = 0.0;  // one pass, up to where it would repeat
    std::vector<std::string> instrumentNames;  // index = zero-based instrument
};

struct RenderOptions {
    // How much to render. seconds <= 0: one pass, to where the song would
    // repeat. seconds > 0: that many seconds, repeating the song as often as
    // needed (the live player's behaviour).
    double seconds = 0.0;
    bool demoEqualisers = false;  // through demoEqHigh, then demoEqLow
    bool keepAudio = true;        // false: mix but do not keep the samples
    // Called with (frames done, frames planned) now and then; planned is the
    // one-pass length when seconds <= 0.
    std::function<void(std::int64_t, std::int64_t)> progress;
    // Called for every trigger, in order, as the render reaches it.
    std::function<void(const Trigger&)> onTrigger;
};

struct RenderResult {
    bool loaded = false;
    std::string error;             // why not, when !loaded
    SongFacts facts;
    std::int64_t frames = 0;       // stereo frames rendered
    std::vector<float> audio;      // interleaved left/right, frames * 2 (if keepAudio)
    std::vector<Trigger> triggers; // every trigger, all instruments
    std::vector<OrderStart> orderStarts;
};

// Loads and renders a module file or module bytes.
RenderResult renderFile(const std::string& path, const RenderOptions& options = {});
RenderResult renderData(const void* data, std::size_t size, const RenderOptions& options = {});

// Renders a song loaded with FMUSIC_LoadSong from its start, on the calling
// thread, independently of its live playback, and calls the instrument
// callbacks registered on it at their triggers (in order, between audio
// blocks). Nothing is rendered for a null song.
RenderResult renderLoadedSong(FMUSIC_MODULE* song, const RenderOptions& options = {});

// Only the facts of a module; loaded = false with an error for a bad file.
RenderResult inspectFile(const std::string& path);

// Whole-file reading shared by the loaders: false for a missing or unreadable
// path, a directory, or an empty file (with the reason in error).
bool readModuleFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error);

// Streaming render for tools and benchmarks: render block by block without
// keeping the whole song in memory.
class OfflineSong {
public:
    // Null (with the reason in error) when the data is not a loadable module.
    static std::unique_ptr<OfflineSong> open(const void* data, std::size_t size, std::string& error);
    ~OfflineSong();

    const SongFacts& facts() const;
    // Repeat the song at its end (default) or stop after one pass.
    void setRepeat(bool repeat);
    void addEqualiser(EqSetting setting);
    // Renders up to `frames` stereo frames into `out` (frames * 2 floats);
    // returns the count, less than asked only at the end of a one-pass song.
    std::size_t render(float* out, std::size_t frames);
    // Triggers and order starts produced by render since the last take.
    void takeEvents(std::vector<Trigger>& triggers, std::vector<OrderStart>& orderStarts);
    std::int64_t framesRendered() const;

private:
    OfflineSong();
    struct Impl;
    std::unique_ptr<Impl> impl;
};

}  // namespace sound
