// The web page's entry: the page calls webStart once, then webFrame for every
// frame at the time webNextFrameMs gives (a browser cannot block, so the page's
// own scheduling runs the frame loop's frames), and webEnd after the last one.
// The song, and the font for the picture, are files the page has put into the
// program's file system first. The audio output's calls into the page are
// here too.
#include <emscripten.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "host/frame_loop.h"
#include "host/frame_pacing.h"
#include "host/screen.h"
#include "music/music.h"
#include "platform/sound_library.h"
#include "platform/timer.h"
#include "platform/web/page_bridge.h"

EM_JS(int, cf_audio_open, (char* problem, int size), {
    const reason = Module.page.audioOpen();
    if (reason === "") return 1;
    stringToUTF8(reason, problem, size);
    return 0;
});
EM_JS(double, cf_audio_rendered_frame, (), { return Module.page.audioRenderedFrame(); });
EM_JS(double, cf_audio_heard_frame, (), { return Module.page.audioHeardFrame(); });
EM_JS(void, cf_audio_queue, (const float* samples, int frames, double at),
      { Module.page.audioQueue(HEAPF32.subarray(samples >> 2, (samples >> 2) + frames * 2), at); });
EM_JS(void, cf_audio_flush, (), { Module.page.audioFlush(); });

bool page::audioOpen(char* problem, int problemSize) { return cf_audio_open(problem, problemSize) != 0; }
double page::audioRenderedFrame() { return cf_audio_rendered_frame(); }
double page::audioHeardFrame() { return cf_audio_heard_frame(); }
void page::audioQueue(const float* samples, int frames, std::int64_t at) {
    cf_audio_queue(samples, frames, static_cast<double>(at));
}
void page::audioFlush() { cf_audio_flush(); }

namespace {
std::string songPath;
std::string lastProblem;
}  // namespace

extern "C" {

// Loads the song at `path` and starts it, frames paced at `framesPerSecond`
// (0: back to back). 0 when the song cannot be loaded (the page has shown the
// message, and webProblem says why).
EMSCRIPTEN_KEEPALIVE int webStart(const char* path, int framesPerSecond) {
    songPath = path;
    songFileName = songPath.c_str();
    if (!startDemo()) {
        lastProblem = moduleLoadProblem(songFileName);
        return 0;
    }
    startSchedule(frameSchedule, framesPerSecond, monotonicNanoseconds());
    return 1;
}

// One frame; 0 when it was the last.
EMSCRIPTEN_KEEPALIVE int webFrame() { return runFrame() ? 1 : 0; }

// When the next frame is due, in milliseconds on the page's clock.
EMSCRIPTEN_KEEPALIVE double webNextFrameMs() { return double(nextFrameDeadlineNs()) * 1e-6; }

// After the last frame: frees the song. The text is what the page should say
// about the sound (empty when it played on the audio output).
EMSCRIPTEN_KEEPALIVE const char* webEnd() {
    endDemo();
    lastProblem = soundOutputProblem();
    return lastProblem.c_str();
}

EMSCRIPTEN_KEEPALIVE const char* webProblem() { return lastProblem.c_str(); }

EMSCRIPTEN_KEEPALIVE void webPressEscape() { pressEscapeOnPage(); }

EMSCRIPTEN_KEEPALIVE void webSoundPump() { pumpSound(); }

EMSCRIPTEN_KEEPALIVE int webOrder() { return order; }

// Shows cells given in the frame tool's cells format (50 lines of 80 tokens
// of 4 hex digits) through the program's own present, for tests of the
// picture. 0 when the text is not in that format.
EMSCRIPTEN_KEEPALIVE int webPresentCells(const char* text) {
    for (int i = 0; i < 80 * 50; ++i) {
        unsigned token = 0;
        int used = 0;
        if (std::sscanf(text, " %4x%n", &token, &used) != 1 || used < 4) return 0;
        text += used;
        writeCell(i / 80, i % 80, static_cast<std::int32_t>(token >> 8), static_cast<std::int32_t>(token & 0xFF));
    }
    presentScreen();
    return 1;
}

}  // extern "C"
