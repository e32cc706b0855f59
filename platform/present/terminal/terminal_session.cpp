#include "platform/present/terminal/terminal_session.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <poll.h>
#include <pthread.h>
#include <string>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include "platform/common/present_times.h"
#include "platform/present/terminal/terminal_keys.h"
#include "platform/present/terminal/terminal_screen.h"

namespace {

// Fixed buffers for what a signal handler writes: it may not allocate.
template <std::size_t N>
struct Bytes {
    char data[N];
    std::size_t length = 0;
    void set(const std::string& s) {
        length = std::min(s.size(), N);
        std::memcpy(data, s.data(), length);
    }
};

bool tookOver = false;                 // set once, by the main thread
std::atomic<bool> restored{false};
bool outputIsTerminal = false;
bool inputIsTerminal = false;
termios savedInput{};
termios rawInput{};
std::optional<TerminalScreen> screen;
ConsolePalette chosenPalette = ConsolePalette::vga;
PresentStats stats;  // what was sent
PresentTimes presentTimes;  // composing and writing each frame
bool smallNoted = false;  // the terminal was seen smaller than the grid

Bytes<512> enterBytes;      // alternate screen, hidden cursor
Bytes<512> leaveBytes;      // the way back
Bytes<512> titleBytes;      // the title we set, again after a resume
Bytes<64> titlePush;        // saves the terminal's title, where the entry does not
Bytes<64> titlePop;
Bytes<64> sizeRestore;      // the size the terminal had, asked back
Bytes<1024> heldMessages;   // "caption: text" lines for after the restore
std::atomic<bool> titleSet{false};
std::atomic<bool> sizeRequested{false};
std::atomic<bool> resized{false};

// The key reader and the message box it serves.
std::thread* reader = nullptr;  // never destroyed at exit while running
int wakePipe[2] = {-1, -1};
std::atomic<bool> messageBoxOpen{false};
std::atomic<unsigned> dismissals{0};
std::atomic<bool> readerRunning{false};

void writeAll(int fd, const char* data, std::size_t length) {
    while (length > 0) {
        const ssize_t n = ::write(fd, data, length);
        if (n < 0) {
            if (errno == EINTR) continue;
            return;
        }
        data += n;
        length -= static_cast<std::size_t>(n);
    }
}

template <std::size_t N>
void writeAll(int fd, const Bytes<N>& bytes) {
    writeAll(fd, bytes.data, bytes.length);
}

void querySize(int& rows, int& columns) {
    winsize size{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_row > 0 && size.ws_col > 0) {
        rows = size.ws_row;
        columns = size.ws_col;
    } else {
        rows = TerminalScreen::gridRows;
        columns = TerminalScreen::gridColumns;
    }
}

// Puts the terminal back, from the main thread or from a signal handler: only
// writes and tcsetattr, nothing that allocates or locks.
void handBack() {
    if (outputIsTerminal) {
        // CAN ends any escape sequence a frame cut short left open.
        writeAll(STDOUT_FILENO, "\x18\x1b[?2026l", 9);
        writeAll(STDOUT_FILENO, leaveBytes);
        if (titleSet.load()) writeAll(STDOUT_FILENO, titlePop);
        if (sizeRequested.load()) writeAll(STDOUT_FILENO, sizeRestore);
    }
    if (inputIsTerminal) ::tcsetattr(STDIN_FILENO, TCSANOW, &savedInput);
}

void takeAgain() {
    if (inputIsTerminal) ::tcsetattr(STDIN_FILENO, TCSANOW, &rawInput);
    if (outputIsTerminal) {
        if (titleSet.load()) {
            writeAll(STDOUT_FILENO, titlePush);
            writeAll(STDOUT_FILENO, titleBytes);
        }
        writeAll(STDOUT_FILENO, enterBytes);
    }
    resized.store(true);  // the next frame is drawn whole
}

void restoreOnce() {
    if (restored.exchange(true)) return;
    handBack();
    writeAll(STDERR_FILENO, heldMessages);
}

// The thread that draws the frames. Signals meant for the whole process are
// handled on it, so that no frame is written after the terminal is handed
// back: a handler that runs on another thread passes the signal on to it.
pthread_t drawingThread;

bool onDrawingThread(int signal) {
    if (pthread_equal(pthread_self(), drawingThread)) return true;
    ::pthread_kill(drawingThread, signal);
    return false;
}

void onEndingSignal(int signal) {
    if (!onDrawingThread(signal)) return;
    restoreOnce();
    // Die of the same signal, as the shell expects: it is delivered as soon
    // as this handler returns.
    std::signal(signal, SIG_DFL);
    ::raise(signal);
}

// Faults belong to the thread that caused them: restore from there.
void onFault(int signal) {
    restoreOnce();
    std::signal(signal, SIG_DFL);
    ::raise(signal);
}

void onStop(int) {
    if (!onDrawingThread(SIGTSTP)) return;
    const int savedErrno = errno;
    if (!restored.load()) handBack();
    std::signal(SIGTSTP, SIG_DFL);
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTSTP);
    ::pthread_sigmask(SIG_UNBLOCK, &stop, nullptr);
    ::raise(SIGTSTP);
    // Resumed.
    struct sigaction action{};
    action.sa_handler = onStop;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTSTP, &action, nullptr);
    if (!restored.load()) takeAgain();
    errno = savedErrno;
}

