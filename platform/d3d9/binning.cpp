// Binning of triangle draws into bands of rows, and drawing the bands (see
// binning.h).
#include "platform/d3d9/binning.h"

#include <algorithm>
#include <cmath>

#include "platform/d3d9/bands.h"

namespace d3d9sw {
namespace {

// Entries (4 bytes each) the lists of one turn may take at most: a draw
// whose triangles could need more (each may go to every band) is binned
// and drawn in turns. The lists take only what the triangles need.
constexpr size_t kMaxBinEntries = size_t(1) << 23;
// Fewest triangles of a turn, whatever the band count.
constexpr UINT kMinTurn = 4096;
// Triangles a binning range takes at least: fewer are binned on the calling
// thread, as handing them out would cost more than it saves.
constexpr UINT kMinBinRange = 2048;
// Tests that split every draw bin in turns of this many triangles, a range
// per thread, so that small scenes go through every path.
constexpr UINT kTestTurn = 64;
// How far around its vertices a triangle may cover pixel centres: the
// rasteriser snaps vertices to 1/16 pixel; the point and wireframe fill
// modes round them to the nearest pixel, lines extrapolating by up to half a
// pixel. The rows a draw is banded over reach as far around its vertices.
constexpr float kSnapMargin = 0.125f;
constexpr float kRoundMargin = 2.0f;
// Vertices a thread scans at least for the draw's screen rectangle (tests
// that split every draw: one).
constexpr UINT kMinRectRange = 16384;
// The span of a triangle that no band draws.
constexpr uint32_t kNoSpan = ~uint32_t(0);

// Triangles [first, first + count) of a draw, binned in `ranges` ranges.
// The jobs handed to the threads reach everything through the turn alone,
// so that std::function holds them without allocating.
struct Turn
{
    TriangleBins* bins;
    const TriangleDraw* draw;
    UINT first, count;
    int ranges;

    UINT RangeStart(int r) const { return first + UINT(uint64_t(count) * UINT(r) / UINT(ranges)); }
};

// What binning a draw's triangles needs, taken out of the draw once.
struct Binner
{
    const TriangleDraw& d;
    const uint16_t* bandOf; // band of each row from `top`
    int top, bottom;
    float topF, bottomF, leftF, rightF;
    float margin;
    uint32_t all; // the span of every band

