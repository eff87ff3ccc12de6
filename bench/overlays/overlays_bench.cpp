// The debug character set's buffered path and the image texture dictionary
// reader on the Direct3D 9 driver's software device, headless.
//   BM_CharsetFlush: 1,024 characters queued and flushed on a 640 x 480
//     camera; characters/s and glyph pixels/s.
//   BM_FullScreenQuad: one textured 2-D quad over the whole frame buffer;
//     pixels/s, the fill rate the glyphs are measured against.
//   BM_ImageTexDictionaryRead: 64 textures of 64 x 64 with 7 mip levels;
//     MB/s of the chunk.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "graphics/core/camera.h"
#include "graphics/core/chunk.h"
#include "graphics/core/engine.h"
#include "graphics/core/image.h"
#include "graphics/core/instance.h"
#include "graphics/core/memory.h"
#include "graphics/core/raster.h"
#include "graphics/core/stream.h"
#include "graphics/core/streambytes.h"
#include "graphics/core/texture.h"
#include "graphics/d3d9/d3d9device.h"
#include "graphics/d3d9/d3d9im2d.h"
#include "graphics/toolkit2d/charset.h"
#include "graphics/toolkit2d/imagetexdict.h"
#include "graphics/toolkit2d/renderstatesave.h"
#include "platform/win32/win32.h"
#include "tools/cli/tool_engine.h"

namespace {

constexpr int32_t kWidth = 640;
constexpr int32_t kHeight = 480;

struct Scene
{
    HWND window = nullptr;
    Camera* camera = nullptr;
    Charset* charset = nullptr;

    bool Start()
    {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        window = Win32WindowCreate("overlays bench", kWidth, kHeight);
        static EngineOpenParams params;
        params.displayId = window;
        EngineSetDeviceDriver(D3D9DriverGet());
        if (window == nullptr || !EngineInit(nullptr, 0, 0x400000) || !EngineOpen(&params) ||
            !EngineStart()) {
            return false;
        }
        camera = CameraCreate();
        camera->frameBuffer = RasterCreate(kWidth, kHeight, 0, kRasterTypeCamera);
        camera->zBuffer = RasterCreate(kWidth, kHeight, 0, kRasterTypeZBuffer);
        const uint8_t white[4] = {255, 255, 255, 255};
        const uint8_t clear[4] = {0, 0, 0, 0};
        charset = CharsetCreate(white, clear);
        return camera->frameBuffer != nullptr && charset != nullptr && CharsetBufferOpen();
    }

    void Stop()
    {
        CharsetBufferClose();
        if (charset != nullptr) {
            CharsetDestroy(charset);
        }
        if (camera != nullptr) {
            RasterDestroy(camera->frameBuffer);
            RasterDestroy(camera->zBuffer);
            CameraDestroy(camera);
        }
        ToolEngineShutdown();
        Win32WindowDestroy(window);
    }
};

void BM_CharsetFlush(benchmark::State& state)
{
    Scene scene;
    if (!scene.Start()) {
        state.SkipWithError("no engine");
        return;
    }
    // 32 lines of 32 characters: 256 x 448 pixels of text.
    std::vector<std::string> lines;
    for (int line = 0; line < 32; ++line) {
        std::string text;
        for (int i = 0; i < 32; ++i) {
            text += static_cast<char>('A' + (line * 7 + i) % 58);
        }
        lines.push_back(text);
    }
    CameraBeginUpdate(scene.camera);
    for (auto _ : state) {
        for (int line = 0; line < 32; ++line) {
            CharsetPrintBuffered(scene.charset, lines[line].c_str(), 8, 8 + 14 * line, 0);
        }
        CharsetBufferFlush();
    }
    CameraEndUpdate(scene.camera);
    const double characters = static_cast<double>(state.iterations()) * 1024.0;
    state.counters["chars/s"] = benchmark::Counter(characters, benchmark::Counter::kIsRate);
    state.counters["glyph px/s"] = benchmark::Counter(characters * 8 * 14, benchmark::Counter::kIsRate);
    scene.Stop();
}
BENCHMARK(BM_CharsetFlush)->Unit(benchmark::kMillisecond);

void BM_FullScreenQuad(benchmark::State& state)
{
    Scene scene;
    if (!scene.Start()) {
        state.SkipWithError("no engine");
        return;
    }
    const float z = EngineGetInstance()->device.zBufferNear;
    Im2DVertex quad[4] = {
        {0, 0, z, 1, 0xFFFFFFFFu, 0, 0},
        {0, kHeight, z, 1, 0xFFFFFFFFu, 0, 1},
        {kWidth, kHeight, z, 1, 0xFFFFFFFFu, 1, 1},
        {kWidth, 0, z, 1, 0xFFFFFFFFu, 1, 0},
    };
    CameraBeginUpdate(scene.camera);
    RenderStateSetRaster(scene.charset);
    RenderStateSetValue(10, 5);
    RenderStateSetValue(11, 6);
    for (auto _ : state) {
        EngineGetInstance()->device.im2DRenderPrimitive(kIm2DTriFan, quad, 4);
    }
    RenderStateSetRaster(nullptr);
    CameraEndUpdate(scene.camera);
    state.counters["px/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * kWidth * kHeight,
                                                benchmark::Counter::kIsRate);
    scene.Stop();
}
BENCHMARK(BM_FullScreenQuad)->Unit(benchmark::kMillisecond);

void BM_ImageTexDictionaryRead(benchmark::State& state)
{
    Scene scene;
    if (!scene.Start()) {
        state.SkipWithError("no engine");
        return;
    }
    TexDictionary* dictionary = TexDictionaryCreate();
    for (int t = 0; t < 64; ++t) {
        Raster* raster =
            RasterCreate(64, 64, 32, kRasterTypeTexture | kRasterFormat8888 | kRasterFormatMipmap);
        for (int level = 0; level < 7; ++level) {
            const int32_t side = 64 >> level;
            Image* image = ImageCreate(side, side, 32);
            ImageAllocatePixels(image);
            for (int32_t i = 0; i < side * side * 4; ++i) {
                image->pixels[i] = static_cast<uint8_t>(i * 7 + t + level);
            }
            RasterSetLevelFromImage(raster, level, image);
            ImageDestroy(image);
        }
        Texture* texture = TextureCreate(raster);
        char name[16];
        std::snprintf(name, sizeof(name), "t%02d", t);
        TextureSetName(texture, name);
        TexDictionaryAddTexture(dictionary, texture);
    }
    std::vector<uint8_t> written = StreamWrittenBytes([&](Stream* s) {
        ImageTexDictionaryWrite(dictionary, s);
        return true;
    });
    TexDictionaryDestroy(dictionary);
    for (auto _ : state) {
        StreamMemory body = {written.data() + 12, written.size() - 12};
        Stream* in = StreamOpen(kStreamMemory, kStreamRead, &body);
        TexDictionary* back = ImageTexDictionaryRead(in);
        StreamClose(in, nullptr);
        if (back == nullptr) {
            state.SkipWithError("read failed");
            break;
        }
        TexDictionaryDestroy(back);
    }
    state.counters["MB/s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * written.size() / 1.0e6, benchmark::Counter::kIsRate);
    scene.Stop();
}
BENCHMARK(BM_ImageTexDictionaryRead)->Unit(benchmark::kMillisecond);

} // namespace
