#pragma once
// Rasters: the engine's device-independent handles of pixel blocks that the
// device owns (frame buffers, z-buffers, texture pixels, off-screen images).
// The raster keeps only the generic fields; the device keeps its own body in
// a plug-in of the raster registry and does the work through the engine
// instance's device entry points. The raster module (core module 0x407) also
// keeps the stack of rendering contexts that 2-D drawing goes to, and moves
// pixels between rasters and images. Every function needs the engine started.

#include <cstdint>

#include "graphics/core/plugin.h"

struct Image;

/// Raster types (low three bits of the type byte and of a creation word).
constexpr uint8_t kRasterTypeNormal = 0;
constexpr uint8_t kRasterTypeZBuffer = 1;
constexpr uint8_t kRasterTypeCamera = 2;
constexpr uint8_t kRasterTypeTexture = 4;
constexpr uint8_t kRasterTypeCameraTexture = 5;
constexpr uint8_t kRasterTypeMask = 7;

/// Raster flags byte.
constexpr uint8_t kRasterFlagNoPixels = 0x80; ///< no pixels of its own; may become a sub-raster

/// Private flags byte.
constexpr uint8_t kRasterPrivateGammaCorrected = 0x01; ///< filled from a gamma-corrected image
constexpr uint8_t kRasterPrivateLockedRead = 0x02;
constexpr uint8_t kRasterPrivateLockedWrite = 0x04;
constexpr uint8_t kRasterPrivatePaletteLocked = 0x08;
constexpr uint8_t kRasterPrivatePaletteLockedWrite = 0x10;

/// Engine raster formats as they appear in a creation word (bits 8-15; the
/// raster's format byte holds them shifted down by 8).
constexpr uint32_t kRasterFormatDefault = 0x0000;
constexpr uint32_t kRasterFormat1555 = 0x0100;
constexpr uint32_t kRasterFormat565 = 0x0200;
constexpr uint32_t kRasterFormat4444 = 0x0300;
constexpr uint32_t kRasterFormatLum8 = 0x0400;
constexpr uint32_t kRasterFormat8888 = 0x0500;
constexpr uint32_t kRasterFormat888 = 0x0600;
constexpr uint32_t kRasterFormat16 = 0x0700;
constexpr uint32_t kRasterFormat24 = 0x0800;
constexpr uint32_t kRasterFormat32 = 0x0900;
constexpr uint32_t kRasterFormat555 = 0x0A00;
constexpr uint32_t kRasterFormatPixelMask = 0x0F00;
constexpr uint32_t kRasterFormatAutoMipmap = 0x1000; ///< the device generates the mip levels
constexpr uint32_t kRasterFormatPal8 = 0x2000;
constexpr uint32_t kRasterFormatPal4 = 0x4000;
constexpr uint32_t kRasterFormatMipmap = 0x8000; ///< the raster has mip levels

/// Lock modes.
constexpr uint32_t kRasterLockWrite = 1;
constexpr uint32_t kRasterLockRead = 2;
constexpr uint32_t kRasterLockNoFetch = 4; ///< the old contents need not be read back

struct RasterRect
{
    int32_t x, y, width, height;
};

struct RasterPoint
{
    int32_t x, y;
};

struct Raster
{
    Raster* parent;   ///< the raster whose pixels this one shows (itself for a top raster)
    uint8_t* pixels;  ///< valid while locked
    uint8_t* palette; ///< valid while the palette is locked
    int32_t width;
    int32_t height;
    int32_t depth;   ///< bits per pixel
    int32_t stride;  ///< bytes per row (set by the device)
    int16_t xOffset; ///< position in the top raster
    int16_t yOffset;
    uint8_t type;          ///< kRasterType...
    uint8_t flags;         ///< kRasterFlagNoPixels
    uint8_t privateFlags;  ///< kRasterPrivate... bits
    uint8_t format;        ///< kRasterFormat... >> 8
    int32_t originalWidth; ///< kept by the device while a mip level is locked
    int32_t originalHeight;
};

