#pragma once
// Private to native rasters: palette blocks and palette numbers, the list of
// rasters that device resets must rebuild, and helpers shared by creation,
// locking and the reset path.

#include <cstdint>

#include "graphics/d3d9/rasterext.h"

struct Raster;

/// A palette block: 256 colours (red, green, blue, flags) and the device's palette number.
struct D3D9PaletteBlock
{
    PALETTEENTRY entries[256];
    uint32_t number;
};

/// Gives the body a palette block and a palette number; false when out of memory.
bool D3D9PaletteAcquire(D3D9RasterExtension* body);
/// Returns the block and its number (nothing without a palette).
void D3D9PaletteRelease(D3D9RasterExtension* body);
/// Sends the block's colours to the device under its number.
void D3D9PaletteSend(D3D9RasterExtension* body);

/// Adds a raster at the head of the device-resource list / removes it.
void D3D9RasterListAdd(Raster* raster);
void D3D9RasterListRemove(Raster* raster);
/// Rasters on the list (for tests of resets).
int32_t D3D9RasterListCount();

/// Marks a z-buffer (in the mip-flags field, unused by z-buffers) that uses
/// the device's automatic depth-stencil surface: never released, and taken
/// again from the device after a reset.
constexpr uint8_t kZBufferUsesAutoSurface = 0x01;

/// The device objects of a camera texture and of a z-buffer (creation and reset).
bool D3D9CameraTextureCreateObject(Raster* raster, D3D9RasterExtension* body);
bool D3D9ZBufferCreateObject(Raster* raster, D3D9RasterExtension* body);

/// A texture raster in an explicit Direct3D format, in the managed pool.
struct D3D9ExplicitRequest
{
    int32_t width;
    int32_t height;
    int32_t depth;
    uint32_t word; ///< type | engine format word for the raster record
    uint32_t d3dFormat;
    uint32_t levels; ///< 0: the full chain
    bool cube;       ///< a cube texture of edge `width`
    bool autoMipmaps;
};
/// The raster with its device object (format, cube and native nibbles set,
/// alpha left to the caller), or null when the device refuses.
Raster* D3D9RasterCreateExplicit(const D3D9ExplicitRequest* request);
