#include "tests/support/xm_test_modules.h"

#include <cmath>
#include <cstdlib>
#include <stdexcept>
#include <unistd.h>
#include <vorbis/vorbisenc.h>

#include <cstring>

namespace testmodules {

xm::Instrument toneInstrument(const std::string& name) {
    xm::Instrument instrument;
    instrument.name = name;
    xm::Sample sample;
    sample.name = name;
    sample.data.resize(256);
    for (std::size_t i = 0; i < sample.data.size(); ++i) {
        sample.data[i] = static_cast<std::int16_t>(i < 128 ? 12000 : -12000);
    }
    sample.loop = xm::Loop::forward;
    sample.loopStart = 0;
    sample.loopLength = 256;
    instrument.samples.push_back(sample);
    return instrument;
}

xm::Module emptyModule(int channels, int instruments, int patterns, int rows, int speed, int tempo) {
    xm::Module module;
    module.name = "test";
    module.channels = channels;
    module.speed = static_cast<std::uint16_t>(speed);
    module.tempo = static_cast<std::uint16_t>(tempo);
    for (int i = 0; i < instruments; ++i) module.instruments.push_back(toneInstrument("inst" + std::to_string(i + 1)));
    for (int p = 0; p < patterns; ++p) {
        module.patterns.emplace_back(rows, channels);
        module.orders.push_back(static_cast<std::uint8_t>(p));
    }
    return module;
}

void put(xm::Module& module, int pattern, int row, int channel, int note, int instrument, int effect, int param,
         int volume) {
    xm::Cell& cell = module.patterns.at(static_cast<std::size_t>(pattern)).at(row, channel);
    cell.note = static_cast<std::uint8_t>(note);
    cell.instrument = static_cast<std::uint8_t>(instrument);
    cell.effect = static_cast<std::uint8_t>(effect);
    cell.param = static_cast<std::uint8_t>(param);
    cell.volume = static_cast<std::uint8_t>(volume);
}

std::vector<std::uint8_t> bytes(const xm::Module& module) { return xm::write(module); }

namespace {

std::uint32_t readLe(const std::vector<std::uint8_t>& b, std::size_t at, int size) {
    std::uint32_t v = 0;
    for (int i = size - 1; i >= 0; --i) v = (v << 8) | b.at(at + static_cast<std::size_t>(i));
    return v;
}

void writeLe32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.at(at + static_cast<std::size_t>(i)) = static_cast<std::uint8_t>(v >> (8 * i));
}

// A mono Ogg Vorbis stream of 16-bit samples.
std::vector<std::uint8_t> vorbisStream(const std::vector<std::int16_t>& pcm) {
    std::vector<std::uint8_t> out;
    vorbis_info info;
    vorbis_info_init(&info);
    if (vorbis_encode_init_vbr(&info, 1, 44100, 0.5f) != 0) throw std::runtime_error("vorbis encoder set-up failed");
    vorbis_comment comment;
    vorbis_comment_init(&comment);
    vorbis_dsp_state dsp;
    vorbis_analysis_init(&dsp, &info);
    vorbis_block block;
    vorbis_block_init(&dsp, &block);
    ogg_stream_state stream;
    ogg_stream_init(&stream, 1);
    ogg_page page;
    ogg_packet packet;
    auto takePage = [&] {
        out.insert(out.end(), page.header, page.header + page.header_len);
        out.insert(out.end(), page.body, page.body + page.body_len);
    };

    ogg_packet header, headerComment, headerCode;
    vorbis_analysis_headerout(&dsp, &comment, &header, &headerComment, &headerCode);
    ogg_stream_packetin(&stream, &header);
    ogg_stream_packetin(&stream, &headerComment);
    ogg_stream_packetin(&stream, &headerCode);
    while (ogg_stream_flush(&stream, &page) != 0) takePage();

    float** buffer = vorbis_analysis_buffer(&dsp, static_cast<int>(pcm.size()));
    for (std::size_t i = 0; i < pcm.size(); ++i) buffer[0][i] = static_cast<float>(pcm[i]) / 32768.0f;
    vorbis_analysis_wrote(&dsp, static_cast<int>(pcm.size()));
    vorbis_analysis_wrote(&dsp, 0);
    bool done = false;
    while (!done && vorbis_analysis_blockout(&dsp, &block) == 1) {
        vorbis_analysis(&block, nullptr);
        vorbis_bitrate_addblock(&block);
        while (vorbis_bitrate_flushpacket(&dsp, &packet) != 0) {
            ogg_stream_packetin(&stream, &packet);
            while (ogg_stream_pageout(&stream, &page) != 0) {
                takePage();
                if (ogg_page_eos(&page)) done = true;
            }
        }
    }
    while (ogg_stream_flush(&stream, &page) != 0) takePage();
    ogg_stream_clear(&stream);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    return out;
}

}  // namespace

