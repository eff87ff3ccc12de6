// Point sizes and point sprites of the software device: the size of each
// point from D3DRS_POINTSIZE or the vertex's PSIZE element, scaled with the
// eye distance when D3DRS_POINTSCALEENABLE is set (the published formula
// Vh x Si x sqrt(1 / (A + B De + C De^2))) and clamped to POINTSIZE_MIN and
// POINTSIZE_MAX (and the device's MaxPointSize); with D3DRS_POINTSPRITEENABLE
// every texture set runs from (0, 0) at the sprite's top left to (1, 1) at
// its bottom right. Private to the device.
#pragma once

#include "platform/d3d9/primitive.h"

#include <vector>

namespace d3d9sw {

/// The screen size of each of `count` vertices of a point list, fetched
/// through `layout` as ProcessVertices fetches them. Pre-transformed and
/// shaded vertices are not scaled (their eye distance is unknown).
std::vector<float> PointSizes(const DWORD* renderStates, float maxPointSize, const VertexConfig& vertex,
                              const InputLayout& layout, bool shaded, const uint8_t* const* streams,
                              const UINT* strides, UINT count);
/// Draws a point of `size` pixels when its centre is inside every plane,
/// with sprite texture coordinates when `sprite`.
void AssemblePointSprite(const PrimitiveSetup& setup, const VertexOut& v, float size, bool sprite);

} // namespace d3d9sw
