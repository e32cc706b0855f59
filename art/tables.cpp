#include "art/tables.h"

const std::int32_t marchGlyphs[8] = {219, 8, 10, 15, 4, 9, 7, 250};
const std::int32_t flatGlyphs[8] = {0, 7, 4, 9, 15, 9, 4, 7};

const std::int32_t marchColorsA[32] = {
    15, 14, 6, 0, 8, 7, 15, 15,  //
    15, 10, 2, 0, 8, 7, 15, 15,  //
    15, 9,  1, 0, 8, 7, 15, 15,  //
    15, 13, 5, 0, 8, 7, 15, 15,
};
const std::int32_t marchColorsB[32] = {
    0, 14, 6, 0, 8, 7, 8, 0,  //
    0, 10, 2, 0, 8, 7, 8, 0,  //
    0, 9,  1, 0, 8, 7, 8, 0,  //
    0, 13, 5, 0, 8, 7, 8, 0,
};
const std::int32_t marchColorsC[32] = {
    15, 14, 6, 0, 8, 7, 8, 0,  //
    15, 10, 2, 0, 8, 7, 8, 0,  //
    15, 9,  1, 0, 8, 7, 8, 0,  //
    15, 13, 5, 0, 8, 7, 8, 0,
};
const std::int32_t marchColorsD[32] = {
    15, 14, 14, 14, 6, 6, 6, 0,  //
    15, 10, 10, 10, 2, 2, 2, 0,  //
    15, 9,  9,  9,  1, 1, 1, 0,  //
    15, 13, 13, 13, 5, 5, 5, 0,
};

const std::int32_t flatColors48[48] = {
    0, 5, 13, 15, 13, 5,   // magenta
    0, 4, 12, 15, 12, 4,   // red
    0, 4, 12, 15, 14, 6,   // red rising, yellow falling
    0, 6, 14, 15, 14, 6,   // yellow
    0, 2, 10, 15, 10, 2,   // green
    0, 3, 11, 15, 11, 3,   // cyan
    0, 8, 7,  15, 7,  8,   // grey
    0, 1, 9,  15, 9,  1,   // blue
};

const std::int32_t flatColors18[18] = {
    15, 13, 5, 0, 4, 12,   // white, magenta, black, red
    15, 14, 6, 0, 2, 10,   // white, yellow, black, green
    15, 11, 3, 0, 1, 9,    // white, cyan, black, blue
};
