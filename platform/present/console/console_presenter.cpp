// The grid on the Windows console: each present converts the cells to the
// wide characters of their code page 437 pictures and hands them to the
// console (console_session.cpp, on the real system calls).
#include <cstdio>

#include "platform/common/cp437.h"
#include "platform/common/present_times.h"
#include "platform/present/console/win32.h"
#include "platform/present/presenters.h"
#include "platform/timer.h"

namespace {

class ConsolePresenter final : public Presenter {
public:
    explicit ConsolePresenter(ConsolePalette palette) { win32::chooseVgaColours(palette == ConsolePalette::vga); }

    bool open() override {
        console = win32::openConsole();
        return console != nullptr;
    }
    bool setTitle(const char* title) override {
        open();
        return win32::setTitle(title);
    }
    bool setWindow(int columns, int rows) override { return win32::setWindow(console, 0, 0, columns - 1, rows - 1); }
    bool setBufferSize(int columns, int rows) override { return win32::setBufferSize(console, columns, rows); }

    // The cells hold code page 437 bytes, but the byte-wide console call
    // shows neither the pictures of 1 to 31 and 127 nor byte 0 on every
    // console: some take them for control codes (a tab, a bell, a line feed)
    // and move the rest of the row. The wide call with each byte's picture
    // from our own table shows the same glyphs on every console, whatever its
    // code page.
    bool present(const CHAR_INFO* cells) override {
        ++presents;
        const std::int64_t start = monotonicNanoseconds();
        for (int i = 0; i < 80 * 50; ++i) {
            wideCells[i].character =
                static_cast<char16_t>(cp437ToUnicode[static_cast<unsigned char>(cells[i].Char.AsciiChar)]);
            wideCells[i].attributes = cells[i].Attributes;
        }
        const bool written = win32::writeCells(console, wideCells);
        presentTimes.add(monotonicNanoseconds() - start);
        return written;
    }
    // The console keeps every cell it was given: nothing to send again.

    bool escapePressed() override { return win32::escapePressed(); }
    bool waitForEscapeUntil(std::int64_t deadlineNs) override { return win32::waitForEscape(deadlineNs); }

    void messageBox(const char* caption, const char* text) override { win32::messageBox(text, caption, 0); }

    void close() override { win32::restoreConsole(); }

    PresentStats stats() const override {
        PresentStats s;
        s.presents = presents;
        s.updates = win32::cellWrites();
        s.bytes = win32::cellsHanded() * sizeof(win32::Cell);
        s.medianPresentMs = presentTimes.percentileMs(50);
        s.percentile99PresentMs = presentTimes.percentileMs(99);
        return s;
    }

private:
    void* console = nullptr;
    std::uint64_t presents = 0;
    win32::Cell wideCells[80 * 50];
    PresentTimes presentTimes;  // converting and writing each frame
};

}  // namespace

std::unique_ptr<Presenter> makeConsolePresenter(ConsolePalette palette) {
    return std::make_unique<ConsolePresenter>(palette);
}
