#include "platform/sound/song_stepper.h"

#include <libopenmpt/libopenmpt.hpp>

#include <algorithm>
#include <cstring>
#include <ostream>

namespace sound {

namespace {

// libopenmpt's own codes for the cell fields that decide whether a note starts.
constexpr int noteMin = 1;
constexpr int noteMax = 120;
constexpr int effectTonePorta = 4;      // 3xx
constexpr int effectTonePortaVol = 6;   // 5xy
constexpr int effectPositionJump = 12;  // Bxx
constexpr int effectPatternBreak = 14;  // Dxx
constexpr int effectExtended = 19;      // Exy (MOD/XM)
constexpr int effectExtendedS3m = 20;   // Sxy (S3M/IT)
constexpr int effectKeyOff = 25;        // Kxx
constexpr int volumeTonePorta = 11;     // volume-column portamento

// A stream that swallows libopenmpt's load messages.
class NullBuffer : public std::streambuf {
protected:
    int overflow(int c) override { return c; }
};

std::int64_t tickLength(int tempo) {
    // One tick lasts 2.5 / BPM seconds, whole samples (checked against
    // libopenmpt's XM playback at 44100 Hz for tempos 32 to 255).
    if (tempo < 1) tempo = 125;
    return std::max<std::int64_t>(1, static_cast<std::int64_t>(sampleRate * 5 / (2 * tempo)));
}

}  // namespace

std::unique_ptr<openmpt::module> loadModule(const void* data, std::size_t size, std::string& error) {
    if (data == nullptr || size == 0) {
        error = "empty file";
        return nullptr;
    }
    NullBuffer nullBuffer;
    std::ostream nullLog(&nullBuffer);
    try {
        auto bytes = static_cast<const std::uint8_t*>(data);
        auto module = std::make_unique<openmpt::module>(bytes, bytes + size, nullLog);
        if (module->get_num_orders() < 1) {
            error = "the module has no orders";
            return nullptr;
        }
        return module;
    } catch (const std::exception& e) {
        error = std::string("not a module libopenmpt can load: ") + e.what();
    } catch (...) {
        error = "not a module libopenmpt can load";
    }
    return nullptr;
}

SongFacts factsOf(const openmpt::module& module, const void* data, std::size_t size) {
    SongFacts facts;
    facts.format = module.get_metadata("type");
    facts.formatName = module.get_metadata("type_long");
    facts.title = module.get_metadata("title");
    facts.orders = module.get_num_orders();
    facts.channels = module.get_num_channels();
    facts.durationSeconds = module.get_duration_seconds();
    facts.instrumentNames = module.get_instrument_names();
    if (facts.instrumentNames.empty()) facts.instrumentNames = module.get_sample_names();
    // XM keeps its restart position in the header (byte 66, 16-bit little end).
    auto bytes = static_cast<const std::uint8_t*>(data);
    if (facts.format == "xm" && bytes != nullptr && size >= 68) {
        int restart = bytes[66] | (bytes[67] << 8);
        facts.restartOrder = restart < facts.orders ? restart : 0;
    }
    return facts;
}

SongStepper::SongStepper(std::unique_ptr<openmpt::module> module) : mod(std::move(module)) {
    channelCount = std::max(0, static_cast<int>(mod->get_num_channels()));
    channelInstrument.assign(static_cast<std::size_t>(channelCount), 0);
    pending.assign(static_cast<std::size_t>(channelCount), Pending{});
    setRepeat(true);
}

SongStepper::~SongStepper() = default;

void SongStepper::setRepeat(bool repeat) {
    mod->set_repeat_count(repeat ? -1 : 0);
    // A song that does not repeat ends exactly at its end, without a fade.
    mod->ctl_set_text("play.at_end", repeat ? "continue" : "stop");
}

std::size_t SongStepper::render(float* out, std::size_t frames, EventSink& sink) {
    std::size_t done = 0;
    while (done < frames && !atEnd) {
        if (songFrame >= tickEnd) {
            // The first frame of a tick: libopenmpt processes the tick's row
            // and effects, and its position then describes this tick.
            std::size_t got = mod->read_interleaved_stereo(sampleRate, 1, out + 2 * done);
            if (got == 0) {
                atEnd = true;
                break;
            }
            startTick(sink);
            ++songFrame;
            ++done;
            continue;
        }
        std::size_t want = std::min<std::size_t>(frames - done, static_cast<std::size_t>(tickEnd - songFrame));
        std::size_t got = mod->read_interleaved_stereo(sampleRate, want, out + 2 * done);
        songFrame += static_cast<std::int64_t>(got);
        done += got;
        if (got < want) atEnd = true;
    }
    if (done < frames) std::memset(out + 2 * done, 0, (frames - done) * 2 * sizeof(float));
    return done;
}

void SongStepper::startTick(EventSink& sink) {
    const int order = mod->get_current_order();
    const int row = mod->get_current_row();
    const int pattern = mod->get_current_pattern();
    const int speed = std::max(1, static_cast<int>(mod->get_current_speed()));
    tickEnd = songFrame + tickLength(mod->get_current_tempo());

    bool newRow = order != curOrder || row != curRow || pattern != curPattern;
    // A row that loops or jumps onto itself keeps its position: it starts
    // again once it has run its full length.
    if (!newRow && rowMayRepeat && tickInRow + 1 >= rowTicks) newRow = true;
    if (newRow) {
        startRow(order, row, pattern, speed, sink);
        return;
    }
    ++tickInRow;
    for (int c = 0; c < channelCount; ++c) {
        Pending& p = pending[static_cast<std::size_t>(c)];
        if (p.tick == tickInRow) {
            sink.event(PlayEvent{songFrame, p.order, p.row, c, p.instrument - 1, EventKind::trigger});
            p.tick = -1;
        }
    }
}

void SongStepper::startRow(int order, int row, int pattern, int speed, EventSink& sink) {
    if (order != curOrder) sink.event(PlayEvent{songFrame, order, row, 0, -1, EventKind::order});
    curOrder = order;
    curRow = row;
    curPattern = pattern;
    tickInRow = 0;
    rowMayRepeat = false;
    int patternDelay = 0;
    for (auto& p : pending) p.tick = -1;
    if (pattern < 0 || row < 0) {
        rowTicks = speed;
        return;
    }

    for (int c = 0; c < channelCount; ++c) {
        auto field = [&](int command) {
            return static_cast<int>(mod->get_pattern_row_channel_command(pattern, row, c, command));
        };
        const int note = field(openmpt::module::command_note);
        const int instrument = field(openmpt::module::command_instrument);
        const int volumeEffect = field(openmpt::module::command_volumeffect);
        const int effect = field(openmpt::module::command_effect);
        const int param = field(openmpt::module::command_parameter);

        int delay = 0;
        const bool extended = effect == effectExtended || effect == effectExtendedS3m;
        if (extended && (param >> 4) == 0xD) delay = param & 0x0F;
        if (extended && (param >> 4) == 0xE) {  // pattern delay
            patternDelay = std::max(patternDelay, param & 0x0F);
        }
        // Pattern loop (E6x / SBx), position jump and pattern break.
        if ((extended && (param >> 4) == (effect == effectExtended ? 0x6 : 0xB) && (param & 0x0F) != 0) ||
            effect == effectPositionJump || effect == effectPatternBreak) {
            rowMayRepeat = true;
        }
        // A delay as long as the row never plays the cell at all.
        if (delay >= speed) continue;

        // Volume-column portamento with a note delay plays as a delayed note.
        const bool portamento = effect == effectTonePorta || effect == effectTonePortaVol ||
                                (volumeEffect == volumeTonePorta && delay == 0);
        if (instrument > 0 && !portamento) channelInstrument[static_cast<std::size_t>(c)] = instrument;

        const bool isNote = note >= noteMin && note <= noteMax;
        const bool keyOffNow = effect == effectKeyOff && param == 0;  // K00 hides the note
        if (!isNote || portamento || keyOffNow) continue;
        const int played = instrument > 0 ? instrument : channelInstrument[static_cast<std::size_t>(c)];
        if (played <= 0) continue;
        if (delay == 0) {
            sink.event(PlayEvent{songFrame, order, row, c, played - 1, EventKind::trigger});
        } else {
            pending[static_cast<std::size_t>(c)] = Pending{delay, played, row, order};
        }
    }
    rowTicks = speed * (1 + patternDelay);
}

}  // namespace sound
