// compofiller-song: looks into a module the way the demo's player sees it.
//   info FILE                         format, orders, duration, instruments
//   triggers FILE [--seconds S]       every note start: sample order row channel instrument
//   wav FILE OUT.wav [--seconds S]    the song through the demo's equalisers, 16-bit stereo
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/sound/offline.h"

namespace {

constexpr const char* usage =
    "usage: compofiller-song info FILE\n"
    "       compofiller-song triggers FILE [--seconds S]\n"
    "       compofiller-song wav FILE OUT.wav [--seconds S]\n"
    "       compofiller-song --help\n";

int fail(const std::string& message) {
    std::fprintf(stderr, "compofiller-song: %s\n", message.c_str());
    return 1;
}

int usageError(const std::string& message) {
    std::fprintf(stderr, "compofiller-song: %s\n%s", message.c_str(), usage);
    return 2;
}

// Parses "--seconds S" among the arguments after the positional ones.
bool parseSeconds(const std::vector<std::string>& rest, double& seconds, std::string& error) {
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == "--seconds" && i + 1 < rest.size()) {
            char* end = nullptr;
            seconds = std::strtod(rest[i + 1].c_str(), &end);
            if (end == rest[i + 1].c_str() || *end != '\0' || !std::isfinite(seconds) || seconds <= 0 || seconds > 86400) {
                error = "--seconds takes a number of seconds above 0 (up to 86400)";
                return false;
            }
            ++i;
        } else {
            error = "unexpected argument " + rest[i];
            return false;
        }
    }
    return true;
}

bool loadFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error) {
    return sound::readModuleFile(path, bytes, error);
}

int info(const std::string& path) {
    auto result = sound::inspectFile(path);
    if (!result.loaded) return fail(path + ": " + result.error);
    const auto& f = result.facts;
    const int minutes = static_cast<int>(f.durationSeconds) / 60;
    const double seconds = f.durationSeconds - minutes * 60;
    std::printf("file: %s\n", path.c_str());
    std::printf("format: %s (%s)\n", f.format.c_str(), f.formatName.c_str());
    std::printf("title: %s\n", f.title.c_str());
    std::printf("channels: %d\n", f.channels);
    std::printf("orders: %d (repeats from order %d)\n", f.orders, f.restartOrder);
    std::printf("duration: %d:%06.3f (%.3f s)\n", minutes, seconds, f.durationSeconds);
    std::printf("instruments: %zu\n", f.instrumentNames.size());
    for (std::size_t i = 0; i < f.instrumentNames.size(); ++i) {
        std::printf("  %2zu  %s\n", i + 1, f.instrumentNames[i].c_str());
    }
    return 0;
}

int triggers(const std::string& path, double seconds) {
    sound::RenderOptions options;
    options.seconds = seconds;
    options.keepAudio = false;
    auto result = sound::renderFile(path, options);
    if (!result.loaded) return fail(path + ": " + result.error);
    for (const auto& t : result.triggers) {
        std::printf("%lld %d %d %d %d\n", static_cast<long long>(t.sample), t.order, t.row, t.channel, t.instrument);
    }
    return 0;
}

