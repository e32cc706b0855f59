// compofiller-icons FONT FOLDER: the desktop icon, drawn from one of the
// demo's own frames (the beam lattice with its ring of diamonds) through the
// demo's cell loop and the text-mode rasterizer, into FOLDER/SIZExSIZE/apps/
// compofiller.png for each of the hicolor theme's usual sizes. The largest is
// 32 x 32 cells of the frame at 8 pixels a cell; the smaller ones are the
// same picture averaged down, each pixel the mean of the area it covers.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/frame_state.h"
#include "host/screen.h"
#include "platform/common/text_raster.h"
#include "tools/raster/indexed_png.h"
#include "tools/tool_options.h"

namespace {

constexpr int sizes[] = {16, 22, 24, 32, 48, 64, 128, 256};
constexpr int cropColumn = 43;  // the crop's top-left cell
constexpr int cropRow = 0;
constexpr int cropCells = 32;

// `source` (side x side RGB) averaged down to `size` x `size`: each output
// pixel is the area-weighted mean of the source pixels it covers.
std::vector<std::uint8_t> shrink(const std::vector<std::uint8_t>& source, int side, int size) {
    std::vector<std::uint8_t> out(std::size_t(size) * size * 3);
    const double step = double(side) / size;
    for (int oy = 0; oy < size; ++oy) {
        for (int ox = 0; ox < size; ++ox) {
            double sum[3] = {0, 0, 0};
            const double y0 = oy * step, y1 = (oy + 1) * step, x0 = ox * step, x1 = (ox + 1) * step;
            for (int y = int(y0); y < int(std::min<double>(side, std::ceil(y1))); ++y) {
                const double wy = std::min<double>(y + 1, y1) - std::max<double>(y, y0);
                for (int x = int(x0); x < int(std::min<double>(side, std::ceil(x1))); ++x) {
                    const double w = wy * (std::min<double>(x + 1, x1) - std::max<double>(x, x0));
                    for (int c = 0; c < 3; ++c) sum[c] += w * source[(std::size_t(y) * side + x) * 3 + c];
                }
            }
            for (int c = 0; c < 3; ++c)
                out[(std::size_t(oy) * size + ox) * 3 + c] = std::uint8_t(std::clamp(sum[c] / (step * step) + 0.5, 0.0, 255.0));
        }
    }
    return out;
}

int run(int argc, char** argv) {
    if (argc != 3) throw toolopts::UsageError("usage: compofiller-icons FONT FOLDER");
    const PsfFont font = PsfFont::load(argv[1]);
    const std::string folder = argv[2];

    // The frame of docs/scene-0-beam-lattice.png.
    FrameState state;
    state.order = 3;
    state.timeMs = -15000.0f;
    state.seconds = 15.0;
    state.pulseC = 2.5f;
    state.farLimit = 96.0f;
    drawFrame(state);

    const TextRaster raster(font, 1);
    std::vector<std::uint32_t> frame(std::size_t(raster.width()) * raster.height());
    raster.drawArgb(screenCells, frame.data(), raster.width());
    const int cell = raster.width() / 80;
    const int side = cropCells * cell;
    std::vector<std::uint8_t> crop(std::size_t(side) * side * 3);
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const std::uint32_t argb = frame[std::size_t(cropRow * cell + y) * raster.width() + cropColumn * cell + x];
            for (int c = 0; c < 3; ++c) crop[(std::size_t(y) * side + x) * 3 + c] = std::uint8_t(argb >> (16 - 8 * c));
        }
    }
    for (int size : sizes) {
        const std::string dir = folder + "/" + std::to_string(size) + "x" + std::to_string(size) + "/apps";
        std::filesystem::create_directories(dir);
        const std::vector<std::uint8_t> icon = size == side ? crop : shrink(crop, side, size);
        const std::string png = encodeRgbPng(icon.data(), size, size);
        std::ofstream out(dir + "/compofiller.png", std::ios::binary | std::ios::trunc);
        out.write(png.data(), std::streamsize(png.size()));
        if (!out) throw std::runtime_error("cannot write " + dir + "/compofiller.png");
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) { return toolopts::runTool("compofiller-icons", [&] { return run(argc, argv); }); }
