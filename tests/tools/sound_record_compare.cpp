// Compares a raw recording of the sound server (16-bit stereo 44100 Hz, as
// parec writes it) with a WAV render of the same song, and prints where the
// song starts in the recording and every dropout.
//
//   sound_record_compare RECORDING.raw REFERENCE.wav
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "tests/support/recording_compare.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: sound_record_compare RECORDING.raw REFERENCE.wav\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::int16_t> recorded(bytes.size() / 4 * 2);
    for (std::size_t i = 0; i < recorded.size(); ++i) {
        recorded[i] = static_cast<std::int16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                                (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    }
    const std::vector<std::int16_t> reference = recording::readWav16(argv[2]);
    if (reference.empty()) {
        std::fprintf(stderr, "cannot read %s\n", argv[2]);
        return 1;
    }
    const recording::Comparison c = recording::compare(recorded, reference);
    if (!c.aligned) {
        std::printf("song not found in the recording\n");
        return 1;
    }
    std::printf("lag %lld frames\ncompared %.1f s of %.1f s\ndropouts %zu\n", static_cast<long long>(c.lag),
                c.comparedFrames / 44100.0, reference.size() / 2 / 44100.0, c.dropouts.size());
    for (const recording::Dropout& d : c.dropouts) {
        std::printf("  at %.3f s of the song, song moved by %+.1f ms\n", d.referenceFrame / 44100.0,
                    d.skippedFrames * 1000.0 / 44100.0);
    }
    return 0;
}
