// Binning of triangles into bands of rows (see binning.h).
#include "platform/d3d9/binning.h"

#include <algorithm>
#include <cmath>

namespace d3d9sw {
namespace {

// How far around its vertices a triangle may cover pixel centres: the
// rasteriser snaps vertices to 1/16 pixel; the point and wireframe fill
// modes round them to the nearest pixel, lines extrapolating by up to half a
// pixel. The rows a draw is banded over reach as far around its vertices.
constexpr float kSnapMargin = 0.125f;
constexpr float kRoundMargin = 2.0f;
// The span of a triangle that no band draws.
constexpr uint32_t kNoSpan = ~uint32_t(0);

// What binning a draw's triangles needs, taken out of the draw once.
struct Binner
{
    const TriangleDraw& d;
    const uint16_t* bandOf; // band of each row from `top`
    int top, bottom;
    float topF, bottomF, leftF, rightF;
    float margin;
    uint32_t all; // the span of every band

    // Binning into the bands of `layout` the triangles of `draw`, which draw
    // only in the rows [rowTop, rowEnd) (within the layout's).
    Binner(const BandLayout& layout, const TriangleDraw& draw, int rowTop, int rowEnd)
        : d(draw), bandOf(layout.bandOf.data() + (rowTop - layout.bandTop.front())), top(rowTop),
          bottom(rowEnd), topF(float(top)), bottomF(float(bottom)), leftF(float(draw.setup->pixel->clipX0)),
          rightF(float(draw.setup->pixel->clipX1)),
          margin(draw.setup->fill == D3DFILL_SOLID ? kSnapMargin : kRoundMargin),
          all(uint32_t(bandOf[0]) | uint32_t(bandOf[rowEnd - 1 - rowTop]) << 16)
    {
    }

    // The bands the triangle of vertices v may draw in: first | last << 16,
    // or kNoSpan when assembly would draw nothing of it.
    uint32_t Span(const UINT v[3]) const
    {
        const int ca = d.codes[v[0]], cb = d.codes[v[1]], cc = d.codes[v[2]];
        // Assembly's own decisions, taken early: outside one plane with all
        // three vertices, or dropped beyond the guard band.
        if (ca & cb & cc)
            return kNoSpan;
        if (ca | cb | cc) // clipped: any band may get some of it
            return d.setup->pretransformed ? kNoSpan : all;
        const ScreenVertex sv[3] = {d.screen[v[0]], d.screen[v[1]], d.screen[v[2]]};
        // The very test assembly makes on these positions.
        if (CullsArea(d.setup->cull, ScreenArea(sv[0], sv[1], sv[2])))
            return kNoSpan;
        if (!std::isfinite(sv[0].x + sv[0].y + sv[1].x + sv[1].y + sv[2].x + sv[2].y))
            return all;
        // The pixel centres it may cover.
        const float y0 = std::min({sv[0].y, sv[1].y, sv[2].y}) - margin;
        const float y1 = std::max({sv[0].y, sv[1].y, sv[2].y}) + margin;
        const float x0 = std::min({sv[0].x, sv[1].x, sv[2].x}) - margin;
        const float x1 = std::max({sv[0].x, sv[1].x, sv[2].x}) + margin;
        if (y1 < topF || y0 >= bottomF || x1 < leftF || x0 >= rightF)
            return kNoSpan;
        const int rowLo = std::max(top, int(std::ceil(std::max(y0, topF))));
        const int rowHi = std::min(bottom - 1, int(std::floor(std::min(y1, bottomF))));
        if (rowLo > rowHi)
            return kNoSpan; // between two rows of pixel centres
        return uint32_t(bandOf[rowLo - top]) | uint32_t(bandOf[rowHi - top]) << 16;
    }

