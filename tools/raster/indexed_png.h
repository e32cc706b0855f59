#pragma once
// The grid's picture as a PNG file, for compofiller-frame and
// compofiller-record (the picture itself: platform/common/text_raster.h).
#include <cstdint>
#include <string>

// A PNG of palette indexes in the text-mode palette. Throws
// std::runtime_error when libpng fails.
std::string encodeIndexedPng(const std::uint8_t* pixels, int width, int height);

// A PNG of red, green, blue bytes, one row after another.
std::string encodeRgbPng(const std::uint8_t* pixels, int width, int height);
