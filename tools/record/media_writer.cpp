#include "tools/record/media_writer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <cstring>
#include <stdexcept>
#include <vector>

#include "platform/common/text_raster.h"

namespace {

std::string avError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

void check(int code, const std::string& what) {
    if (code < 0) throw std::runtime_error(what + ": " + avError(code));
}

constexpr int soundRate = 44100;

}  // namespace

struct MediaWriter::Impl {
    MediaSettings settings;
    std::string path;
    std::string name;
    AVFormatContext* format = nullptr;
    AVCodecContext* video = nullptr;
    AVStream* videoStream = nullptr;
    AVCodecContext* sound = nullptr;
    AVStream* soundStream = nullptr;
    SwsContext* scaler = nullptr;
    SwrContext* resampler = nullptr;
    AVFrame* picture = nullptr;
    AVFrame* soundFrame = nullptr;
    AVPacket* packet = nullptr;
    std::uint32_t palette[256] = {};
    std::vector<float> soundPending;  // interleaved, not yet a whole encoder frame
    std::int64_t picturesSent = 0;
    std::int64_t soundSent = 0;
    bool headerWritten = false;
    bool finished = false;

    ~Impl() {
        sws_freeContext(scaler);
        swr_free(&resampler);
        av_frame_free(&picture);
        av_frame_free(&soundFrame);
        av_packet_free(&packet);
        avcodec_free_context(&video);
        avcodec_free_context(&sound);
        if (format != nullptr) {
            if (format->pb != nullptr) avio_closep(&format->pb);
            avformat_free_context(format);
        }
    }

    void openVideo();
    void openSound();
    void encode(AVCodecContext* codec, AVStream* stream, AVFrame* frame);
    void sendSound(std::size_t frames);
};

void MediaWriter::Impl::openVideo() {
    const bool gif = settings.kind == MediaKind::gif;
    const bool webp = settings.kind == MediaKind::webp;
    const char* encoder = gif ? "gif" : webp ? "libwebp_anim" : "libx264";
    const AVCodec* codec = avcodec_find_encoder_by_name(encoder);
    if (codec == nullptr) throw std::runtime_error(std::string("no ") + encoder + " encoder in libavcodec");
    videoStream = avformat_new_stream(format, nullptr);
    video = avcodec_alloc_context3(codec);
    if (videoStream == nullptr || video == nullptr) throw std::runtime_error("out of memory for the video stream");
    video->width = settings.width;
    video->height = settings.height;
    video->framerate = AVRational{settings.fps, 1};
    if (gif) {
        // GIF delays count hundredths of a second.
        video->time_base = AVRational{1, 100};
        video->pix_fmt = AV_PIX_FMT_PAL8;
    } else if (webp) {
        // Frame durations in milliseconds; every pixel kept as it is.
        video->time_base = AVRational{1, 1000};
        video->pix_fmt = AV_PIX_FMT_RGB32;
        av_opt_set_int(video->priv_data, "lossless", 1, 0);
    } else {
        video->time_base = AVRational{1, settings.fps};
        video->pix_fmt = AV_PIX_FMT_YUV420P;
        // Tagged as what it is, so players convert back with the same matrix.
        video->color_range = AVCOL_RANGE_MPEG;
        video->colorspace = AVCOL_SPC_BT709;
        video->color_primaries = AVCOL_PRI_BT709;
        video->color_trc = AVCOL_TRC_BT709;
        video->thread_count = 0;
        av_opt_set(video->priv_data, "preset", settings.preset.c_str(), 0);
        av_opt_set(video->priv_data, "crf", "20", 0);
    }
    if (format->oformat->flags & AVFMT_GLOBALHEADER) video->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    check(avcodec_open2(video, codec, nullptr), "cannot open the video encoder");
    check(avcodec_parameters_from_context(videoStream->codecpar, video), "video stream");
    videoStream->time_base = video->time_base;
    videoStream->avg_frame_rate = video->framerate;

    picture = av_frame_alloc();
    if (picture == nullptr) throw std::runtime_error("out of memory for a picture");
    picture->format = video->pix_fmt;
    picture->width = settings.width;
    picture->height = settings.height;
    check(av_frame_get_buffer(picture, 0), "picture buffer");

    // Palette entries as 0xAARRGGBB; the unused ones stay fully transparent,
    // which leaves the GIF encoder one for its unchanged pixels.
    for (int i = 0; i < 16; ++i) palette[i] = textModeArgb(unsigned(i));
    if (!gif && !webp) {
        scaler = sws_getContext(settings.width, settings.height, AV_PIX_FMT_PAL8, settings.width, settings.height,
                                AV_PIX_FMT_YUV420P, SWS_BILINEAR | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INP, nullptr,
                                nullptr, nullptr);
        if (scaler == nullptr) throw std::runtime_error("cannot set up the colour conversion");
        sws_setColorspaceDetails(scaler, sws_getCoefficients(SWS_CS_ITU709), 1, sws_getCoefficients(SWS_CS_ITU709), 0,
                                 0, 1 << 16, 1 << 16);
    }
}

