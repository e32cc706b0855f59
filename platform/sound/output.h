#pragma once
// The global output as the sound library calls see it: it mixes the playing
// song through the equalisers onto the system's audio device, and hands on
// the song's events when they are heard. Two make it: the threaded output
// (a mixing thread and a ring ahead of a pull device, audio_device.h: SDL2,
// waveOut) and the web page's, which mixes on the page's one thread and
// feeds its audio worklet (audio_device_webaudio.cpp).
#include <string>

#include "platform/sound/equaliser.h"

namespace sound {
class LiveSong;
}

namespace sound::output {

// Opens the default device, or plays in silence paced by the steady clock
// when there is none. True once the output runs (also when it did already).
bool init();
bool ready();
// Stops (true) or resumes (false) the output: its clock, the song, the events.
void setPaused(bool paused);
EqChain& equalisers();

// Puts `song` on the output, from what is heard next on, and starts handing
// on its events as they are heard. A song that plays already goes on.
void play(LiveSong& song);
// Takes `song` off the output: once this returns it is no longer mixed and
// none of its callbacks runs or follows. False when called from one of the
// song's own callbacks: the song then plays and calls no more, and the output
// keeps its handle (the caller must not free it).
bool stop(LiveSong& song);
// The order of `song` heard now.
int order(LiveSong& song);

// Why the output plays in silence, or where the sound stopped and came back
// (the exit report); empty while it plays on a device as it should.
std::string problem();
// Moves the events later (positive) or earlier than the sound, clamped to
// -1000 to 1000 ms.
void setEventDelayMs(int ms);

}  // namespace sound::output
