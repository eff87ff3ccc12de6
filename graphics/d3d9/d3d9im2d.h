#pragma once
// Immediate-mode 2-D on the Direct3D 9 device: screen-space lines,
// triangles and primitives that the caller has already transformed. The
// device record hands these to the engine (line, triangle, primitive,
// indexed primitive); the 2-D toolkit and raster rendering draw through them.

#include <cstdint>

/// The screen-space vertex (28 bytes).
struct Im2DVertex
{
    float x, y, z;
    float recipW;
    uint32_t colour; ///< D3DCOLOR, 0xAARRGGBB
    float u, v;
};
static_assert(sizeof(Im2DVertex) == 28, "the device reads 28-byte vertices");

/// Engine primitive types: 1 line list, 2 polyline, 3 triangle list, 4 strip, 5 fan.
enum Im2DPrimitiveType : int32_t
{
    kIm2DLineList = 1,
    kIm2DPolyLine = 2,
    kIm2DTriList = 3,
    kIm2DTriStrip = 4,
    kIm2DTriFan = 5,
};

/// Vertices the 2-D buffer holds; a draw of more fails (0).
constexpr int32_t kIm2DMaxVertices = 0x40000 / 28;
/// Indices the 2-D index buffer holds.
constexpr int32_t kIm2DMaxIndices = 10000;

/// At device start and after every reset; 0 when the index buffer can't be made.
int32_t D3D9Im2DCreateBuffers();
/// Before a reset and at device stop.
void D3D9Im2DReleaseBuffers();

/// Draw vertices a-b as one line / a-b-c as one triangle (indices below count). 1/0.
int32_t D3D9Im2DRenderLine(Im2DVertex* vertices, int32_t count, int32_t a, int32_t b);
int32_t D3D9Im2DRenderTriangle(Im2DVertex* vertices, int32_t count, int32_t a, int32_t b, int32_t c);
/// 1 when the device drew; 0 for a failed draw, no vertex space, more than
/// kIm2DMaxVertices vertices, or an index outside the vertices.
int32_t D3D9Im2DRenderPrimitive(int32_t type, Im2DVertex* vertices, int32_t count);
int32_t D3D9Im2DRenderIndexedPrimitive(int32_t type, Im2DVertex* vertices, int32_t vertexCount,
                                       uint16_t* indices, int32_t indexCount);
