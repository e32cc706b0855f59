#pragma once
// An audio device of the tests' own, built into a test program in place of
// the system's (platform/sound/audio_device.h): a thread that takes a buffer
// at the pace of real time, as a sound card does. A test can make it fail to
// open, stop taking sound, or go away, and sees what it was given.
#include <cstdint>

namespace testdevice {

// The next `count` opens fail.
void failOpens(int count);
// Stops taking sound (true) while staying open, or takes it again.
void stall(bool stalled);
// The system reports the device gone until it is opened again.
void goAway();
// Devices opened so far.
int opens();
// Frames in each buffer taken, as opened; 0 before.
int bufferFrames();
// Frames taken so far, over every device opened.
std::int64_t framesTaken();
// The loudest sample taken since the last call.
float takeLoudest();

}  // namespace testdevice
