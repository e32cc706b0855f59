#pragma once
// Glyph ramps and colour tables that every scene draws with. Glyphs are code
// page 437 bytes; colours are console attributes 0 to 15 on black.
#include <cstdint>

extern const std::int32_t marchGlyphs[8];    // densest (full block) to sparsest (middle dot)
extern const std::int32_t flatGlyphs[8];     // a closed cycle: empty, up to the sun, back
extern const std::int32_t marchColorsA[32];  // four blocks of eight: yellow, green, blue, magenta
extern const std::int32_t marchColorsB[32];
extern const std::int32_t marchColorsC[32];
extern const std::int32_t marchColorsD[32];
extern const std::int32_t flatColors48[48];  // eight groups of six, black to white and back
extern const std::int32_t flatColors18[18];  // three groups of six, a closed cycle

// Reads entry (index rem size), the remainder taking the sign of the index as
// integer division does. A negative remainder is brought into range by adding
// the size, so no index ever reads outside the table.
template <int N>
inline std::int32_t tableEntry(const std::int32_t (&table)[N], std::int32_t index) {
    std::int32_t r = index % N;
    if (r < 0) r += N;
    return table[r];
}
