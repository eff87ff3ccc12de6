// The smoke scene: engine start-up on the Direct3D 9 driver, one camera,
// and a frame of immediate-mode 3-D and 2-D drawing.

#include "tools/engine-smoke/smokescene.h"
#include "tools/cli/tool_engine.h"

#include "graphics/core/camera.h"
#include "graphics/core/engine.h"
#include "graphics/core/frame.h"
#include "graphics/core/raster.h"
#include "graphics/d3d9/d3d9device.h"
#include "graphics/d3d9/d3d9im2d.h"
#include "graphics/d3d9/d3d9renderstate.h"
#include "graphics/d3d9/im3d.h"
#include "platform/d3d9/d3d9control.h"

namespace {

void* StateValue(uintptr_t value)
{
    return reinterpret_cast<void*>(value);
}

Raster* MakeCheckerTexture()
{
    Raster* raster = RasterCreate(8, 8, 32, kRasterTypeTexture | kRasterFormat888);
    if (!raster) {
        return nullptr;
    }
    uint8_t* pixels = RasterLock(raster, 0, kRasterLockWrite);
    if (!pixels) {
        RasterDestroy(raster);
        return nullptr;
    }
    for (int32_t y = 0; y < 8; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(pixels + y * raster->stride);
        for (int32_t x = 0; x < 8; ++x) {
            row[x] = ((x / 4 + y / 4) & 1) ? 0xFFFFFFFF : 0xFFE08020;
        }
    }
    RasterUnlock(raster);
    return raster;
}

void DrawTriangleStrip()
{
    // A quad split into two triangles 3 units in front of the camera, one colour per corner.
    Im3DVertex strip[4] = {
        {-1.0f, 1.0f, 0.0f, 0, 0, -1, 0xFFFF0000, 0, 0},
        {1.0f, 1.0f, 0.0f, 0, 0, -1, 0xFF00FF00, 1, 0},
        {-1.0f, -1.0f, 0.0f, 0, 0, -1, 0xFF0000FF, 0, 1},
        {1.0f, -1.0f, 0.0f, 0, 0, -1, 0xFFFFFF00, 1, 1},
    };
    if (Im3DTransform(strip, 4, nullptr, kIm3DNoVertexAlpha)) {
        Im3DRenderPrimitive(kIm3DTriStrip);
        Im3DEnd();
    }
}

void DrawLines()
{
    // A white frame around the strip and a cyan diagonal, drawn with indices.
    Im3DVertex corners[5] = {
        {-1.2f, 1.2f, 0.0f, 0, 0, 0, 0xFFFFFFFF, 0, 0},   {1.2f, 1.2f, 0.0f, 0, 0, 0, 0xFFFFFFFF, 0, 0},
        {1.2f, -1.2f, 0.0f, 0, 0, 0, 0xFFFFFFFF, 0, 0},   {-1.2f, -1.2f, 0.0f, 0, 0, 0, 0xFFFFFFFF, 0, 0},
        {-1.6f, -1.6f, -0.5f, 0, 0, 0, 0xFF00FFFF, 0, 0},
    };
    const uint16_t edges[10] = {0, 1, 1, 2, 2, 3, 3, 0, 4, 1};
    if (Im3DTransform(corners, 5, nullptr, kIm3DNoVertexAlpha)) {
        Im3DRenderIndexedPrimitive(kIm3DLineList, edges, 10);
        Im3DEnd();
    }
}

void DrawTexturedQuad(Raster* texture)
{
    EngineInstance* engine = EngineGetInstance();
    const float x = 8.0f, y = 8.0f, size = 48.0f;
    Im2DVertex quad[4] = {
        {x, y, 0.0f, 1.0f, 0xFFFFFFFF, 0.0f, 0.0f},
        {x + size, y, 0.0f, 1.0f, 0xFFFFFFFF, 1.0f, 0.0f},
        {x, y + size, 0.0f, 1.0f, 0xFFFFFFFF, 0.0f, 1.0f},
        {x + size, y + size, 0.0f, 1.0f, 0xFFFFFFFF, 1.0f, 1.0f},
    };
    engine->device.renderStateSet(kRenderStateTextureRaster, texture);
    engine->device.renderStateSet(kRenderStateTextureFilter, StateValue(1));
    engine->device.renderStateSet(kRenderStateZTestEnable, StateValue(0));
    engine->device.im2DRenderPrimitive(kIm2DTriStrip, quad, 4);
    engine->device.renderStateSet(kRenderStateZTestEnable, StateValue(1));
    engine->device.renderStateSet(kRenderStateTextureRaster, nullptr);
}

} // namespace

