// compofiller-record, run as a program on a short module; what it writes is
// decoded with FFmpeg's libraries and compared with the song's offline render
// and with compofiller-frame's picture of the same state.
#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "host/frame_loop.h"
#include "platform/sound/offline.h"
#include "tests/support/xm_test_modules.h"

using testmodules::put;

namespace {

const std::string buildDir = COMPOFILLER_BUILD_DIR;

struct ToolRun {
    int status = -1;
    std::string err;
};

ToolRun runTool(const std::string& tool, const std::string& arguments) {
    const std::string errFile = testing::TempDir() + "record_tool_err_" + std::to_string(::getpid()) + ".txt";
    const std::string command = buildDir + "/" + tool + " " + arguments + " >/dev/null 2>" + errFile;
    ToolRun run;
    const int status = std::system(command.c_str());
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream err(errFile);
    run.err.assign(std::istreambuf_iterator<char>(err), {});
    return run;
}

// Everything of a media file that the checks look at.
struct Decoded {
    std::string videoCodec;
    int pixelFormat = -1;
    int width = 0;
    int height = 0;
    AVRational frameRate{0, 1};
    double videoDuration = 0;  // from the stream's own time stamps
    std::vector<std::vector<std::uint8_t>> pictures;  // RGB24
    double videoStart = -1;
    bool hasAudio = false;
    double audioStart = -1;
    std::vector<float> audio;  // interleaved stereo, 44100 Hz

    // The sound from the first picture's time on: a container that cannot
    // hide the encoder's priming keeps it before the video starts.
    std::vector<float> soundFromVideoStart() const {
        const long long lead = std::llround((videoStart - audioStart) * 44100) * 2;
        if (lead <= 0) return audio;
        return std::vector<float>(audio.begin() + std::min<long long>(lead, (long long)audio.size()), audio.end());
    }
};

double seconds(std::int64_t ticks, AVRational base) { return double(ticks) * av_q2d(base); }

Decoded decode(const std::string& path) {
    Decoded d;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) {
        ADD_FAILURE() << "cannot open " << path;
        return d;
    }
    avformat_find_stream_info(format, nullptr);
    std::map<int, AVCodecContext*> decoders;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVCodecParameters* p = format->streams[i]->codecpar;
        const AVCodec* codec = avcodec_find_decoder(p->codec_id);
        AVCodecContext* c = avcodec_alloc_context3(codec);
        avcodec_parameters_to_context(c, p);
        c->pkt_timebase = format->streams[i]->time_base;
        avcodec_open2(c, codec, nullptr);
        decoders[int(i)] = c;
        if (p->codec_type == AVMEDIA_TYPE_VIDEO) {
            d.videoCodec = codec->name;
            d.pixelFormat = p->format;
            d.width = p->width;
            d.height = p->height;
            d.frameRate = format->streams[i]->avg_frame_rate;
        } else if (p->codec_type == AVMEDIA_TYPE_AUDIO) {
            d.hasAudio = true;
        }
    }
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    SwsContext* toRgb = nullptr;
    SwrContext* toFloat = nullptr;
    std::int64_t videoEnd = 0;
    auto drain = [&](int index) {
        AVCodecContext* c = decoders[index];
        const AVStream* stream = format->streams[index];
        while (avcodec_receive_frame(c, frame) == 0) {
            if (c->codec_type == AVMEDIA_TYPE_VIDEO) {
                toRgb = sws_getCachedContext(toRgb, frame->width, frame->height, AVPixelFormat(frame->format), frame->width,
                                             frame->height, AV_PIX_FMT_RGB24, SWS_POINT, nullptr, nullptr, nullptr);
                std::vector<std::uint8_t> rgb(std::size_t(frame->width) * frame->height * 3);
                std::uint8_t* out[1] = {rgb.data()};
                const int stride[1] = {frame->width * 3};
                sws_scale(toRgb, frame->data, frame->linesize, 0, frame->height, out, stride);
                d.pictures.push_back(std::move(rgb));
                if (d.videoStart < 0) d.videoStart = seconds(frame->best_effort_timestamp, stream->time_base);
                videoEnd = std::max(videoEnd, frame->best_effort_timestamp + frame->pkt_duration);
                d.videoDuration = seconds(videoEnd - std::max<std::int64_t>(stream->start_time, 0), stream->time_base);
            } else {
                if (toFloat == nullptr) {
                    AVChannelLayout stereo;
                    av_channel_layout_default(&stereo, 2);
                    swr_alloc_set_opts2(&toFloat, &stereo, AV_SAMPLE_FMT_FLT, 44100, &frame->ch_layout,
                                        AVSampleFormat(frame->format), frame->sample_rate, 0, nullptr);
                    swr_init(toFloat);
                }
                if (d.audioStart < 0) d.audioStart = seconds(frame->best_effort_timestamp, stream->time_base);
                const std::size_t at = d.audio.size();
                d.audio.resize(at + std::size_t(frame->nb_samples) * 2);
                std::uint8_t* out[1] = {reinterpret_cast<std::uint8_t*>(d.audio.data() + at)};
                const int got = swr_convert(toFloat, out, frame->nb_samples, const_cast<const std::uint8_t**>(frame->extended_data),
                                            frame->nb_samples);
                d.audio.resize(at + std::size_t(std::max(got, 0)) * 2);
            }
        }
    };
    while (av_read_frame(format, packet) >= 0) {
        if (decoders.count(packet->stream_index) != 0 && avcodec_send_packet(decoders[packet->stream_index], packet) >= 0)
            drain(packet->stream_index);
        av_packet_unref(packet);
    }
    for (auto& [index, c] : decoders) {
        avcodec_send_packet(c, nullptr);
        drain(index);
    }
    sws_freeContext(toRgb);
    swr_free(&toFloat);
    av_frame_free(&frame);
    av_packet_free(&packet);
    for (auto& [index, c] : decoders) avcodec_free_context(&c);
    avformat_close_input(&format);
    return d;
}

