#pragma once
// Private to the driver: the raster drawing entry points (context, render,
// scaled and fast render, clears).

#include <cstdint>

/// (-, raster, -): the context raster the operations below draw into.
int32_t D3D9RasterSetContext(void* out, void* raster, int32_t number);
/// (raster, position RasterPoint, -): blended when the raster has alpha.
int32_t D3D9RasterRender(void* raster, void* position, int32_t number);
/// (raster, RasterRect, -): scaled into the rectangle, blended.
int32_t D3D9RasterRenderScaled(void* raster, void* rectangle, int32_t number);
/// (raster, position, -): never blended.
int32_t D3D9RasterRenderFast(void* raster, void* position, int32_t number);
/// (-, RasterRect, pixel value in the context's format).
int32_t D3D9RasterClearRect(void* out, void* rectangle, int32_t pixel);
/// (-, -, pixel value): the whole context.
int32_t D3D9RasterClear(void* out, void* unused, int32_t pixel);
