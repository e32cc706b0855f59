#include "tools/xm/xm_writer.h"

#include <algorithm>
#include <fstream>

namespace xm {
namespace {

class Bytes {
public:
    void u8(unsigned v) { out_.push_back(static_cast<std::uint8_t>(v)); }
    void u16(unsigned v) {
        u8(v & 0xFF);
        u8((v >> 8) & 0xFF);
    }
    void u32(std::uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    }
    // A fixed-size text field, cut or padded with zeros.
    void text(const std::string& s, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i) u8(i < s.size() ? static_cast<unsigned char>(s[i]) : 0);
    }
    void append(const std::vector<std::uint8_t>& more) { out_.insert(out_.end(), more.begin(), more.end()); }
    std::size_t size() const { return out_.size(); }
    std::vector<std::uint8_t>& data() { return out_; }

private:
    std::vector<std::uint8_t> out_;
};

// Packed pattern data: every cell starts with a byte whose top bit is set and
// whose low five bits say which of note, instrument, volume, effect and
// parameter follow.
std::vector<std::uint8_t> packPattern(const Pattern& pattern) {
    Bytes b;
    for (const Cell& c : pattern.cells) {
        unsigned mask = 0;
        if (c.note) mask |= 1;
        if (c.instrument) mask |= 2;
        if (c.volume) mask |= 4;
        if (c.effect) mask |= 8;
        if (c.param) mask |= 16;
        b.u8(0x80 | mask);
        if (c.note) b.u8(c.note);
        if (c.instrument) b.u8(c.instrument);
        if (c.volume) b.u8(c.volume);
        if (c.effect) b.u8(c.effect);
        if (c.param) b.u8(c.param);
    }
    return std::move(b.data());
}

void envelope(Bytes& b, const Envelope& e) {
    for (std::size_t i = 0; i < 12; ++i) {
        if (i < e.points.size()) {
            b.u16(e.points[i].first);
            b.u16(e.points[i].second);
        } else {
            b.u32(0);
        }
    }
}

unsigned envelopeFlags(const Envelope& e) {
    if (e.points.empty()) return 0;
    unsigned flags = 1;
    if (e.sustainPoint >= 0) flags |= 2;
    if (e.loopStart >= 0 && e.loopEnd >= 0) flags |= 4;
    return flags;
}

void instrument(Bytes& b, const Instrument& ins) {
    const std::size_t headerSize = ins.samples.empty() ? 29 : 263;
    b.u32(static_cast<std::uint32_t>(headerSize));
    b.text(ins.name, 22);
    b.u8(0);
    b.u16(static_cast<unsigned>(ins.samples.size()));
    if (ins.samples.empty()) return;

    b.u32(40);
    for (std::uint8_t s : ins.sampleForNote) b.u8(s);
    envelope(b, ins.volumeEnvelope);
    envelope(b, ins.panningEnvelope);
    b.u8(static_cast<unsigned>(std::min<std::size_t>(ins.volumeEnvelope.points.size(), 12)));
    b.u8(static_cast<unsigned>(std::min<std::size_t>(ins.panningEnvelope.points.size(), 12)));
    for (const Envelope* e : {&ins.volumeEnvelope, &ins.panningEnvelope}) {
        b.u8(static_cast<unsigned>(std::max(e->sustainPoint, 0)));
        b.u8(static_cast<unsigned>(std::max(e->loopStart, 0)));
        b.u8(static_cast<unsigned>(std::max(e->loopEnd, 0)));
    }
    b.u8(envelopeFlags(ins.volumeEnvelope));
    b.u8(envelopeFlags(ins.panningEnvelope));
    b.u8(0);  // vibrato type, sweep, depth, rate
    b.u8(0);
    b.u8(0);
    b.u8(0);
    b.u16(ins.fadeout);
    for (int i = 0; i < 22; ++i) b.u8(0);

    for (const Sample& s : ins.samples) {
        const std::uint32_t frames = static_cast<std::uint32_t>(s.data.size());
        b.u32(frames * 2);
        b.u32(s.loopStart * 2);
        b.u32(s.loopLength * 2);
        b.u8(s.volume);
        b.u8(static_cast<std::uint8_t>(s.finetune));
        b.u8(static_cast<unsigned>(s.loop) | 0x10);  // 16-bit data
        b.u8(s.panning);
        b.u8(static_cast<std::uint8_t>(s.relativeNote));
        b.u8(0);
        b.text(s.name, 22);
    }
    // Sample data is stored as differences between neighbouring frames.
    for (const Sample& s : ins.samples) {
        std::int16_t previous = 0;
        for (std::int16_t v : s.data) {
            b.u16(static_cast<std::uint16_t>(static_cast<std::uint16_t>(v) - static_cast<std::uint16_t>(previous)));
            previous = v;
        }
    }
}

}  // namespace

std::vector<std::uint8_t> write(const Module& module) {
    Bytes b;
    b.text("Extended Module: ", 17);
    b.text(module.name, 20);
    b.u8(0x1A);
    b.text(module.tracker, 20);
    b.u16(0x0104);
    b.u32(276);
    b.u16(static_cast<unsigned>(module.orders.size()));
    b.u16(module.restartPosition);
    b.u16(static_cast<unsigned>(module.channels));
    b.u16(static_cast<unsigned>(module.patterns.size()));
    b.u16(static_cast<unsigned>(module.instruments.size()));
    b.u16(module.linearFrequencies ? 1 : 0);
    b.u16(module.speed);
    b.u16(module.tempo);
    for (std::size_t i = 0; i < 256; ++i) b.u8(i < module.orders.size() ? module.orders[i] : 0);

    for (const Pattern& p : module.patterns) {
        const std::vector<std::uint8_t> packed = packPattern(p);
        b.u32(9);
        b.u8(0);
        b.u16(static_cast<unsigned>(p.rows));
        b.u16(static_cast<unsigned>(packed.size()));
        b.append(packed);
    }
    for (const Instrument& ins : module.instruments) instrument(b, ins);
    return std::move(b.data());
}

bool writeFile(const Module& module, const std::string& path) {
    const std::vector<std::uint8_t> bytes = write(module);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

}  // namespace xm
