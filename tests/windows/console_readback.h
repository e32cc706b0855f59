#pragma once
#include <cstdint>
#include <vector>

// Reads the cells of the window the console shows now, in the screen buffer
// the program draws on: the UTF-16 character and the attribute of each, row
// by row. False, with the reason on stderr, when the console cannot be read.
bool readShownWindow(int& columns, int& rows, std::vector<std::uint16_t>& characters,
                     std::vector<std::uint16_t>& attributes);
