#include "host/frame_loop.h"

#include <cstdio>
#include <string>

#include "host/frame_pacing.h"
#include "host/numeric.h"
#include "host/screen.h"
#include "music/music.h"
#include "platform/keyboard.h"
#include "platform/present/presenter.h"
#include "platform/sound_library.h"
#include "platform/timer.h"
#include "raymarch/marcher.h"

namespace {

// The scene of the last frame presented; a new one is sent to the terminal
// whole, which wipes what the old one left behind (antialiased edges).
std::int32_t presentedScene = -1;

}  // namespace

double timerMilliseconds(std::uint32_t reading) {
    const auto asSigned = static_cast<std::int32_t>(reading);
    double value = asSigned;
    if (asSigned < 0) value += 4294967296.0;
    return value;
}

bool startDemo() {
    openConsoleScreen();
    // Both clocks are stamped before the song loads: loading counts as time.
    timeMsStart = f32(timerMilliseconds(timeGetTime()));
    secondsStart = timerMilliseconds(timeGetTime());
    if (initMusic() != 0) return false;
    FMUSIC_PlaySong(song);
    return true;
}

namespace {

// Waits for the deadline of the frame that has just ended; Esc wakes it.
void waitForNextFrame() {
    const std::int64_t start = nextFrameStart(frameSchedule, monotonicNanoseconds());
    if (frameSchedule.framesPerSecond == 0) return;
    waitForEscapeUntil(start);
}

}  // namespace

void readFrameClocks() {
    timeMs = f32(double(timeMsStart) - timerMilliseconds(timeGetTime()));
    seconds = (timerMilliseconds(timeGetTime()) - secondsStart) * double(0.001f);
}

bool runFrame() {
    readFrameClocks();
    scene = 0;
    order = FMUSIC_GetOrder(song);
    return finishFrame();
}

bool finishFrame() {
    drawPublishedFrame();
    if (scene != presentedScene) presenter().repaintWhole();
    presentedScene = scene;
    presentScreen();
    decayPulses();
    // Past order 40 the song is over, whatever the key says.
    if (order >= 41) return false;
    waitForNextFrame();
    return GetAsyncKeyState(VK_ESCAPE) == 0;
}

void endDemo() {
    FSOUND_DSP_Free(dspUnit);
    FMUSIC_FreeSong(song);
    closePresenter();
    const std::string problem = soundOutputProblem();
    if (!problem.empty()) std::fprintf(stderr, "The song played without sound: %s\n", problem.c_str());
}

namespace {

// Figures over the frames, from the first frame's start to the end; the
// start-up before it (loading the song) is given apart. In the window the
// bytes are those of the pixels handed to the window system.
void printStats(double startUpSeconds, double seconds, double cpuSeconds) {
    const PresentStats shown = presenter().stats();
    const double frames = double(shown.presents);
    const double span = seconds > 0.0 ? seconds : 1.0;
    char timing[96] = "";
    if (shown.medianPresentMs > 0) {
        std::snprintf(timing, sizeof timing, "; cells to screen %.2f ms median, %.2f ms 99th percentile",
                      shown.medianPresentMs, shown.percentile99PresentMs);
    }
    std::fprintf(stderr,
                 "compofiller: %.0f frames in %.1f s (%.1f per second), %lld late; %.1f %% of one core; "
                 "%.0f bytes to the %s (%.1f KB/s); start-up %.1f s%s%s%s\n",
                 frames, seconds, frames / span, static_cast<long long>(frameSchedule.lateFrames),
                 100.0 * cpuSeconds / span, double(shown.bytes), shown.shownOn.c_str(),
                 double(shown.bytes) / span / 1000.0, startUpSeconds, timing, shown.detail.empty() ? "" : "; ",
                 shown.detail.c_str());
}

}  // namespace

int runDemo(const DemoSettings& settings) {
    songFileName = settings.songPath;
    setSoundEventDelayMs(settings.audioDelayMs);
    const std::int64_t runStart = monotonicNanoseconds();
    if (!startDemo()) {
        // The message has been shown; going on would play a silent demo that
        // never ends and report success.
        closePresenter();
        return 1;
    }
    const std::int64_t framesStart = monotonicNanoseconds();
    const double framesCpuStart = processCpuSeconds();
    startSchedule(frameSchedule, settings.framesPerSecond, framesStart);
    while (runFrame()) {
    }
    const double framesCpu = processCpuSeconds() - framesCpuStart;
    const std::int64_t framesEnd = monotonicNanoseconds();
    endDemo();
    if (settings.printStats) {
        printStats(double(framesStart - runStart) * 1e-9, double(framesEnd - framesStart) * 1e-9, framesCpu);
    }
    return 0;
}