// One line of the recorder's state log.
struct LoggedFrame {
    long long frame = 0;
    int order = 0, scene = 0;
    std::string timeMs, seconds, pulseA, pulseB, pulseC, beatCount, farLimit, orderWobble;
};

std::map<long long, LoggedFrame> readStateLog(const std::string& path) {
    std::map<long long, LoggedFrame> frames;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream words(line);
        LoggedFrame f;
        words >> f.frame >> f.order >> f.scene >> f.timeMs >> f.seconds >> f.pulseA >> f.pulseB >> f.pulseC >>
            f.beatCount >> f.farLimit >> f.orderWobble;
        frames[f.frame] = f;
    }
    return frames;
}

// compofiller-frame's picture of a logged state, decoded to RGB24.
std::vector<std::uint8_t> frameToolPicture(const LoggedFrame& f, const std::string& folder) {
    const std::string out = folder + "/frame-" + std::to_string(f.frame) + ".png";
    const ToolRun run = runTool("compofiller-frame", "--order " + std::to_string(f.order) + " --time-ms " + f.timeMs +
                                                         " --seconds " + f.seconds + " --pulse-a " + f.pulseA +
                                                         " --pulse-b " + f.pulseB + " --pulse-c " + f.pulseC +
                                                         " --beat-count " + f.beatCount + " --far-limit " + f.farLimit +
                                                         " --order-wobble " + f.orderWobble + " --format png --out " + out);
    EXPECT_EQ(run.status, 0) << run.err;
    const Decoded d = decode(out);
    return d.pictures.empty() ? std::vector<std::uint8_t>{} : d.pictures[0];
}

