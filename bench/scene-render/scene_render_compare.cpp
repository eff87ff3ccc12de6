// bench_scene_render_compare [rounds [picture folder]]: the scene of bench_scene_render (the
// sample world, 500 copies of its five models, 640 x 480; the spot light left
// out, because Direct3D's and GL's cones differ) drawn by the engine on the
// software device and, in the same run, the same frame (its buffers, textures,
// matrices, lights, material and states, recorded from the device's call log)
// through Mesa's OSMesa with llvmpipe, both on one thread
// (LP_NUM_THREADS=0), in interleaved rounds, under the allocator settings of
// bench/peer_tunables.h. Prints the frame rates and their
// ratio, writes both pictures (scene-render-device.png, scene-render-gl.png,
// in the current folder unless one is given) and the share of pixels whose
// channels all lie within 8 levels.
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/osmesa.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/compare_row.h"
#include "bench/peer_tunables.h"
#include "bench/scene-render/glframe.h"
#include "bench/scene-render/sceneviewer.h"
#include "graphics/d3d9/d3d9device.h"
#include "graphics/scene/light.h"
#include "graphics/scene/world.h"
#include "platform/d3d9/d3d9control.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kWidth = 640, kHeight = 480;
constexpr uint32_t kSky = 0xFF6080A0;

template <class Draw> double FramesPerSecond(int frames, Draw draw)
{
    const Clock::time_point start = Clock::now();
    for (int f = 0; f < frames; ++f)
        draw();
    return frames / std::chrono::duration<double>(Clock::now() - start).count();
}

// Writes XRGB words (top row first) as a PNG through a surface of the device.
bool WritePicture(const std::vector<uint32_t>& pixels, const char* path)
{
    IDirect3DDevice9* device = D3D9GetDevice();
    IDirect3DSurface9* surface = nullptr;
    if (FAILED(device->CreateOffscreenPlainSurface(kWidth, kHeight, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM,
                                                   &surface, nullptr)))
        return false;
    D3DLOCKED_RECT locked{};
    bool written = false;
    if (SUCCEEDED(surface->LockRect(&locked, nullptr, 0))) {
        for (int y = 0; y < kHeight; ++y)
            std::memcpy(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch, &pixels[size_t(y) * kWidth],
                        kWidth * 4);
        surface->UnlockRect();
        written = D3D9SurfaceWritePng(surface, path);
    }
    surface->Release();
    return written;
}

/// Percent of pixels whose three colour channels all lie within 8 levels.
double WithinEightPercent(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b)
{
    size_t close = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        bool near = true;
        for (int shift = 0; shift < 24; shift += 8)
            near = near && std::abs(int(a[i] >> shift & 255) - int(b[i] >> shift & 255)) <= 8;
        close += near;
    }
    return 100.0 * double(close) / double(a.size());
}

} // namespace

int main(int argc, char** argv)
{
    const char* allocator = KeepAllocatorMemory(argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::string folder = argc > 2 ? std::string(argv[2]) + "/" : std::string();
    const std::string devicePicture = folder + "scene-render-device.png",
                      glPicture = folder + "scene-render-gl.png";
    // llvmpipe reads its thread count when the first context is made.
    setenv("LP_NUM_THREADS", "0", 1);
    D3D9SetDeviceThreads(1, false);
    scenebench::SceneViewer viewer(kWidth, kHeight);
    if (!viewer.ok) {
        std::fprintf(stderr, "bench_scene_render_compare: the sample world could not be loaded\n");
        return 1;
    }
    viewer.RemoveSpotLights();
    std::vector<uint32_t> gl(size_t(kWidth) * kHeight);
    OSMesaContext context = OSMesaCreateContextExt(OSMESA_BGRA, 24, 8, 0, nullptr);
    if (!context || !OSMesaMakeCurrent(context, gl.data(), GL_UNSIGNED_BYTE, kWidth, kHeight)) {
        std::fprintf(stderr, "bench_scene_render_compare: no OSMesa context\n");
        return 1;
    }
    glViewport(0, 0, kWidth, kHeight);
    // The engine's steady frame: the second, whose calls are those of every later frame.
    viewer.Render();
    const scenebench::RecordedFrame recorded = viewer.Record();
    std::string why;
    int status = 0;
    {
        scenebench::GlFrame peer;
        if (!peer.Load(recorded.start, recorded.calls, &why)) {
            std::fprintf(stderr, "bench_scene_render_compare: the frame does not translate: %s\n",
                         why.c_str());
            status = 1;
        } else {
            const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
            const std::string peerName =
                std::string(renderer && std::strstr(renderer, "llvmpipe") ? "llvmpipe" : "OSMesa") +
                ", 1 thread";
            std::printf("scene renderer against %s (%s): %zu draws, 640 x 480, %d interleaved rounds, "
                        "allocator: %s\n",
                        peerName.c_str(), renderer ? renderer : "?", peer.DrawCount(), rounds, allocator);
            PrintCompareHeader();
            std::vector<double> ours, theirs;
            viewer.Render();
            peer.Draw(kSky);
            for (int r = 0; r < rounds; ++r) {
                ours.push_back(FramesPerSecond(5, [&] { viewer.Render(); }));
                theirs.push_back(FramesPerSecond(5, [&] { peer.Draw(kSky); }));
            }
            PrintCompareRow("scene frame, 511 objects, 640 x 480 (frames/s)", MedianOf(ours),
                            peerName.c_str(), MedianOf(theirs), rounds);
            // GL's rows run bottom up.
            std::vector<uint32_t> peerPixels(gl.size());
            for (int y = 0; y < kHeight; ++y)
                std::memcpy(&peerPixels[size_t(y) * kWidth], &gl[size_t(kHeight - 1 - y) * kWidth],
                            kWidth * 4);
            const std::vector<uint32_t> ourPixels = viewer.Pixels();
            std::printf("  scene frame: %.2f %% of the pixels within 8 levels (pictures: %s, %s)\n",
                        WithinEightPercent(ourPixels, peerPixels),
                        WritePicture(ourPixels, devicePicture.c_str()) ? devicePicture.c_str() : "-",
                        WritePicture(peerPixels, glPicture.c_str()) ? glPicture.c_str() : "-");
            for (const std::string& approximation : peer.Approximations())
                std::printf("  scene frame, GL side: %s\n", approximation.c_str());
        }
    }
    OSMesaDestroyContext(context);
    return status;
}
