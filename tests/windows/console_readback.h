#pragma once
#include <cstdint>

// Reads the 80 x 50 cells at the top-left of the screen buffer the console
// shows: the UTF-16 character and the attribute of each. False, with the
// reason on stderr, when the console cannot be read.
bool readShownCells(std::uint16_t* characters, std::uint16_t* attributes);
