#pragma once
// What the web build's platform code asks of its page (page/demo.js), and what
// the page calls in it (entry.cpp). The page's JavaScript owns the canvas, the
// keys and the audio context; the program owns the cells, the clocks and the
// mix.
#include <cstdint>

namespace page {

// True when the page draws the cells itself (page/picture.js): then it is given
// the font once (setGlyphs) and the cells each present (showCells); else it
// is given the picture's pixels (showPicture).
bool drawsCells();
// The 256 glyphs as the rasterizer draws them, in rows of 80 glyphs of 8 x 8
// pixels (`width` x `height` bytes, 1 where the glyph is drawn), and the 16
// colours, 3 bytes each (red, green, blue).
void setGlyphs(const std::uint8_t* glyphs, int width, int height, const std::uint8_t* palette);
// The 80 x 50 cells as they lie in memory: 4 bytes each, the glyph byte first
// and the attribute's low byte third.
void showCells(const std::uint8_t* cells, int columns, int rows);
// The cells as a picture: 640 x 400 RGBA bytes at `rgba`, drawn in the page's
// console font, put on the canvas.
void showPicture(const std::uint8_t* rgba, int width, int height);
void setTitle(const char* title);
// Shows a message over the page; the page goes on (a browser cannot wait).
void showMessage(const char* caption, const char* text);

// The audio output: the page's audio context, at 44100 Hz stereo. open() is
// false (with the reason) when the page has none; the output's frame 0 is the
// context's next frame to render then.
bool audioOpen(char* problem, int problemSize);
// Output frames the context has rendered (the next one to render), and the
// output frame heard from the speakers now, by the output's own clock and
// latency. Both are fractional and may be negative just after open().
double audioRenderedFrame();
double audioHeardFrame();
// Queues `frames` interleaved stereo frames for output frame `at` onwards;
// the page copies them. Frames that come after their time are dropped.
void audioQueue(const float* samples, int frames, std::int64_t at);
// Drops what is queued and not yet rendered.
void audioFlush();

// Milliseconds on the page's monotonic clock (performance.now()).
double nowMs();

}  // namespace page

// Set by the page's key handler; read by GetAsyncKeyState.
void pressEscapeOnPage();
// When the frame that has just ended wants the next one to start, on the
// clock of monotonicNanoseconds; set by waitForEscapeUntil.
std::int64_t nextFrameDeadlineNs();

// Mixes ahead of the audio output and hands on the song's events that are
// due; the page calls it whenever its audio asks for more, and the order
// query calls it every frame.
void pumpSound();
