#pragma once
#include <string>
// The module player the music code talks to: the calls and constants of the
// sound library the program was written against, built on libopenmpt for
// decoding and the system's audio output (platform/sound/).

struct FMUSIC_MODULE;
struct FSOUND_DSPUNIT;

using FMUSIC_CALLBACK = void (*)(FMUSIC_MODULE* module, unsigned char param);
using FSOUND_DSPCALLBACK = void* (*)(void* originalBuffer, void* newBuffer, int length, void* userData);

inline constexpr int FSOUND_SYSTEMCHANNEL = -1000;
inline constexpr unsigned int FSOUND_FX_PARAMEQ = 7;

signed char FSOUND_Init(int mixRate, int maxSoftwareChannels, unsigned int flags);
FMUSIC_MODULE* FMUSIC_LoadSong(const char* name);
signed char FMUSIC_SetInstCallback(FMUSIC_MODULE* module, FMUSIC_CALLBACK callback, int instrument);
FSOUND_DSPUNIT* FSOUND_DSP_Create(FSOUND_DSPCALLBACK callback, int priority, void* userData);
signed char FSOUND_DSP_SetActive(FSOUND_DSPUNIT* unit, signed char active);
signed char FSOUND_SetPaused(int channel, signed char paused);
int FSOUND_FX_Enable(int channel, unsigned int fx);
signed char FSOUND_FX_SetParamEQ(int fxId, float center, float bandwidth, float gain);
signed char FMUSIC_PlaySong(FMUSIC_MODULE* module);
int FMUSIC_GetOrder(FMUSIC_MODULE* module);
void FSOUND_DSP_Free(FSOUND_DSPUNIT* unit);
signed char FMUSIC_FreeSong(FMUSIC_MODULE* module);

// Not a call of the replaced library: why the song plays in silence (the audio
// system's message), or an empty string while it plays on an audio device.
// Also says when the audio device went away or stopped taking sound
// mid-song, at which point of the song (m:ss) the sound stopped, and where
// it came back when the device (or a device opened again) took sound again.
std::string soundOutputProblem();

// Not a call of the replaced library: why FMUSIC_LoadSong would fail on the
// file `name` ("cannot open: No such file or directory", "not a module
// libopenmpt can load: ..."), or an empty string when it loads. It loads the
// module as FMUSIC_LoadSong does, and lets it go.
std::string moduleLoadProblem(const char* name);

// Not a call of the replaced library: moves the order changes and instrument
// callbacks later (positive) or earlier (negative) than the sound is heard,
// by -1000 to 1000 ms (clamped), for outputs with more latency than the
// device reports (Bluetooth headphones). Call it before FMUSIC_PlaySong.
void setSoundEventDelayMs(int ms);
