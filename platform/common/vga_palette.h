#pragma once
// The 16 colours of the PC's VGA text mode, by console colour (bit 0 blue,
// bit 1 green, bit 2 red, bit 3 intensity): the one palette every picture of
// the grid is shown in (the rasterizer's pictures, the terminal's exact
// colours, the Windows console's colour table). Plain types only, so that
// the Windows side can include it beside <windows.h>.
#include <cstdint>

// Red, green, blue.
extern const std::uint8_t textModePalette[16][3];

// A palette colour as 0xFFRRGGBB.
inline std::uint32_t textModeArgb(unsigned colour) {
    const std::uint8_t* c = textModePalette[colour & 15u];
    return 0xFF000000u | std::uint32_t(c[0]) << 16 | std::uint32_t(c[1]) << 8 | c[2];
}
