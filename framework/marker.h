#pragma once
// Markers: the framework's debug drawing shape, two crossed quads along a
// direction (12 immediate 3-D vertices, four triangles), drawn without
// culling and without texture.
#include <cstdint>

#include "graphics/core/vector.h"
#include "graphics/d3d9/im3d.h"

constexpr int32_t kMarkerVertices = 12;

/// Fills the 12 vertices' positions (normals, colour and u, v are left to the
/// caller) from base `b`, direction `d`, side vectors `s` and `t`, length
/// `length`, half width `halfWidth` and base factor `baseFactor` (the base's
/// half width relative to the tip's: 0 makes a point, 1 a bar).
void MarkerBuild(Im3DVertex out[kMarkerVertices], const V3d& b, const V3d& d, const V3d& s, const V3d& t,
                 float length, float halfWidth, float baseFactor);
/// Sets the colour (0xAARRGGBB) of `count` vertices.
void MarkerSetColour(Im3DVertex* vertices, int32_t count, uint32_t colour);
/// Draws `count` vertices as a triangle list: cull mode none, no texture,
/// identity matrix, transform flags 0x18, then cull mode back. False when
/// the transform or the draw fails.
bool MarkerDraw(Im3DVertex* vertices, int32_t count);
