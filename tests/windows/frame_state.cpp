#include "tests/windows/frame_state.h"

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "art/captions.h"
#include "host/frame_loop.h"
#include "host/screen.h"
#include "music/beat_pulses.h"
#include "raymarch/marcher.h"

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
    order = static_cast<std::int32_t>(v[0]);
    scene = sceneForOrder(order);
    timeMs = static_cast<float>(v[1]);
    seconds = v[2];
    pulseA = static_cast<float>(v[3]);
    pulseB = static_cast<float>(v[4]);
    pulseC = static_cast<float>(v[5]);
    beatCount = static_cast<std::int32_t>(v[6]);
    farLimit = order < 4 ? 0.0f : 96.0f;
    orderWobble = 0;
    drawCells();
    if (v[7] != 0) drawCaptions();
    return true;
}
