#include "graphics/animation/logo.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "graphics/core/camera.h"
#include "graphics/core/engine.h"
#include "graphics/core/error.h"
#include "graphics/core/image.h"
#include "graphics/core/instance.h"
#include "graphics/d3d9/d3d9im2d.h"
#include "graphics/toolkit2d/charset.h"
#include "graphics/toolkit2d/renderstatesave.h"

namespace {

constexpr int32_t kMarginX = 16;
constexpr int32_t kMarginY = 24;
constexpr int32_t kSavedStates[] = {6, 8, 12, 10, 11, 1, 9, 20, 3, 4};

struct LogoData
{
    Raster* raster; ///< null when the open could not build one
    int32_t position;
    RasterRect rect;
};

struct LogoCamera
{
    int32_t enabled;
    CameraUpdateFunc endUpdate;   ///< the camera's own, called after the overlay
    CameraUpdateFunc beginUpdate; ///< the camera's own, called after the rectangle
};

int32_t gEngineOffset = -1;
int32_t gCameraOffset = -1;

bool Attached()
{
    return gEngineOffset >= 0 && gCameraOffset >= 0 && EngineGetState() == kEngineStateStarted;
}

LogoData* Data()
{
    return static_cast<LogoData*>(EngineGetModuleData(gEngineOffset));
}

LogoCamera* CameraData(const Camera* camera)
{
    return reinterpret_cast<LogoCamera*>(reinterpret_cast<uint8_t*>(const_cast<Camera*>(camera)) +
                                         gCameraOffset);
}

/// The picture: "OLAI" in the debug glyphs at twice their size, white over a
/// blue-to-teal gradient whose alpha rises from the edges.
void Paint(uint8_t* pixels)
{
    for (int32_t y = 0; y < kLogoHeight; ++y) {
        for (int32_t x = 0; x < kLogoWidth; ++x) {
            uint8_t* p = pixels + (y * kLogoWidth + x) * 4;
            const int32_t edge = std::min(std::min(x, kLogoWidth - 1 - x), std::min(y, kLogoHeight - 1 - y));
            p[0] = static_cast<uint8_t>(20 + y);
            p[1] = static_cast<uint8_t>(60 + 2 * y);
            p[2] = static_cast<uint8_t>(200 - x / 2);
            p[3] = static_cast<uint8_t>(edge < 8 ? 96 + edge * 16 : 224);
        }
    }
    const char* text = "OLAI";
    const int32_t scale = 2;
    const int32_t left = (kLogoWidth - 4 * 8 * scale) / 2;
    const int32_t top = (kLogoHeight - 14 * scale) / 2;
    for (int32_t i = 0; i < 4; ++i) {
        for (int32_t row = 0; row < 14 * scale; ++row) {
            const uint8_t bits = CharsetGlyphRow(text[i], row / scale);
            for (int32_t column = 0; column < 8 * scale; ++column) {
                if (bits & (1u << (column / scale))) {
                    uint8_t* p = pixels + ((top + row) * kLogoWidth + left + i * 8 * scale + column) * 4;
                    p[0] = p[1] = p[2] = p[3] = 255;
                }
            }
        }
    }
}

/// The picture as a texture raster for the device; null on failure.
Raster* BuildRaster()
{
    Image* image = ImageCreate(kLogoWidth, kLogoHeight, 32);
    if (image == nullptr || !ImageAllocatePixels(image)) {
        if (image != nullptr) {
            ImageDestroy(image);
        }
        return nullptr;
    }
    Paint(image->pixels);
    int32_t width, height, depth;
    uint32_t format;
    Raster* raster = nullptr;
    if (ImageFindRasterFormat(image, kRasterTypeTexture, &width, &height, &depth, &format)) {
        if (width != kLogoWidth || height != kLogoHeight) {
            Image* sized = ImageCreate(width, height, 32);
            if (sized != nullptr && ImageAllocatePixels(sized) && ImageResample(sized, image)) {
                ImageDestroy(image);
                image = sized;
            } else if (sized != nullptr) {
                ImageDestroy(sized);
            }
        }
        if (image->width == width && image->height == height && ImageGammaCorrect(image)) {
            raster = RasterCreate(width, height, depth, format);
        }
    }
    if (raster != nullptr && !RasterSetFromImage(raster, image)) {
        RasterDestroy(raster);
        raster = nullptr;
    }
    ImageDestroy(image);
    return raster;
}

void* LogoOpen(void* instance, int32_t, int32_t)
{
    LogoData* data = Data();
    *data = LogoData{};
    data->raster = BuildRaster();
    if (data->raster == nullptr) {
        return nullptr;
    }
    data->position = 8;
    return instance;
}

void* LogoClose(void* instance, int32_t, int32_t)
{
    LogoData* data = Data();
    if (data->raster != nullptr) {
        RasterDestroy(data->raster);
    }
    *data = LogoData{};
    return instance;
}

Camera* BeginUpdate(Camera* camera)
{
    LogoData* data = Data();
    if (data->raster != nullptr) {
        data->rect = LogoComputeRect(camera, data->position);
    }
    CameraUpdateFunc begin = CameraData(camera)->beginUpdate;
    return begin != nullptr ? begin(camera) : camera;
}

void Draw(Camera* camera, const LogoData* data)
{
    const RasterRect& r = data->rect;
    const float z = EngineGetInstance()->device.zBufferNear;
    const float recipZ = 1.0f / camera->nearPlane;
    const float x0 = static_cast<float>(r.x);
    const float y0 = static_cast<float>(r.y);
    const float x1 = static_cast<float>(r.x + r.width);
    const float y1 = static_cast<float>(r.y + r.height);
    Im2DVertex fan[4] = {
        {x0, y0, z, recipZ, 0xFFFFFFFFu, 0.0f, 0.0f},
        {x0, y1, z, recipZ, 0xFFFFFFFFu, 0.0f, 1.0f},
        {x1, y1, z, recipZ, 0xFFFFFFFFu, 1.0f, 1.0f},
        {x1, y0, z, recipZ, 0xFFFFFFFFu, 1.0f, 0.0f},
    };
    SavedRenderStates saved;
    RenderStatesSave(&saved, kSavedStates, static_cast<int32_t>(std::size(kSavedStates)));
    RenderStateSetValue(6, 0);
    RenderStateSetValue(8, 0);
    RenderStateSetValue(12, 0);
    RenderStateSetValue(10, 5);
    RenderStateSetValue(11, 6);
    RenderStateSetRaster(data->raster);
    RenderStateSetValue(9, 2);
    RenderStateSetValue(20, 1);
    RenderStateSetValue(2, 1);
    EngineGetInstance()->device.im2DRenderPrimitive(kIm2DTriFan, fan, 4);
    // State 2 (both addressing modes) stays as set: 3 and 4 restore them.
    RenderStatesRestore(&saved);
}

Camera* EndUpdate(Camera* camera)
{
    const LogoData* data = Data();
    const RasterRect& r = data->rect;
    if (data->raster != nullptr && CameraData(camera)->enabled && r.x > 0 && r.y > 0 && r.width > 0 &&
        r.height > 0) {
        Draw(camera, data);
    }
    CameraUpdateFunc end = CameraData(camera)->endUpdate;
    return end != nullptr ? end(camera) : camera;
}

void* CameraConstruct(void* object, int32_t, int32_t)
{
    auto* camera = static_cast<Camera*>(object);
    LogoCamera* data = CameraData(camera);
    data->enabled = 0;
    data->endUpdate = camera->endUpdate;
    data->beginUpdate = camera->beginUpdate;
    camera->endUpdate = EndUpdate;
    camera->beginUpdate = BeginUpdate;
    return object;
}

void* CameraDestruct(void* object, int32_t, int32_t)
{
    CameraData(static_cast<Camera*>(object))->enabled = 0;
    return object;
}

void* CameraCopy(void* destination, const void*, int32_t, int32_t)
{
    return destination;
}

} // namespace

