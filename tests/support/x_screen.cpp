#include "tests/support/x_screen.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "platform/present/terminal/terminal_screen.h"

extern char** environ;

namespace xtest {

bool onPath(const char* tool) {
    return std::system(("command -v " + std::string(tool) + " >/dev/null 2>&1").c_str()) == 0;
}

bool exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return condition();
}

pid_t spawn(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv,
            posix_spawn_file_actions_t* actions) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> envStrings(extraEnv);
    for (char** e = environ; *e != nullptr; ++e) envStrings.emplace_back(*e);
    std::vector<char*> envp;
    for (std::string& e : envStrings) envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawnp(&pid, argv[0], actions, nullptr, argv.data(), envp.data()) != 0) return -1;
    return pid;
}

void stop(pid_t& pid) {
    if (pid <= 0) return;
    ::kill(pid, SIGCONT);
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    pid = -1;
}

XServer::XServer(const char* screen) {
    int fds[2];
    if (::pipe(fds) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    // -noreset: by default the server resets when its last client leaves,
    // and refuses connections meanwhile; a test's own short connections
    // (looking for a window) would make a program starting then fail to
    // connect.
    pid_ = spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", screen, "-nolisten", "tcp", "-noreset"},
                 {}, &actions);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    std::string number;
    pollfd fd{fds[0], POLLIN, 0};
    char c;
    while (::poll(&fd, 1, 10000) > 0 && ::read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    ::close(fds[0]);
    if (!number.empty()) display_ = ":" + number;
}

XServer::~XServer() { stop(pid_); }

Picture readPicture(const std::string& path) {
    Picture p;
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maximum = 0;
    in >> magic >> p.width >> p.height >> maximum;
    in.get();
    if (magic != "P6" || maximum != 255) return Picture{};
    p.rgb.resize(static_cast<std::size_t>(p.width) * p.height * 3);
    in.read(reinterpret_cast<char*>(p.rgb.data()), static_cast<std::streamsize>(p.rgb.size()));
    return in ? p : Picture{};
}

Picture screenshot(const std::string& display, const std::string& folder) {
    const std::string file = folder + "/shot.ppm";
    if (std::system(("import -display " + display + " -window root -depth 8 ppm:" + file + " 2>/dev/null").c_str()) != 0)
        return {};
    return readPicture(file);
}

std::vector<CHAR_INFO> readCells(const std::string& path) {
    std::vector<CHAR_INFO> cells(80 * 50);
    std::ifstream(path, std::ios::binary).read(reinterpret_cast<char*>(cells.data()), 80 * 50 * sizeof(CHAR_INFO));
    return cells;
}

namespace {

bool blankGlyph(unsigned glyph) { return glyph == 0 || glyph == 32 || glyph == 255; }

int channel(std::uint32_t c, int shift) { return static_cast<int>((c >> shift) & 0xFF); }

// How much of `ink` over black `pixel` is (0 black, 1 the ink), or -1 when it
// is no such mix: its channels must keep the ink's proportions.
double shadeOf(std::uint32_t pixel, std::uint32_t ink) {
    constexpr int tolerance = 24;
    double dot = 0, norm = 0;
    for (int shift : {16, 8, 0}) {
        dot += double(channel(pixel, shift)) * channel(ink, shift);
        norm += double(channel(ink, shift)) * channel(ink, shift);
    }
    const double t = norm > 0 ? dot / norm : 0;
    if (t > 1.1) return -1;
    for (int shift : {16, 8, 0}) {
        if (std::abs(channel(pixel, shift) - t * channel(ink, shift)) > tolerance) return -1;
    }
    return t;
}

}  // namespace

std::string differences(const Picture& shot, const std::vector<CHAR_INFO>& cells, const CellBox& box,
                        const std::function<std::uint32_t(int)>& inkOf, Rule rule,
                        const std::function<bool(int)>& checked) {
    std::ostringstream out;
    int wrong = 0;
    if (box.width <= 0 || box.height <= 0 || shot.width < box.left + 80 * box.width ||
        shot.height < box.top + 50 * box.height)
        return "no screenshot";
    for (int row = 0; row < 50; ++row) {
        for (int col = 0; col < 80; ++col) {
            if (checked && !checked(row * 80 + col)) continue;
            const CHAR_INFO& cell = cells[static_cast<std::size_t>(row * 80 + col)];
            const unsigned glyph = cell.Char.UnicodeChar & 0xFF;
            const int colour = terminalColorForAttribute(cell.Attributes & 15);
            const bool blank = blankGlyph(glyph) || colour == 0;
            const std::uint32_t ink = blank ? 0 : inkOf(colour);
            int inkPixels = 0, blackPixels = 0, otherPixels = 0;
            std::uint32_t other = 0;
            for (int y = 0; y < box.height; ++y) {
                for (int x = 0; x < box.width; ++x) {
                    const std::uint32_t c = shot.at(box.left + col * box.width + x, box.top + row * box.height + y);
                    bool inky = false, black = false;
                    if (rule == Rule::exact || blank) {
                        black = c == 0;
                        inky = !blank && c == ink;
                    } else {
                        // A full block is the ink throughout; elsewhere any
                        // shade of it will do, and a clear one is the ink showing.
                        const double t = shadeOf(c, ink);
                        inky = glyph == 219 ? t >= 0.9 : t >= 0.5;
                        black = glyph != 219 && t >= 0 && t < 0.5;
                    }
                    if (black) ++blackPixels;
                    else if (inky) ++inkPixels;
                    else ++otherPixels, other = c;
                }
            }
            const bool right = otherPixels == 0 && (blank || inkPixels > 0) &&
                               (glyph == 219 || rule == Rule::antialiased || blackPixels > 0);
            if (!right && wrong++ < 5) {
                out << "row " << row << " column " << col << " glyph " << glyph << " colour " << std::hex << ink
                    << ": ink " << std::dec << inkPixels << ", black " << blackPixels << ", other " << otherPixels
                    << " (e.g. " << std::hex << other << std::dec << "); ";
            }
        }
    }
    if (wrong > 0) out << wrong << " cells wrong";
    return out.str();
}

}  // namespace xtest
