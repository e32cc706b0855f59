// The two ways the window presents its picture: the window's own pixels,
// drawn by the rasterizer at the scale, or an SDL renderer, which widens the
// 640 x 400 picture to the scale itself.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/common/text_raster.h"
#include "platform/present/window/window_parts.h"
#include "platform/timer.h"

namespace window_parts {

std::optional<PsfFont> font;
int pictureWidth = 0, pictureHeight = 0;
SDL_Window* window = nullptr;
bool pictureStale = true;
WindowCounts counts;
bool usingFramebuffer = false;

std::string sdlError(const char* what) { return std::string(what) + ": " + SDL_GetError(); }

int scaleToFit(int width, int height) {
    return std::max(1, std::min(width / pictureWidth, height / pictureHeight));
}

std::string noDisplayAnswers() {
#ifdef _WIN32
    return "";
#else
    const std::string driver = SDL_GetCurrentVideoDriver() != nullptr ? SDL_GetCurrentVideoDriver() : "";
    const char* asked = std::getenv("SDL_VIDEODRIVER");
    if ((driver != "offscreen" && driver != "dummy") || (asked != nullptr && std::strstr(asked, driver.c_str()) != nullptr))
        return "";
    std::string where;
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        if (const char* value = std::getenv(name)) where += (where.empty() ? "" : " or ") + std::string(name) + "=" + value;
    }
    return "no display to open a window on: nothing answers at " + where;
#endif
}

// ---- The window's own pixels, drawn by the rasterizer at the scale.

struct Framebuffer {
    std::optional<TextRaster> raster;  // at the current scale
    SDL_Surface* surface = nullptr;    // the window's pixels, as last seen
    int surfaceWidth = 0, surfaceHeight = 0;
    std::vector<std::uint32_t> clipped;  // the picture, where the window is smaller than it
};
Framebuffer framebuffer;

// The pixel layouts the rasterizer writes: 0xAARRGGBB words.
bool takesArgbWords(const SDL_Surface* surface) {
    const Uint32 f = surface->format->format;
    return f == SDL_PIXELFORMAT_RGB888 || f == SDL_PIXELFORMAT_ARGB8888;
}

// True when the window offers pixels of its own that the rasterizer can write.
bool openFramebuffer() {
    SDL_Surface* surface = SDL_GetWindowSurface(window);
    if (surface == nullptr || !takesArgbWords(surface)) return false;
    usingFramebuffer = true;
    std::snprintf(counts.renderer, sizeof counts.renderer, "framebuffer");
    return true;
}

bool presentOnFramebuffer(const CHAR_INFO* cells, bool cellsChanged) {
    Framebuffer& fb = framebuffer;
    SDL_Surface* surface = SDL_GetWindowSurface(window);  // a new one after a resize
    if (surface == nullptr || !takesArgbWords(surface)) return false;
    const int scale = scaleToFit(surface->w, surface->h);
    // A new surface, or one the window system lost (uncovered, shown again),
    // is drawn whole, black around the picture.
    bool whole = pictureStale || surface != fb.surface || surface->w != fb.surfaceWidth || surface->h != fb.surfaceHeight;
    if (!fb.raster || fb.raster->scaleFactor() != scale) {
        fb.raster.emplace(*font, scale);
        whole = true;
    }
    if (!whole && !cellsChanged) return true;
    fb.surface = surface;
    fb.surfaceWidth = surface->w;
    fb.surfaceHeight = surface->h;
    const int w = fb.raster->width(), h = fb.raster->height();
    const int left = (surface->w - w) / 2, top = (surface->h - h) / 2;
    if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0) return false;
    if (whole) SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0, 0, 0));
    auto* pixels = static_cast<std::uint32_t*>(surface->pixels);
    const std::ptrdiff_t stride = surface->pitch / 4;
    if (left >= 0 && top >= 0) {
        fb.raster->drawArgb(cells, pixels + top * stride + left, stride);
    } else {
        // A window smaller than the picture at scale 1 shows its centre.
        fb.clipped.resize(std::size_t(w) * h);
        fb.raster->drawArgb(cells, fb.clipped.data(), w);
        const int x0 = std::max(0, -left), y0 = std::max(0, -top);
        const int shownWidth = std::min(w - x0, surface->w), shownHeight = std::min(h - y0, surface->h);
        for (int y = 0; y < shownHeight; ++y) {
            std::memcpy(pixels + (std::max(0, top) + y) * stride + std::max(0, left),
                        fb.clipped.data() + std::size_t(y0 + y) * w + x0, std::size_t(shownWidth) * 4);
        }
    }
    if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
    SDL_Rect picture{std::max(0, left), std::max(0, top), std::min(w, surface->w), std::min(h, surface->h)};
    if (whole) SDL_UpdateWindowSurface(window);
    else SDL_UpdateWindowSurfaceRects(window, &picture, 1);
    ++counts.uploads;
    counts.bytes += whole ? std::uint64_t(surface->w) * surface->h * 4 : std::uint64_t(picture.w) * picture.h * 4;
    counts.scale = scale;
    return true;
}

// ---- An SDL renderer, which widens the 640 x 400 picture to the scale.