/// Creates a raster; `creationFlags` = type | format word. The plug-in
/// constructors run, then the device creates its body. Null when out of
/// memory, a plug-in fails or the device refuses.
Raster* RasterCreate(int32_t width, int32_t height, int32_t depth, uint32_t creationFlags);
/// Plug-in destructors, the device's destroy, the record freed. 1.
int32_t RasterDestroy(Raster* raster);
/// Makes `raster` (which must have kRasterFlagNoPixels) show `rect` of
/// `parent`; the rectangle must lie inside the parent. Null otherwise or when
/// the device refuses (the device is not asked for a raster with pixels).
Raster* RasterSubRaster(Raster* raster, Raster* parent, const RasterRect* rect);
/// Locks mip level `level` (0..255) with kRasterLock... bits; the pixels or null.
uint8_t* RasterLock(Raster* raster, uint8_t level, uint32_t lockMode);
/// The raster, or null when the device refuses.
Raster* RasterUnlock(Raster* raster);
/// The palette (RGBA entries) or null.
uint8_t* RasterLockPalette(Raster* raster, uint32_t lockMode);
Raster* RasterUnlockPalette(Raster* raster);
/// 1 without kRasterFormatMipmap; else the device's level count, -1 on failure.
int32_t RasterGetNumLevels(Raster* raster);

/// Context stack of at most 9 rasters above a blank bottom raster. Push
/// answers the raster, or null when the device refuses or the stack is full
/// (kErrorWrongState); nothing is pushed then.
Raster* RasterPushContext(Raster* raster);
/// Pops the top and tells the device the new top; the popped raster, or null
/// with nothing pushed (plain error 21) or when the device refuses (the pop stands).
Raster* RasterPopContext();
/// The top of the stack; the blank raster (type 0, flags 0x80, 0 x 0 x 0)
/// when nothing is pushed. Never null.
Raster* RasterGetCurrentContext();
/// Clears the current context to a device pixel value; 1, or 0 with no
/// context (plain error 21) or when the device refuses.
int32_t RasterClear(uint32_t pixelValue);
int32_t RasterClearRect(const RasterRect* rect, uint32_t pixelValue);
/// Draws `raster` into the current context at (x, y): blended, unblended, or
/// scaled into a rectangle (blended). The raster, or null on failure.
Raster* RasterRender(Raster* raster, int32_t x, int32_t y);
Raster* RasterRenderFast(Raster* raster, int32_t x, int32_t y);
Raster* RasterRenderScaled(Raster* raster, const RasterRect* rect);
/// Frame boundary of the resources arena, then the device presents the raster.
Raster* RasterShowRaster(Raster* raster, void* window, uint32_t flags);

/// The device pixel value of an RGBA colour in a raster format word; 0 when
/// the device refuses.
uint32_t RGBAToPixel(const uint8_t* rgba, uint32_t format);
/// The RGBA colour of a device pixel value; `rgba` or null.
uint8_t* PixelToRGBA(uint8_t* rgba, uint32_t pixel, uint32_t format);

/// Reads the raster's pixels into the image (the device converts); carries
/// the gamma mark. The image or null.
Image* ImageSetFromRaster(Image* image, Raster* raster);
/// Writes the image into the raster (the device converts); carries the gamma
/// mark. The raster or null.
Raster* RasterSetFromImage(Raster* raster, Image* image);
/// Asks the device which raster would hold the image, for a creation word
/// (type and format bits): its width, height, depth and creation flags
/// (format << 8 | type). The image, or null when the device has no format.
Image* ImageFindRasterFormat(Image* image, uint32_t typeAndFlags, int32_t* width, int32_t* height,
                             int32_t* depth, uint32_t* creationFlags);
/// A raster of the device's choosing filled from an image file (scaled to the
/// size the device wants). Null when the file, the format or the raster fails.
Raster* RasterRead(const char* fileName);
/// The same with a mask file whose grey levels become the alpha.
Raster* RasterReadMasked(const char* fileName, const char* maskName);

int32_t RasterRegisterPlugin(int32_t size, uint32_t pluginId, PluginConstructor constructor,
                             PluginDestructor destructor, PluginCopy copy);
int32_t RasterGetPluginOffset(uint32_t pluginId);
/// Free-list settings; call before EngineInit. Defaults 128 and 1.
void RasterSetFreeListCreateParams(int32_t entriesPerBlock, int32_t blocksToPreallocate);

/// Raster module (core module 0x407).
void* RasterModuleOpen(void* instance, int32_t offset, int32_t size);
void* RasterModuleClose(void* instance, int32_t offset, int32_t size);
/// Registers the module with the engine (EngineInit); its offset or -1.
int32_t RasterModuleAttach();
