// compofiller-record: renders the demo offline, as fast as it can, with no
// terminal and no sound device, into a video with its sound (MP4 or Matroska:
// H.264 and AAC), a GIF, or one PNG picture.
#include <unistd.h>

extern "C" {
#include <libavutil/log.h>
}

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "host/song_search.h"
#include "platform/common/psf_font.h"
#include "platform/common/text_raster.h"
#include "tools/raster/indexed_png.h"
#include "tools/record/media_writer.h"
#include "tools/record/recorder.h"
#include "tools/tool_options.h"

namespace {

constexpr const char* usage =
    "usage: compofiller-record OUT [--fps N] [--from S] [--to S] [--scale K]\n"
    "         [--font PSF] [--no-audio] [--song FILE] [--preset NAME]\n"
    "         [--state-log FILE]\n"
    "       compofiller-record --help\n"
    "\n"
    "Renders the demo offline into OUT, chosen by its extension:\n"
    "  .mp4, .mkv  H.264 video (yuv420p) with the song in AAC\n"
    "  .gif        no sound; the 16 text-mode colours, nothing dithered\n"
    "  .webp       no sound; lossless animated WebP, smaller than a GIF\n"
    "  .png        one picture, at --from S --to S with both the same\n"
    "Frame k shows the song at k / N seconds (--fps, 60 by default; 50 for a GIF,\n"
    "whose frame delays count hundredths of a second). It ends after the first\n"
    "frame at order 41, or before --to. Frames before --from are run, since the\n"
    "state carries from frame to frame, but not written.\n"
    "The picture is 80 x 50 cells of an 8 x 8 VGA console font (640 x 400),\n"
    "scaled K times without smoothing (--scale, 2 by default: 1280 x 800).\n"
    "--song FILE plays FILE instead of QUILLOW3.oxm, which is looked for in the\n"
    "working folder, then in the installed data folder, then beside the program.\n"
    "--preset NAME sets x264's speed preset (superfast by default).\n"
    "--state-log FILE writes each written frame's starting state, one line per\n"
    "frame, in the values compofiller-frame takes.\n"
    "Exit status: 0 done, 1 song, output or encoder failure, 2 bad option.\n";

using toolopts::UsageError;

enum class OutputKind { mp4, mkv, gif, webp, png };

struct Options {
    std::string out;
    OutputKind kind = OutputKind::mp4;
    std::optional<int> fps;
    double from = 0;
    std::optional<double> to;
    int scale = 2;
    std::string font;
    bool audio = true;
    std::string song;  // empty: the bundled song, found as the demo finds it
    std::string preset = "superfast";
    std::string stateLog;
    bool help = false;
};

double parseSeconds(std::string_view option, const char* text) {
    return toolopts::parseNumber(option, text, 0, 86400, "seconds from 0 to 86400");
}

std::string lowerExtension(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return ext;
}

Options parseOptions(int argc, char** argv) {
    Options o;
    for (const Argument& a : readArguments(argc, argv,
                                           {{"--fps", true}, {"--from", true}, {"--to", true}, {"--scale", true},
                                            {"--font", true}, {"--song", true}, {"--preset", true},
                                            {"--state-log", true}, {"--no-audio", false}, {"--help", false}},
                                           '"')) {
        const std::string_view arg = a.name;
        const char* value = a.value.c_str();
        if (a.option == Argument::bad) throw UsageError(a.value);
        if (a.option == Argument::operand) {
            if (!o.out.empty()) throw UsageError("one output file only, got \"" + o.out + "\" and \"" + a.value + "\"");
            o.out = a.value;
        } else if (arg == "--help") {
            o.help = true;
            return o;
        } else if (arg == "--no-audio") o.audio = false;
        else if (arg == "--fps") o.fps = static_cast<int>(toolopts::parseWhole(arg, value, 1, 240));
        else if (arg == "--from") o.from = parseSeconds(arg, value);
        else if (arg == "--to") o.to = parseSeconds(arg, value);
        else if (arg == "--scale") o.scale = static_cast<int>(toolopts::parseWhole(arg, value, 1, 8));
        else if (*value == '\0') throw UsageError(std::string(arg) + " needs a value");
        else if (arg == "--font") o.font = value;
        else if (arg == "--song") o.song = value;
        else if (arg == "--preset") o.preset = value;
        else if (arg == "--state-log") o.stateLog = value;
    }
    if (o.out.empty()) throw UsageError("the output file is missing");
    const std::string ext = lowerExtension(o.out);
    if (ext == ".mp4") o.kind = OutputKind::mp4;
    else if (ext == ".mkv") o.kind = OutputKind::mkv;
    else if (ext == ".gif") o.kind = OutputKind::gif;
    else if (ext == ".webp") o.kind = OutputKind::webp;
    else if (ext == ".png") o.kind = OutputKind::png;
    else throw UsageError("the output must end in .mp4, .mkv, .gif, .webp or .png, got \"" + o.out + "\"");

    if (o.to && *o.to < o.from) throw UsageError("--to comes before --from");
    if (o.kind == OutputKind::png && !(o.to && *o.to == o.from))
        throw UsageError("a .png is one picture: give --from S and --to S with the same S");
    if (o.kind == OutputKind::gif) {
        if (!o.fps) o.fps = 50;
        if (*o.fps > 50 || 100 % *o.fps != 0)
            throw UsageError("a GIF's frame delays count hundredths of a second: --fps must be 50, 25, 20, 10, 5, 4, 2 or 1");
    }
    if (!o.fps) o.fps = 60;
    if (o.song.empty()) o.song = findSong(executableFolder());
    return o;
}

volatile std::sig_atomic_t stopSignal = 0;

void onStopSignal(int signal) { stopSignal = signal; }

// The output under a temporary name beside it until it is complete: removed
// unless renamed into place.
struct TemporaryFile {
    std::string path;
    bool kept = false;

