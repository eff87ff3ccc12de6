#pragma once
// Native rasters: the Direct3D 9 body of every engine raster (rasterext.h)
// and the device entry points that create, destroy, lock and unlock rasters
// and their palettes, count mip levels, make sub-rasters and bind rasters to
// textures. Engine formats map to Direct3D formats through pixelformat.h;
// every choice is checked against the adapter (nativedevice.h). Rasters
// whose device objects live in the default pool, and palettised rasters, are
// kept on the device-resource list for device resets.

#include <cstdint>

#include "graphics/core/device.h"
#include "graphics/d3d9/rasterext.h"

struct Raster;

/// Entry points: palette lock (out palette, raster, mode) and unlock (-, raster, -);
/// mip-level count (out int32 count, raster, -); sub-raster (sub-raster, parent, -);
/// (D3D9TextureSetRaster is in rasterext.h.) 1, or 0 recording the error.
int32_t D3D9RasterLockPalette(void* out, void* raster, int32_t mode);
int32_t D3D9RasterUnlockPalette(void* out, void* raster, int32_t number);
int32_t D3D9RasterGetMipLevels(void* out, void* raster, int32_t number);
int32_t D3D9RasterSubRaster(void* subRaster, void* parent, int32_t number);

/// A raster (type and flags in `word`, e.g. texture | 0x8000 for a mip
/// chain) whose Direct3D object has the explicit format `d3dFormat`; its
/// alpha, depth and engine format follow the format ("DXT1": 16 bits, no
/// alpha, 0x0200; "DXT2"-"DXT5": alpha, 0x0300). Null when the device does
/// not accept the format or the texture cannot be made.
Raster* D3D9RasterCreateFromFormat(int32_t width, int32_t height, uint32_t d3dFormat, uint32_t word);
/// Re-creates the raster's device part in a 16- or 32-bit format the device
/// accepts (with device mip levels), keeping its pixels. False on failure.
bool D3D9RasterConvertViaImage(Raster* raster);
