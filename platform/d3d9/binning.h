// Binning of triangles into bands of rows, so that many threads can
// rasterise them without each of them walking every triangle. A pass over
// ranges of triangles lists, per range and band, the triangles whose rows
// may touch the band; then each band assembles only its own triangles, in
// submission order, clipped to its rows. A triangle that spans two bands is
// drawn by both, each covering only its own rows, so the picture is byte for
// byte the one a single thread draws.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/d3d9/primitive.h"

namespace d3d9sw {

/// The vertex of each element of a draw: the element itself without an index
/// buffer, else its index relative to the processed range.
struct IndexSource
{
    const void* data; ///< null: no index buffer
    bool index32;
    UINT minIndex, numVertices;

    /// False when the index lies outside the processed range (its vertex
    /// was never transformed).
    bool Fetch(UINT i, UINT* out) const
    {
        if (!data) {
            *out = i;
            return true;
        }
        uint32_t idx;
        if (index32) {
            std::memcpy(&idx, static_cast<const uint8_t*>(data) + size_t(i) * 4, 4);
        } else {
            uint16_t v;
            std::memcpy(&v, static_cast<const uint8_t*>(data) + size_t(i) * 2, 2);
            idx = v;
        }
        if (idx < minIndex || idx - minIndex >= numVertices)
            return false;
        *out = idx - minIndex;
        return true;
    }
};

/// The vertices of triangle `p` of a list, strip or fan in the order
/// assembly takes them (the first provokes flat shading); false when one
/// lies outside the processed range, so that nothing is drawn.
inline bool TriangleVertices(D3DPRIMITIVETYPE type, UINT p, const IndexSource& indices, UINT v[3])
{
    switch (type) {
    case D3DPT_TRIANGLELIST:
        return indices.Fetch(3 * p, &v[0]) && indices.Fetch(3 * p + 1, &v[1]) &&
               indices.Fetch(3 * p + 2, &v[2]);
    case D3DPT_TRIANGLESTRIP:
        // Every second strip triangle is wound the other way round.
        return indices.Fetch(p, &v[0]) && indices.Fetch(p + 1, &v[(p & 1) ? 2 : 1]) &&
               indices.Fetch(p + 2, &v[(p & 1) ? 1 : 2]);
    case D3DPT_TRIANGLEFAN:
        // The provoking vertex of a fan triangle is its second vertex.
        return indices.Fetch(p + 1, &v[0]) && indices.Fetch(p + 2, &v[1]) && indices.Fetch(0, &v[2]);
    default:
        return false;
    }
}

/// One triangle draw as assembly sees it: processed vertices, their clip
/// codes and, where the code is 0, their screen positions.
struct TriangleDraw
{
    const PrimitiveSetup* setup;
    D3DPRIMITIVETYPE type; ///< list, strip or fan
    IndexSource indices;
    UINT primitiveCount;
    VertexStore verts;
    const uint8_t* codes;
    const ScreenVertex* screen;
};

/// The lists that one range of triangles gives each band of rows.
struct TriangleBinRange
{
    std::vector<uint32_t> spans;   ///< per triangle: first band | last band << 16
    std::vector<uint32_t> entries; ///< triangle numbers, band after band
    std::vector<uint32_t> starts;  ///< each band's first entry, then the end
    std::vector<uint32_t> fill;    ///< where the next entry of each band goes
};

/// Rows cut into bands.
struct BandLayout
{
    std::vector<uint16_t> bandOf; ///< band of each row, from the first row
    std::vector<int> bandTop;     ///< first row of each band, then the end
};

/// A screen rectangle in pixels.
struct ScreenRect
{
    float left, top, right, bottom;
};

/// The rectangle of the screen positions of a range of vertices that have
/// clip code 0 (inverted when there is none), and whether a vertex of the
/// range is clipped.
struct RangeRect
{
    ScreenRect rect;
    bool clipped;
};
RangeRect VertexRangeRect(const uint8_t* codes, const ScreenVertex* screen, UINT from, UINT to);
/// The rectangle of a draw's vertices from those of its ranges, within
/// `clip`: all of `clip` when a vertex is clipped, an inverted one when no
/// vertex is on screen.
ScreenRect MergeRangeRects(const RangeRect* parts, size_t count, const ScreenRect& clip);

/// Most bands the rows are cut into.
constexpr int kMaxBinBands = 1024;

/// Cuts rows [top, bottom) into `bands` bands (1 to kMaxBinBands, at most
/// one per row) of (nearly) equal height.
void LayBands(BandLayout& layout, int top, int bottom, int bands);

/// Lists in `range` the triangles [from, to) of `draw` under the bands of
/// `layout` whose rows they may touch, in order. Every pixel the triangles
/// may draw must lie in the rows [top, bottom) (within the layout's): the
/// rows of the draw's vertices and two more either way, or the whole clip
/// rectangle when a vertex is clipped.
void BinTriangles(const BandLayout& layout, const TriangleDraw& draw, int top, int bottom,
                  TriangleBinRange& range, UINT from, UINT to);

} // namespace d3d9sw