void putLe(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// A canonical 44-byte RIFF/WAVE header for 16-bit stereo PCM.
std::vector<std::uint8_t> wavHeader(std::uint64_t frames) {
    const std::uint32_t dataBytes = static_cast<std::uint32_t>(std::min<std::uint64_t>(frames * 4, 0xFFFFFFFFu - 36));
    std::vector<std::uint8_t> h;
    h.insert(h.end(), {'R', 'I', 'F', 'F'});
    putLe(h, 36 + dataBytes, 4);
    h.insert(h.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    putLe(h, 16, 4);
    putLe(h, 1, 2);  // PCM
    putLe(h, 2, 2);  // stereo
    putLe(h, sound::sampleRate, 4);
    putLe(h, sound::sampleRate * 4, 4);
    putLe(h, 4, 2);   // bytes per frame
    putLe(h, 16, 2);  // bits per sample
    h.insert(h.end(), {'d', 'a', 't', 'a'});
    putLe(h, dataBytes, 4);
    return h;
}

class ProgressBar {
public:
    explicit ProgressBar(bool shown) : shown(shown) {}
    void update(std::int64_t done, std::int64_t total) {
        if (!shown || total <= 0) return;
        const int percent = static_cast<int>(std::min<std::int64_t>(100, done * 100 / total));
        if (percent == last) return;
        last = percent;
        const int width = 40;
        const int filled = percent * width / 100;
        std::fprintf(stderr, "\r[%s%s] %3d%%", std::string(static_cast<std::size_t>(filled), '#').c_str(),
                     std::string(static_cast<std::size_t>(width - filled), '.').c_str(), percent);
        std::fflush(stderr);
    }
    void finish() {
        if (shown && last >= 0) std::fprintf(stderr, "\n");
    }

private:
    bool shown;
    int last = -1;
};

int wav(const std::string& path, const std::string& outPath, double seconds) {
    std::vector<std::uint8_t> bytes;
    std::string error;
    if (!loadFile(path, bytes, error)) return fail(path + ": " + error);
    auto song = sound::OfflineSong::open(bytes.data(), bytes.size(), error);
    if (!song) return fail(path + ": " + error);
    const bool onePass = seconds <= 0;
    song->setRepeat(!onePass);
    song->addEqualiser(sound::demoEqHigh);
    song->addEqualiser(sound::demoEqLow);
    const std::int64_t planned = onePass
        ? static_cast<std::int64_t>(std::ceil(song->facts().durationSeconds * sound::sampleRate))
        : static_cast<std::int64_t>(std::llround(seconds * sound::sampleRate));

    std::ofstream out(outPath, std::ios::binary | std::ios::trunc);
    if (!out) return fail("cannot write " + outPath);
    auto header = wavHeader(0);
    out.write(reinterpret_cast<const char*>(header.data()), static_cast<std::streamsize>(header.size()));

    ProgressBar bar(::isatty(STDERR_FILENO) != 0);
    constexpr std::size_t block = 4096;
    std::vector<float> audio(block * 2);
    std::vector<std::uint8_t> pcm(block * 4);
    std::vector<sound::Trigger> triggers;
    std::vector<sound::OrderStart> orders;
    std::int64_t done = 0;
    while (onePass || done < planned) {
        std::size_t want = onePass ? block : static_cast<std::size_t>(std::min<std::int64_t>(block, planned - done));
        std::size_t got = song->render(audio.data(), want);
        song->takeEvents(triggers, orders);  // not needed here; keeps them from piling up
        for (std::size_t i = 0; i < got * 2; ++i) {
            const float clipped = std::clamp(audio[i], -1.0f, 1.0f);
            const auto sample = static_cast<std::int16_t>(std::lrint(clipped * 32767.0f));
            pcm[2 * i] = static_cast<std::uint8_t>(sample & 0xFF);
            pcm[2 * i + 1] = static_cast<std::uint8_t>((sample >> 8) & 0xFF);
        }
        out.write(reinterpret_cast<const char*>(pcm.data()), static_cast<std::streamsize>(got * 4));
        done += static_cast<std::int64_t>(got);
        bar.update(done, std::max(planned, done));
        if (got < want) break;
    }
    bar.update(done, done);
    bar.finish();
    header = wavHeader(static_cast<std::uint64_t>(done));
    out.seekp(0);
    out.write(reinterpret_cast<const char*>(header.data()), static_cast<std::streamsize>(header.size()));
    out.close();
    if (!out) return fail("cannot write " + outPath);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return usageError("no command");
    const std::string command = args[0];
    double seconds = 0.0;
    std::string error;
    if (command == "info") {
        if (args.size() != 2) return usageError("info takes one FILE");
        return info(args[1]);
    }
    if (command == "triggers") {
        if (args.size() < 2) return usageError("triggers takes a FILE");
        if (!parseSeconds({args.begin() + 2, args.end()}, seconds, error)) return usageError(error);
        return triggers(args[1], seconds);
    }
    if (command == "wav") {
        if (args.size() < 3) return usageError("wav takes a FILE and an OUT.wav");
        if (!parseSeconds({args.begin() + 3, args.end()}, seconds, error)) return usageError(error);
        return wav(args[1], args[2], seconds);
    }
    if (command == "-h" || command == "--help" || command == "help") {
        std::printf("%s", usage);
        return 0;
    }
    return usageError("unknown command " + command);
}
