// Raster records, their device operations and the rendering-context stack.
#include "graphics/core/raster.h"

#include <cstring>

#include "graphics/core/devicecall.h"
#include "graphics/core/engine.h"
#include "graphics/core/error.h"
#include "graphics/core/freelist.h"
#include "graphics/core/image.h"
#include "graphics/core/memory.h"
#include "graphics/core/pluginids.h"
#include "graphics/core/resources.h"

namespace {

constexpr uint32_t kRasterHint = 0x30407;
/// Rasters the context stack holds above its blank bottom.
constexpr int32_t kContextDepth = 9;

struct RasterModule
{
    Raster* stack[kContextDepth + 1]; ///< entry 0 is the blank raster
    int32_t depth;                    ///< rasters pushed, 0 when empty
    Raster blank;
    FreeList* rasters;
};

PluginRegistry g_rasterRegistry = PluginRegistryMake(sizeof(Raster));
int32_t g_moduleOffset = -1;
int32_t g_rastersPerBlock = 128;
int32_t g_rasterBlocks = 1;

RasterModule* Module()
{
    return static_cast<RasterModule*>(EngineGetModuleData(g_moduleOffset));
}

} // namespace

Raster* RasterCreate(int32_t width, int32_t height, int32_t depth, uint32_t creationFlags)
{
    RasterModule* module = Module();
    auto* raster = static_cast<Raster*>(MemoryFreeListAlloc(module->rasters, kRasterHint));
    if (!raster) {
        ErrorRaise(0, ErrorCode(kErrorOutOfMemory, g_rasterRegistry.objectSize));
        return nullptr;
    }
    std::memset(raster, 0, sizeof(Raster));
    raster->parent = raster;
    raster->width = width;
    raster->height = height;
    raster->depth = depth;
    // The device sets these from the creation word; they start out as asked.
    raster->type = static_cast<uint8_t>(creationFlags & kRasterTypeMask);
    raster->flags = static_cast<uint8_t>(creationFlags & 0xF8);
    raster->format = static_cast<uint8_t>(creationFlags >> 8);
    // The plug-ins (the device's body among them) exist before the device
    // creates its side, which fills them in.
    if (!PluginRegistryConstruct(&g_rasterRegistry, raster)) {
        MemoryFreeListFree(module->rasters, raster);
        return nullptr;
    }
    if (!DeviceCall(kDeviceFnRasterCreate, nullptr, raster, static_cast<int32_t>(creationFlags))) {
        PluginRegistryDestruct(&g_rasterRegistry, raster);
        MemoryFreeListFree(module->rasters, raster);
        return nullptr;
    }
    return raster;
}

int32_t RasterDestroy(Raster* raster)
{
    PluginRegistryDestruct(&g_rasterRegistry, raster);
    DeviceCall(kDeviceFnRasterDestroy, nullptr, raster, 0);
    MemoryFreeListFree(Module()->rasters, raster);
    return 1;
}

Raster* RasterSubRaster(Raster* raster, Raster* parent, const RasterRect* rect)
{
    if (!(raster->flags & kRasterFlagNoPixels)) {
        return nullptr;
    }
    if (rect->x < 0 || rect->y < 0 || rect->width < 0 || rect->height < 0 ||
        static_cast<int64_t>(rect->x) + rect->width > parent->width ||
        static_cast<int64_t>(rect->y) + rect->height > parent->height) {
        ErrorRaise(0, kErrorBadArgument);
        return nullptr;
    }
    raster->width = rect->width;
    raster->height = rect->height;
    raster->xOffset = static_cast<int16_t>(parent->xOffset + rect->x);
    raster->yOffset = static_cast<int16_t>(parent->yOffset + rect->y);
    if (!DeviceCall(kDeviceFnSubRaster, raster, parent, 0)) {
        return nullptr;
    }
    raster->parent = parent->parent;
    return raster;
}

