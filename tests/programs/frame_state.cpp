#include "tests/programs/frame_state.h"

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "host/frame_state.h"
#include "host/screen.h"

bool drawFrameState(const std::string& state) {
    if (state == "black") {
        for (auto& cell : screenCells) cell = {};
        return true;
    }
    std::vector<double> v;
    std::stringstream in(state);
    std::string item;
    while (std::getline(in, item, ',')) v.push_back(std::strtod(item.c_str(), nullptr));
    if (v.size() != 8) return false;
    FrameState frame;
    frame.order = static_cast<std::int32_t>(v[0]);
    frame.timeMs = static_cast<float>(v[1]);
    frame.seconds = v[2];
    frame.pulseA = static_cast<float>(v[3]);
    frame.pulseB = static_cast<float>(v[4]);
    frame.pulseC = static_cast<float>(v[5]);
    frame.beatCount = static_cast<std::int32_t>(v[6]);
    frame.farLimit = settledFarLimit(frame.order);
    frame.captions = v[7] != 0;
    ::drawFrame(frame);
    return true;
}