    // Spans of triangles [from, to) of a draw of `Type`, counted per band.
    template <D3DPRIMITIVETYPE Type> void Spans(UINT from, UINT to, uint32_t* spans, uint32_t* counts) const
    {
        for (UINT p = from; p < to; ++p) {
            UINT v[3];
            const uint32_t span = TriangleVertices(Type, p, d.indices, v) ? Span(v) : kNoSpan;
            spans[p - from] = span;
            if (span != kNoSpan)
                for (uint32_t b = span & 0xFFFF; b <= span >> 16; ++b)
                    ++counts[b];
        }
    }
};

} // namespace

RangeRect VertexRangeRect(const uint8_t* codes, const ScreenVertex* screen, UINT from, UINT to)
{
    ScreenRect r{INFINITY, INFINITY, -INFINITY, -INFINITY};
    uint8_t any = 0;
    for (UINT i = from; i < to; ++i) {
        any |= codes[i];
        if (codes[i] == 0) {
            r.left = std::min(r.left, screen[i].x);
            r.right = std::max(r.right, screen[i].x);
            r.top = std::min(r.top, screen[i].y);
            r.bottom = std::max(r.bottom, screen[i].y);
        }
    }
    return {r, any != 0};
}

ScreenRect MergeRangeRects(const RangeRect* parts, size_t count, const ScreenRect& clip)
{
    ScreenRect r{INFINITY, INFINITY, -INFINITY, -INFINITY};
    for (size_t k = 0; k < count; ++k) {
        if (parts[k].clipped)
            return clip;
        r.left = std::min(r.left, parts[k].rect.left);
        r.right = std::max(r.right, parts[k].rect.right);
        r.top = std::min(r.top, parts[k].rect.top);
        r.bottom = std::max(r.bottom, parts[k].rect.bottom);
    }
    if (!(r.left <= r.right && r.top <= r.bottom))
        return {clip.right, clip.bottom, clip.left, clip.top}; // no vertex on screen: empty
    return {std::max(r.left, clip.left), std::max(r.top, clip.top), std::min(r.right, clip.right),
            std::min(r.bottom, clip.bottom)};
}

void LayBands(BandLayout& layout, int top, int bottom, int bands)
{
    const int rows = bottom - top;
    layout.bandTop.resize(size_t(bands) + 1);
    layout.bandOf.resize(size_t(rows));
    for (int b = 0; b <= bands; ++b)
        layout.bandTop[size_t(b)] = top + int(int64_t(rows) * b / bands);
    for (int b = 0; b < bands; ++b)
        for (int y = layout.bandTop[size_t(b)]; y < layout.bandTop[size_t(b) + 1]; ++y)
            layout.bandOf[size_t(y - top)] = uint16_t(b);
}

void BinTriangles(const BandLayout& layout, const TriangleDraw& d, int top, int bottom,
                  TriangleBinRange& range, UINT from, UINT to)
{
    // The span of each triangle, then each band's count, then the numbers in
    // order.
    const size_t bands = layout.bandTop.size() - 1;
    if (range.spans.size() < to - from)
        range.spans.resize(to - from);
    range.starts.assign(bands + 1, 0);
    const Binner binner(layout, d, top, bottom);
    uint32_t* spans = range.spans.data();
    uint32_t* counts = range.starts.data() + 1;
    if (d.type == D3DPT_TRIANGLELIST)
        binner.Spans<D3DPT_TRIANGLELIST>(from, to, spans, counts);
    else if (d.type == D3DPT_TRIANGLESTRIP)
        binner.Spans<D3DPT_TRIANGLESTRIP>(from, to, spans, counts);
    else
        binner.Spans<D3DPT_TRIANGLEFAN>(from, to, spans, counts);
    for (size_t b = 0; b < bands; ++b)
        range.starts[b + 1] += range.starts[b];
    if (range.entries.size() < range.starts[bands])
        range.entries.resize(range.starts[bands]);
    range.fill.assign(range.starts.begin(), range.starts.end() - 1);
    uint32_t* entries = range.entries.data();
    uint32_t* fill = range.fill.data();
    for (UINT p = from; p < to; ++p) {
        const uint32_t span = spans[p - from];
        if (span != kNoSpan)
            for (uint32_t b = span & 0xFFFF; b <= span >> 16; ++b)
                entries[fill[b]++] = p;
    }
}

} // namespace d3d9sw
