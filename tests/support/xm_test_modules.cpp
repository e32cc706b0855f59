#include "tests/support/xm_test_modules.h"

#include <cmath>
#include <cstdlib>
#include <stdexcept>
#include <unistd.h>

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

}  // namespace testmodules
