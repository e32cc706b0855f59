// The sound library calls that do not touch the output, the same on every
// system: loading a song (its playback on the output is the output's:
// newSongHandle), why a module file would not load, the instrument
// callbacks' registration and the DSP unit (only created, activated and
// freed).
#include <libopenmpt/libopenmpt.hpp>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/common/sound_engine.h"
#include "platform/common/sound_offline.h"
#include "platform/common/sound_song.h"
#include "platform/sound_library.h"

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
    return sound::newSongHandle(std::move(bytes), std::move(module));
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
