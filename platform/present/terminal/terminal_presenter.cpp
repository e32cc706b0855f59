// The grid on the Unix terminal the program runs in: the session
// (terminal_session.cpp) takes the terminal over at open and hands it back at
// close; the screen (terminal_screen.cpp) turns each frame into the bytes
// that show it; the key reader sets the Esc state kept here.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/present/presenters.h"
#include "platform/present/terminal/terminal_session.h"

namespace {

// Set by the key reader on a lone Esc and never cleared: a terminal reports no
// key releases, so a press counts as held from then on.
std::atomic<bool> escapeDown{false};
// Wakes a frame that waits for its deadline when Esc comes.
std::mutex escapeMutex;
std::condition_variable escapeChanged;

class TerminalPresenter final : public Presenter {
public:
    explicit TerminalPresenter(ConsolePalette palette) { chooseTerminalPalette(palette); }

    bool open() override {
        takeOverTerminal();
        return terminalOutputActive();
    }
    bool setTitle(const char* title) override {
        takeOverTerminal();
        return setTerminalTitle(title);
    }
    bool setWindow(int columns, int rows) override { return requestTerminalSize(rows, columns); }
    bool setBufferSize(int columns, int rows) override { return requestTerminalSize(rows, columns); }
    bool present(const CHAR_INFO* cells) override {
        ++presents;
        return presentOnTerminal(cells);
    }
    void repaintWhole() override { repaintTerminalWhole(); }

    bool escapePressed() override { return escapeDown.load(std::memory_order_relaxed); }
    bool waitForEscapeUntil(std::int64_t deadlineNs) override {
        const std::chrono::steady_clock::time_point deadline{std::chrono::nanoseconds(deadlineNs)};
        std::unique_lock<std::mutex> lock(escapeMutex);
        // Loops over spurious wake-ups and over a stop and resume (Ctrl-Z, fg).
        return escapeChanged.wait_until(lock, deadline, [] { return escapeDown.load(); });
    }

    void messageBox(const char* caption, const char* text) override {
        // The line stays readable after the program has ended and the
        // alternate screen with the box is gone.
        reportAfterTerminal(caption, text);
        askOnTerminal(caption, text);
    }

    void close() override { restoreTerminal(); }
    PresentStats stats() const override {
        PresentStats s = terminalSentStats();
        s.presents = presents;
        s.shownOn = "terminal";
        return s;
    }

private:
    std::uint64_t presents = 0;
};

}  // namespace

void pressEscapeKey() {
    {
        std::lock_guard<std::mutex> lock(escapeMutex);
        escapeDown.store(true);
    }
    escapeChanged.notify_all();
}

std::unique_ptr<Presenter> makeTerminalPresenter(ConsolePalette palette) {
    return std::make_unique<TerminalPresenter>(palette);
}