// The correlation of decoded sound with the reference, and the shift (in
// stereo frames, within +-maxLag) at which it is highest.
std::pair<double, int> bestCorrelation(const std::vector<float>& decoded, const std::vector<float>& reference, int maxLag) {
    std::pair<double, int> best{-2, 0};
    for (int lag = -maxLag; lag <= maxLag; ++lag) {
        double ab = 0, aa = 0, bb = 0;
        for (std::size_t i = 2 * std::size_t(maxLag); i + 2 * maxLag < reference.size() && i < decoded.size(); ++i) {
            const double a = decoded[i], b = reference[std::size_t(std::ptrdiff_t(i) + 2 * lag)];
            ab += a * b, aa += a * a, bb += b * b;
        }
        const double c = aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
        if (c > best.first) best = {c, lag};
    }
    return best;
}

// Six orders of four rows, 0.12 s a row (all starts fall on frames at 25 fps):
// the scene changes from the beam lattice to the warped rings at order 4, and
// instruments of all three pulses sound.
class RecordTool : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder = testmodules::makeTempFolder("record-tool");
        auto module = testmodules::emptyModule(2, 30, 6, 4, 6, 125);
        put(module, 0, 0, 0, 49, 1);   // a tone from the start: no pulse
        put(module, 1, 2, 1, 61, 4);   // player instrument 3: pulse A, at 0.72 s
        put(module, 2, 0, 1, 37, 23);  // 22: pulse C, at 0.96 s
        put(module, 3, 3, 0, 56, 1);
        put(module, 4, 1, 1, 49, 6);   // 5: pulse B, at 2.04 s
        song = testmodules::writeModule(module, folder, "short.xm");
    }
    static std::string folder;
    static std::string song;
};

std::string RecordTool::folder;
std::string RecordTool::song;

TEST_F(RecordTool, Mp4AndMkvCarryEveryFrameAndTheSongsSound) {
    const std::string out = folder + "/whole.mp4";
    const ToolRun run = runTool("compofiller-record", out + " --song " + song + " --fps 30 --scale 1");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.err.empty()) << run.err;  // quiet when stderr is no terminal

    // The module lasts 2.88 s: 87 frames at 30 fps, and the sound to the end of
    // the last one, 87 x 1470 samples.
    const Decoded d = decode(out);
    EXPECT_EQ(d.videoCodec, "h264");
    EXPECT_EQ(d.pixelFormat, AV_PIX_FMT_YUV420P);
    EXPECT_EQ(d.width, 640);
    EXPECT_EQ(d.height, 400);
    EXPECT_EQ(d.frameRate.num, 30);
    EXPECT_EQ(d.frameRate.den, 1);
    EXPECT_EQ(d.pictures.size(), 87u);
    EXPECT_NEAR(d.videoDuration, 2.9, 1e-9);
    ASSERT_TRUE(d.hasAudio);
    const std::vector<float> sound = d.soundFromVideoStart();
    // AAC codes whole blocks of 1024: the last one may run past the end.
    EXPECT_GE(sound.size() / 2, 87u * 1470);
    EXPECT_LT(sound.size() / 2, 87u * 1470 + 1024);

    sound::RenderOptions options;
    options.seconds = 87 * 1470 / 44100.0;
    options.demoEqualisers = true;
    const sound::RenderResult reference = sound::renderFile(song, options);
    ASSERT_TRUE(reference.loaded) << reference.error;
    const auto [match, lag] = bestCorrelation(sound, reference.audio, 64);
    EXPECT_GT(match, 0.99);
    EXPECT_EQ(lag, 0);  // in step to the sample

    // Playable while it downloads: the index comes before the media data.
    std::ifstream file(out, std::ios::binary);
    char head[40] = {};
    file.read(head, sizeof head);
    const std::size_t ftypSize = std::size_t((unsigned char)head[3]);
    EXPECT_EQ(std::string(head + ftypSize + 4, 4), "moov");

    const std::string mkv = folder + "/part.mkv";
    ASSERT_EQ(runTool("compofiller-record", mkv + " --song " + song + " --fps 30 --scale 1 --from 1 --to 2").status, 0);
    const Decoded m = decode(mkv);
    EXPECT_EQ(m.videoCodec, "h264");
    EXPECT_EQ(m.pictures.size(), 30u);
    const std::vector<float> mkvSound = m.soundFromVideoStart();
    EXPECT_GE(mkvSound.size() / 2, 44100u);
    EXPECT_LT(mkvSound.size() / 2, 44100u + 1024);
    sound::RenderResult second = sound::renderFile(song, {2.0, true, true, {}, {}});
    second.audio.erase(second.audio.begin(), second.audio.begin() + 44100 * 2);
    // Matroska keeps times in milliseconds: in step within one.
    const auto [mkvMatch, mkvLag] = bestCorrelation(mkvSound, second.audio, 64);
    EXPECT_GT(mkvMatch, 0.99);
    EXPECT_LE(std::abs(mkvLag), 44);
}