SDL_Renderer* renderer = nullptr;
SDL_Texture* texture = nullptr;
std::optional<TextRaster> rasterAtOne;

// True when the OpenGL the renderer draws with is a rasterizer on the
// processor (Mesa's llvmpipe and softpipe), which costs several times what
// the window's own pixels do.
bool openGlDrawsOnTheProcessor() {
    using GetString = const unsigned char* (*)(unsigned);
    const auto getString = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
    if (getString == nullptr) return false;
    const unsigned char* name = getString(0x1F01);  // GL_RENDERER
    if (name == nullptr) return false;
    const std::string renderer = reinterpret_cast<const char*>(name);
    for (const char* software : {"llvmpipe", "softpipe", "Software Rasterizer", "SWR"}) {
        if (renderer.find(software) != std::string::npos) return true;
    }
    return false;
}

// The display's refresh period in nanoseconds; 0 when unknown.
std::int64_t refreshPeriod() {
    SDL_DisplayMode mode{};
    if (SDL_GetCurrentDisplayMode(std::max(0, SDL_GetWindowDisplayIndex(window)), &mode) != 0 || mode.refresh_rate <= 0)
        return 0;
    return 1000000000 / mode.refresh_rate;
}

// Whether presenting waits for the display's refresh: only where the driver
// really does (SDL otherwise sleeps a refresh period by the clock itself,
// and some drivers take the request and ignore it, as Wine's Direct3D
// does). Four presents in step with the display take three periods at
// least; ones that do not wait take a fraction of one.
bool presentsInStepWithDisplay(const SDL_RendererInfo& info) {
    if ((info.flags & SDL_RENDERER_PRESENTVSYNC) == 0) return false;
    const std::string name = info.name;
    if (name == "software") return false;
    if (name.rfind("opengl", 0) == 0 && SDL_GL_GetSwapInterval() == 0) return false;
    const std::int64_t period = refreshPeriod();
    const std::int64_t start = monotonicNanoseconds();
    for (int i = 0; i < 4; ++i) {
        SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
        SDL_RenderClear(renderer);
        SDL_RenderPresent(renderer);
    }
    return period > 0 && monotonicNanoseconds() - start >= 2 * period;
}

void closeRenderer() {
    if (texture != nullptr) SDL_DestroyTexture(texture);
    if (renderer != nullptr) SDL_DestroyRenderer(renderer);
    texture = nullptr;
    renderer = nullptr;
}

// `driver` null: the first renderer SDL offers. With `onlyInStep`, it is
// kept only where it presents in step with the display and draws on a GPU.
// Returns the problem, or "" (with `renderer` null when it was not kept).
std::string openRenderer(const char* driver, bool vsync, bool onlyInStep) {
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "0");
    if (driver != nullptr) SDL_SetHint(SDL_HINT_RENDER_DRIVER, driver);
    renderer = SDL_CreateRenderer(window, -1, vsync ? SDL_RENDERER_PRESENTVSYNC : 0);
    if (renderer == nullptr) return sdlError("cannot draw in the window");
    SDL_RendererInfo info{};
    SDL_GetRendererInfo(renderer, &info);
    const std::string name = info.name != nullptr ? info.name : "?";
    counts.vsync = presentsInStepWithDisplay(info);
    if (vsync && !counts.vsync) SDL_RenderSetVSync(renderer, 0);
    if (onlyInStep && (!counts.vsync || (name.rfind("opengl", 0) == 0 && openGlDrawsOnTheProcessor()))) {
        closeRenderer();
        counts.vsync = false;
        return "";
    }
    std::snprintf(counts.renderer, sizeof counts.renderer, "%s", name.c_str());
    rasterAtOne.emplace(*font, 1);
    texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, rasterAtOne->width(),
                                rasterAtOne->height());
    if (texture == nullptr) return sdlError("cannot draw in the window");
    SDL_SetTextureScaleMode(texture, SDL_ScaleModeNearest);
    SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_NONE);
    return "";
}

bool presentOnRenderer(const CHAR_INFO* cells, bool cellsChanged) {
    if (cellsChanged || pictureStale) {
        void* pixels = nullptr;
        int pitch = 0;
        if (SDL_LockTexture(texture, nullptr, &pixels, &pitch) != 0) return false;
        rasterAtOne->drawArgb(cells, static_cast<std::uint32_t*>(pixels), pitch / 4);
        SDL_UnlockTexture(texture);
        ++counts.uploads;
        counts.bytes += std::uint64_t(rasterAtOne->width()) * rasterAtOne->height() * 4;
    }
    // Every present draws the whole picture: what a swap leaves behind is
    // undefined.
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    int width = 0, height = 0;
    SDL_GetRendererOutputSize(renderer, &width, &height);
    const int scale = scaleToFit(width, height);
    const int w = pictureWidth * scale, h = pictureHeight * scale;
    const SDL_Rect target{(width - w) / 2, (height - h) / 2, w, h};
    SDL_RenderCopy(renderer, texture, nullptr, &target);
    SDL_RenderPresent(renderer);
    counts.scale = scale;
    return true;
}

bool rendererOpen() { return renderer != nullptr; }

void closePictures() {
    closeRenderer();
    framebuffer = Framebuffer{};
    usingFramebuffer = false;
}

}  // namespace window_parts