uint8_t* RasterLock(Raster* raster, uint8_t level, uint32_t lockMode)
{
    uint8_t* pixels = nullptr;
    if (!DeviceCall(kDeviceFnRasterLock, &pixels, raster,
                    static_cast<int32_t>((uint32_t{level} << 8) + lockMode))) {
        return nullptr;
    }
    return pixels;
}

Raster* RasterUnlock(Raster* raster)
{
    return DeviceCall(kDeviceFnRasterUnlock, nullptr, raster, 0) ? raster : nullptr;
}

uint8_t* RasterLockPalette(Raster* raster, uint32_t lockMode)
{
    uint8_t* palette = nullptr;
    if (!DeviceCall(kDeviceFnPaletteLock, &palette, raster, static_cast<int32_t>(lockMode))) {
        return nullptr;
    }
    return palette;
}

Raster* RasterUnlockPalette(Raster* raster)
{
    const int32_t result = DeviceCall(kDeviceFnPaletteUnlock, nullptr, raster, 0);
    raster->privateFlags &=
        static_cast<uint8_t>(~(kRasterPrivatePaletteLocked | kRasterPrivatePaletteLockedWrite));
    return result ? raster : nullptr;
}

int32_t RasterGetNumLevels(Raster* raster)
{
    if (!(raster->format & (kRasterFormatMipmap >> 8))) {
        return 1;
    }
    int32_t levels = 0;
    return DeviceCall(kDeviceFnMipLevels, &levels, raster, 0) ? levels : -1;
}

// ---- Context stack -------------------------------------------------------------

Raster* RasterPushContext(Raster* raster)
{
    RasterModule* module = Module();
    if (module->depth >= kContextDepth) {
        ErrorRaise(0, kErrorWrongState);
        return nullptr;
    }
    if (!DeviceCall(kDeviceFnSetContextRaster, nullptr, raster, 0)) {
        return nullptr;
    }
    module->stack[++module->depth] = raster;
    return raster;
}

Raster* RasterPopContext()
{
    RasterModule* module = Module();
    if (module->depth == 0) {
        ErrorRaise(kPluginIdCore, kErrorCoreNoContext);
        return nullptr;
    }
    Raster* popped = module->stack[module->depth--];
    if (!DeviceCall(kDeviceFnSetContextRaster, nullptr, module->stack[module->depth], 0)) {
        return nullptr;
    }
    return popped;
}

Raster* RasterGetCurrentContext()
{
    RasterModule* module = Module();
    return module->stack[module->depth];
}

int32_t RasterClear(uint32_t pixelValue)
{
    if (Module()->depth == 0) {
        ErrorRaise(kPluginIdCore, kErrorCoreNoContext);
        return 0;
    }
    return DeviceCall(kDeviceFnClear, nullptr, nullptr, static_cast<int32_t>(pixelValue)) ? 1 : 0;
}

int32_t RasterClearRect(const RasterRect* rect, uint32_t pixelValue)
{
    if (Module()->depth == 0) {
        ErrorRaise(kPluginIdCore, kErrorCoreNoContext);
        return 0;
    }
    RasterRect copy = *rect;
    return DeviceCall(kDeviceFnClearRect, nullptr, &copy, static_cast<int32_t>(pixelValue)) ? 1 : 0;
}

Raster* RasterRender(Raster* raster, int32_t x, int32_t y)
{
    RasterPoint point{x, y};
    return DeviceCall(kDeviceFnRasterRender, raster, &point, 0) ? raster : nullptr;
}

Raster* RasterRenderFast(Raster* raster, int32_t x, int32_t y)
{
    RasterPoint point{x, y};
    return DeviceCall(kDeviceFnRasterRenderFast, raster, &point, 0) ? raster : nullptr;
}

Raster* RasterRenderScaled(Raster* raster, const RasterRect* rect)
{
    RasterRect copy = *rect;
    return DeviceCall(kDeviceFnRasterRenderScaled, raster, &copy, 0) ? raster : nullptr;
}

Raster* RasterShowRaster(Raster* raster, void* window, uint32_t flags)
{
    ResourcesNextFrame();
    return DeviceCall(kDeviceFnRasterShowRaster, raster, window, static_cast<int32_t>(flags)) ? raster
                                                                                              : nullptr;
}