TEST_F(RecordTool, FramesFollowTheSongAndMatchTheFrameTool) {
    const std::string gif = folder + "/span.gif";
    const std::string log = folder + "/span.log";
    const ToolRun run = runTool("compofiller-record",
                                gif + " --song " + song + " --fps 25 --scale 1 --from 0.68 --to 2.1 --state-log " + log);
    ASSERT_EQ(run.status, 0) << run.err;
    const Decoded d = decode(gif);
    EXPECT_EQ(d.videoCodec, "gif");
    ASSERT_EQ(d.pictures.size(), 36u);  // frames 17 to 52
    const auto frames = readStateLog(log);
    ASSERT_EQ(frames.size(), 36u);
    ASSERT_EQ(frames.begin()->first, 17);

    // A trigger at a frame's own sample counts for that frame: the pulse is at
    // its full value there, and lower one frame before.
    const sound::RenderResult render = sound::renderFile(song, {3.0, false, false, {}, {}});
    std::map<int, std::string LoggedFrame::*> pulseOf = {
        {3, &LoggedFrame::pulseA}, {22, &LoggedFrame::pulseC}, {5, &LoggedFrame::pulseB}};
    int pulsesSeen = 0;
    for (const sound::Trigger& t : render.triggers) {
        if (pulseOf.count(t.instrument) == 0) continue;
        const long long k = (t.sample + 1763) / 1764;
        ASSERT_TRUE(frames.count(k) && frames.count(k - 1)) << t.sample;
        const std::string full = t.instrument == 22 ? "4" : "3";
        EXPECT_EQ(frames.at(k).*pulseOf[t.instrument], full) << "instrument " << t.instrument;
        EXPECT_NE(frames.at(k - 1).*pulseOf[t.instrument], full) << "instrument " << t.instrument;
        ++pulsesSeen;
    }
    EXPECT_EQ(pulsesSeen, 3);

    // Order 4 starts at 1.92 s, frame 48: the new scene from that frame on.
    for (const sound::OrderStart& o : render.orderStarts) {
        const long long k = (o.sample + 1763) / 1764;
        if (!frames.count(k) || !frames.count(k - 1)) continue;
        EXPECT_EQ(frames.at(k).order, o.order);
        EXPECT_EQ(frames.at(k - 1).order, o.order - 1);
    }
    EXPECT_EQ(frames.at(47).scene, 0);
    EXPECT_EQ(frames.at(48).scene, sceneForOrder(4));

    // Pixel for pixel what compofiller-frame draws from the same state: at the
    // triggers, on both sides of the scene change, and at the end.
    for (long long k : {18LL, 24LL, 47LL, 48LL, 51LL, 52LL}) {
        const std::vector<std::uint8_t> expected = frameToolPicture(frames.at(k), folder);
        EXPECT_TRUE(expected == d.pictures[std::size_t(k - 17)]) << "frame " << k;
    }
    EXPECT_FALSE(d.pictures[47 - 17] == d.pictures[48 - 17]);

    // One picture: the same as the GIF's frame.
    const std::string png = folder + "/one.png";
    ASSERT_EQ(runTool("compofiller-record", png + " --song " + song + " --fps 25 --scale 1 --from 1.92 --to 1.92").status, 0);
    const Decoded one = decode(png);
    ASSERT_EQ(one.pictures.size(), 1u);
    EXPECT_TRUE(one.pictures[0] == d.pictures[48 - 17]);

    // The animated WebP (which these libraries cannot decode): its chunks say
    // 36 frames of 40 ms (unchanged ones merged into one longer frame), looping,
    // on a 640 x 400 canvas.
    const std::string webp = folder + "/span.webp";
    ASSERT_EQ(runTool("compofiller-record", webp + " --song " + song + " --fps 25 --scale 1 --from 0.68 --to 2.1").status, 0);
    std::ifstream in(webp, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    ASSERT_GT(bytes.size(), 30u);
    ASSERT_EQ(bytes.substr(0, 4) + bytes.substr(8, 4), "RIFFWEBP");
    auto le = [&](std::size_t at, int count) {
        std::uint32_t v = 0;
        for (int i = count - 1; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(bytes[at + std::size_t(i)]);
        return v;
    };
    EXPECT_EQ(le(12 + 8 + 4, 3) + 1, 640u);  // VP8X canvas width - 1
    EXPECT_EQ(le(12 + 8 + 7, 3) + 1, 400u);
    int animated = 0;
    std::uint32_t totalMs = 0;
    for (std::size_t at = 12; at + 8 <= bytes.size(); at += 8 + ((le(at + 4, 4) + 1) & ~1u)) {
        const std::string id = bytes.substr(at, 4);
        if (id == "ANIM") {
            EXPECT_EQ(le(at + 8 + 4, 2), 0u);  // loop count: forever
        }
        if (id == "ANMF") {
            ++animated;
            totalMs += le(at + 8 + 12, 3);
            EXPECT_EQ(le(at + 8 + 12, 3) % 40, 0u);
        }
    }
    EXPECT_GT(animated, 1);
    EXPECT_EQ(totalMs, 36u * 40);
}

TEST_F(RecordTool, FailuresExitWithOneLineAndLeaveNoFile) {
    struct Case {
        std::string arguments;
        int status;
    };
    const std::string out = folder + "/failed.mp4";
    std::ofstream(folder + "/broken.xm") << "not a module at all";
    const Case cases[] = {
        {out + " --song " + song + " --fps 0", 2},
        {out + " --song " + song + " --from 2 --to 1", 2},
        {out + " --song " + song + " --colour", 2},
        {folder + "/failed.avi --song " + song, 2},
        {folder + "/failed.png --song " + song + " --from 1", 2},
        {folder + "/failed.gif --song " + song + " --fps 60", 2},
        {out + " --song " + song + " --from 10", 2},  // after the song's end
        {out + " --song " + folder + "/missing.xm", 1},
        {out + " --song " + folder + "/broken.xm", 1},
        {folder + "/no-such-folder/out.mp4 --song " + song, 1},
        {out + " --song " + song + " --font " + song, 1},
    };
    for (const Case& c : cases) {
        const ToolRun run = runTool("compofiller-record", c.arguments);
        EXPECT_EQ(run.status, c.status) << c.arguments << ": " << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << c.arguments << ": " << run.err;
    }

    // Stopped midway: nothing under the name, no temporary file left.
    const std::string stopped = folder + "/stopped.mp4";
    const pid_t child = fork();
    if (child == 0) {
        execl((buildDir + "/compofiller-record").c_str(), "compofiller-record", stopped.c_str(), "--song",
              (buildDir + "/QUILLOW3.oxm").c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    usleep(1500 * 1000);
    kill(child, SIGTERM);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        EXPECT_EQ(name.find("failed"), std::string::npos) << name;
        EXPECT_EQ(name.find("stopped"), std::string::npos) << name;
    }
}

}  // namespace
