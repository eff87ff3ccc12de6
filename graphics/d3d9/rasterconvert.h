#pragma once
// Moving pixels between rasters and images: the device entry points
// image-from-raster and raster-from-image, and the row conversions they use,
// which work on locked pixels and can be used without a device.

#include <cstdint>

struct Image;
struct Raster;

/// What a conversion needs to know of a locked raster level.
struct D3D9RasterPixels
{
    uint8_t* pixels;
    int32_t stride;
    int32_t width;
    int32_t height;
    int32_t depth;         ///< bits per pixel
    uint32_t engineFormat; ///< raster format byte << 8
    uint32_t d3dFormat;
    const uint8_t* palette; ///< 256 entries red, green, blue, alpha (flags), or null
};

/// Decodes the pixels into a 32-bit image of the same size. False
/// (kErrorConvertDepth) for a depth outside 4-32, (kErrorRasterFormat) for a format without
/// decoder.
bool D3D9RasterPixelsToImage(const D3D9RasterPixels* source, Image* image);
/// Encodes a 4-, 8- or 32-bit image of the same size into the pixels (a
/// palettised raster takes the indices of a palettised image). False
/// (kErrorConvertDepth / kErrorRasterFormat) when the depth or format cannot be written.
bool D3D9RasterPixelsFromImage(D3D9RasterPixels* destination, const Image* image);

/// Entry points: (image, raster, -) and (raster, image, -); 1 or 0.
int32_t D3D9ImageSetFromRaster(void* image, void* raster, int32_t number);
int32_t D3D9RasterSetFromImage(void* raster, void* image, int32_t number);
/// Re-creates a raster's device part in a format the device accepts, keeping
/// its pixels through a 32-bit image.
bool D3D9RasterRecreateFromImage(Raster* raster);