    explicit TemporaryFile(const std::string& target) {
        const std::filesystem::path p(target);
        path = (p.parent_path() / ("." + p.filename().string() + "." + std::to_string(::getpid()) + ".part")).string();
    }
    ~TemporaryFile() {
        if (!kept) std::remove(path.c_str());
    }
    void renameTo(const std::string& target) {
        if (std::rename(path.c_str(), target.c_str()) != 0)
            throw std::runtime_error("cannot rename the finished file to " + target + ": " + std::strerror(errno));
        kept = true;
    }
};

std::string clockText(double seconds) {
    const long long s = std::llround(std::max(0.0, seconds));
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
    return text;
}

// Hands frames to the picture file, the sound to the encoder, writes the
// state log and shows the progress line.
class Sink final : public RecordSink {
public:
    Sink(const Options& o, const TextRaster& raster, MediaWriter* media, std::int64_t plannedFrames)
        : options(o), raster(raster), media(media), planned(plannedFrames),
          pixels(std::size_t(raster.width()) * raster.height()), showProgress(::isatty(STDERR_FILENO) == 1),
          started(std::chrono::steady_clock::now()) {
        if (!o.stateLog.empty()) {
            log.open(o.stateLog, std::ios::trunc);
            if (!log) throw std::runtime_error("cannot create " + o.stateLog + ": " + std::strerror(errno));
            log << "# frame order scene time-ms seconds pulse-a pulse-b pulse-c beat-count far-limit order-wobble\n";
        }
    }

    // Ends the progress line, also when an error line is about to follow.
    ~Sink() { endProgress(); }

    void picture(std::int64_t frame, const FrameState& s, const CHAR_INFO* cells) override {
        if (log.is_open()) {
            char line[320];
            std::snprintf(line, sizeof line, "%lld %d %d %.9g %.17g %.9g %.9g %.9g %d %.9g %.9g\n",
                          static_cast<long long>(frame), s.order, sceneForOrder(s.order), double(s.timeMs), s.seconds,
                          double(s.pulseA), double(s.pulseB), double(s.pulseC), s.beatCount, double(s.farLimit),
                          double(s.orderWobble));
            log << line;
            if (!log) throw std::runtime_error("cannot write " + options.stateLog);
        }
        raster.draw(cells, pixels.data(), raster.width());
        if (media != nullptr) media->writePicture(pixels.data());
        else png = encodeIndexedPng(pixels.data(), raster.width(), raster.height());
    }

    void sound(const float* interleaved, std::size_t frames) override {
        if (media != nullptr && options.audio) media->writeSound(interleaved, frames);
    }

    bool keepGoing(std::int64_t frame) override {
        if (showProgress) {
            const auto now = std::chrono::steady_clock::now();
            if (now - lastShown >= std::chrono::milliseconds(250)) {
                lastShown = now;
                const double elapsed = std::chrono::duration<double>(now - started).count();
                const double songSeconds = double(frame + 1) / *options.fps;
                const double speed = elapsed > 0 ? songSeconds / elapsed : 0;
                const double left = speed > 0 ? (double(planned) / *options.fps - songSeconds) / speed : 0;
                std::fprintf(stderr, "\r%lld/%lld frames, %.1f s of %.1f s, %.2fx real time, %s left   ",
                             static_cast<long long>(frame + 1), static_cast<long long>(planned), songSeconds,
                             double(planned) / *options.fps, speed, clockText(left).c_str());
                std::fflush(stderr);
                progressShown = true;
            }
        }
        return stopSignal == 0;
    }

