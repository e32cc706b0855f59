#include "tests/support/pulse_server.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/xm_test_modules.h"

extern char** environ;

namespace pulsetest {

namespace {

bool onPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::stringstream folders(path != nullptr ? path : "/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        if (!folder.empty() && ::access((folder + "/" + program).c_str(), X_OK) == 0) return true;
    }
    return false;
}

// The process environment with `extra` KEY=VALUE entries replacing or
// adding to it; built before fork so the child only has to exec.
struct Exec {
    std::vector<std::string> args;
    std::vector<std::string> env;
    std::vector<char*> argv;
    std::vector<char*> envp;

    Exec(std::vector<std::string> arguments, const std::vector<std::string>& extra) : args(std::move(arguments)) {
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry = *e;
            const std::string key = entry.substr(0, entry.find('='));
            bool replaced = false;
            for (const std::string& x : extra) replaced = replaced || x.substr(0, x.find('=')) == key;
            if (!replaced) env.push_back(entry);
        }
        env.insert(env.end(), extra.begin(), extra.end());
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        for (std::string& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
    }
    // Child side of a fork: async-signal-safe calls only.
    [[noreturn]] void run(int out, int err, int niceness, const char* folder = nullptr) {
        if (folder != nullptr && ::chdir(folder) != 0) ::_exit(126);
        if (out >= 0) ::dup2(out, STDOUT_FILENO);
        if (err >= 0) ::dup2(err, STDERR_FILENO);
        if (niceness != 0) ::setpriority(PRIO_PROCESS, 0, niceness);
        // A test killed half-way (a timeout) leaves no server or recorder
        // behind.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        ::execvpe(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
};

bool waitForExit(pid_t pid, int milliseconds, int* status) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        if (::waitpid(pid, status, WNOHANG) == pid) return true;
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void stopProcess(pid_t pid, int signal) {
    if (pid <= 0) return;
    int status = 0;
    ::kill(pid, signal);
    if (!waitForExit(pid, 3000, &status)) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
    }
}

bool canConnect(const std::string& socketPath) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0) return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof(address.sun_path) - 1);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

std::int64_t steadyNanos() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

PulseServer::PulseServer() {
    if (!onPath("pulseaudio") || !onPath("parec")) {
        problem = "pulseaudio or parec is not installed (packages pulseaudio, pulseaudio-utils)";
        return;
    }
    dir = testmodules::makeTempFolder("pulse-test");
    std::filesystem::create_directory(dir + "/home");
    running = start();
}

bool PulseServer::restart() {
    kill();
    running = start();
    return running;
}

bool PulseServer::start() {
    const std::string config = dir + "/server.pa";
    std::ofstream(config) << "load-module module-native-protocol-unix auth-anonymous=1 socket=" << dir << "/native\n"
                          << "load-module module-null-sink sink_name=nullsink rate=44100 channels=2\n"
                          << "set-default-sink nullsink\n"
                          << "set-default-source nullsink.monitor\n";
    Exec exec({"pulseaudio", "-n", "-F", config, "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
               "--log-target=file:" + dir + "/pulse.log"},
              {"HOME=" + dir + "/home", "XDG_RUNTIME_DIR=" + dir});
    const int log = ::open((dir + "/stderr.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid = ::fork();
    if (pid == 0) exec.run(log, log, 0);
    if (log >= 0) ::close(log);
    if (pid < 0) {
        problem = "cannot fork";
        return false;
    }
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < until) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            pid = -1;
            problem = "pulseaudio exited at start: " + readText(dir + "/pulse.log") + readText(dir + "/stderr.log");
            return false;
        }
        if (canConnect(dir + "/native")) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    problem = "pulseaudio did not open its socket within 10 s";
    return false;
}

