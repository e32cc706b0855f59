#include "tools/raster/indexed_png.h"

#include <png.h>

#include <stdexcept>

#include "platform/common/text_raster.h"

namespace {

void appendPngBytes(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::string*>(png_get_io_ptr(png));
    out->append(reinterpret_cast<const char*>(data), length);
}

void pngWarning(png_structp, png_const_charp) {}

// libpng reports errors by a long jump back here, so nothing between the
// setjmp and the calls owns resources.
// `colourType` is PNG_COLOR_TYPE_PALETTE (one byte a pixel, the text-mode
// palette) or PNG_COLOR_TYPE_RGB (three).
bool encodePng(png_structp png, png_infop info, const png_byte* image, int width, int height, int colourType,
               std::string* out) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_write_fn(png, out, appendPngBytes, nullptr);
    png_set_IHDR(png, info, width, height, 8, colourType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (colourType == PNG_COLOR_TYPE_PALETTE) {
        png_color colors[16];
        for (int i = 0; i < 16; ++i) colors[i] = {textModePalette[i][0], textModePalette[i][1], textModePalette[i][2]};
        png_set_PLTE(png, info, colors, 16);
    }
    png_write_info(png, info);
    const std::size_t rowBytes = std::size_t(width) * (colourType == PNG_COLOR_TYPE_RGB ? 3 : 1);
    for (int y = 0; y < height; ++y) png_write_row(png, image + std::size_t(y) * rowBytes);
    png_write_end(png, nullptr);
    return true;
}

std::string encode(const std::uint8_t* pixels, int width, int height, int colourType) {
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, pngWarning);
    if (png == nullptr) throw std::runtime_error("PNG: cannot create the writer");
    png_infop info = png_create_info_struct(png);
    const bool written = info != nullptr && encodePng(png, info, pixels, width, height, colourType, &out);
    png_destroy_write_struct(&png, info != nullptr ? &info : nullptr);
    if (!written) throw std::runtime_error("PNG: cannot encode the picture");
    return out;
}

}  // namespace

std::string encodeIndexedPng(const std::uint8_t* pixels, int width, int height) {
    return encode(pixels, width, height, PNG_COLOR_TYPE_PALETTE);
}

std::string encodeRgbPng(const std::uint8_t* pixels, int width, int height) {
    return encode(pixels, width, height, PNG_COLOR_TYPE_RGB);
}