// ---- Colours and images ---------------------------------------------------------

uint32_t RGBAToPixel(const uint8_t* rgba, uint32_t format)
{
    uint32_t pixel = 0;
    uint8_t colour[4];
    std::memcpy(colour, rgba, 4);
    return DeviceCall(kDeviceFnRGBAToPixel, &pixel, colour, static_cast<int32_t>(format)) ? pixel : 0;
}

uint8_t* PixelToRGBA(uint8_t* rgba, uint32_t pixel, uint32_t format)
{
    return DeviceCall(kDeviceFnPixelToRGBA, rgba, &pixel, static_cast<int32_t>(format)) ? rgba : nullptr;
}

Image* ImageSetFromRaster(Image* image, Raster* raster)
{
    if (!DeviceCall(kDeviceFnImageFromRaster, image, raster, 0)) {
        return nullptr;
    }
    if (raster->privateFlags & kRasterPrivateGammaCorrected) {
        image->flags |= kImageFlagGammaCorrected;
    }
    return image;
}

Raster* RasterSetFromImage(Raster* raster, Image* image)
{
    if (!DeviceCall(kDeviceFnRasterFromImage, raster, image, 0)) {
        return nullptr;
    }
    if (image->flags & kImageFlagGammaCorrected) {
        raster->privateFlags |= kRasterPrivateGammaCorrected;
    }
    return raster;
}

Image* ImageFindRasterFormat(Image* image, uint32_t typeAndFlags, int32_t* width, int32_t* height,
                             int32_t* depth, uint32_t* creationFlags)
{
    Raster scratch{};
    scratch.parent = &scratch;
    if (!DeviceCall(kDeviceFnImageRasterFormat, &scratch, image, static_cast<int32_t>(typeAndFlags))) {
        return nullptr;
    }
    *width = scratch.width;
    *height = scratch.height;
    *depth = scratch.depth;
    *creationFlags = static_cast<uint32_t>(scratch.format) << 8 | scratch.type;
    return image;
}

// ---- Plug-ins and module ----------------------------------------------------------

int32_t RasterRegisterPlugin(int32_t size, uint32_t pluginId, PluginConstructor constructor,
                             PluginDestructor destructor, PluginCopy copy)
{
    return PluginRegistryRegister(&g_rasterRegistry, size, pluginId, constructor, destructor, copy);
}

int32_t RasterGetPluginOffset(uint32_t pluginId)
{
    return PluginRegistryGetOffset(&g_rasterRegistry, pluginId);
}

void RasterSetFreeListCreateParams(int32_t entriesPerBlock, int32_t blocksToPreallocate)
{
    g_rastersPerBlock = entriesPerBlock;
    g_rasterBlocks = blocksToPreallocate;
}

void* RasterModuleOpen(void* instance, int32_t offset, int32_t /*size*/)
{
    g_moduleOffset = offset;
    RasterModule* module = Module();
    std::memset(module, 0, sizeof(*module));
    module->rasters = FreeListCreate(static_cast<uint32_t>(g_rasterRegistry.objectSize), g_rastersPerBlock, 0,
                                     g_rasterBlocks, nullptr, kRasterHint);
    if (!module->rasters) {
        ErrorRaise(0, kErrorOutOfMemory);
        return nullptr;
    }
    module->blank.parent = &module->blank;
    module->blank.flags = kRasterFlagNoPixels;
    module->stack[0] = &module->blank;
    return instance;
}

void* RasterModuleClose(void* instance, int32_t /*offset*/, int32_t /*size*/)
{
    RasterModule* module = Module();
    if (module->rasters) {
        FreeListDestroy(module->rasters);
        module->rasters = nullptr;
    }
    return instance;
}

int32_t RasterModuleAttach()
{
    g_moduleOffset =
        EngineAttachPlugin(sizeof(RasterModule), kPluginIdRaster, RasterModuleOpen, RasterModuleClose);
    return g_moduleOffset;
}
