#pragma once
// What the demo says on exit about the sound: where in the song (m:ss) it
// stopped and why, where it came back, or that it stayed away. The first few
// gaps are told; later ones are only counted.
#include <cstdint>
#include <string>

namespace sound {

// "m:ss" of the song at `frames` of it.
std::string songPoint(std::int64_t frames);

class ExitReport {
public:
    // The sound stopped at song frame `songFrame` for `reason`; the song
    // goes on in silence. Returns the report so far.
    std::string stopped(const std::string& reason, std::int64_t songFrame);
    // The sound came back at song frame `songFrame`. Returns the report so far.
    std::string cameBack(std::int64_t songFrame);

private:
    std::string text(const std::string& current) const;

    static constexpr int reportedGaps = 4;
    std::string closedGaps;  // the gaps closed so far
    int gapCount = 0;
    std::string gapReason;   // of the current one
    std::string gapFrom;     // m:ss
};

}  // namespace sound
