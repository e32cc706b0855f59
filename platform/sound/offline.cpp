#include "platform/sound/offline.h"

#include <libopenmpt/libopenmpt.hpp>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sys/stat.h>

#include "platform/sound/equaliser.h"
#include "platform/sound/song_stepper.h"
#include "platform/sound/song.h"

namespace sound {

namespace {

constexpr std::size_t blockFrames = 1024;

RenderResult render(const void* data, std::size_t size, const RenderOptions& options, FMUSIC_MODULE* song) {
    RenderResult result;
    std::string error;
    auto player = OfflineSong::open(data, size, error);
    if (!player) {
        result.error = error;
        return result;
    }
    result.loaded = true;
    result.facts = player->facts();
    const bool onePass = options.seconds <= 0.0;
    player->setRepeat(!onePass);
    if (options.demoEqualisers) {
        player->addEqualiser(demoEqHigh);
        player->addEqualiser(demoEqLow);
    }
    const std::int64_t planned = onePass
        ? static_cast<std::int64_t>(std::ceil(result.facts.durationSeconds * sampleRate))
        : static_cast<std::int64_t>(std::llround(options.seconds * sampleRate));
    if (options.keepAudio && planned > 0) result.audio.reserve(static_cast<std::size_t>(planned + blockFrames) * 2);

    std::vector<float> block(blockFrames * 2);
    std::vector<Trigger> triggers;
    std::vector<OrderStart> orderStarts;
    std::int64_t done = 0;
    std::int64_t lastReport = 0;
    if (options.progress) options.progress(0, planned);
    while (onePass || done < planned) {
        std::size_t want = blockFrames;
        if (!onePass) want = static_cast<std::size_t>(std::min<std::int64_t>(want, planned - done));
        std::size_t got = player->render(block.data(), want);
        player->takeEvents(triggers, orderStarts);
        for (const Trigger& t : triggers) {
            if (options.onTrigger) options.onTrigger(t);
            if (song != nullptr) {
                if (FMUSIC_CALLBACK cb = song->callbackFor(t.instrument)) cb(song, static_cast<unsigned char>(t.instrument));
            }
        }
        result.triggers.insert(result.triggers.end(), triggers.begin(), triggers.end());
        result.orderStarts.insert(result.orderStarts.end(), orderStarts.begin(), orderStarts.end());
        if (options.keepAudio) result.audio.insert(result.audio.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(got * 2));
        done += static_cast<std::int64_t>(got);
        if (options.progress && done - lastReport >= sampleRate) {
            options.progress(done, planned);
            lastReport = done;
        }
        if (got < want) break;
    }
    if (options.progress) options.progress(done, planned);
    result.frames = done;
    return result;
}

}  // namespace

bool readModuleFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        error = std::string("cannot open: ") + std::strerror(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        error = "not a regular file";
        return false;
    }
    // Modules are megabytes at most; a huge file is not read into memory.
    constexpr off_t largest = off_t{256} * 1024 * 1024;
    if (info.st_size > largest) {
        error = "file too large for a module";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = std::string("cannot read: ") + std::strerror(errno);
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        error = "cannot read the whole file";
        return false;
    }
    if (bytes.empty()) {
        error = "empty file";
        return false;
    }
    return true;
}

RenderResult renderFile(const std::string& path, const RenderOptions& options) {
    std::vector<std::uint8_t> bytes;
    std::string error;
    if (!readModuleFile(path, bytes, error)) {
        RenderResult result;
        result.error = error;
        return result;
    }
    return render(bytes.data(), bytes.size(), options, nullptr);
}

RenderResult renderData(const void* data, std::size_t size, const RenderOptions& options) {
    return render(data, size, options, nullptr);
}

RenderResult renderLoadedSong(FMUSIC_MODULE* song, const RenderOptions& options) {
    if (song == nullptr) {
        RenderResult result;
        result.error = "no song";
        return result;
    }
    return render(song->bytes.data(), song->bytes.size(), options, song);
}

RenderResult inspectFile(const std::string& path) {
    RenderResult result;
    std::vector<std::uint8_t> bytes;
    if (!readModuleFile(path, bytes, result.error)) return result;
    auto module = loadModule(bytes.data(), bytes.size(), result.error);
    if (!module) return result;
    result.loaded = true;
    result.facts = factsOf(*module, bytes.data(), bytes.size());
    return result;
}

struct OfflineSong::Impl final : EventSink {
    std::unique_ptr<SongStepper> stepper;
    SongFacts facts;
    EqChain eq;
    std::vector<Trigger> triggers;
    std::vector<OrderStart> orderStarts;

    void event(const PlayEvent& e) override {
        if (e.kind == EventKind::trigger) {
            triggers.push_back(Trigger{e.frame, e.order, e.row, e.channel, e.instrument});
        } else {
            orderStarts.push_back(OrderStart{e.frame, e.order});
        }
    }
};

OfflineSong::OfflineSong() : impl(std::make_unique<Impl>()) {}
OfflineSong::~OfflineSong() = default;

std::unique_ptr<OfflineSong> OfflineSong::open(const void* data, std::size_t size, std::string& error) {
    auto module = loadModule(data, size, error);
    if (!module) return nullptr;
    std::unique_ptr<OfflineSong> song(new OfflineSong());
    song->impl->facts = factsOf(*module, data, size);
    song->impl->stepper = std::make_unique<SongStepper>(std::move(module));
    return song;
}

const SongFacts& OfflineSong::facts() const { return impl->facts; }

void OfflineSong::setRepeat(bool repeat) { impl->stepper->setRepeat(repeat); }

void OfflineSong::addEqualiser(EqSetting setting) {
    int id = impl->eq.add();
    impl->eq.set(id, setting.centre, setting.bandwidth, setting.gain);
}

std::size_t OfflineSong::render(float* out, std::size_t frames) {
    std::size_t got = impl->stepper->render(out, frames, *impl);
    impl->eq.process(out, got, sampleRate);
    return got;
}

void OfflineSong::takeEvents(std::vector<Trigger>& triggers, std::vector<OrderStart>& orderStarts) {
    triggers.swap(impl->triggers);
    orderStarts.swap(impl->orderStarts);
    impl->triggers.clear();
    impl->orderStarts.clear();
}

std::int64_t OfflineSong::framesRendered() const { return impl->stepper->frame(); }

}  // namespace sound