void MediaWriter::Impl::openSound() {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (codec == nullptr) throw std::runtime_error("no AAC encoder in libavcodec");
    soundStream = avformat_new_stream(format, nullptr);
    sound = avcodec_alloc_context3(codec);
    if (soundStream == nullptr || sound == nullptr) throw std::runtime_error("out of memory for the sound stream");
    sound->sample_fmt = AV_SAMPLE_FMT_FLTP;
    sound->sample_rate = soundRate;
    av_channel_layout_default(&sound->ch_layout, 2);
    sound->bit_rate = 192000;
    sound->time_base = AVRational{1, soundRate};
    if (format->oformat->flags & AVFMT_GLOBALHEADER) sound->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    check(avcodec_open2(sound, codec, nullptr), "cannot open the AAC encoder");
    check(avcodec_parameters_from_context(soundStream->codecpar, sound), "sound stream");
    soundStream->time_base = sound->time_base;

    check(swr_alloc_set_opts2(&resampler, &sound->ch_layout, AV_SAMPLE_FMT_FLTP, soundRate, &sound->ch_layout,
                              AV_SAMPLE_FMT_FLT, soundRate, 0, nullptr),
          "sound conversion");
    check(swr_init(resampler), "sound conversion");

    soundFrame = av_frame_alloc();
    if (soundFrame == nullptr) throw std::runtime_error("out of memory for sound");
    soundFrame->format = sound->sample_fmt;
    soundFrame->sample_rate = soundRate;
    soundFrame->nb_samples = sound->frame_size;
    check(av_channel_layout_copy(&soundFrame->ch_layout, &sound->ch_layout), "sound frame");
    check(av_frame_get_buffer(soundFrame, 0), "sound buffer");
}

void MediaWriter::Impl::encode(AVCodecContext* codec, AVStream* stream, AVFrame* frame) {
    check(avcodec_send_frame(codec, frame), "encoder failed");
    for (;;) {
        const int got = avcodec_receive_packet(codec, packet);
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return;
        check(got, "encoder failed");
        av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
        packet->stream_index = stream->index;
        check(av_interleaved_write_frame(format, packet), "cannot write " + name);
    }
}

// Encodes the first `frames` pending stereo frames as one encoder frame.
void MediaWriter::Impl::sendSound(std::size_t frames) {
    check(av_frame_make_writable(soundFrame), "sound buffer");
    soundFrame->nb_samples = static_cast<int>(frames);
    const std::uint8_t* in[1] = {reinterpret_cast<const std::uint8_t*>(soundPending.data())};
    const int converted = swr_convert(resampler, soundFrame->data, static_cast<int>(frames), in, static_cast<int>(frames));
    check(converted, "sound conversion");
    soundFrame->pts = soundSent;
    soundSent += static_cast<std::int64_t>(frames);
    encode(sound, soundStream, soundFrame);
    soundPending.erase(soundPending.begin(), soundPending.begin() + static_cast<std::ptrdiff_t>(frames * 2));
}

