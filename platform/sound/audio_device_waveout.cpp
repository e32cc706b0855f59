// The audio device on Windows' waveOut: the system's default output through
// the wave mapper, fed by a thread of our own that refills each buffer the
// device hands back. waveOut works on every Windows and under Wine (where it
// goes through Wine's own PulseAudio driver); the engine's ring ahead of it
// makes a lower-latency path unnecessary.
#include "platform/sound/audio_device.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <mmreg.h>
#include <mmsystem.h>

#include <atomic>
#include <cmath>
#include <mutex>
#include <thread>
#include <vector>

namespace sound::device {

namespace {

constexpr int queuedBuffers = 8;  // in the device at once: 186 ms

HWAVEOUT device = nullptr;
HANDLE bufferDone = nullptr;  // signalled by the device for each buffer it is done with
std::thread feeder;
std::atomic<bool> stopping{false};
std::atomic<bool> paused{true};
std::atomic<bool> gone{false};
std::mutex pullMutex;  // held across each pull; lock() and unlock() take it
Pull pullCallback = nullptr;
void* pullUser = nullptr;
Format opened;
bool convertToInt16 = false;  // the device took 16-bit only: the pulls are converted
std::vector<float> floatScratch;
WAVEHDR headers[queuedBuffers] = {};
std::vector<char> memory[queuedBuffers];
bool queued[queuedBuffers] = {};

bool openWith(WORD tag, int bits, std::string& problem) {
    WAVEFORMATEX wave{};
    wave.wFormatTag = tag;
    wave.nChannels = static_cast<WORD>(opened.channels);
    wave.nSamplesPerSec = static_cast<DWORD>(opened.rate);
    wave.wBitsPerSample = static_cast<WORD>(bits);
    wave.nBlockAlign = static_cast<WORD>(opened.channels * bits / 8);
    wave.nAvgBytesPerSec = wave.nSamplesPerSec * wave.nBlockAlign;
    const MMRESULT result = waveOutOpen(&device, WAVE_MAPPER, &wave, reinterpret_cast<DWORD_PTR>(bufferDone), 0,
                                        CALLBACK_EVENT);
    if (result == MMSYSERR_NOERROR) return true;
    char text[MAXERRORLENGTH] = {};
    waveOutGetErrorTextA(result, text, sizeof text);
    problem = text[0] != '\0' ? text : "waveOutOpen failed";
    device = nullptr;
    return false;
}

// Fills buffer i from the engine and hands it to the device.
void refill(int i) {
    WAVEHDR& header = headers[i];
    const int frames = opened.bufferFrames;
    {
        std::lock_guard<std::mutex> lock(pullMutex);
        if (convertToInt16) {
            pullCallback(pullUser, floatScratch.data(), frames);
            auto* out = reinterpret_cast<std::int16_t*>(header.lpData);
            for (int s = 0; s < frames * opened.channels; ++s) {
                const double v = std::lround(double(floatScratch[std::size_t(s)]) * 32768.0);
                out[s] = static_cast<std::int16_t>(v > 32767 ? 32767 : v < -32768 ? -32768 : v);
            }
        } else {
            pullCallback(pullUser, header.lpData, frames);
        }
    }
    header.dwFlags &= ~static_cast<DWORD>(WHDR_DONE);
    if (waveOutWrite(device, &header, sizeof header) != MMSYSERR_NOERROR) {
        gone.store(true);
        queued[i] = false;
    } else {
        queued[i] = true;
    }
}

void feed() {
    while (!stopping.load()) {
        WaitForSingleObject(bufferDone, 50);
        if (stopping.load() || paused.load() || gone.load()) continue;
        for (int i = 0; i < queuedBuffers && !gone.load(); ++i) {
            if (!queued[i] || (headers[i].dwFlags & WHDR_DONE) != 0) refill(i);
        }
    }
}

}  // namespace

bool open(const Format& format, Pull pull, void* user, std::string& problem) {
    if (device != nullptr) close();
    opened = format;
    pullCallback = pull;
    pullUser = user;
    bufferDone = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    const bool wide = format.sample == SampleFormat::float32;
    convertToInt16 = false;
    if (!wide || !openWith(WAVE_FORMAT_IEEE_FLOAT, 32, problem)) {
        if (!openWith(WAVE_FORMAT_PCM, 16, problem)) {
            CloseHandle(bufferDone);
            bufferDone = nullptr;
            return false;
        }
        convertToInt16 = wide;
    }
    // Held until the engine starts the pulls.
    waveOutPause(device);
    paused.store(true);
    const int deviceBytes = format.bufferFrames * format.channels * ((wide && !convertToInt16) ? 4 : 2);
    floatScratch.assign(std::size_t(format.bufferFrames) * std::size_t(format.channels), 0.0f);
    for (int i = 0; i < queuedBuffers; ++i) {
        memory[i].assign(std::size_t(deviceBytes), 0);
        headers[i] = WAVEHDR{};
        headers[i].lpData = memory[i].data();
        headers[i].dwBufferLength = static_cast<DWORD>(deviceBytes);
        waveOutPrepareHeader(device, &headers[i], sizeof headers[i]);
        queued[i] = false;
    }
    stopping.store(false);
    gone.store(false);
    feeder = std::thread([] {
        SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
        feed();
    });
    return true;
}

void close() {
    if (device == nullptr) return;
    stopping.store(true);
    SetEvent(bufferDone);
    if (feeder.joinable()) feeder.join();
    waveOutReset(device);  // hands every queued buffer back
    for (WAVEHDR& header : headers) waveOutUnprepareHeader(device, &header, sizeof header);
    waveOutClose(device);
    device = nullptr;
    CloseHandle(bufferDone);
    bufferDone = nullptr;
}

void pause(bool pause) {
    if (device == nullptr) return;
    paused.store(pause);
    if (pause) {
        waveOutPause(device);
    } else {
        waveOutRestart(device);
        SetEvent(bufferDone);
    }
}

void lock() { pullMutex.lock(); }

void unlock() { pullMutex.unlock(); }

bool lost() { return gone.load(); }

// Every queued buffer is ahead of the newest frame pulled.
int heldFrames() { return queuedBuffers * opened.bufferFrames; }

std::string driverName() { return "waveout"; }

void raiseThreadPriority() { SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST); }

}  // namespace sound::device
