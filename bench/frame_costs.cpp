// frame-costs: what each frame of the whole song costs to draw, natively:
// the frames of the offline run at a fixed rate, each drawn again from its
// starting state (cells and captions) and timed. Prints the median and the
// 95th percentile of each scene and of all frames, in the lines
// bench/web_frames.sh reads beside the web page's own, and a hash of every
// frame's cells: two builds that print the same hash drew the same song.
//
//   frame-costs [SONG] [FPS]      (default: QUILLOW3.oxm in the build folder, 60)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/whole_song.h"
#include "host/frame_state.h"
#include "host/screen.h"

namespace {

struct Timer final : RecordSink {
    void picture(std::int64_t, const FrameState& s, const CHAR_INFO*) override {
        const auto begin = std::chrono::steady_clock::now();
        drawFrame(s);
        const auto end = std::chrono::steady_clock::now();
        costs[sceneForOrder(s.order)].push_back(std::chrono::duration<double, std::milli>(end - begin).count());
        for (const CHAR_INFO& cell : screenCells) {  // FNV-1a over glyphs and colours
            cellsHash = (cellsHash ^ std::uint8_t(cell.Char.AsciiChar)) * 0x100000001b3u;
            cellsHash = (cellsHash ^ std::uint16_t(cell.Attributes)) * 0x100000001b3u;
        }
    }
    void sound(const float*, std::size_t) override {}
    bool keepGoing(std::int64_t) override { return true; }
    std::map<int, std::vector<double>> costs;
    std::uint64_t cellsHash = 0xcbf29ce484222325u;
};

void print(const char* name, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    std::printf("%-8s median %6.2f ms  95th %6.2f ms  (%zu frames)\n", name, ms[ms.size() / 2],
                ms[ms.size() * 95 / 100], ms.size());
}

}  // namespace

int main(int argc, char** argv) {
    Timer timer;
    if (recordWholeSong(argc, argv, "frame-costs", timer) == 0) return 1;
    std::vector<double> all;
    for (const auto& [scene, ms] : timer.costs) {
        print(("scene " + std::to_string(scene)).c_str(), ms);
        all.insert(all.end(), ms.begin(), ms.end());
    }
    if (all.empty()) return 1;
    print("all", all);
    std::printf("cells-hash %016llx\n", static_cast<unsigned long long>(timer.cellsHash));
    return 0;
}
