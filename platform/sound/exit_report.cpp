#include "platform/sound/exit_report.h"

#include <algorithm>
#include <cstdio>

#include "platform/sound/offline.h"

namespace sound {

std::string songPoint(std::int64_t frames) {
    const std::int64_t secondsIn = std::max<std::int64_t>(0, frames) / sampleRate;
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(secondsIn / 60),
                  static_cast<long long>(secondsIn % 60));
    return text;
}

std::string ExitReport::stopped(const std::string& reason, std::int64_t songFrame) {
    ++gapCount;
    gapReason = reason;
    gapFrom = songPoint(songFrame);
    return text(gapReason + " at " + gapFrom + " of the song; it went on in silence from there");
}

std::string ExitReport::cameBack(std::int64_t songFrame) {
    if (gapCount <= reportedGaps) {
        closedGaps += (closedGaps.empty() ? "" : "; ") + std::string("from ") + gapFrom + " to " +
                      songPoint(songFrame) + " of the song (" + gapReason + ", then it came back)";
    }
    return text("");
}

// The gaps closed so far and then the current one.
std::string ExitReport::text(const std::string& current) const {
    std::string all = closedGaps;
    if (!current.empty()) all += (all.empty() ? "" : "; ") + current;
    if (gapCount > reportedGaps) all += "; " + std::to_string(gapCount - reportedGaps) + " more times";
    return all;
}

}  // namespace sound
