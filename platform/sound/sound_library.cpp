// The sound library calls, the same on every system: loading a song, why a
// module file would not load, the instrument callbacks' registration, the DSP
// unit (only created, activated and freed), and the calls that the output
// (output.h) answers: set-up, pause, equalisers, play, order and free.
#include "platform/sound_library.h"

#include <libopenmpt/libopenmpt.hpp>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/sound/offline.h"
#include "platform/sound/output.h"
#include "platform/sound/song.h"
#include "platform/sound/song_stepper.h"

struct FSOUND_DSPUNIT {
    int priority = 0;
    bool active = false;
};

FMUSIC_MODULE* FMUSIC_LoadSong(const char* name) {
    if (name == nullptr) return nullptr;
    std::vector<std::uint8_t> bytes;
    std::string error;
    if (!sound::readModuleFile(name, bytes, error)) return nullptr;
    auto module = sound::loadModule(bytes.data(), bytes.size(), error);
    if (!module) return nullptr;
    auto* song = new FMUSIC_MODULE();
    song->bytes = std::move(bytes);
    song->live = std::make_unique<sound::LiveSong>(song, std::move(module));
    return song;
}

std::string moduleLoadProblem(const char* name) {
    if (name == nullptr) return "no file named";
    std::vector<std::uint8_t> bytes;
    std::string error;
    if (!sound::readModuleFile(name, bytes, error)) return error;
    if (!sound::loadModule(bytes.data(), bytes.size(), error)) return error;
    return "";
}

signed char FMUSIC_SetInstCallback(FMUSIC_MODULE* module, FMUSIC_CALLBACK callback, int instrument) {
    if (module == nullptr || instrument < 0 || instrument >= FMUSIC_MODULE::instrumentSlots) return 0;
    module->callbacks[static_cast<std::size_t>(instrument)].store(callback, std::memory_order_release);
    return 1;
}

FSOUND_DSPUNIT* FSOUND_DSP_Create(FSOUND_DSPCALLBACK, int priority, void*) {
    auto* unit = new FSOUND_DSPUNIT();
    unit->priority = priority;
    return unit;
}

signed char FSOUND_DSP_SetActive(FSOUND_DSPUNIT* unit, signed char active) {
    if (unit == nullptr) return 0;
    unit->active = active != 0;
    return 1;
}

void FSOUND_DSP_Free(FSOUND_DSPUNIT* unit) { delete unit; }

signed char FSOUND_Init(int mixRate, int maxSoftwareChannels, unsigned int) {
    // The output always mixes at 44100 Hz stereo; the channel count is
    // libopenmpt's business.
    if (mixRate <= 0 || maxSoftwareChannels < 0) return 0;
    return sound::output::init() ? 1 : 0;
}

signed char FSOUND_SetPaused(int channel, signed char paused) {
    if (channel != FSOUND_SYSTEMCHANNEL || !sound::output::ready()) return 0;
    sound::output::setPaused(paused != 0);
    return 1;
}

int FSOUND_FX_Enable(int channel, unsigned int fx) {
    if (channel != FSOUND_SYSTEMCHANNEL || fx != FSOUND_FX_PARAMEQ) return -1;
    return sound::output::equalisers().add();
}

signed char FSOUND_FX_SetParamEQ(int fxId, float center, float bandwidth, float gain) {
    sound::output::equalisers().set(fxId, center, bandwidth, gain);
    return 1;
}

signed char FMUSIC_PlaySong(FMUSIC_MODULE* module) {
    if (module == nullptr || !module->live || !sound::output::ready()) return 0;
    sound::output::play(*module->live);
    return 1;
}

int FMUSIC_GetOrder(FMUSIC_MODULE* module) {
    if (module == nullptr || !module->live) return -1;
    return sound::output::order(*module->live);
}

signed char FMUSIC_FreeSong(FMUSIC_MODULE* module) {
    if (module == nullptr) return 0;
    // Off the output first: no callback arrives after this returns. Freed
    // from one of its own callbacks, the song is the output's to keep.
    if (module->live && !sound::output::stop(*module->live)) return 1;
    delete module;
    return 1;
}

std::string soundOutputProblem() { return sound::output::problem(); }

void setSoundEventDelayMs(int ms) { sound::output::setEventDelayMs(ms); }
