#pragma once
// Block-letter captions laid over the picture at orders 2, 4, 6, 38 and 39.
#include <cstdint>

// Bitmap cells: 0 outline (blank on black), 1 letter (white full block),
// 2 transparent (the scene shows through).
inline constexpr int captionHeight = 14;
inline constexpr int caption1Width = 39;
inline constexpr int caption2Width = 14;
inline constexpr int caption3Width = 32;
inline constexpr int caption4Width = 32;
inline constexpr int caption5Width = 46;

extern const std::int32_t caption1[captionHeight * caption1Width];
extern const std::int32_t caption2[captionHeight * caption2Width];
extern const std::int32_t caption3[captionHeight * caption3Width];
extern const std::int32_t caption4[captionHeight * caption4Width];
extern const std::int32_t caption5[captionHeight * caption5Width];

extern const std::int32_t captionGlyphs[2];  // {0, 219}
extern const std::int32_t captionColors[2];  // {0, 15}

// Draws the captions of the current order, shifted by the beat pulses.
void drawCaptions();