    void endProgress() {
        if (progressShown) std::fputs("\n", stderr);
        progressShown = false;
    }

    void closeLog() {
        if (log.is_open()) {
            log.close();
            if (!log) throw std::runtime_error("cannot write " + options.stateLog);
        }
    }

    std::string png;

private:
    const Options& options;
    const TextRaster& raster;
    MediaWriter* media;
    std::int64_t planned;
    std::vector<std::uint8_t> pixels;
    bool showProgress;
    bool progressShown = false;
    std::chrono::steady_clock::time_point started;
    std::chrono::steady_clock::time_point lastShown{};
    std::ofstream log;
};

int record(const Options& o) {
    // Everything that can fail before the long run fails first: the song, the
    // font, the output.
    std::vector<std::uint8_t> bytes;
    std::string error;
    if (!sound::readModuleFile(o.song, bytes, error)) throw std::runtime_error("cannot read the song " + o.song + ": " + error);
    std::unique_ptr<sound::OfflineSong> song = sound::OfflineSong::open(bytes.data(), bytes.size(), error);
    if (!song) throw std::runtime_error("cannot play the song " + o.song + ": " + error);

    const std::string fontPath = o.font.empty() ? findConsoleFont(executableFolder()) : o.font;
    if (fontPath.empty()) throw std::runtime_error("no VGA 8 x 8 console font in /usr/share/consolefonts (install console-setup-linux)");
    const PsfFont font = PsfFont::load(fontPath);
    const TextRaster raster(font, o.scale);

    const int fps = *o.fps;
    RecordSpan span;
    span.fps = fps;
    span.firstFrame = std::llround(o.from * fps);
    if (o.to) span.endFrame = std::max<std::int64_t>(std::llround(*o.to * fps), span.firstFrame + 1);
    const std::int64_t planned =
        o.to ? span.endFrame : static_cast<std::int64_t>(std::ceil(song->facts().durationSeconds * fps));

    TemporaryFile temporary(o.out);
    std::unique_ptr<MediaWriter> media;
    if (o.kind != OutputKind::png) {
        MediaSettings settings;
        const MediaKind kinds[] = {MediaKind::mp4, MediaKind::mkv, MediaKind::gif, MediaKind::webp};
        settings.kind = kinds[static_cast<int>(o.kind)];
        settings.width = raster.width();
        settings.height = raster.height();
        settings.fps = fps;
        settings.audio = o.audio;
        settings.preset = o.preset;
        settings.name = o.out;
        media = std::make_unique<MediaWriter>(temporary.path, settings);
    } else {
        std::ofstream probe(temporary.path, std::ios::binary | std::ios::trunc);
        if (!probe) throw std::runtime_error("cannot create " + o.out + ": " + std::strerror(errno));
    }

    Sink sink(o, raster, media.get(), planned);
    const RecordOutcome outcome = recordFrames(*song, span, sink);
    sink.endProgress();
    sink.closeLog();
    if (outcome.stopped) {
        std::fprintf(stderr, "compofiller-record: stopped; %s not written\n", o.out.c_str());
        std::signal(stopSignal, SIG_DFL);
        return 128 + stopSignal;  // raised again by the caller once the file is gone
    }
    if (outcome.framesHanded == 0) {
        char line[160];
        std::snprintf(line, sizeof line, "the recording ends at %.3f s (order %d), before --from",
                      double(outcome.framesRun - 1) / fps, outcome.lastOrder);
        throw UsageError(line);
    }
    if (media) {
        media->finish();
    } else {
        std::ofstream file(temporary.path, std::ios::binary | std::ios::trunc);
        file.write(sink.png.data(), static_cast<std::streamsize>(sink.png.size()));
        file.close();
        if (!file) throw std::runtime_error("cannot write " + o.out + ": " + std::strerror(errno));
    }
    temporary.renameTo(o.out);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const int status = toolopts::runTool("compofiller-record", [&] {
        const Options options = parseOptions(argc, argv);
        if (options.help) {
            std::fputs(usage, stdout);
            return 0;
        }
        av_log_set_level(AV_LOG_ERROR);
        for (int s : {SIGINT, SIGTERM, SIGHUP}) std::signal(s, onStopSignal);
        return record(options);
    });
    // Stopped by a signal: the temporary file is gone; end as that signal would.
    if (status > 128) std::raise(status - 128);
    return status;
}
