#pragma once
// Screen quads: four immediate 2-D vertices covering a rectangle of the
// camera raster, drawn as an indexed list of two triangles. The pointer, the
// camera manager's sprites and the start screen draw through them.
#include <cstdint>

#include "graphics/d3d9/d3d9im2d.h"

/// The two triangles of a quad filled by ScreenQuadSet.
inline constexpr uint16_t kScreenQuadIndices[6] = {2, 1, 0, 1, 3, 0};

/// Fills `v` with the quad from (x, y) to (x + w, y + h), in pixels: (x, y)
/// u, v (0, 0); (x + w, y + h) (1, 1); (x, y + h) (0, 1); (x + w, y) (1, 0);
/// every vertex with screen z `z`, reciprocal z `recipZ` and `colour` (0xAARRGGBB).
void ScreenQuadSet(Im2DVertex v[4], float x, float y, float w, float h, float z, float recipZ,
                   uint32_t colour);
/// Draws the quad as an indexed triangle list with the render states in
/// force; the device's answer (0 without an engine device).
int32_t ScreenQuadDraw(Im2DVertex v[4]);
/// Red, green, blue, alpha bytes as alpha << 24 | red << 16 | green << 8 | blue.
uint32_t ScreenColourPack(const uint8_t rgba[4]);
/// A screen vertex's reciprocal z: `value` when it is above 0, else
/// `fallback` (the device draws no vertex whose reciprocal z is 0 or less).
float ScreenRecipZ(float value, float fallback);
/// The device's near screen z (0 without an engine device).
float ScreenNearZ();
/// Sets one engine render state to a 32-bit value (nothing without an engine device).
void ScreenSetState(int32_t state, uint32_t value);
/// Sets the stage-0 texture raster (null: none).
void ScreenSetRaster(void* raster);
/// Sets depth test and depth write both on or both off.
void ScreenSetDepth(bool on);
/// Depth test and write off, blending by source alpha (the screen overlays' states).
void ScreenBeginOverlay();