    Binner(const TriangleBins& bins, const TriangleDraw& draw)
        : d(draw), bandOf(bins.bandOf.data()), top(bins.bandTop.front()), bottom(bins.bandTop.back()),
          topF(float(top)), bottomF(float(bottom)), leftF(float(draw.setup->pixel->clipX0)),
          rightF(float(draw.setup->pixel->clipX1)),
          margin(draw.setup->fill == D3DFILL_SOLID ? kSnapMargin : kRoundMargin),
          all(uint32_t(bins.bandTop.size() - 2) << 16)
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
        if (CullsArea(d.setup->cull, ScreenArea(sv, 3)))
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

// Bins triangles [from, to) into the lists of `range`: the span of each,
// then each band's count, then the numbers in order.
void BinRange(TriangleBins& bins, const TriangleDraw& d, TriangleBinRange& range, UINT from, UINT to)
{
    const size_t bands = bins.bandTop.size() - 1;
    if (range.spans.size() < to - from)
        range.spans.resize(to - from);
    range.starts.assign(bands + 1, 0);
    const Binner binner(bins, d);
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

// Bins one turn's triangles, on the device's threads when there are many.
void BinTurn(const Turn& turn)
{
    TriangleBins& bins = *turn.bins;
    if (bins.ranges.size() < size_t(turn.ranges))
        bins.ranges.resize(size_t(turn.ranges));
    auto range = [&turn](int r) {
        BinRange(*turn.bins, *turn.draw, turn.bins->ranges[size_t(r)], turn.RangeStart(r),
                 turn.RangeStart(r + 1));
    };
    if (turn.ranges == 1)
        range(0);
    else
        RunBands(turn.ranges, range);
}

// Assembles each band's triangles of one turn, in submission order.
void DrawTurn(const Turn& turn)
{
    RunBands(int(turn.bins->bandTop.size()) - 1, [&turn](int b) {
        const TriangleBins& bins = *turn.bins;
        const TriangleDraw& d = *turn.draw;
        PixelState banded = *d.setup->pixel;
        banded.clipY0 = bins.bandTop[size_t(b)];
        banded.clipY1 = bins.bandTop[size_t(b) + 1];
        PrimitiveSetup setup = *d.setup;
        setup.pixel = &banded;
        for (int r = 0; r < turn.ranges; ++r) {
            const TriangleBinRange& range = bins.ranges[size_t(r)];
            for (uint32_t i = range.starts[size_t(b)]; i < range.starts[size_t(b) + 1]; ++i) {
                UINT v[3];
                if (TriangleVertices(d.type, range.entries[i], d.indices, v))
                    AssembleTriangle(setup, d.verts, d.codes, d.screen, v[0], v[1], v[2]);
            }
        }
    });
}

// Cuts rows [top, bottom) into `bands` bands of (nearly) equal height.
void LayBands(TriangleBins& bins, int top, int bottom, int bands)
{
    const int rows = bottom - top;
    bins.bandTop.resize(size_t(bands) + 1);
    bins.bandOf.resize(size_t(rows));
    for (int b = 0; b <= bands; ++b)
        bins.bandTop[size_t(b)] = top + int(int64_t(rows) * b / bands);
    for (int b = 0; b < bands; ++b)
        for (int y = bins.bandTop[size_t(b)]; y < bins.bandTop[size_t(b) + 1]; ++y)
            bins.bandOf[size_t(y - top)] = uint16_t(b);
}

// The rectangle of the unclipped vertices of [from, to) (empty when there
// are none); *clipped tells whether one is clipped.
ScreenRect RangeRect(const uint8_t* codes, const ScreenVertex* screen, UINT from, UINT to, bool* clipped)
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
    *clipped = any != 0;
    return r;
}

} // namespace

ScreenRect VertexScreenRect(const uint8_t* codes, const ScreenVertex* screen, UINT count,
                            const ScreenRect& clip)
{
    constexpr int kMaxRanges = 64;
    // One object for the threads' job to reach, as for the turns above.
    struct Scan
    {
        const uint8_t* codes;
        const ScreenVertex* screen;
        UINT count;
        int ranges;
        ScreenRect parts[kMaxRanges];
        bool clipped[kMaxRanges];
    } scan{codes, screen, count, 1, {}, {}};
    const UINT least = DeviceSplitsEveryDraw() ? 1 : kMinRectRange;
    scan.ranges = std::clamp(int(count / least), 1, std::min(kMaxRanges, DeviceThreads()));
    auto range = [&scan](int k) {
        const UINT from = UINT(uint64_t(scan.count) * UINT(k) / UINT(scan.ranges));
        const UINT to = UINT(uint64_t(scan.count) * UINT(k + 1) / UINT(scan.ranges));
        scan.parts[k] = RangeRect(scan.codes, scan.screen, from, to, &scan.clipped[k]);
    };
    if (scan.ranges == 1)
        range(0);
    else
        RunBands(scan.ranges, range);
    ScreenRect r = scan.parts[0];
    for (int k = 0; k < scan.ranges; ++k) {
        if (scan.clipped[k])
            return clip;
        r.left = std::min(r.left, scan.parts[k].left);
        r.right = std::max(r.right, scan.parts[k].right);
        r.top = std::min(r.top, scan.parts[k].top);
        r.bottom = std::max(r.bottom, scan.parts[k].bottom);
    }
    if (!(r.left <= r.right && r.top <= r.bottom))
        return {clip.right, clip.bottom, clip.left, clip.top}; // no vertex on screen: empty
    return {std::max(r.left, clip.left), std::max(r.top, clip.top), std::min(r.right, clip.right),
            std::min(r.bottom, clip.bottom)};
}

void DrawTrianglesInBands(TriangleBins& bins, const TriangleDraw& draw, int top, int bottom, int bands)
{
    if (bottom <= top || draw.primitiveCount == 0)
        return;
    bands = std::clamp(bands, 1, std::min(kMaxBinBands, bottom - top));
    LayBands(bins, top, bottom, bands);
    const int threads = DeviceThreads();
    const bool everyDraw = DeviceSplitsEveryDraw();
    const UINT most = everyDraw ? kTestTurn : std::max(kMinTurn, UINT(kMaxBinEntries / size_t(bands)));
    for (UINT first = 0; first < draw.primitiveCount; first += most) {
        Turn turn;
        turn.bins = &bins;
        turn.draw = &draw;
        turn.first = first;
        turn.count = std::min(most, draw.primitiveCount - first);
        turn.ranges = std::clamp(int(turn.count / (everyDraw ? 1 : kMinBinRange)), 1, threads);
        BinTurn(turn);
        DrawTurn(turn);
    }
}

} // namespace d3d9sw
