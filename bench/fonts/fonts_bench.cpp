// Text drawing with the sample font "DID16": glyphs per second of
// FontRenderString for lines of 64 characters, (a) into a recording
// immediate mode (the toolkit's own cost) and (b) through the software
// device at 640 x 480 at the font's native size. (c) is the device's
// textured fill rate in the same run: pixels per second of screen-sized
// textured quads, to judge (b) by the glyph area it covers. (d) is the debug
// character set printing the same line (8 x 14 pixel glyphs), for comparison.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "graphics/core/camera.h"
#include "graphics/core/filesystem.h"
#include "graphics/core/raster.h"
#include "graphics/core/texture.h"
#include "graphics/core/win32filesystem.h"
#include "graphics/d3d9/d3d9renderstate.h"
#include "graphics/d3d9/im3d.h"
#include "graphics/toolkit2d/brush.h"
#include "graphics/toolkit2d/charset.h"
#include "graphics/toolkit2d/font.h"
#include "graphics/toolkit2d/imageformats.h"
#include "graphics/toolkit2d/testing/im3drecorder.h"
#include "graphics/toolkit2d/twoddevice.h"
#include "tools/draw2d/draw2dscene.h"
#include "tools/engine-smoke/smokescene.h"

namespace {

constexpr int32_t kWidth = 640;
constexpr int32_t kHeight = 480;

struct Bench
{
    Draw2DScene scene;
    Font* font;
    Brush* brush;
};

/// The engine, the toolkit and "DID16" from the sample data, once per run.
Bench* Started()
{
    static Bench bench{};
    static const bool started = [] {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        HWND window = Win32WindowCreate("bench_fonts", kWidth, kHeight);
        if (!window || !SmokeEngineStart(window) || !Draw2DSceneCreate(&bench.scene, kWidth, kHeight) ||
            !FileSystemManagerOpen(0)) {
            return false;
        }
        FileSystem* files = Win32FileSystemCreate(8, OLAI_SAMPLE_DATA_DIR "/", "unc");
        if (!files || !FileSystemManagerRegister(files) || !Toolkit2dImageFormatsRegister()) {
            return false;
        }
        FileSystemManagerSetDefault(files);
        FontSetPath("FONTS\\");
        FontListNode* node = FontFindOrRead("DID16");
        bench.font = node ? node->font : nullptr;
        bench.brush = BrushCreate();
        return bench.font && bench.brush;
    }();
    return started ? &bench : nullptr;
}

const std::string& Line()
{
    static const std::string line = "The quick brown fox jumps over the lazy dog; Score 42 of 1000 x!";
    return line;
}

void BM_GlyphsRecorded(benchmark::State& state)
{
    Bench* bench = Started();
    if (!bench) {
        state.SkipWithError("the engine or the font did not start");
        return;
    }
    Im3DRecorder recorder(false);
    const float size = FontGetNativeSize(bench->font);
    for (auto _ : state) {
        float position[2] = {0.0f, 0.5f};
        FontRenderString(bench->font, Line().c_str(), size, position, bench->brush);
    }
    state.counters["glyphs_per_second"] =
        benchmark::Counter(double(state.iterations()) * double(Line().size()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_GlyphsRecorded);

void BM_GlyphsDrawn(benchmark::State& state)
{
    Bench* bench = Started();
    if (!bench) {
        state.SkipWithError("the engine or the font did not start");
        return;
    }
    Camera* camera = bench->scene.camera;
    const float size = FontGetNativeSize(bench->font);
    const float width = FontGetStringWidth(bench->font, Line().c_str(), size);
    CameraBeginUpdate(camera);
    for (auto _ : state) {
        // Twenty lines down the screen, one per iteration.
        float position[2] = {0.02f, 0.05f + 0.045f * float(state.iterations() % 20)};
        FontRenderString(bench->font, Line().c_str(), size, position, bench->brush);
    }
    CameraEndUpdate(camera);
    // The glyph area in pixels: the line's width and height at one texel per pixel.
    const double pixels = double(width) * kHeight * double(size) * kHeight;
    state.counters["glyphs_per_second"] =
        benchmark::Counter(double(state.iterations()) * double(Line().size()), benchmark::Counter::kIsRate);
    state.counters["glyph_pixels_per_second"] =
        benchmark::Counter(double(state.iterations()) * pixels, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_GlyphsDrawn);

void BM_TexturedFill(benchmark::State& state)
{
    Bench* bench = Started();
    if (!bench) {
        state.SkipWithError("the engine or the font did not start");
        return;
    }
    Camera* camera = bench->scene.camera;
    Texture* page = bench->font->textures[0];
    const Matrix* matrix = TwoDDeviceUpdateMatrix();
    const float z = TwoDDeviceGetLayerDepth();
    const float w = float(kWidth) / float(kHeight);
    Im3DVertex quad[4] = {
        {0, 0, z, 0, 0, 0, 0xFFFFFFFF, 0, 1},
        {0, 1, z, 0, 0, 0, 0xFFFFFFFF, 0, 0},
        {w, 0, z, 0, 0, 0, 0xFFFFFFFF, 1, 1},
        {w, 1, z, 0, 0, 0, 0xFFFFFFFF, 1, 0},
    };
    const uint16_t indices[6] = {0, 2, 3, 0, 3, 1};
    CameraBeginUpdate(camera);
    TwoDDeviceSetRenderState(kRenderStateTextureRaster, TextureGetRaster(page));
    for (auto _ : state) {
        Im3DTransform(quad, 4, matrix, kIm3DTextured | kIm3DNoClip);
        Im3DRenderIndexedPrimitive(kIm3DTriList, indices, 6);
        Im3DEnd();
    }
    CameraEndUpdate(camera);
    state.counters["pixels_per_second"] =
        benchmark::Counter(double(state.iterations()) * kWidth * kHeight, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_TexturedFill);

void BM_CharsetDrawn(benchmark::State& state)
{
    Bench* bench = Started();
    const uint8_t white[4] = {255, 255, 255, 255}, clear[4] = {0, 0, 0, 0};
    Charset* charset = bench ? CharsetCreate(white, clear) : nullptr;
    if (!charset) {
        state.SkipWithError("the engine or the character set did not start");
        return;
    }
    Camera* camera = bench->scene.camera;
    CameraBeginUpdate(camera);
    for (auto _ : state) {
        CharsetPrint(charset, Line().c_str(), 4, 20 + 20 * int32_t(state.iterations() % 20));
    }
    CameraEndUpdate(camera);
    state.counters["glyphs_per_second"] =
        benchmark::Counter(double(state.iterations()) * double(Line().size()), benchmark::Counter::kIsRate);
    CharsetDestroy(charset);
}
BENCHMARK(BM_CharsetDrawn);

} // namespace