void onResize(int) { resized.store(true); }

void installHandlers() {
    drawingThread = pthread_self();
    struct sigaction action{};
    sigemptyset(&action.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) {
        // A signal ignored from the start (nohup, a background job) stays ignored.
        struct sigaction previous{};
        if (::sigaction(s, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
        const bool fault = s == SIGSEGV || s == SIGBUS || s == SIGFPE || s == SIGILL || s == SIGABRT;
        action.sa_handler = fault ? onFault : onEndingSignal;
        action.sa_flags = fault ? SA_RESETHAND : 0;
        ::sigaction(s, &action, nullptr);
    }
    action.sa_flags = SA_RESTART;
    action.sa_handler = onResize;
    ::sigaction(SIGWINCH, &action, nullptr);
    action.sa_flags = 0;
    action.sa_handler = onStop;
    ::sigaction(SIGTSTP, &action, nullptr);
}

void readKeys() {
    // Signals for the whole process go to the drawing thread, not here.
    sigset_t process;
    sigemptyset(&process);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP, SIGWINCH}) sigaddset(&process, s);
    ::pthread_sigmask(SIG_BLOCK, &process, nullptr);
    KeyScanner scanner;
    for (;;) {
        pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {wakePipe[0], POLLIN, 0}};
        const int n = ::poll(fds, 2, scanner.escapePending() ? loneEscapeMilliseconds : -1);
        if (n < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents != 0) return;
        const unsigned escapesBefore = scanner.escapes;
        const unsigned dismissalsBefore = scanner.dismissals;
        if (n == 0) {
            scanner.quiet();
        } else if ((fds[0].revents & POLLIN) != 0) {
            char bytes[256];
            const ssize_t count = ::read(STDIN_FILENO, bytes, sizeof bytes);
            if (count < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            if (count <= 0) return;
            scanner.feed(bytes, count);
        } else {
            return;  // the terminal went away
        }
        const bool escape = scanner.escapes != escapesBefore;
        if (messageBoxOpen.load()) {
            if (escape || scanner.dismissals != dismissalsBefore) {
                dismissals.fetch_add(1);
                dismissals.notify_all();
            }
        } else if (escape) {
            pressEscapeKey();
        }
    }
}

// Reads keys until told to stop or until the input ends; an open message box
// is then dismissed, as no key can come any more.
void runReader() {
    readKeys();
    readerRunning.store(false);
    dismissals.fetch_add(1);
    dismissals.notify_all();
}

void stopReader() {
    if (reader == nullptr) return;
    const char wake = 1;
    writeAll(wakePipe[1], &wake, 1);
    reader->join();
    delete reader;
    reader = nullptr;
}

std::string escapeTitle(const char* title) {
    std::string clean;
    for (const char* p = title; *p != '\0'; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        clean += (c < 0x20 || c == 0x7F) ? ' ' : static_cast<char>(c);
    }
    return clean;
}

}  // namespace

void chooseTerminalPalette(ConsolePalette palette) {
    if (!tookOver) chosenPalette = palette;
}

