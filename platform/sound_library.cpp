#include "platform/sound_library.h"

#include <string>

#include "platform/sound_offline.h"
#include "platform/sound_song.h"

namespace sound {
class LiveSong {};
}  // namespace sound

signed char FSOUND_Init(int, int, unsigned int) { return 0; }

FMUSIC_MODULE* FMUSIC_LoadSong(const char* name) {
    if (name == nullptr) return nullptr;
    auto song = new FMUSIC_MODULE();
    std::string error;
    if (!sound::readModuleFile(name, song->bytes, error) || !sound::inspectFile(name).loaded) {
        delete song;
        return nullptr;
    }
    return song;
}

signed char FMUSIC_SetInstCallback(FMUSIC_MODULE* module, FMUSIC_CALLBACK callback, int instrument) {
    if (module == nullptr || instrument < 0 || instrument >= FMUSIC_MODULE::instrumentSlots) return 0;
    module->callbacks[static_cast<std::size_t>(instrument)].store(callback, std::memory_order_release);
    return 1;
}

FSOUND_DSPUNIT* FSOUND_DSP_Create(FSOUND_DSPCALLBACK, int, void*) { return nullptr; }
signed char FSOUND_DSP_SetActive(FSOUND_DSPUNIT*, signed char) { return 0; }
signed char FSOUND_SetPaused(int, signed char) { return 0; }
int FSOUND_FX_Enable(int, unsigned int) { return -1; }
signed char FSOUND_FX_SetParamEQ(int, float, float, float) { return 0; }
signed char FMUSIC_PlaySong(FMUSIC_MODULE*) { return 0; }
int FMUSIC_GetOrder(FMUSIC_MODULE* module) { return module == nullptr ? -1 : 0; }
void FSOUND_DSP_Free(FSOUND_DSPUNIT*) {}

signed char FMUSIC_FreeSong(FMUSIC_MODULE* module) {
    delete module;
    return module != nullptr;
}

std::string soundOutputProblem() { return {}; }