bool LogoPluginAttach()
{
    gEngineOffset = EngineAttachPlugin(sizeof(LogoData), kPluginIdLogo, LogoOpen, LogoClose);
    gCameraOffset =
        CameraRegisterPlugin(sizeof(LogoCamera), kPluginIdLogo, CameraConstruct, CameraDestruct, CameraCopy);
    return gEngineOffset >= 0 && gCameraOffset >= 0;
}

RasterRect LogoComputeRect(const Camera* camera, int32_t position)
{
    const Raster* frameBuffer = camera->frameBuffer;
    if (frameBuffer == nullptr) {
        return {};
    }
    const int32_t w = frameBuffer->width;
    const int32_t h = frameBuffer->height;
    const float vx = camera->viewWindow.x;
    const float vy = camera->viewWindow.y;
    // r = (H vx) / (2 W vy): the picture's 2:1 shape corrected for the pixels'
    // aspect; a frame buffer or window without extent leaves no room.
    if (w <= 0 || h <= 0 || !(vx > 0.0f) || !(vy > 0.0f)) {
        return {};
    }
    const float r = (static_cast<float>(h) * vx) / (2.0f * static_cast<float>(w) * vy);
    int32_t width = static_cast<int32_t>(0.1f * static_cast<float>(w));
    int32_t height = static_cast<int32_t>(static_cast<float>(width) * r);
    if (height > h - 2 * kMarginY) {
        height = h - 2 * kMarginY;
        width = static_cast<int32_t>(static_cast<float>(height) / r);
    }
    if (width <= 0 || height <= 0) {
        return {};
    }
    int32_t x = 0;
    int32_t y = 0;
    const int32_t centreX = (w - width) / 2;
    const int32_t middleY = (h - height) / 2;
    const int32_t rightX = w - kMarginX - width;
    const int32_t bottomY = h - kMarginY - height;
    switch (position) {
    case 1:
        x = centreX, y = kMarginY;
        break;
    case 2:
        x = centreX, y = middleY;
        break;
    case 3:
        x = centreX, y = bottomY;
        break;
    case 4:
        x = kMarginX, y = middleY;
        break;
    case 5:
        x = rightX, y = middleY;
        break;
    case 6:
        x = kMarginX, y = kMarginY;
        break;
    case 7:
        x = rightX, y = kMarginY;
        break;
    case 8:
        x = kMarginX, y = bottomY;
        break;
    default:
        x = rightX, y = bottomY;
        break;
    }
    return {x + frameBuffer->xOffset, y + frameBuffer->yOffset, width, height};
}

int32_t LogoSetPosition(int32_t position)
{
    if (!Attached()) {
        return 0;
    }
    if (position < 1 || position > 9) {
        ErrorRaise(kPluginIdLogo, ErrorCode(kErrorBadArgument, "Invalid logo position specified"));
        return 0;
    }
    Data()->position = position;
    return 1;
}

int32_t LogoGetPosition()
{
    return Attached() ? Data()->position : 0;
}

const RasterRect* LogoGetRect()
{
    return Attached() ? &Data()->rect : nullptr;
}

int32_t LogoCameraGetEnabled(const Camera* camera)
{
    return gCameraOffset >= 0 ? CameraData(camera)->enabled : 0;
}

int32_t LogoCameraSetEnabled(Camera* camera, int32_t enabled)
{
    if (gCameraOffset < 0) {
        return 0;
    }
    const int32_t old = CameraData(camera)->enabled;
    CameraData(camera)->enabled = enabled;
    return old;
}
