// Counts silent starts: the real program started again and again in a real
// terminal (a tmux pane of 80 x 50, or xterm under a private X server), its
// sound to a private PulseAudio or PipeWire that is started afresh for each
// run. Each run starts 0, 0.9 or 1.6 s after the server answers, with the
// recorder at the server's default latency and not waited on, plays 6 s,
// ends with Esc, and compares the recording with the render's first 2.5 s.
//
//   start_runs_bench PROGRAM REFERENCE.wav [--terminal tmux|xterm] [--pipewire]
//                    [--driver SDLDRIVER] [--runs N]
//
// REFERENCE.wav is compofiller-song's render of the song PROGRAM finds in its
// own folder. Prints one line per run and the count of silent runs.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/pulse_server.h"
#include "tests/support/recording_compare.h"
#include "tests/support/shell.h"
#include "tests/support/x_screen.h"

namespace {

using namespace std::chrono_literals;
using shelltest::shellQuote;
using xtest::exists;

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: start_runs_bench PROGRAM REFERENCE.wav [--terminal tmux|xterm] [--pipewire] "
                             "[--driver SDLDRIVER] [--runs N]\n");
        return 2;
    }
    const std::string program = std::filesystem::absolute(argv[1]).string();
    std::string terminal = "tmux", driver;  // no driver: the program picks
    bool pipewire = false;
    int runs = 20;
    for (int i = 3; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--terminal" && i + 1 < argc) {
            terminal = argv[++i];
        } else if (a == "--driver" && i + 1 < argc) {
            driver = argv[++i];
        } else if (a == "--runs" && i + 1 < argc) {
            runs = std::atoi(argv[++i]);
        } else if (a == "--pipewire") {
            pipewire = true;
        } else {
            std::fprintf(stderr, "unknown option %s\n", a.c_str());
            return 2;
        }
    }
    const std::vector<std::int16_t> song = recording::readWav16(argv[2]);
    constexpr std::int64_t headFrames = 44100 * 5 / 2;
    if (std::int64_t(song.size()) < headFrames * 2) {
        std::fprintf(stderr, "no reference\n");
        return 2;
    }
    const std::vector<std::int16_t> head(song.begin(), song.begin() + headFrames * 2);

    std::unique_ptr<pulsetest::SoundServer> server;
    if (pipewire) {
        server = std::make_unique<pulsetest::PipeWireServer>();
    } else {
        server = std::make_unique<pulsetest::PulseServer>();
    }
    if (!server->ok()) {
        std::fprintf(stderr, "no server: %s\n", server->why().c_str());
        return 1;
    }
    std::unique_ptr<xtest::XServer> x;
    if (terminal == "xterm") {
        x = std::make_unique<xtest::XServer>();
        if (x->display().empty()) {
            std::fprintf(stderr, "Xvfb did not start\n");
            return 1;
        }
    }
    const std::string folder = server->folder() + "/runs";
    std::filesystem::create_directories(folder);
    const std::string socket = "cf-start-runs-" + std::to_string(::getpid());
    const std::string conf = folder + "/tmux.conf";
    std::ofstream(conf) << "set -g escape-time 0\nset -g status off\nset -g default-terminal tmux-256color\n";
    std::string environment;
    for (const std::string& e : server->clientEnvironment(driver)) environment += " " + shellQuote(e);

    std::printf("%s on %s, driver %s\n", terminal.c_str(), pipewire ? "PipeWire" : "PulseAudio",
                driver.empty() ? "the program's own choice" : driver.c_str());
    int silent = 0, spoilt = 0;
    std::int64_t serverReady = pulsetest::steadyNanos();
    for (int run = 0; run < runs; ++run) {
        if (run > 0) {
            if (!server->restart()) {
                std::fprintf(stderr, "the server did not start again: %s\n", server->why().c_str());
                return 1;
            }
            serverReady = pulsetest::steadyNanos();
        }
        constexpr int delays[] = {0, 900, 1600};
        const int delayMs = delays[run % 3];
        const std::string status = folder + "/status", err = folder + "/stderr";
        std::filesystem::remove(status);
        pulsetest::MonitorRecorder recorder(*server, 0);
        std::this_thread::sleep_until(std::chrono::steady_clock::time_point(
            std::chrono::nanoseconds(serverReady + std::int64_t(delayMs) * 1000000)));
        const std::string script = "cd " + shellQuote(std::filesystem::path(program).parent_path().string()) +
                                   " && env" + environment + " " + shellQuote(program) + " 2>" + shellQuote(err) +
                                   "; echo $? >" + shellQuote(status);
        pid_t xterm = -1;
        if (terminal == "xterm") {
            xterm = xtest::spawn({"xterm", "-tn", "xterm-256color", "-u8", "-geometry", "80x50+0+0", "-e", "sh", "-c",
                                  script},
                                 {"DISPLAY=" + x->display(), "LC_ALL=C.UTF-8"});
        } else {
            shelltest::capture("tmux -L " + socket + " -f " + shellQuote(conf) +
                               " new-session -d -s demo -x 80 -y 50 " + shellQuote("sh -c " + shellQuote(script)));
        }
        std::this_thread::sleep_for(6s);
        if (terminal == "xterm") {
            shelltest::capture("DISPLAY=" + x->display() + " xdotool mousemove 20 20 key Escape 2>&1");
        } else {
            shelltest::capture("tmux -L " + socket + " send-keys -t demo Escape");
        }
        xtest::waitFor([&] { return exists(status); }, 10s);
        std::this_thread::sleep_for(300ms);
        const std::vector<std::int16_t> recorded = recorder.stop();
        const std::string exitStatus = exists(status) ? shelltest::readText(status) : "none\n";
        const std::string problems = shelltest::readText(err);
        if (xterm > 0) xtest::stop(xterm);
        shelltest::capture("tmux -L " + socket + " kill-server 2>/dev/null");

        const recording::Comparison c = recording::compare(recorded, head);
        const bool sound = c.aligned && c.lag >= 0;
        silent += !sound;
        spoilt += sound && !c.dropouts.empty();
        std::printf("run %2d, %4d ms after the server: %s, %zu dropouts, exit %s", run + 1, delayMs,
                    sound ? "sound from the start" : "SILENT", c.dropouts.size(), exitStatus.c_str());
        for (const recording::Dropout& d : c.dropouts) {
            std::printf("  dropout at %.3f s of the song, moved by %+.1f ms\n", d.referenceFrame / 44100.0,
                        d.skippedFrames * 1000.0 / 44100.0);
        }
        if (!problems.empty()) std::printf("  stderr: %s", problems.c_str());
        std::fflush(stdout);
    }
    std::printf("silent runs: %d of %d; runs with a dropout: %d\n", silent, runs, spoilt);
    return silent == 0 ? 0 : 1;
}
