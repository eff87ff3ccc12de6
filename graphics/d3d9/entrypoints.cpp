// The device entry points the driver copies into the engine instance.

#include "graphics/d3d9/d3d9device.h"
#include "graphics/d3d9/formatfit.h"
#include "graphics/d3d9/nativeraster.h"
#include "graphics/d3d9/nativetextureio.h"
#include "graphics/d3d9/pixelformat.h"
#include "graphics/d3d9/rasterconvert.h"
#include "graphics/d3d9/rasterext.h"
#include "graphics/d3d9/rasterrender.h"

namespace {

int32_t FunctionNotSupported(void*, void*, int32_t)
{
    return 0;
}

struct EntryPoint
{
    DeviceFunctionIndex index;
    DeviceFunction function;
};

constexpr EntryPoint kEntryPoints[] = {
    {kDeviceFnCameraBeginUpdate, D3D9CameraBeginUpdate},
    {kDeviceFnRasterCreate, D3D9RasterCreate},
    {kDeviceFnRasterDestroy, D3D9RasterDestroy},
    {kDeviceFnTextureSetRaster, D3D9TextureSetRaster},
    {kDeviceFnCameraEndUpdate, D3D9CameraEndUpdate},
    {kDeviceFnSetContextRaster, D3D9RasterSetContext},
    {kDeviceFnClearRect, D3D9RasterClearRect},
    {kDeviceFnClear, D3D9RasterClear},
    {kDeviceFnRasterLock, D3D9RasterLock},
    {kDeviceFnRasterUnlock, D3D9RasterUnlock},
    {kDeviceFnRasterRender, D3D9RasterRender},
    {kDeviceFnRasterRenderScaled, D3D9RasterRenderScaled},
    {kDeviceFnRasterRenderFast, D3D9RasterRenderFast},
    {kDeviceFnRasterShowRaster, D3D9RasterShowRaster},
    {kDeviceFnCameraClear, D3D9CameraClear},
    // Native rasters, textures and pixel conversion.
    {kDeviceFnRGBAToPixel, D3D9RGBAToPixel},
    {kDeviceFnPixelToRGBA, D3D9PixelToRGBA},
    {kDeviceFnImageFromRaster, D3D9ImageSetFromRaster},
    {kDeviceFnRasterFromImage, D3D9RasterSetFromImage},
    {kDeviceFnImageRasterFormat, D3D9ImageFindRasterFormat},
    {kDeviceFnSubRaster, D3D9RasterSubRaster},
    {kDeviceFnPaletteLock, D3D9RasterLockPalette},
    {kDeviceFnPaletteUnlock, D3D9RasterUnlockPalette},
    {kDeviceFnMipLevels, D3D9RasterGetMipLevels},
    {kDeviceFnNativeTextureSize, D3D9NativeTextureGetSize},
    {kDeviceFnNativeTextureRead, D3D9NativeTextureRead},
    {kDeviceFnNativeTextureWrite, D3D9NativeTextureWrite},
};

} // namespace

int32_t D3D9GetStandardFunctions(void* slots, void*, int32_t count)
{
    auto* functions = static_cast<DeviceFunction*>(slots);
    for (int32_t i = 0; i < count; ++i) {
        functions[i] = FunctionNotSupported;
    }
    if (count > 1) {
        for (const EntryPoint& entry : kEntryPoints) {
            if (entry.index < count) {
                functions[entry.index] = entry.function;
            }
        }
    }
    return 1;
}