bool SmokeEngineStart(HWND window)
{
    return SmokeEngineStartWith(window, nullptr);
}

bool SmokeEngineStartWith(HWND window, bool (*attach)())
{
    static EngineOpenParams params;
    params.displayId = window;
    EngineSetDeviceDriver(D3D9DriverGet());
    if (!EngineInit(nullptr, 0, 0x100000)) {
        return false;
    }
    if ((attach && !attach()) || !EngineOpen(&params)) {
        EngineTerm();
        return false;
    }
    if (!EngineStart()) {
        ToolEngineShutdown();
        return false;
    }
    return true;
}

void SmokeEngineStop()
{
    ToolEngineShutdown();
}

bool SmokeWriteFrame(const char* path)
{
    IDirect3DSurface9* surface = nullptr;
    if (FAILED(D3D9GetDevice()->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &surface))) {
        return false;
    }
    const bool written = D3D9SurfaceWritePng(surface, path);
    surface->Release();
    return written;
}

Camera* SmokeCameraCreate(int32_t width, int32_t height)
{
    Camera* camera = CameraCreate();
    Frame* frame = camera ? FrameCreate() : nullptr;
    if (!frame) {
        if (camera) {
            CameraDestroy(camera);
        }
        return nullptr;
    }
    CameraSetFrame(camera, frame);
    const V2d window = {0.5f * float(width) / float(height), 0.5f};
    CameraSetViewWindow(camera, &window);
    camera->frameBuffer = RasterCreate(width, height, 0, kRasterTypeCamera);
    camera->zBuffer = RasterCreate(width, height, 0, kRasterTypeZBuffer);
    if (!camera->frameBuffer || !camera->zBuffer) {
        SmokeCameraDestroy(camera);
        return nullptr;
    }
    return camera;
}

void SmokeCameraDestroy(Camera* camera)
{
    if (!camera) {
        return;
    }
    if (camera->frameBuffer) {
        RasterDestroy(camera->frameBuffer);
    }
    if (camera->zBuffer) {
        RasterDestroy(camera->zBuffer);
    }
    Frame* frame = CameraGetFrame(camera);
    CameraSetFrame(camera, nullptr);
    CameraDestroy(camera);
    if (frame) {
        FrameDestroy(frame);
    }
}

bool SmokeSceneCreate(SmokeScene* scene, int32_t width, int32_t height)
{
    *scene = {};
    scene->camera = SmokeCameraCreate(width, height);
    if (!scene->camera) {
        return false;
    }
    const V3d back = {0.0f, 0.0f, -3.0f};
    FrameTranslate(CameraGetFrame(scene->camera), &back, kCombineReplace);
    scene->texture = MakeCheckerTexture();
    if (!scene->texture) {
        SmokeSceneDestroy(scene);
        return false;
    }
    // The strip faces the camera either way round: no culling.
    EngineGetInstance()->device.renderStateSet(kRenderStateCullMode, StateValue(1));
    return true;
}

void SmokeSceneDestroy(SmokeScene* scene)
{
    SmokeCameraDestroy(scene->camera);
    if (scene->texture) {
        RasterDestroy(scene->texture);
    }
    *scene = {};
}

bool SmokeSceneRender(SmokeScene* scene)
{
    const uint8_t background[4] = {uint8_t(kSmokeBackground >> 16), uint8_t(kSmokeBackground >> 8),
                                   uint8_t(kSmokeBackground), 0xFF};
    bool drawn = CameraClear(scene->camera, background, 3) != nullptr;
    if (drawn && CameraBeginUpdate(scene->camera)) {
        DrawTriangleStrip();
        DrawLines();
        DrawTexturedQuad(scene->texture);
        CameraEndUpdate(scene->camera);
    } else {
        drawn = false;
    }
    RasterShowRaster(scene->camera->frameBuffer, nullptr, 0);
    ++scene->frames;
    return drawn;
}
