// Cameras of the main window and the services around the engine.
#include "graphics/shared/skel/win/shellcamera.h"

#include "graphics/core/camera.h"
#include "graphics/core/frame.h"
#include "graphics/core/image.h"
#include "graphics/core/matrix.h"
#include "graphics/core/raster.h"
#include "graphics/shared/skel/win/shellengine.h"
#include "graphics/shared/skel/win/shellwin.h"
#include "platform/win32/debugout.h"
#include "platform/win32/timing.h"

namespace {

void Turn(Camera* camera, const V3d* point, const V3d& axis, float degrees)
{
    Frame* frame = camera ? CameraGetFrame(camera) : nullptr;
    if (!frame)
        return;
    const Matrix* m = FrameGetMatrix(frame);
    const V3d pivot = point ? *point : m->pos;
    const V3d axisCopy = axis; // the matrix changes under it
    const V3d back{-pivot.x, -pivot.y, -pivot.z};
    FrameTranslate(frame, &back, kCombinePostConcat);
    FrameRotate(frame, &axisCopy, degrees, kCombinePostConcat);
    FrameTranslate(frame, &pivot, kCombinePostConcat);
}

} // namespace

Camera* ShellCameraCreate(int32_t width, int32_t height, bool zBuffer)
{
    Camera* camera = CameraCreate();
    Frame* frame = camera ? FrameCreate() : nullptr;
    Raster* colour = frame ? RasterCreate(width, height, 0, kRasterTypeCamera) : nullptr;
    Raster* depth = (colour && zBuffer) ? RasterCreate(width, height, 0, kRasterTypeZBuffer) : nullptr;
    if (!colour || (zBuffer && !depth)) {
        if (depth)
            RasterDestroy(depth);
        if (colour)
            RasterDestroy(colour);
        if (frame)
            FrameDestroy(frame);
        if (camera)
            CameraDestroy(camera);
        return nullptr;
    }
    CameraSetFrame(camera, frame);
    camera->frameBuffer = colour;
    camera->zBuffer = depth;
    return camera;
}

void ShellCameraDestroy(Camera* camera)
{
    if (!camera)
        return;
    if (Frame* frame = CameraGetFrame(camera)) {
        CameraSetFrame(camera, nullptr);
        FrameDestroy(frame);
    }
    if (camera->frameBuffer)
        RasterDestroy(camera->frameBuffer);
    if (camera->zBuffer)
        RasterDestroy(camera->zBuffer);
    camera->frameBuffer = camera->zBuffer = nullptr;
    CameraDestroy(camera);
}

void ShellCameraSize(Camera* camera, const ShellCameraRect* rect, float viewWindow, float aspect)
{
    if (!camera)
        return;
    Raster* colour = camera->frameBuffer;
    ShellCameraRect r{0, 0, colour ? colour->width : 0, colour ? colour->height : 0};
    if (rect)
        r = *rect;
    const ShellEngine& e = *ShellGetEngine();
    VideoMode mode{};
    const int32_t current = e.currentVideoMode();
    const bool fullScreen =
        current >= 0 && e.videoModeInfo(&mode, current) && (mode.flags & kVideoModeExclusive);
    if (fullScreen)
        r = {0, 0, mode.width, mode.height};
    if (r.width <= 0 || r.height <= 0)
        return;
    if (colour) {
        colour->width = r.width;
        colour->height = r.height;
    }
    if (camera->zBuffer) {
        camera->zBuffer->width = r.width;
        camera->zBuffer->height = r.height;
    }
    V2d window{viewWindow, viewWindow};
    if (fullScreen)
        window.y = viewWindow / aspect;
    else if (r.width > r.height)
        window.y = viewWindow * float(r.height) / float(r.width);
    else
        window.x = viewWindow * float(r.width) / float(r.height);
    CameraSetViewWindow(camera, &window);
}

void ShellCameraShowRaster(Camera* camera)
{
    if (camera)
        CameraShowRaster(camera, ShellGetWindow(), 0);
}

Image* ShellCameraToImage(Camera* camera)
{
    Raster* raster = camera ? camera->frameBuffer : nullptr;
    if (!raster)
        return nullptr;
    Image* image = ImageCreate(raster->width, raster->height, 32);
    if (!image)
        return nullptr;
    if (!ImageAllocatePixels(image) || !ImageSetFromRaster(image, raster)) {
        ImageDestroy(image);
        return nullptr;
    }
    return image;
}

Raster* ShellCreateBuiltinRaster()
{
    // A 16 x 16 picture: a white frame around a diagonal blue-to-orange blend.
    Image* image = ImageCreate(16, 16, 32);
    if (!image || !ImageAllocatePixels(image)) {
        if (image)
            ImageDestroy(image);
        return nullptr;
    }
    for (int32_t y = 0; y < 16; ++y) {
        uint8_t* row = image->pixels + y * image->stride;
        for (int32_t x = 0; x < 16; ++x) {
            const bool border = x == 0 || y == 0 || x == 15 || y == 15;
            const auto t = uint8_t((x + y) * 255 / 30);
            uint8_t* p = row + x * 4;
            p[0] = border ? 255 : t;                // red
            p[1] = border ? 255 : uint8_t(t / 2);   // green
            p[2] = border ? 255 : uint8_t(255 - t); // blue
            p[3] = 255;
        }
    }
    Raster* raster = RasterCreate(16, 16, 32, kRasterTypeTexture | kRasterFormat8888);
    if (raster && !RasterSetFromImage(raster, image)) {
        RasterDestroy(raster);
        raster = nullptr;
    }
    ImageDestroy(image);
    return raster;
}

void ShellDebugMessage(int32_t, const char* text)
{
    OutputDebugStringA(text);
    OutputDebugStringA("\n");
}

uint32_t ShellGetTime()
{
    return timeGetTime();
}

void ShellCameraMove(Camera* camera, const V3d* offset)
{
    Frame* frame = camera ? CameraGetFrame(camera) : nullptr;
    if (!frame || !offset)
        return;
    const Matrix* m = FrameGetMatrix(frame);
    const V3d d{offset->x * m->right.x + offset->y * m->up.x + offset->z * m->at.x,
                offset->x * m->right.y + offset->y * m->up.y + offset->z * m->at.y,
                offset->x * m->right.z + offset->y * m->up.z + offset->z * m->at.z};
    FrameTranslate(frame, &d, kCombinePostConcat);
}

void ShellCameraPan(Camera* camera, const V3d* point, float degrees)
{
    if (Frame* frame = camera ? CameraGetFrame(camera) : nullptr)
        Turn(camera, point, FrameGetMatrix(frame)->up, degrees);
}

void ShellCameraTilt(Camera* camera, const V3d* point, float degrees)
{
    if (Frame* frame = camera ? CameraGetFrame(camera) : nullptr)
        Turn(camera, point, FrameGetMatrix(frame)->right, degrees);
}

void ShellCameraRoll(Camera* camera, const V3d* point, float degrees)
{
    if (Frame* frame = camera ? CameraGetFrame(camera) : nullptr)
        Turn(camera, point, FrameGetMatrix(frame)->at, degrees);
}