PulseServer::~PulseServer() {
    stopProcess(pid, SIGTERM);
    if (!dir.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
}

std::vector<std::string> PulseServer::clientEnvironment(const std::string& sdlDriver) const {
    // libpulse's own leftovers are not the program's leaks.
    std::vector<std::string> env = {"PULSE_SERVER=unix:" + dir + "/native", "HOME=" + dir + "/home",
                                    "XDG_RUNTIME_DIR=" + dir,
                                    std::string("LSAN_OPTIONS=suppressions=") + COMPOFILLER_SOURCE_DIR +
                                        "/tests/lsan.supp:print_suppressions=0"};
    if (!sdlDriver.empty()) env.push_back("SDL_AUDIODRIVER=" + sdlDriver);
    return env;
}

void PulseServer::kill() {
    if (pid > 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        pid = -1;
    }
    running = false;
}

PipeWireServer::PipeWireServer() {
    for (const char* program : {"pipewire", "wireplumber", "pipewire-pulse", "dbus-daemon", "pw-metadata", "parec"}) {
        if (!onPath(program)) {
            problem = std::string(program) +
                      " is not installed (packages pipewire, pipewire-pulse, wireplumber, dbus, pulseaudio-utils)";
            return;
        }
    }
    dir = testmodules::makeTempFolder("pipewire-test");
    for (const char* sub : {"/home", "/pulse", "/state", "/config/pipewire/pipewire.conf.d"}) {
        std::filesystem::create_directories(dir + sub);
    }
    std::ofstream(dir + "/config/pipewire/pipewire.conf.d/10-nullsink.conf")
        << "context.properties = { default.clock.rate = 44100  default.clock.allowed-rates = [ 44100 ] }\n"
           "context.objects = [ { factory = adapter args = { factory.name = support.null-audio-sink "
           "node.name = nullsink media.class = Audio/Sink audio.rate = 44100 audio.channels = 2 "
           "audio.position = [ FL FR ] object.linger = true monitor.channel-volumes = true } } ]\n";
    Exec exec({"dbus-daemon", "--session", "--nofork", "--address=unix:path=" + dir + "/bus"}, serverEnvironment());
    const int log = ::open((dir + "/bus.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    bus = ::fork();
    if (bus == 0) {
        ::setsid();
        exec.run(log, log, 0);
    }
    if (log >= 0) ::close(log);
    running = start();
}

PipeWireServer::~PipeWireServer() {
    stopAll();
    stopProcess(bus, SIGTERM);
    if (!dir.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
}

std::vector<std::string> PipeWireServer::serverEnvironment() const {
    return {"XDG_RUNTIME_DIR=" + dir,
            "PIPEWIRE_RUNTIME_DIR=" + dir,
            "PULSE_RUNTIME_PATH=" + dir + "/pulse",
            "HOME=" + dir + "/home",
            "XDG_CONFIG_HOME=" + dir + "/config",
            "XDG_STATE_HOME=" + dir + "/state",
            "DBUS_SESSION_BUS_ADDRESS=unix:path=" + dir + "/bus",
            "DISPLAY=",
            "WAYLAND_DISPLAY="};
}

std::vector<std::string> PipeWireServer::clientEnvironment(const std::string& sdlDriver) const {
    std::vector<std::string> env = serverEnvironment();
    env.push_back("PULSE_SERVER=unix:" + dir + "/pulse/native");
    if (!sdlDriver.empty()) env.push_back("SDL_AUDIODRIVER=" + sdlDriver);
    env.push_back(std::string("LSAN_OPTIONS=suppressions=") + COMPOFILLER_SOURCE_DIR +
                  "/tests/lsan.supp:print_suppressions=0");
    return env;
}

bool PipeWireServer::start() {
    const auto busUntil = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!canConnect(dir + "/bus") && std::chrono::steady_clock::now() < busUntil) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const int log = ::open((dir + "/server.log").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    auto launch = [&](const char* program) {
        Exec exec({program}, serverEnvironment());
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::setsid();
            exec.run(log, log, 0);
        }
        if (pid > 0) pids.push_back(pid);
    };
    launch("pipewire");
    // WirePlumber may take seconds to set the default sink on a loaded
    // machine.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!canConnect(dir + "/pipewire-0") && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    launch("wireplumber");
    launch("pipewire-pulse");
    if (log >= 0) ::close(log);
    // Ready once the PulseAudio socket answers and the session manager has
    // made the null sink the default.
    while (std::chrono::steady_clock::now() < until) {
        if (canConnect(dir + "/pulse/native")) {
            const RunResult meta = runProgram({"pw-metadata", "0", "default.audio.sink"}, serverEnvironment(), 5);
            if (meta.out.find("nullsink") != std::string::npos) return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    problem = "PipeWire did not answer within 20 s: " + readText(dir + "/server.log");
    stopAll();
    return false;
}

void PipeWireServer::stopAll() {
    for (auto p = pids.rbegin(); p != pids.rend(); ++p) stopProcess(*p, SIGTERM);
    pids.clear();
}

void PipeWireServer::kill() {
    for (pid_t pid : pids) ::kill(pid, SIGKILL);
    for (pid_t pid : pids) ::waitpid(pid, nullptr, 0);
    pids.clear();
    running = false;
}

bool PipeWireServer::restart() {
    kill();
    running = start();
    return running;
}

MonitorRecorder::MonitorRecorder(const SoundServer& server, int latencyMs) {
    int fds[2];
    if (::pipe(fds) != 0) return;
    std::vector<std::string> args = {"parec", "--device=nullsink.monitor", "--format=s16le", "--rate=44100",
                                     "--channels=2", "--raw"};
    if (latencyMs > 0) args.push_back("--latency-msec=" + std::to_string(latencyMs));
    Exec exec(args, server.clientEnvironment());
    const int quiet = ::open("/dev/null", O_WRONLY);
    pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        // Ahead of the load a test puts on the machine, where it may.
        exec.run(fds[1], quiet, -10);
    }
    ::close(fds[1]);
    if (quiet >= 0) ::close(quiet);
    if (pid < 0) {
        ::close(fds[0]);
        return;
    }
    reader = std::thread([this, fd = fds[0]] { readLoop(fd); });
}

MonitorRecorder::~MonitorRecorder() { stop(); }

void MonitorRecorder::readLoop(int fd) {
    std::vector<std::uint8_t> buffer(1 << 16);
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got <= 0) break;
        const std::int64_t now = steadyNanos();
        std::lock_guard<std::mutex> lock(mutex);
        partial.insert(partial.end(), buffer.begin(), buffer.begin() + got);
        const std::size_t whole = partial.size() / 4 * 4;
        for (std::size_t i = 0; i < whole; i += 2) {
            samples.push_back(static_cast<std::int16_t>(partial[i] | (partial[i + 1] << 8)));
        }
        partial.erase(partial.begin(), partial.begin() + static_cast<std::ptrdiff_t>(whole));
        const std::int64_t frames = static_cast<std::int64_t>(samples.size() / 2);
        zeroNanos = std::min(zeroNanos, now - frames * 1000000000 / 44100);
    }
    ::close(fd);
}

bool MonitorRecorder::waitForData(int milliseconds) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < until) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (!samples.empty()) return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

std::vector<std::int16_t> MonitorRecorder::stop() {
    if (pid > 0) {
        stopProcess(pid, SIGINT);
        pid = -1;
    }
    if (reader.joinable()) reader.join();
    std::lock_guard<std::mutex> lock(mutex);
    return samples;
}

std::int64_t MonitorRecorder::frameZeroNanos() const {
    std::lock_guard<std::mutex> lock(mutex);
    return zeroNanos;
}

BusyLoops::BusyLoops(int count, int seconds, int niceness) {
    for (int i = 0; i < count; ++i) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::alarm(static_cast<unsigned>(seconds));  // ends it even if the test dies
            if (niceness != 0) ::setpriority(PRIO_PROCESS, 0, niceness);
            volatile std::uint64_t spin = 0;
            for (;;) spin = spin + 1;
        }
        if (pid > 0) pids.push_back(pid);
    }
}

