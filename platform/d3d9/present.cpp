// Presentation into SDL2 windows, PNG output and the unattended-run
// variables.
#include "platform/d3d9/device.h"
#include "platform/win32/timing.h"

#include <SDL.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>

namespace d3d9sw {
namespace {

// Surface pixels as A8R8G8B8 rows (depth surfaces as grey).
std::vector<uint32_t> SurfaceArgb(Surface* s)
{
    const uint32_t* p = s->Argb(nullptr, 0);
    return std::vector<uint32_t>(p, p + size_t(s->width) * s->height);
}

bool WritePng(const uint32_t* argb, UINT width, UINT height, const char* path)
{
    FILE* file = std::fopen(path, "wb");
    if (!file)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool ok = false;
    std::vector<uint8_t> row(size_t(width) * 4);
    if (png && info && setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, file);
        png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (UINT y = 0; y < height; ++y) {
            for (UINT x = 0; x < width; ++x) {
                uint32_t c = argb[size_t(y) * width + x];
                row[x * 4 + 0] = uint8_t(c >> 16);
                row[x * 4 + 1] = uint8_t(c >> 8);
                row[x * 4 + 2] = uint8_t(c);
                row[x * 4 + 3] = uint8_t(c >> 24);
            }
            png_write_row(png, row.data());
        }
        png_write_end(png, nullptr);
        ok = true;
    }
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0 && ok;
}

// Copies the frame into the window's own surface, scaled to its client area.
void ShowInWindow(const uint32_t* argb, UINT width, UINT height, HWND window)
{
    auto* sdl = static_cast<SDL_Window*>(Win32WindowGetSdl(window));
    if (!sdl)
        return;
    SDL_Surface* target = SDL_GetWindowSurface(sdl);
    if (!target)
        return;
    SDL_Surface* frame = SDL_CreateRGBSurfaceWithFormatFrom(
        const_cast<uint32_t*>(argb), int(width), int(height), 32, int(width * 4), SDL_PIXELFORMAT_ARGB8888);
    if (!frame)
        return;
    SDL_SetSurfaceBlendMode(frame, SDL_BLENDMODE_NONE);
    if (target->w == int(width) && target->h == int(height))
        SDL_BlitSurface(frame, nullptr, target, nullptr);
    else
        SDL_BlitScaled(frame, nullptr, target, nullptr);
    SDL_FreeSurface(frame);
    SDL_UpdateWindowSurface(sdl);
}

} // namespace

HRESULT Device::PresentSurface(Surface* surface, HWND window)
{
    FlushDraws();
    if (condition_ != D3D9Condition::Operational)
        return D3DERR_DEVICELOST;
    if (inScene_) {
        // Presenting inside a scene is an application error in Direct3D 9.
        return D3DERR_INVALIDCALL;
    }
    // Frames are converted only for a window to show them in or a screenshot
    // to keep: headless runs present without touching the pixels.
    const char* shot = std::getenv("OLAI_SCREENSHOT");
    const bool keep = shot && *shot;
    if (window || keep) {
        const uint32_t* argb = surface->Argb(nullptr, 0);
        if (window)
            ShowInWindow(argb, surface->width, surface->height, window);
        if (keep) {
            lastFrame_.assign(argb, argb + size_t(surface->width) * surface->height);
            lastFrameWidth_ = surface->width;
            lastFrameHeight_ = surface->height;
        }
    }
    ++presentCount_;
    Win32FramePresented(); // frame clock and scripted input follow presented frames
    screenshotPending_ = keep;
    long limit = Win32ExitAfterFrames();
    if (limit > 0 && presentCount_ == UINT(limit)) {
        FlushScreenshot();
        Win32PostQuit();
    }
    return D3D_OK;
}

void Device::FlushScreenshot()
{
    const char* shot = std::getenv("OLAI_SCREENSHOT");
    if (!screenshotPending_ || !shot || !*shot || lastFrame_.empty())
        return;
    if (!WritePng(lastFrame_.data(), lastFrameWidth_, lastFrameHeight_, shot))
        std::fprintf(stderr, "d3d9: cannot write screenshot %s\n", shot);
    screenshotPending_ = false;
}

} // namespace d3d9sw

bool D3D9SurfaceWritePng(IDirect3DSurface9* surface, const char* path)
{
    if (!surface || !path)
        return false;
    auto* s = static_cast<d3d9sw::Surface*>(surface);
    s->device()->FlushDraws();
    if (!s->info.decodable && !s->info.block && !s->info.depth)
        return false;
    std::vector<uint32_t> argb = d3d9sw::SurfaceArgb(s);
    return d3d9sw::WritePng(argb.data(), s->width, s->height, path);
}
