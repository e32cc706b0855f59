// The bundled song's instruments, each played alone through the player:
// melodic ones sound at the pitch of the note across the range the song
// uses, drums die away on their own, held voices hold until released.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <memory>
#include <utility>
#include <sstream>
#include <string>
#include <vector>

#include <libopenmpt/libopenmpt_ext.hpp>

namespace {

const std::string songPath = COMPOFILLER_BUILD_DIR "/QUILLOW3.oxm";
constexpr int rate = 44100;

// Zero-based instrument numbers, as the player counts them.
enum { bass = 0, pad = 1, lead = 2, snare = 3, clap = 4, closedHat = 5, pluck = 6, stab = 7, openHat = 8,
       crash = 9, riser = 10, shaker = 11, ticks = 12, bell = 13, kick = 22, boom = 29 };

std::vector<char> songBytes() {
    std::ifstream in(songPath, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Plays one note of one instrument with the song's own patterns muted and
// returns `seconds` of the left channel. `release` > 0 sends a key-off after
// that many seconds.
std::vector<float> playAlone(int instrument, int note, double seconds, double release = 0.0) {
    static const std::vector<char> bytes = songBytes();
    std::ostringstream log;
    openmpt::module_ext song(bytes.data(), bytes.size(), log);
    auto* live = static_cast<openmpt::ext::interactive*>(song.get_interface(openmpt::ext::interactive_id));
    auto* live2 = static_cast<openmpt::ext::interactive2*>(song.get_interface(openmpt::ext::interactive2_id));
    for (std::int32_t c = 0; c < song.get_num_channels(); ++c) live->set_channel_mute_status(c, true);
    const std::int32_t channel = live->play_note(instrument, note, 1.0, 0.0);
    std::vector<float> left(std::size_t(seconds * rate)), right(left.size());
    std::size_t done = 0;
    if (release > 0.0) {
        done = song.read(rate, std::size_t(release * rate), left.data(), right.data());
        live2->note_off(channel);
    }
    song.read(rate, left.size() - done, left.data() + done, right.data() + done);
    return left;
}

// The fundamental in Hz of the stretch starting at `from`, by normalised
// autocorrelation: the shortest lag whose correlation comes within 10% of the
// best one between expected / 2.5 and expected * 2.5 (so octave errors show).
double pitchOf(const std::vector<float>& x, std::size_t from, double expected) {
    const int window = 4096;
    const int shortest = int(rate / (expected * 2.5)), longest = int(rate / (expected / 2.5)) + 1;
    std::vector<double> c(std::size_t(longest + 2), 0.0);
    double best = 0.0;
    for (int lag = shortest - 1; lag <= longest + 1; ++lag) {
        double s = 0.0, e1 = 0.0, e2 = 0.0;
        for (int i = 0; i < window; ++i) {
            const double a = x[from + std::size_t(i)], b = x[from + std::size_t(i + lag)];
            s += a * b;
            e1 += a * a;
            e2 += b * b;
        }
        c[std::size_t(lag)] = s / std::sqrt(e1 * e2 + 1e-30);
        if (lag >= shortest && lag <= longest) best = std::max(best, c[std::size_t(lag)]);
    }
    for (int lag = shortest; lag <= longest; ++lag) {
        const double l = c[std::size_t(lag - 1)], m = c[std::size_t(lag)], r = c[std::size_t(lag + 1)];
        if (m >= 0.9 * best && m >= l && m >= r) {
            const double offset = 0.5 * (l - r) / (l - 2.0 * m + r);  // between frames
            return rate / (lag + offset);
        }
    }
    return 0.0;
}

double cents(double f, int note) { return 1200.0 * std::log2(f / (440.0 * std::pow(2.0, (note - 69) / 12.0))); }

double rms(const std::vector<float>& x, double from, double to) {
    double sum = 0.0;
    const std::size_t a = std::size_t(from * rate), b = std::size_t(to * rate);
    for (std::size_t i = a; i < b; ++i) sum += double(x[i]) * x[i];
    return std::sqrt(sum / double(b - a));
}

struct Range {
    int instrument;
    std::vector<int> notes;  // MIDI numbers, 60 = middle C (XM C-4)
};

TEST(SongInstruments, MelodicVoicesPlayInTuneOverTheirRange) {
    // The player's FT2-style pitch arithmetic leaves every note a few cents
    // flat; a wrong sample root, relative note or key zone is 50 cents or more.
    const Range ranges[] = {{bass, {28, 33, 40, 45}},
                            {pad, {55, 57, 60, 65}},
                            {lead, {67, 69, 74, 75, 81, 88, 93}},
                            {pluck, {55, 62, 64, 69, 76, 81, 88, 100}}};
    for (const Range& r : ranges) {
        for (int note : r.notes) {
            const std::vector<float> sound = playAlone(r.instrument, note, 0.4);
            const double f = pitchOf(sound, std::size_t(0.12 * rate), 440.0 * std::pow(2.0, (note - 69) / 12.0));
            EXPECT_NEAR(cents(f, note), 0.0, 8.0) << "instrument " << r.instrument << " note " << note << ": " << f << " Hz";
        }
    }
}

TEST(SongInstruments, DrumsDieAwayOnTheirOwn) {
    // Drums at C-4, where they play at their own rate; pitched one-shots at
    // their usual notes.
    const std::pair<int, int> shots[] = {{snare, 60}, {clap, 60},  {closedHat, 60}, {openHat, 60},
                                         {shaker, 60}, {ticks, 60}, {kick, 60},      {boom, 60},
                                         {crash, 60}, {stab, 57},  {bell, 81},      {pluck, 69}};
    for (const auto& [instrument, note] : shots) {
        const std::vector<float> sound = playAlone(instrument, note, 3.0);
        const double onset = rms(sound, 0.0, 0.1);
        EXPECT_GT(onset, 0.01) << "instrument " << instrument;
        EXPECT_LT(rms(sound, 2.5, 3.0), onset * 1e-3) << "instrument " << instrument;
    }
}

TEST(SongInstruments, HeldVoicesSustainUntilReleased) {
    for (int voice : {bass, pad, lead, riser}) {
        const std::vector<float> held = playAlone(voice, 57, 3.0);
        const double early = rms(held, 0.4, 0.8);
        EXPECT_GT(early, 0.01) << "instrument " << voice;
        EXPECT_GT(rms(held, 2.5, 3.0), early * 0.5) << "instrument " << voice;
        const std::vector<float> released = playAlone(voice, 57, 3.0, 1.0);
        EXPECT_LT(rms(released, 2.5, 3.0), early * 1e-3) << "instrument " << voice;
    }
}

}  // namespace
