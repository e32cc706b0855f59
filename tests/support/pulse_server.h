#pragma once
// A private PulseAudio server with a null sink for tests that play through a
// real sound server: started in a fresh temporary folder, stopped (and the
// folder removed) when the object goes. Also the recorder of the sink's
// monitor, busy-loop processes for load, and a runner for child programs
// that play through the server.
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pulsetest {

class PulseServer {
public:
    PulseServer();
    ~PulseServer();
    PulseServer(const PulseServer&) = delete;
    PulseServer& operator=(const PulseServer&) = delete;

    // False, with the reason in why(), when the server could not start.
    bool ok() const { return running; }
    const std::string& why() const { return problem; }
    // Environment for a client: KEY=VALUE entries.
    std::vector<std::string> clientEnvironment() const;
    // Kills the server at once, as a crash would.
    void kill();
    const std::string& folder() const { return dir; }

private:
    std::string dir;
    std::string problem;
    pid_t pid = -1;
    bool running = false;
};

// Records the null sink's monitor with parec as 16-bit stereo at 44100 Hz,
// and notes when each piece arrived, to tell when each frame was played.
class MonitorRecorder {
public:
    explicit MonitorRecorder(const PulseServer& server);
    ~MonitorRecorder();
    MonitorRecorder(const MonitorRecorder&) = delete;
    MonitorRecorder& operator=(const MonitorRecorder&) = delete;

    bool ok() const { return pid > 0; }
    // Waits until the first sound arrives (true) or the time runs out.
    bool waitForData(int milliseconds);
    // Stops parec and returns the recording (interleaved left, right).
    std::vector<std::int16_t> stop();
    // Steady-clock nanoseconds at which frame 0 of the recording was played:
    // the earliest arrival of any piece, less the frames before its end.
    std::int64_t frameZeroNanos() const;

private:
    void readLoop(int fd);

    pid_t pid = -1;
    std::thread reader;
    mutable std::mutex mutex;
    std::vector<std::int16_t> samples;
    std::vector<std::uint8_t> partial;
    std::int64_t zeroNanos = INT64_MAX;
};

// Processes that spin on the CPU until killed, or for at most `seconds`.
class BusyLoops {
public:
    BusyLoops(int count, int seconds);
    ~BusyLoops();
    BusyLoops(const BusyLoops&) = delete;
    BusyLoops& operator=(const BusyLoops&) = delete;

private:
    std::vector<pid_t> pids;
};

struct RunResult {
    int status = -1;  // exit status, or -1 when it did not exit normally
    std::string out;
    std::string err;
};

// Runs a program with the extra environment entries and waits for it (at
// most `timeoutSeconds`, then kills it). `action`, when given, is called once
// `actionAfterMs` milliseconds after the start, if the program still runs.
// Its output goes to files, so a terminal program draws nothing.
RunResult runProgram(const std::vector<std::string>& args, const std::vector<std::string>& environment,
                     int timeoutSeconds, int actionAfterMs = -1, const std::function<void()>& action = {},
                     const std::string& workingFolder = "");

std::int64_t steadyNanos();

}  // namespace pulsetest
