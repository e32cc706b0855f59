#pragma once
// Loading and playing the song, its equalisers and its instrument callbacks.
#include <cstdint>

#include "platform/sound_library.h"

extern FMUSIC_MODULE* song;
extern FSOUND_DSPUNIT* dspUnit;
extern std::int32_t eqHighId;
extern std::int32_t eqLowId;

// The module initMusic loads: "QUILLOW3.oxm" in the working folder unless the
// program was told another (it must stay valid while the song plays).
extern const char* songFileName;

// The instrument callbacks that set the beat pulses, in the order initMusic
// registers them; the recorder calls them from its offline render.
struct InstrumentCallback {
    std::int32_t instrument;  // the player's zero-based instrument number
    FMUSIC_CALLBACK callback;
};
extern const InstrumentCallback instrumentCallbacks[7];

inline constexpr std::int32_t E_FAIL = static_cast<std::int32_t>(0x80004005u);

// Sets up the sound output and loads songFileName.
// Returns 0, or E_FAIL after a message box when the song cannot be loaded.
std::int32_t initMusic();
