#pragma once
// Fitting raster sizes and formats to what the device accepts, and choosing
// the raster format that represents an image best. Reads the device values
// of nativedevice.h (caps, mode depth, back-buffer format, z-buffer depth).

#include <cstdint>

struct Image;
struct Raster;

/// Clamps a size to the device's texture limits, rounds it down to powers of
/// two where the caps demand it (for a normal raster or one without mip
/// levels, only when non-power-of-two sizes are not conditionally allowed)
/// and makes it square on square-only devices. `word`: type | format word.
void D3D9FitRasterSize(int32_t* width, int32_t* height, uint32_t word);
/// The type | format word the device can make for a request of that type:
/// colour formats fall back to ones the device accepts, palettes are kept
/// only where the device takes them. False (recording kErrorRasterFormat) for a
/// colour format on a z-buffer or camera raster, or an unknown type.
bool D3D9FitRasterFormat(uint32_t type, uint32_t word, uint32_t* fitted);
/// Sets the description's type and flags (low byte of the word), format
/// byte and depth (8 or 4 for palettes, else the engine format's depth).
void D3D9RasterSetFormat(Raster* raster, uint32_t word);
/// The engine format (with 0x2000 / 0x4000 for palettised images) that holds
/// the image with the least loss on this device.
uint32_t D3D9ImageGetRasterFormat(const Image* image);
/// Device entry point: (out raster description, image, type | flags word);
/// fills width, height, depth, type, flags and format byte. 1, or 0 when
/// the format cannot be fitted.
int32_t D3D9ImageFindRasterFormat(void* description, void* image, int32_t word);
