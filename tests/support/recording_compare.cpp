#include "tests/support/recording_compare.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>

namespace recording {

namespace {

using Pcm = std::vector<std::int16_t>;

constexpr int loud = 300;                 // a sample clearly above silence
constexpr std::int64_t resyncReach = 8192; // frames a dropout may move the song by
constexpr std::int64_t matchSpan = 1024;   // frames that must agree to call it found

std::int64_t frameCount(const Pcm& pcm) { return static_cast<std::int64_t>(pcm.size() / 2); }

bool sameFrame(const Pcm& a, std::int64_t i, const Pcm& b, std::int64_t j, int tolerance) {
    return std::abs(a[2 * i] - b[2 * j]) <= tolerance && std::abs(a[2 * i + 1] - b[2 * j + 1]) <= tolerance;
}

std::int64_t firstLoud(const Pcm& pcm) {
    for (std::size_t i = 0; i < pcm.size(); ++i) {
        if (std::abs(pcm[i]) > loud) return static_cast<std::int64_t>(i / 2);
    }
    return -1;
}

// Does the recording follow the reference at `lag` over [from, from + span)?
bool matches(const Pcm& rec, const Pcm& ref, std::int64_t from, std::int64_t lag, int tolerance) {
    const std::int64_t end = std::min(from + matchSpan, std::min(frameCount(ref), frameCount(rec) - lag));
    if (end - from < matchSpan / 2 || from + lag < 0) return false;
    bool anyLoud = false;
    for (std::int64_t i = from; i < end; ++i) {
        if (!sameFrame(ref, i, rec, i + lag, tolerance)) return false;
        anyLoud = anyLoud || std::abs(ref[2 * i]) > loud;
    }
    return anyLoud;  // silence matches every lag
}

}  // namespace

Comparison compare(const Pcm& rec, const Pcm& ref, int tolerance) {
    Comparison result;
    const std::int64_t refStart = firstLoud(ref);
    const std::int64_t recStart = firstLoud(rec);
    if (refStart < 0 || recStart < 0) return result;
    // The first loud sample may differ by a little: refine by the least
    // squared difference around it.
    std::int64_t lag = recStart - refStart;
    double best = std::numeric_limits<double>::max();
    std::int64_t bestLag = lag;
    for (std::int64_t candidate = lag - 64; candidate <= lag + 64; ++candidate) {
        double sum = 0;
        std::int64_t used = 0;
        for (std::int64_t i = refStart; i < refStart + 4096 && i < frameCount(ref); ++i) {
            const std::int64_t j = i + candidate;
            if (j < 0 || j >= frameCount(rec)) continue;
            const double d = double(ref[2 * i]) - rec[2 * j];
            sum += d * d;
            ++used;
        }
        if (used > 0 && sum < best) {
            best = sum;
            bestLag = candidate;
        }
    }
    lag = bestLag;
    result.aligned = true;
    result.lag = lag;

    std::int64_t i = std::max<std::int64_t>(0, -lag);
    const std::int64_t refEnd = frameCount(ref);
    while (i < refEnd && i + lag < frameCount(rec)) {
        ++result.comparedFrames;
        if (sameFrame(ref, i, rec, i + lag, tolerance)) {
            ++i;
            continue;
        }
        // Lost it: find the song again further on, at any lag within reach.
        Dropout dropout;
        dropout.referenceFrame = i;
        bool found = false;
        std::int64_t from = i;
        while (!found && from < refEnd && from + lag < frameCount(rec)) {
            for (std::int64_t d = 0; d <= resyncReach && !found; ++d) {
                for (const std::int64_t candidate : {lag + d, lag - d}) {
                    if (matches(rec, ref, from, candidate, tolerance)) {
                        dropout.skippedFrames = lag - candidate;
                        lag = candidate;
                        found = true;
                        break;
                    }
                }
            }
            if (!found) from += matchSpan;
        }
        result.badFrames += std::max<std::int64_t>(1, from - i);
        result.dropouts.push_back(dropout);
        i = std::max(from, i + 1);
    }
    return result;
}

Pcm toPcm16(const std::vector<float>& samples) {
    Pcm out(samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const float v = std::clamp(samples[i], -1.0f, 1.0f);
        out[i] = static_cast<std::int16_t>(std::lrint(v * 32767.0f));
    }
    return out;
}

Pcm readWav16(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0) return {};
    std::size_t at = 12;
    while (at + 8 <= bytes.size()) {
        std::uint32_t size = 0;
        std::memcpy(&size, bytes.data() + at + 4, 4);
        if (std::memcmp(bytes.data() + at, "data", 4) == 0) {
            const std::size_t n = std::min<std::size_t>(size, bytes.size() - at - 8) / 2;
            Pcm pcm(n);
            std::memcpy(pcm.data(), bytes.data() + at + 8, n * 2);
            return pcm;
        }
        at += 8 + size + (size & 1u);
    }
    return {};
}

std::pair<double, double> orderSpan(const sound::RenderResult& render, int order) {
    double begin = -1, end = -1;
    for (const sound::OrderStart& o : render.orderStarts) {
        if (o.order == order && begin < 0) begin = o.sample / double(sound::sampleRate);
        if (o.order == order + 1 && end < 0) end = o.sample / double(sound::sampleRate);
    }
    return {begin, end};
}

}  // namespace recording