std::vector<std::uint8_t> oxmBytes(const xm::Module& module) {
    const std::vector<std::uint8_t> in = xm::write(module);
    // Header, then patterns (each: header length, packing, rows, packed size).
    std::size_t at = 60 + readLe(in, 60, 4);
    const std::uint32_t patterns = readLe(in, 70, 2);
    for (std::uint32_t p = 0; p < patterns; ++p) at += readLe(in, at, 4) + readLe(in, at + 7, 2);
    std::vector<std::uint8_t> out(in.begin(), in.begin() + static_cast<std::ptrdiff_t>(at));

    for (const xm::Instrument& instrument : module.instruments) {
        const std::size_t headerSize = readLe(in, at, 4);
        const std::uint32_t samples = readLe(in, at + 27, 2);
        const std::size_t headersStart = out.size();
        out.insert(out.end(), in.begin() + static_cast<std::ptrdiff_t>(at),
                   in.begin() + static_cast<std::ptrdiff_t>(at + headerSize + samples * 40));
        std::size_t dataAt = at + headerSize + samples * 40;
        for (std::uint32_t s = 0; s < samples; ++s) {
            const std::size_t sampleHeader = headersStart + headerSize + s * 40;
            const std::uint32_t originalSize = readLe(out, sampleHeader, 4);
            std::vector<std::uint8_t> ogg = vorbisStream(instrument.samples.at(s).data);
            std::vector<std::uint8_t> chunk(4);
            writeLe32(chunk, 0, originalSize);
            chunk.insert(chunk.end(), ogg.begin(), ogg.end());
            writeLe32(out, sampleHeader, static_cast<std::uint32_t>(chunk.size()));
            out.insert(out.end(), chunk.begin(), chunk.end());
            dataAt += originalSize;
        }
        at = dataAt;
    }
    return out;
}

std::string makeTempFolder(const std::string& prefix) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/" + prefix + "-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("cannot make a temporary folder");
    return std::string(buffer.data());
}

std::string writeModule(const xm::Module& module, const std::string& folder, const std::string& name) {
    std::string path = folder + "/" + name;
    if (!xm::writeFile(module, path)) throw std::runtime_error("cannot write " + path);
    return path;
}

// Twelve orders of about 0.96 s (8 rows at speed 6), so that orders 2, 4 and
// 6 (the ones with captions) each last long enough to be seen; two voices
// whose melodies repeat every 61 and 13 rows, so no stretch of the song
// sounds like another.
xm::Module captionOrdersSong() {
    xm::Module module = emptyModule(2, 2, 12, 8, 6, 125);
    for (int p = 0; p < 12; ++p) {
        for (int r = 0; r < 8; ++r) {
            const int row = p * 8 + r;
            put(module, p, r, 0, 25 + (row * 37) % 61, 1);
            put(module, p, r, 1, 49 + row % 13, 2);
        }
    }
    return module;
}

}  // namespace testmodules
