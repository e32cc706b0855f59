#include "tools/songgen/instruments.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "tools/songgen/synth.h"

namespace songgen {
namespace {

// Semitones that lift XM's base rate (8363 Hz at C-4) to our 44100 Hz. (The
// player's FT2-style pitch arithmetic works in sixteenths of a semitone, so
// every note ends up the same 3.4 cents flat: in tune with each other.)
constexpr double rateSemitones = 28.78423425241857;

// Scales every instrument: keeps the equalised mix below -1 dBFS.
constexpr double mixHeadroom = 0.75;

int frames(double seconds) { return static_cast<int>(seconds * rate + 0.5); }

// Tunes a sample recorded at 44100 Hz whose pitch is MIDI note `root` so that
// every XM note plays at its MIDI pitch (XM C-4, note 49, is MIDI 60).
// Unpitched sounds use root 60: played at C-4 they run at their own rate.
void tune(xm::Sample& s, double root) {
    const double total = rateSemitones + 60.0 - root;
    const int whole = static_cast<int>(std::floor(total + 0.5));
    s.relativeNote = static_cast<std::int8_t>(whole);
    s.finetune = static_cast<std::int8_t>(std::clamp(static_cast<int>(std::lround((total - whole) * 128.0)), -128, 127));
}

// The patterns give every note its volume, so an instrument's loudness in
// the mix is set here, by the level of its sample data (1 = full scale).
xm::Sample sample(const std::string& name, const Signal& signal, double root, double level,
                  std::uint8_t panning = 128) {
    xm::Sample s;
    s.name = name;
    s.data = toPcm(signal, 0.98 * level * mixHeadroom);
    s.volume = 64;
    s.panning = panning;
    tune(s, root);
    return s;
}

void loopAll(xm::Sample& s) {
    s.loop = xm::Loop::forward;
    s.loopStart = 0;
    s.loopLength = static_cast<std::uint32_t>(s.data.size());
}

xm::Instrument single(const std::string& name, xm::Sample s) {
    xm::Instrument ins;
    ins.name = name;
    ins.samples.push_back(std::move(s));
    return ins;
}

// Several samples rooted at the given MIDI notes; each XM note plays the
// sample whose root is nearest, so no sample is pitched far from its root.
xm::Instrument zoned(const std::string& name, std::vector<xm::Sample> samples, const std::vector<double>& roots) {
    xm::Instrument ins;
    ins.name = name;
    ins.samples = std::move(samples);
    for (int n = 0; n < 96; ++n) {
        const double midi = n + 1 + 11;
        std::size_t best = 0;
        for (std::size_t i = 1; i < roots.size(); ++i) {
            if (std::abs(roots[i] - midi) < std::abs(roots[best] - midi)) best = i;
        }
        ins.sampleForNote[static_cast<std::size_t>(n)] = static_cast<std::uint8_t>(best);
    }
    return ins;
}

// Short linear fades at both ends keep one-shots free of clicks.
void fadeEnds(Signal& s, double inSeconds, double outSeconds) {
    const int in = frames(inSeconds), out = frames(outSeconds);
    const int n = static_cast<int>(s.size());
    for (int i = 0; i < in && i < n; ++i) s[static_cast<std::size_t>(i)] *= static_cast<double>(i) / in;
    for (int i = 0; i < out && i < n; ++i) s[static_cast<std::size_t>(n - 1 - i)] *= static_cast<double>(i) / out;
}

// A filter sweep for additive voices: per frame, the cutoff of a resonant
// two-pole low-pass and an amplitude.
struct Sweep {
    Signal cutoff;
    Signal amp;
    double q = 1.0;
};

double resonantLowpass(double freq, double cutoff, double q);

// Additive synthesis through a time-varying filter: every partial is weighted
// frame by frame by the sweep's low-pass response at its frequency.
Signal renderSwept(const std::vector<Partial>& partials, const Sweep& sweep) {
    const int count = static_cast<int>(sweep.cutoff.size());
    Signal out(static_cast<std::size_t>(count), 0.0);
    for (const Partial& p : partials) {
        const double step = p.freq / rate;
        const double stepCos = cosine(step), stepSin = sine(step);
        for (int start = 0; start < count; start += 1024) {
            double c = cosine(p.phase + step * start), s = sine(p.phase + step * start);
            const int end = std::min(count, start + 1024);
            for (int i = start; i < end; ++i) {
                const auto f = static_cast<std::size_t>(i);
                out[f] += p.amp * sweep.amp[f] * resonantLowpass(p.freq, sweep.cutoff[f], sweep.q) * s;
                const double nc = c * stepCos - s * stepSin;
                s = s * stepCos + c * stepSin;
                c = nc;
            }
        }
    }
    return out;
}

// A sweep whose cutoff falls exponentially from base + range to base, with
// an exponentially decaying amplitude (decay 0: steady).
Sweep fallingSweep(int count, double base, double range, double fallTime, double decay, double q) {
    Sweep sw;
    sw.q = q;
    sw.cutoff.resize(static_cast<std::size_t>(count));
    sw.amp.resize(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / rate;
        sw.cutoff[static_cast<std::size_t>(i)] = base + range * expo(-t / fallTime);
        sw.amp[static_cast<std::size_t>(i)] = decay > 0.0 ? expo(-t / decay) : 1.0;
    }
    return sw;
}

// Magnitude of a two-pole low-pass with resonance q at freq.
double resonantLowpass(double freq, double cutoff, double q) {
    const double r = freq / cutoff;
    const double a = 1.0 - r * r, b = r / q;
    return 1.0 / std::sqrt(a * a + b * b);
}

double flat(double) { return 1.0; }

// ---- drums ----------------------------------------------------------------

// A sine whose pitch falls from a click to a low body; `drive` adds grit.
Signal kickDrum(double seconds, double base, double sweep, double sweepTime, double decay, double drive,
                std::uint64_t seed) {
    const int n = frames(seconds);
    Signal s(static_cast<std::size_t>(n));
    Random noise(seed);
    Filter click;
    click.set(4000.0, 0.7);
    double phase = 0.0;
    for (int i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double f = base + sweep * expo(-t / sweepTime) + 350.0 * expo(-t / 0.004);
        phase += f / rate;
        click.run(noise.bipolar());
        const double body = sine(phase) * expo(-t / decay);
        s[static_cast<std::size_t>(i)] = saturate(drive * body) / saturate(drive) + 0.25 * click.low * expo(-t / 0.002);
    }
    fadeEnds(s, 0.0, 0.02);
    return s;
}

Signal snareDrum() {
    const int n = frames(0.34);
    Signal s(static_cast<std::size_t>(n));
    Random noise(4);
    Filter hp, lp;
    hp.set(1400.0, 0.7);
    lp.set(9000.0, 0.7);
    double p1 = 0.0, p2 = 0.0;
    for (int i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / rate;
        p1 += (180.0 + 60.0 * expo(-t / 0.01)) / rate;
        p2 += (330.0 + 80.0 * expo(-t / 0.01)) / rate;
        const double tone = 0.55 * sine(p1) * expo(-t / 0.05) + 0.3 * sine(p2) * expo(-t / 0.03);
        hp.run(noise.bipolar());
        lp.run(hp.high);
        s[static_cast<std::size_t>(i)] = tone + 0.8 * lp.low * expo(-t / 0.1);
    }
    fadeEnds(s, 0.0005, 0.02);
    return s;
}

Signal handClap() {
    const int n = frames(0.42);
    Signal s(static_cast<std::size_t>(n));
    Random noise(5);
    Filter bp, hp;
    bp.set(1150.0, 1.4);
    hp.set(700.0, 0.7);
    for (int i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / rate;
        double env = 0.0;
        for (double at : {0.0, 0.011, 0.023}) {
            if (t >= at) env = std::max(env, expo(-(t - at) / 0.005));
        }
        if (t >= 0.034) env = std::max(env, 0.85 * expo(-(t - 0.034) / 0.12));
        hp.run(noise.bipolar());
        bp.run(hp.high);
        s[static_cast<std::size_t>(i)] = env * (bp.band + 0.15 * hp.high);
    }
    fadeEnds(s, 0.0005, 0.02);
    return s;
}

// Six detuned square waves and noise: the metallic source of hats and crash.
Signal metal(int n, double spread, std::uint64_t seed, double noiseMix) {
    static constexpr double ratios[6] = {205.3, 304.4, 369.6, 522.7, 540.0, 800.0};
    Signal s(static_cast<std::size_t>(n));
    Random noise(seed);
    for (int i = 0; i < n; ++i) {
        double v = 0.0;
        for (double r : ratios) v += sine(r * spread * i / rate) >= 0.0 ? 1.0 : -1.0;
        s[static_cast<std::size_t>(i)] = v / 6.0 + noiseMix * noise.bipolar();
    }
    return s;
}

Signal cymbal(double seconds, double decay, double highpass, double spread, std::uint64_t seed, double attack) {
    const int n = frames(seconds);
    Signal src = metal(n, spread, seed, 0.6);
    Filter hp1, hp2, bp;
    hp1.set(highpass, 0.7);
    hp2.set(highpass, 0.7);
    bp.set(highpass * 1.4, 0.9);
    Signal s(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / rate;
        hp1.run(src[static_cast<std::size_t>(i)]);
        hp2.run(hp1.high);
        bp.run(hp2.high);
        const double env = std::min(1.0, t / attack) * expo(-t / decay);
        s[static_cast<std::size_t>(i)] = env * (0.6 * hp2.high + 0.5 * bp.band);
    }
    fadeEnds(s, 0.0, std::min(0.05, seconds * 0.2));
    return s;
}

Signal shakerNoise(double seconds, double centre, double attack, double decay, std::uint64_t seed) {
    const int n = frames(seconds);
    Signal s(static_cast<std::size_t>(n));
    Random noise(seed);
    Filter bp, hp;
    bp.set(centre, 1.3);
    hp.set(centre * 0.6, 0.7);
    for (int i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / rate;
        hp.run(noise.bipolar());
        bp.run(hp.high);
        const double env = t < attack ? t / attack : expo(-(t - attack) / decay);
        s[static_cast<std::size_t>(i)] = env * bp.band;
    }
    fadeEnds(s, 0.0, 0.01);
    return s;
}

// A loop of low-passed noise; pitched up by portamento its colour sweeps up.
Signal riserNoise() {
    const int n = frames(0.5), fade = frames(0.05);
    Signal raw(static_cast<std::size_t>(n + fade));
    Random noise(11);
    Filter lp;
    lp.set(1500.0, 1.8);
    for (int i = 0; i < 2000; ++i) lp.run(noise.bipolar());  // settle the filter
    for (auto& v : raw) {
        lp.run(noise.bipolar());
        v = lp.low + 0.1 * lp.band;
    }
    // Cross-fade the part past the loop end into its start: seamless loop.
    Signal s(raw.begin(), raw.begin() + n);
    for (int i = 0; i < fade; ++i) {
        const double w = static_cast<double>(i) / fade;
        s[static_cast<std::size_t>(i)] = raw[static_cast<std::size_t>(i)] * w + raw[static_cast<std::size_t>(n + i)] * (1.0 - w);
    }
    return s;
}

// ---- pitched voices -------------------------------------------------------

// Bass at A1: a sawtooth plus sub sine through a resonant low-pass that
// closes over 0.15 s; after that the tone is steady and loops over 11 periods.
xm::Instrument bassInstrument() {
    const double f = 55.0;
    const int attack = frames(0.2), loop = 8820;  // 8820 frames = 11 periods
    std::vector<Partial> partials;
    addSaw(partials, f, 1.0, 4000.0, 0.0, false, flat);
    partials.push_back({f, 0.7, 0.0});
    const double attackEnd = 0.15;
    Sweep sweep;
    sweep.q = 1.6;
    for (int i = 0; i < attack + loop; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double x = t < attackEnd ? 1.0 - t / attackEnd : 0.0;
        sweep.cutoff.push_back(420.0 + 1900.0 * x * x * x);  // steady once the attack is over
        sweep.amp.push_back(1.0);
    }
    Signal s = renderSwept(partials, sweep);
    xm::Sample smp = sample("bass A1", s, 33, 1.0);
    smp.loop = xm::Loop::forward;
    smp.loopStart = static_cast<std::uint32_t>(attack);
    smp.loopLength = static_cast<std::uint32_t>(loop);
    xm::Instrument ins = single("bass", std::move(smp));
    ins.volumeEnvelope.points = {{0, 64}, {8, 50}, {11, 0}};
    ins.volumeEnvelope.sustainPoint = 1;
    return ins;
}

// Pad at A3: three saws 2 Hz apart, softly filtered. Every partial is a whole
// multiple of 2 Hz, so 0.5 s holds a whole number of cycles of all of them.
xm::Instrument padInstrument() {
    std::vector<Partial> partials;
    Random phases(2);
    for (double f : {218.0, 220.0, 222.0}) {
        addSaw(partials, f, 1.0, 7000.0, phases.unit(), false, [](double h) { return lowpassGain(h, 1500.0, 2); });
    }
    xm::Sample smp = sample("pad A3", renderPartials(partials, rate / 2), 57, 1.0);
    loopAll(smp);
    xm::Instrument ins = single("pad", std::move(smp));
    ins.volumeEnvelope.points = {{0, 0}, {14, 64}, {60, 0}};
    ins.volumeEnvelope.sustainPoint = 1;
    return ins;
}

// Lead: detuned saws and a square, looped like the pad, at A4 and A5.
xm::Instrument leadInstrument() {
    std::vector<xm::Sample> samples;
    for (double root : {69.0, 81.0}) {
        const double f = midiHz(root);  // 440 or 880: whole multiples of 2 Hz
        Random phases(static_cast<std::uint64_t>(root));
        std::vector<Partial> partials;
        const double top = 15000.0 / semitones(6.0);
        auto tilt = [](double h) { return resonantLowpass(h, 3800.0, 0.9); };
        for (double d : {-2.0, 0.0, 2.0}) addSaw(partials, f + d, 1.0, top, phases.unit(), false, tilt);
        addSaw(partials, f, 0.9, top, 0.0, true, tilt);
        xm::Sample smp = sample(root < 70 ? "lead A4" : "lead A5", renderPartials(partials, rate / 2), root, 1.0);
        loopAll(smp);
        samples.push_back(std::move(smp));
    }
    xm::Instrument ins = zoned("lead", std::move(samples), {69.0, 81.0});
    ins.volumeEnvelope.points = {{0, 0}, {1, 64}, {12, 46}, {22, 0}};
    ins.volumeEnvelope.sustainPoint = 2;
    return ins;
}

// A plucked saw/square whose filter snaps shut: arpeggios.
xm::Instrument pluckInstrument() {
    std::vector<xm::Sample> samples;
    const std::vector<double> roots{57.0, 69.0, 81.0};
    for (double root : roots) {
        const double f = midiHz(root);
        std::vector<Partial> partials;
        addSaw(partials, f, 1.0, 15000.0 / semitones(6.0), 0.0, false, flat);
        addSaw(partials, f, 0.5, 15000.0 / semitones(6.0), 0.25, true, flat);
        Signal s = renderSwept(partials, fallingSweep(frames(0.4), 700.0, 5200.0, 0.05, 0.16, 2.2));
        fadeEnds(s, 0.001, 0.03);
        samples.push_back(sample("pluck", s, root, 1.0, 104));
    }
    return zoned("pluck", std::move(samples), roots);
}

// Root, fifth and octave of detuned saws with a closing filter: chord stabs
// that fit major and minor chords alike.
xm::Instrument stabInstrument() {
    std::vector<xm::Sample> samples;
    const std::vector<double> roots{57.0, 69.0};
    for (double root : roots) {
        std::vector<Partial> partials;
        Random phases(static_cast<std::uint64_t>(root) + 100);
        for (double interval : {0.0, 7.0, 12.0}) {
            for (double detune : {-0.08, 0.08}) {
                addSaw(partials, midiHz(root + interval + detune), 1.0, 14000.0 / semitones(6.0), phases.unit(), false, flat);
            }
        }
        Signal s = renderSwept(partials, fallingSweep(frames(0.5), 900.0, 4500.0, 0.07, 0.17, 1.4));
        fadeEnds(s, 0.001, 0.04);
        samples.push_back(sample("stab", s, root, 1.0, 152));
    }
    return zoned("stab", std::move(samples), roots);
}

// A bell: inharmonic partials, the high ones dying first.
xm::Instrument bellInstrument() {
    const double f = midiHz(81.0);
    struct Mode {
        double ratio, amp, decay;
    };
    static constexpr Mode modes[] = {{1.0, 1.0, 1.1}, {2.0, 0.45, 0.7}, {3.0, 0.2, 0.45},
                                     {4.17, 0.3, 0.3}, {5.43, 0.18, 0.2}, {6.79, 0.1, 0.12}};
    const int n = frames(1.4);
    Signal s(static_cast<std::size_t>(n), 0.0);
    for (const Mode& m : modes) {
        for (int i = 0; i < n; ++i) {
            const double t = static_cast<double>(i) / rate;
            s[static_cast<std::size_t>(i)] += m.amp * expo(-t / m.decay) * sine(f * m.ratio * t);
        }
    }
    fadeEnds(s, 0.002, 0.05);
    return single("bell", sample("bell A5", s, 81, 1.0));
}

}  // namespace

std::vector<xm::Instrument> makeInstruments() {
    std::vector<xm::Instrument> all(instrumentCount);
    auto put = [&](Ins number, xm::Instrument ins) { all[number - 1] = std::move(ins); };

    put(kick, single("kick", sample("kick", kickDrum(0.45, 48.0, 110.0, 0.035, 0.26, 1.6, 23), 60, 1.0)));
    put(boom, single("boom kick", sample("boom", kickDrum(1.2, 40.0, 85.0, 0.06, 0.5, 2.2, 30), 60, 1.0)));
    put(snare, single("snare", sample("snare", snareDrum(), 60, 1.0)));
    put(clap, single("clap", sample("clap", handClap(), 60, 1.0)));
    put(closedHat, single("closed hat", sample("closed hat", cymbal(0.09, 0.02, 7000.0, 1.7, 6, 0.0005), 60, 1.0, 150)));
    put(openHat, single("open hat", sample("open hat", cymbal(0.45, 0.15, 6000.0, 1.7, 9, 0.001), 60, 1.0, 150)));
    put(shaker, single("shaker", sample("shaker", shakerNoise(0.12, 5500.0, 0.008, 0.035, 12), 60, 1.0, 100)));
    put(ticks, single("ticks", sample("ticks", shakerNoise(0.04, 9000.0, 0.0005, 0.008, 13), 60, 1.0, 170)));
    put(crash, single("crash", sample("crash", cymbal(1.8, 0.55, 3500.0, 2.3, 10, 0.002), 60, 1.0, 128)));
    xm::Sample riserSample = sample("noise loop", riserNoise(), 60, 1.0);
    loopAll(riserSample);
    xm::Instrument riserIns = single("riser", std::move(riserSample));
    riserIns.volumeEnvelope.points = {{0, 64}, {3, 0}};  // held until key-off, then gone
    riserIns.volumeEnvelope.sustainPoint = 0;
    put(riser, std::move(riserIns));

    put(bass, bassInstrument());
    put(pad, padInstrument());
    put(lead, leadInstrument());
    put(pluck, pluckInstrument());
    put(stab, stabInstrument());
    put(bell, bellInstrument());
    return all;
}

}  // namespace songgen
