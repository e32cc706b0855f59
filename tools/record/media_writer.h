#pragma once
// Encodes the recorder's pictures and sound into a file with FFmpeg's
// libraries: H.264 (yuv420p) with AAC in MP4 or Matroska, a GIF of palette
// pictures, or a lossless animated WebP. Pictures come as text-mode palette indexes; sound as interleaved
// float stereo at 44100 Hz.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

enum class MediaKind { mp4, mkv, gif, webp };

struct MediaSettings {
    MediaKind kind = MediaKind::mp4;
    int width = 0;
    int height = 0;
    int fps = 60;
    bool audio = true;  // ignored for gif and webp
    // x264's speed preset for mp4 and mkv.
    std::string preset = "superfast";
    // The name errors give for the file.
    std::string name;
};

class MediaWriter {
public:
    // Creates `path` and writes the header; throws std::runtime_error with a
    // one-line reason.
    MediaWriter(const std::string& path, const MediaSettings& settings);
    ~MediaWriter();
    MediaWriter(const MediaWriter&) = delete;
    MediaWriter& operator=(const MediaWriter&) = delete;

    // The next picture: width x height palette indexes (0 to 15), row by row.
    void writePicture(const std::uint8_t* indexes);
    // More sound, `frames` stereo frames.
    void writeSound(const float* interleaved, std::size_t frames);
    // Drains the encoders and writes the trailer; throws on failure.
    void finish();

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};
