#pragma once
// Private sound servers with a null sink for tests that play through a real
// sound server, PulseAudio or PipeWire (with WirePlumber and pipewire-pulse):
// started in a fresh temporary folder, stopped (and the folder removed) when
// the object goes. Also the recorder of the sink's monitor, busy-loop
// processes for load, and a runner for child programs that play through the
// server.
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pulsetest {

class SoundServer {
public:
    virtual ~SoundServer() = default;
    // False, with the reason in why(), when the server could not start.
    bool ok() const { return running; }
    const std::string& why() const { return problem; }
    // Environment for a client: KEY=VALUE entries. Clients talk the
    // PulseAudio protocol (pipewire-pulse on PipeWire) unless `sdlDriver`
    // names another of SDL's drivers; an empty one leaves the choice to the
    // program, as when a person runs it.
    virtual std::vector<std::string> clientEnvironment(const std::string& sdlDriver = "pulseaudio") const = 0;
    // Kills the server at once, as a crash would.
    virtual void kill() = 0;
    // Starts it again in the same folder (the same socket); false when it
    // did not answer.
    virtual bool restart() = 0;
    const std::string& folder() const { return dir; }

protected:
    SoundServer() = default;
    std::string dir;
    std::string problem;
    bool running = false;
};

class PulseServer : public SoundServer {
public:
    PulseServer();
    ~PulseServer() override;
    PulseServer(const PulseServer&) = delete;
    PulseServer& operator=(const PulseServer&) = delete;

    std::vector<std::string> clientEnvironment(const std::string& sdlDriver = "pulseaudio") const override;
    void kill() override;
    bool restart() override;

private:
    bool start();
    pid_t pid = -1;
};

// PipeWire 0.3 with WirePlumber and pipewire-pulse on a private D-Bus
// session bus, a 44100 Hz null sink as the default sink.
class PipeWireServer : public SoundServer {
public:
    PipeWireServer();
    ~PipeWireServer() override;
    PipeWireServer(const PipeWireServer&) = delete;
    PipeWireServer& operator=(const PipeWireServer&) = delete;

    std::vector<std::string> clientEnvironment(const std::string& sdlDriver = "pulseaudio") const override;
    // Kills pipewire, wireplumber and pipewire-pulse (the bus stays).
    void kill() override;
    bool restart() override;

private:
    bool start();
    void stopAll();
    std::vector<std::string> serverEnvironment() const;
    pid_t bus = -1;
    std::vector<pid_t> pids;  // pipewire, wireplumber, pipewire-pulse
};

// Records the null sink's monitor with parec as 16-bit stereo at 44100 Hz,
// and notes when each piece arrived, to tell when each frame was played.
class MonitorRecorder {
public:
    // `latencyMs` is asked of the server; 0 leaves the server's default.
    explicit MonitorRecorder(const SoundServer& server, int latencyMs = 10);
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

// Processes that spin on the CPU until killed, or for at most `seconds`, at
// `niceness` (as a background build runs).
class BusyLoops {
public:
    BusyLoops(int count, int seconds, int niceness = 0);
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