BusyLoops::~BusyLoops() {
    for (pid_t pid : pids) ::kill(pid, SIGKILL);
    for (pid_t pid : pids) ::waitpid(pid, nullptr, 0);
}

RunResult runProgram(const std::vector<std::string>& args, const std::vector<std::string>& environment,
                     int timeoutSeconds, int actionAfterMs, const std::function<void()>& action,
                     const std::string& workingFolder) {
    RunResult result;
    const std::string folder = testmodules::makeTempFolder("run");
    const int out = ::open((folder + "/out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = ::open((folder + "/err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    Exec exec(args, environment);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) exec.run(out, err, 0, workingFolder.empty() ? nullptr : workingFolder.c_str());
    ::close(out);
    ::close(err);
    if (pid > 0) {
        bool acted = !action || actionAfterMs < 0;
        int status = 0;
        bool exited = false;
        while (!exited) {
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                exited = true;
                break;
            }
            const auto elapsed = std::chrono::steady_clock::now() - start;
            if (!acted && elapsed >= std::chrono::milliseconds(actionAfterMs)) {
                action();
                acted = true;
            }
            if (elapsed > std::chrono::seconds(timeoutSeconds)) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        if (exited && WIFEXITED(status)) result.status = WEXITSTATUS(status);
    }
    result.out = readText(folder + "/out");
    result.err = readText(folder + "/err");
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return result;
}

}  // namespace pulsetest