void takeOverTerminal() {
    if (tookOver) return;
    tookOver = true;
    outputIsTerminal = ::isatty(STDOUT_FILENO) == 1;
    inputIsTerminal = ::isatty(STDIN_FILENO) == 1 && ::tcgetattr(STDIN_FILENO, &savedInput) == 0;
    if (!outputIsTerminal && !inputIsTerminal) return;

    if (outputIsTerminal) {
        screen.emplace(loadTerminalStyle(nullptr, localeIsUtf8(), chosenPalette));
        int rows = 0, columns = 0;
        querySize(rows, columns);
        screen->setSize(rows, columns);
        const TerminalStyle& style = screen->style();
        enterBytes.set(style.enterScreen + style.resetStyle + style.clearScreen);
        leaveBytes.set(style.leaveScreen);
        // Entries whose alternate screen does not save the title (xterm's
        // title stack) get the save and restore added around it.
        if (style.enterScreen.find("\x1b[22;") == std::string::npos) {
            titlePush.set("\x1b[22;0t");
            titlePop.set("\x1b[23;0t");
        }
        sizeRestore.set("\x1b[8;" + std::to_string(rows) + ";" + std::to_string(columns) + "t");
    }
    if (inputIsTerminal) {
        // Keys come one by one without echo; Ctrl-C, Ctrl-\ and Ctrl-Z stay signals.
        rawInput = savedInput;
        rawInput.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
        rawInput.c_cc[VMIN] = 1;
        rawInput.c_cc[VTIME] = 0;
    }

    installHandlers();
    std::atexit(restoreTerminal);
    if (inputIsTerminal) ::tcsetattr(STDIN_FILENO, TCSANOW, &rawInput);
    if (outputIsTerminal) writeAll(STDOUT_FILENO, enterBytes);
    if (inputIsTerminal && ::pipe(wakePipe) == 0) {
        readerRunning.store(true);
        reader = new std::thread(runReader);
    }
}

void restoreTerminal() {
    if (restored.load()) return;
    stopReader();
    restoreOnce();
}

bool terminalOutputActive() { return outputIsTerminal && !restored.load(); }

bool presentOnTerminal(const CHAR_INFO* cells) {
    if (!terminalOutputActive()) return false;
    if (resized.exchange(false)) {
        int rows = 0, columns = 0;
        querySize(rows, columns);
        screen->setSize(rows, columns);
    }
    if (!smallNoted && (screen->terminalRows() < TerminalScreen::gridRows ||
                        screen->terminalColumns() < TerminalScreen::gridColumns)) {
        // Said after the hand-back, where it can be read.
        smallNoted = true;
        reportAfterTerminal("compofiller", "the terminal was smaller than 80 x 50, so part of the picture was "
                                           "cut off; enlarge the window or zoom the font out");
    }
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    const std::string& frame = screen->compose(cells, std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
    if (!frame.empty()) {
        writeAll(STDOUT_FILENO, frame.data(), frame.size());
        ++stats.updates;
        stats.bytes += frame.size();
    }
    presentTimes.add(std::chrono::duration_cast<std::chrono::nanoseconds>(
                         std::chrono::steady_clock::now().time_since_epoch() - now).count());
    return true;
}

void repaintTerminalWhole() {
    if (screen) screen->sendWholeNext();
}

bool setTerminalTitle(const char* title) {
    if (!terminalOutputActive() || title == nullptr) return false;
    titleBytes.set("\x1b]2;" + escapeTitle(title) + "\x07");
    if (!titleSet.exchange(true)) writeAll(STDOUT_FILENO, titlePush);
    writeAll(STDOUT_FILENO, titleBytes);
    return true;
}

bool requestTerminalSize(int rows, int columns) {
    if (!terminalOutputActive() || rows <= 0 || columns <= 0) return false;
    int currentRows = 0, currentColumns = 0;
    querySize(currentRows, currentColumns);
    if (currentRows == rows && currentColumns == columns) return true;
    const std::string request = "\x1b[8;" + std::to_string(rows) + ";" + std::to_string(columns) + "t";
    writeAll(STDOUT_FILENO, request.data(), request.size());
    sizeRequested.store(true);
    return true;
}

bool askOnTerminal(const char* caption, const char* text) {
    if (!terminalOutputActive() || reader == nullptr) return false;
    const std::string box =
        messageBoxBytes(screen->style(), screen->terminalRows(), screen->terminalColumns(), caption, text);
    messageBoxOpen.store(true);
    const unsigned before = dismissals.load();
    writeAll(STDOUT_FILENO, box.data(), box.size());
    if (readerRunning.load()) dismissals.wait(before);
    messageBoxOpen.store(false);
    screen->invalidate();
    return true;
}

void reportAfterTerminal(const char* caption, const char* text) {
    const std::string line = std::string(caption) + ": " + text + "\n";
    if (!terminalOutputActive()) {
        writeAll(STDERR_FILENO, line.data(), line.size());
        return;
    }
    std::string held(heldMessages.data, heldMessages.length);
    heldMessages.set(held + line);
}

PresentStats terminalSentStats() {
    PresentStats s = stats;
    s.medianPresentMs = presentTimes.percentileMs(50);
    s.percentile99PresentMs = presentTimes.percentileMs(99);
    return s;
}
