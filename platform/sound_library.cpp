#include "platform/sound_library.h"

signed char FSOUND_Init(int, int, unsigned int) { return 0; }
FMUSIC_MODULE* FMUSIC_LoadSong(const char*) { return nullptr; }
signed char FMUSIC_SetInstCallback(FMUSIC_MODULE*, FMUSIC_CALLBACK, int) { return 0; }
FSOUND_DSPUNIT* FSOUND_DSP_Create(FSOUND_DSPCALLBACK, int, void*) { return nullptr; }
signed char FSOUND_DSP_SetActive(FSOUND_DSPUNIT*, signed char) { return 0; }
signed char FSOUND_SetPaused(int, signed char) { return 0; }
int FSOUND_FX_Enable(int, unsigned int) { return -1; }
signed char FSOUND_FX_SetParamEQ(int, float, float, float) { return 0; }
signed char FMUSIC_PlaySong(FMUSIC_MODULE*) { return 0; }
int FMUSIC_GetOrder(FMUSIC_MODULE*) { return -1; }
void FSOUND_DSP_Free(FSOUND_DSPUNIT*) {}
signed char FMUSIC_FreeSong(FMUSIC_MODULE*) { return 0; }
std::string soundOutputProblem() { return {}; }
