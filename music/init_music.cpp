#include "music/music.h"

#include "music/beat_pulses.h"
#include "platform/message_box.h"

FMUSIC_MODULE* song = nullptr;
FSOUND_DSPUNIT* dspUnit = nullptr;
std::int32_t eqHighId = 0;
std::int32_t eqLowId = 0;
const char* songFileName = "QUILLOW3.oxm";

const InstrumentCallback instrumentCallbacks[7] = {
    {3, triggerPulseA},  {4, triggerPulseA},  {11, triggerPulseB}, {8, triggerPulseB},
    {5, triggerPulseB},  {22, triggerPulseC}, {29, triggerPulseC},
};

std::int32_t initMusic() {
    FSOUND_Init(44100, 64, 0);
    song = FMUSIC_LoadSong(songFileName);
    if (song == nullptr) {
        MessageBoxA(nullptr, "Failed loading Protracker-Module", "Error! Zembo suxx!", 0);
        return E_FAIL;
    }

    for (const InstrumentCallback& registration : instrumentCallbacks)
        FMUSIC_SetInstCallback(song, registration.callback, registration.instrument);

    dspUnit = FSOUND_DSP_Create(nullptr, 400, nullptr);
    FSOUND_DSP_SetActive(dspUnit, 1);

    // The two equalisers are added while the output is paused and set once it
    // runs again.
    FSOUND_SetPaused(FSOUND_SYSTEMCHANNEL, 1);
    eqHighId = FSOUND_FX_Enable(FSOUND_SYSTEMCHANNEL, FSOUND_FX_PARAMEQ);
    eqLowId = FSOUND_FX_Enable(FSOUND_SYSTEMCHANNEL, FSOUND_FX_PARAMEQ);
    FSOUND_SetPaused(FSOUND_SYSTEMCHANNEL, 0);
    FSOUND_FX_SetParamEQ(eqHighId, 14000.0f, 32.0f, 8.0f);
    FSOUND_FX_SetParamEQ(eqLowId, 55.0f, 32.0f, 4.5f);
    return 0;
}
