// Primitive assembly of the software device: clip codes, clipping against
// 0 <= z <= w and the guard band, mapping to the viewport, culling and the
// fill mode, for the points, lines and triangles of one draw. Private to the
// device (draw.cpp runs it; the tests call the stages one by one).
#pragma once

#include "platform/d3d9/pipeline.h"

#include <cstdint>

namespace d3d9sw {

/// Clip planes: 0 left (-x), 1 right (+x), 2 bottom (-y), 3 top (+y), 4 near
/// (z = 0), 5 far (z = w).
constexpr int kClipPlanes = 6;
/// Most vertices a clipped triangle can have (each plane adds at most one).
constexpr int kMaxClipPolygon = 3 + kClipPlanes;
/// Clip-code bit of a vertex the device cannot draw: a position that is not
/// finite, or one that maps to no finite screen position (w next to 0). Such
/// a vertex is outside every plane too; a primitive with one is dropped whole.
constexpr int kClipUnsafe = 1 << kClipPlanes;
/// Half the width of the guard band in pixels, centred on the viewport:
/// screen coordinates stay within +-8192 pixels of it.
constexpr float kGuardBandPixels = 16384.0f;

/// What assembly needs of the compiled state, fixed for one draw.
struct PrimitiveSetup
{
    const PixelState* pixel = nullptr;    ///< what the rasteriser draws with
    const VertexConfig* vertex = nullptr; ///< viewport and point size
    bool pretransformed = false;          ///< positions are screen x, y, z, rhw
    bool flat = false;                    ///< flat shading: colours of the provoking vertex
    DWORD cull = D3DCULL_CCW;
    DWORD fill = D3DFILL_SOLID;
    float guardX = 1.0f, guardY = 1.0f; ///< guard band in units of the viewport's half size (>= 1)
    int attrCount = 0;                  ///< attribute slots carried through clipping
};

/// The setup of a draw under the compiled states and the render states named.
PrimitiveSetup MakePrimitiveSetup(const PixelState& pixel, const VertexConfig& vertex, bool pretransformed,
                                  DWORD shadeMode, DWORD cullMode, DWORD fillMode);

/// Signed distance of a clip-space position to `plane` (inside >= 0); the x
/// and y planes lie `guardX`, `guardY` times further out than the viewport.
float ClipPlaneDistance(int plane, const float* pos, float guardX, float guardY);
/// Bit p set for each plane the vertex lies outside, every bit and
/// kClipUnsafe for a position that is not finite; a pre-transformed vertex
/// gets bit 0 beyond the guard band, with rhw <= 0 or with a number that is
/// not finite (it is then dropped).
int ClipCode(const PrimitiveSetup& setup, const float* pos);
inline int ClipCode(const PrimitiveSetup& setup, const VertexOut& v)
{
    return ClipCode(setup, v.pos);
}
/// Maps a clip-space (or pre-transformed) position to the viewport; the
/// screen vertex points at `attr`.
void ToScreen(const PrimitiveSetup& setup, const float* pos, const float* attr, ScreenVertex* out);
inline void ToScreen(const PrimitiveSetup& setup, const VertexOut& v, ScreenVertex* out)
{
    ToScreen(setup, v.pos, v.attr, out);
}
/// True when all four numbers are finite (times 0, an infinity or a NaN
/// gives NaN); written without branches so that loops over vertices vectorise.
inline bool AllFinite4(const float* v)
{
    return v[0] * 0.0f + v[1] * 0.0f + v[2] * 0.0f + v[3] * 0.0f == 0.0f;
}
/// True when a screen position can be rasterised: x, y, z and rhw finite.
inline bool ScreenFinite(const ScreenVertex& s)
{
    const float v[4] = {s.x, s.y, s.z, s.rhw};
    return AllFinite4(v);
}
/// Clip codes of `count` stored vertices, and the screen positions of those
/// whose code is 0 (the others' are left as they are); a vertex inside every
/// plane whose screen position is not finite gets kClipUnsafe instead.
void ClipAndMapVertices(const PrimitiveSetup& setup, const VertexStore& verts, size_t count, uint8_t* codes,
                        ScreenVertex* screen);

/// Clips the convex polygon in `buffers[0][0 .. count)` against each plane
/// whose bit is set in `planes` (Sutherland-Hodgman), alternating between the
/// two buffers. Answers the index of the buffer that holds the result and sets
/// `*count` to its vertex count (below 3: nothing is left to draw).
int ClipPolygon(const PrimitiveSetup& setup, int planes, VertexOut (&buffers)[2][kMaxClipPolygon],
                int* count);
/// Twice the signed area of a screen polygon (positive: clockwise on screen).
float ScreenArea(const ScreenVertex* vertices, int count);
/// The same for a triangle, inline for binning and assembly; summed in the
/// same order as the polygon form, so the same bits.
inline float ScreenArea(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c)
{
    float area = 0.0f;
    area += a.x * b.y - b.x * a.y;
    area += b.x * c.y - c.x * b.y;
    area += c.x * a.y - a.x * c.y;
    return area;
}
/// True when `cull` removes a polygon of this signed area (a degenerate one
/// is always removed): D3DCULL_CCW removes counter-clockwise ones, D3DCULL_CW
/// clockwise ones.
bool CullsArea(DWORD cull, float area);
/// Culls a screen polygon and draws it as points, edges or a fan of
/// triangles by the fill mode. `flat`: the colours of every pixel, or null.
void DrawScreenPolygon(const PrimitiveSetup& setup, const ScreenVertex* vertices, int count,
                       const float* flat);

/// Assembles the triangle of processed vertices `a`, `b`, `c` (`a` provokes
/// flat shading): trivially rejected, drawn from the precomputed screen
/// positions when no vertex is outside, clipped otherwise. `codes` are the
/// vertices' clip codes, `screen` their screen positions where the code is 0.
void AssembleTriangle(const PrimitiveSetup& setup, const VertexStore& vertices, const uint8_t* codes,
                      const ScreenVertex* screen, UINT a, UINT b, UINT c);
/// Clips and draws a line without its last pixel.
void AssembleLine(const PrimitiveSetup& setup, const VertexOut& a, const VertexOut& b);
/// Draws a point of the state's point size when it is inside every plane.
void AssemblePoint(const PrimitiveSetup& setup, const VertexOut& v);

} // namespace d3d9sw