MediaWriter::MediaWriter(const std::string& path, const MediaSettings& settings) : impl(std::make_unique<Impl>()) {
    Impl& m = *impl;
    m.settings = settings;
    m.path = path;
    m.name = settings.name.empty() ? path : settings.name;
    if (settings.kind == MediaKind::gif || settings.kind == MediaKind::webp) m.settings.audio = false;
    const char* const formatNames[] = {"mp4", "matroska", "gif", "webp"};
    const char* formatName = formatNames[static_cast<int>(settings.kind)];
    check(avformat_alloc_output_context2(&m.format, nullptr, formatName, path.c_str()), "no muxer");
    m.packet = av_packet_alloc();
    if (m.packet == nullptr) throw std::runtime_error("out of memory");
    m.openVideo();
    if (m.settings.audio) m.openSound();
    check(avio_open(&m.format->pb, path.c_str(), AVIO_FLAG_WRITE), "cannot create " + m.name);
    AVDictionary* options = nullptr;
    // The index at the front, so a browser can start playing before the whole
    // file has arrived.
    if (settings.kind == MediaKind::mp4) av_dict_set(&options, "movflags", "+faststart", 0);
    // An animated picture plays in a loop.
    if (settings.kind == MediaKind::webp) av_dict_set(&options, "loop", "0", 0);
    const int written = avformat_write_header(m.format, &options);
    av_dict_free(&options);
    check(written, "cannot write " + m.name);
    m.headerWritten = true;
}

MediaWriter::~MediaWriter() = default;

void MediaWriter::writePicture(const std::uint8_t* indexes) {
    Impl& m = *impl;
    check(av_frame_make_writable(m.picture), "picture buffer");
    const int width = m.settings.width;
    if (m.scaler != nullptr) {
        const std::uint8_t* source[4] = {indexes, reinterpret_cast<const std::uint8_t*>(m.palette), nullptr, nullptr};
        const int strides[4] = {width, 0, 0, 0};
        sws_scale(m.scaler, source, strides, 0, m.settings.height, m.picture->data, m.picture->linesize);
        m.picture->pts = m.picturesSent;
    } else if (m.settings.kind == MediaKind::webp) {
        for (int y = 0; y < m.settings.height; ++y) {
            auto* out = reinterpret_cast<std::uint32_t*>(m.picture->data[0] + std::ptrdiff_t(y) * m.picture->linesize[0]);
            const std::uint8_t* in = indexes + std::ptrdiff_t(y) * width;
            for (int x = 0; x < width; ++x) out[x] = m.palette[in[x] & 15];
        }
        m.picture->pts = m.picturesSent * 1000 / m.settings.fps;
    } else {
        for (int y = 0; y < m.settings.height; ++y)
            std::memcpy(m.picture->data[0] + std::ptrdiff_t(y) * m.picture->linesize[0], indexes + std::ptrdiff_t(y) * width,
                        std::size_t(width));
        std::memcpy(m.picture->data[1], m.palette, sizeof m.palette);
        m.picture->pts = m.picturesSent * (100 / m.settings.fps);
    }
    ++m.picturesSent;
    m.encode(m.video, m.videoStream, m.picture);
}

void MediaWriter::writeSound(const float* interleaved, std::size_t frames) {
    Impl& m = *impl;
    if (!m.settings.audio) return;
    m.soundPending.insert(m.soundPending.end(), interleaved, interleaved + frames * 2);
    const std::size_t frameSize = static_cast<std::size_t>(m.sound->frame_size);
    while (m.soundPending.size() >= frameSize * 2) m.sendSound(frameSize);
}

void MediaWriter::finish() {
    Impl& m = *impl;
    if (m.finished) return;
    m.finished = true;
    if (m.sound != nullptr) {
        if (!m.soundPending.empty()) m.sendSound(m.soundPending.size() / 2);
        m.encode(m.sound, m.soundStream, nullptr);
    }
    m.encode(m.video, m.videoStream, nullptr);
    check(av_write_trailer(m.format), "cannot finish " + m.name);
    check(avio_closep(&m.format->pb), "cannot write " + m.name);
}
