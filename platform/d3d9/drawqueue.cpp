// The queue of draws for the device's threads (see drawqueue.h): recording
// slots, binning the queued triangles and drawing them band by band.
#include "platform/d3d9/drawqueue.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "platform/d3d9/bands.h"
#include "platform/d3d9/pointsprite.h"

namespace d3d9sw {
namespace {

// Draws and processed floats the queue holds at most before it is flushed,
// however long the application draws without presenting.
constexpr size_t kMaxQueuedDraws = 4096;
constexpr size_t kMaxQueuedFloats = size_t(1) << 24;
// Work (QueuedDraw::work) of a flush below which it is drawn on the calling
// thread alone: waking the threads would cost more than they save.
constexpr double kMinBandedWork = 16384.0;
// Bands per thread: the threads take bands one at a time, so that bands
// crowded with primitives even out; a band has at least kMinBandRows rows.
constexpr int kBandsPerThread = 4;
constexpr int kMinBandRows = 8;
// Triangles of a piece, binned by one thread; tests that split every draw
// bin in small pieces, so that small scenes go through every path.
constexpr UINT kPieceTriangles = 2048;
constexpr UINT kTestPieceTriangles = 64;
// Triangles of a turn below which the calling thread bins them alone: a
// wait for the threads would cost more than binning them (some ten
// nanoseconds each), all the more on a busy machine.
constexpr UINT kMinSharedBinTriangles = 4096;
// Vertices of a piece of the vertex work (whole runs of shader batches);
// tests that split every draw transform in pieces of one batch.
constexpr UINT kVertexRun = 32 * kShaderLanes;
constexpr UINT kPieceVertices = 8 * kVertexRun;
// Queued vertices below which the calling thread transforms them alone.
constexpr UINT kMinSharedVertices = 2048;
// The work of a primitive's setup in pixels, for a queued draw's work.
constexpr float kPrimitiveWork = 32.0f;
// Bin entries (4 bytes each) the pieces of one turn may need at most (each
// triangle may go to every band of its draw's rows): a queue whose
// triangles could need more is drawn in several turns. The lists take only
// what the triangles need.
constexpr size_t kMaxBinEntries = size_t(1) << 23;

} // namespace

void AssemblePrimitives(const PrimitiveSetup& setup, D3DPRIMITIVETYPE type, UINT first, UINT count,
                        const IndexSource& indices, const VertexStore& verts, const uint8_t* codes,
                        const ScreenVertex* screen, const float* pointSizes, bool sprites)
{
    // Points and lines take their vertices whole.
    VertexOut a, b;
    for (UINT p = first; p < first + count; ++p) {
        UINT i[3];
        switch (type) {
        case D3DPT_POINTLIST:
            if (indices.Fetch(p, &i[0])) {
                verts.Get(i[0], &a);
                AssemblePointSprite(setup, a, pointSizes[i[0]], sprites);
            }
            break;
        case D3DPT_LINELIST:
        case D3DPT_LINESTRIP: {
            UINT k = type == D3DPT_LINELIST ? 2 * p : p;
            if (indices.Fetch(k, &i[0]) && indices.Fetch(k + 1, &i[1])) {
                verts.Get(i[0], &a);
                verts.Get(i[1], &b);
                AssembleLine(setup, a, b);
            }
            break;
        }
        case D3DPT_TRIANGLELIST:
        case D3DPT_TRIANGLESTRIP:
        case D3DPT_TRIANGLEFAN:
            if (TriangleVertices(type, p, indices, i))
                AssembleTriangle(setup, verts, codes, screen, i[0], i[1], i[2]);
            break;
        default:
            break;
        }
    }
}

void TransformVertices(const PrimitiveSetup& setup, const InputLayout& layout, int attrCount,
                       const uint8_t* const* streams, const UINT* strides, UINT first, UINT count,
                       const VertexStore& verts, uint8_t* codes, ScreenVertex* screen)
{
    // Runs of vertices small enough that their positions are still in the
    // cache when their clip codes and screen positions are made.
    const VertexConfig& config = *setup.vertex;
    for (UINT start = first; start < first + count; start += kVertexRun) {
        const UINT run = std::min(kVertexRun, first + count - start);
        const uint8_t* at[kMaxStreams];
        for (int k = 0; k < kMaxStreams; ++k)
            at[k] = streams[k] ? streams[k] + size_t(start) * strides[k] : nullptr;
        const VertexStore out = verts.From(start);
        if (config.vertexShader)
            ProcessVerticesShader(config, layout, at, strides, run, attrCount, out);
        else
            ProcessVertices(config, layout, at, strides, run, attrCount, out);
        ClipAndMapVertices(setup, out, run, codes + start, screen + start);
    }
}

QueuedDraw& DrawQueue::Next()
{
    if (count_ == draws_.size())
        draws_.push_back(std::make_unique<QueuedDraw>());
    draws_[count_]->clears = false;
    return *draws_[count_];
}

ClearRows& DrawQueue::NextClear()
{
    QueuedDraw& d = Next();
    d.clears = true;
    return d.clear;
}

void DrawQueue::Commit()
{
    QueuedDraw& d = *draws_[count_];
    if (d.clears) {
        d.rowTop = d.clear.rowTop;
        d.rowEnd = d.clear.rowEnd;
        d.work = d.clear.pixels;
        ++count_;
        return;
    }
    d.setup.pixel = &d.pixel;
    d.setup.vertex = &d.vertex;
    d.pixel.shaderState.constants = d.psConstants;
    d.vertex.vsConstants = d.vsConstants;
    d.indices.data = d.indexBytes.empty() ? nullptr : d.indexBytes.data();
    floats_ += d.vertices.size();
    ++count_;
}

bool DrawQueue::Full(size_t floats) const
{
    return count_ > 0 && (count_ >= kMaxQueuedDraws || floats_ + floats > kMaxQueuedFloats);
}

void DrawQueue::TransformDraws(size_t first)
{
    const UINT pieceSize = DeviceSplitsEveryDraw() ? UINT(kShaderLanes) : kPieceVertices;
    vertexPieces_.clear();
    size_t vertices = 0;
    for (size_t i = first; i < count_; ++i) {
        QueuedDraw& d = *draws_[i];
        if (d.clears || d.transformed)
            continue;
        for (UINT from = 0; from < d.vertexCount; from += pieceSize)
            vertexPieces_.push_back({uint32_t(i), from, std::min(pieceSize, d.vertexCount - from)});
        vertices += d.vertexCount;
        d.transformed = true;
    }
    rects_.resize(vertexPieces_.size());
    const auto transform = [this](int k) {
        const VertexPiece& piece = vertexPieces_[size_t(k)];
        QueuedDraw& d = *draws_[piece.draw];
        TransformVertices(d.setup, d.layout, d.attrCount, d.streams, d.strides, piece.first, piece.count,
                          d.Store(), d.codes.data(), d.screen.data());
        rects_[size_t(k)] =
            VertexRangeRect(d.codes.data(), d.screen.data(), piece.first, piece.first + piece.count);
    };
    if (vertices >= kMinSharedVertices || pieceSize == UINT(kShaderLanes))
        RunBands(int(vertexPieces_.size()), transform);
    else
        for (size_t k = 0; k < vertexPieces_.size(); ++k)
            transform(int(k));
    // Rows a triangle may draw in: those of the vertices (all of the clip
    // rectangle when one is clipped), two more either way (see binning.h);
    // points of any size and lines may draw anywhere.
    for (size_t k = 0; k < vertexPieces_.size();) {
        QueuedDraw& d = *draws_[vertexPieces_[k].draw];
        size_t end = k + 1;
        while (end < vertexPieces_.size() && vertexPieces_[end].draw == vertexPieces_[k].draw)
            ++end;
        const ScreenRect clip{float(d.pixel.clipX0), float(d.pixel.clipY0), float(d.pixel.clipX1),
                              float(d.pixel.clipY1)};
        const ScreenRect rect = MergeRangeRects(rects_.data() + k, end - k, clip);
        d.work = std::max(0.0f, rect.right - rect.left) * std::max(0.0f, rect.bottom - rect.top) +
                 kPrimitiveWork * float(d.primitiveCount);
        d.rowTop = d.pixel.clipY0;
        d.rowEnd = d.pixel.clipY1;
        if (IsTriangles(d.type)) {
            d.rowTop = std::max(d.pixel.clipY0, int(std::floor(rect.top)) - 2);
            d.rowEnd = std::min(d.pixel.clipY1, int(std::floor(rect.bottom)) + 3);
        }
        k = end;
    }
}

void DrawQueue::Flush()
{
    if (count_ == 0)
        return;
    TransformDraws(0);
    int top = INT_MAX, bottom = INT_MIN;
    double work = 0;
    for (size_t i = 0; i < count_; ++i) {
        top = std::min(top, draws_[i]->rowTop);
        bottom = std::max(bottom, draws_[i]->rowEnd);
        work += draws_[i]->work;
    }
    if (top < bottom) {
        const bool everyDraw = DeviceSplitsEveryDraw();
        const int rows = bottom - top;
        int bands = everyDraw ? rows : std::min(DeviceThreads() * kBandsPerThread, rows / kMinBandRows);
        if (!everyDraw && work < kMinBandedWork)
            bands = 1;
        bands = std::clamp(bands, 1, std::min(rows, kMaxBinBands));
        LayBands(layout_, top, bottom, bands);
        const UINT pieceSize = everyDraw ? kTestPieceTriangles : kPieceTriangles;
        pieces_.clear();
        for (size_t i = 0; i < count_; ++i) {
            const QueuedDraw& d = *draws_[i];
            if (d.rowTop >= d.rowEnd)
                continue;
            // One band walks every primitive: nothing to bin.
            if (d.clears || !IsTriangles(d.type) || bands == 1) {
                pieces_.push_back({uint32_t(i), 0, d.primitiveCount, false});
                continue;
            }
            for (UINT first = 0; first < d.primitiveCount; first += pieceSize)
                pieces_.push_back({uint32_t(i), first, std::min(pieceSize, d.primitiveCount - first), true});
        }
        if (bins_.size() < pieces_.size())
            bins_.resize(pieces_.size());
        // Turns of pieces whose lists fit the bound.
        const auto bandOf = [this](int row) { return int(layout_.bandOf[size_t(row - layout_.bandTop[0])]); };
        size_t from = 0;
        size_t entries = 0;
        for (size_t p = 0; p < pieces_.size(); ++p) {
            const QueuedDraw& d = *draws_[pieces_[p].draw];
            const size_t most = pieces_[p].binned ? size_t(pieces_[p].count) *
                                                        size_t(bandOf(d.rowEnd - 1) - bandOf(d.rowTop) + 1)
                                                  : 0;
            if (p > from && entries + most > kMaxBinEntries) {
                DrawPieces(from, p);
                from = p;
                entries = 0;
            }
            entries += most;
        }
        DrawPieces(from, pieces_.size());
    }
    count_ = 0;
    floats_ = 0;
}

void DrawQueue::DrawPieces(size_t from, size_t to)
{
    const int bands = int(layout_.bandTop.size()) - 1;
    if (from == to)
        return;
    // Bins the pieces (those of several bands), on the threads when they
    // hold many triangles.
    const auto bin = [this, from](int k) {
        const size_t p = from + size_t(k);
        const Piece& piece = pieces_[p];
        if (!piece.binned)
            return;
        const QueuedDraw& d = *draws_[piece.draw];
        const TriangleDraw draw{&d.setup,  d.type,         d.indices,      d.primitiveCount,
                                d.Store(), d.codes.data(), d.screen.data()};
        BinTriangles(layout_, draw, d.rowTop, d.rowEnd, bins_[p], piece.first, piece.first + piece.count);
    };
    size_t binned = 0;
    for (size_t p = from; p < to; ++p)
        binned += pieces_[p].binned ? pieces_[p].count : 0;
    if (binned >= kMinSharedBinTriangles || (binned > 0 && DeviceSplitsEveryDraw()))
        RunBands(int(to - from), bin);
    else if (binned > 0)
        for (size_t k = 0; k < to - from; ++k)
            bin(int(k));
    // Each band draws every piece's primitives for its rows, in order.
    RunBands(bands, [this, from, to](int b) {
        const int y0 = layout_.bandTop[size_t(b)], y1 = layout_.bandTop[size_t(b) + 1];
        PixelState banded;
        PrimitiveSetup setup;
        uint32_t current = UINT32_MAX;
        for (size_t p = from; p < to; ++p) {
            const Piece& piece = pieces_[p];
            const QueuedDraw& d = *draws_[piece.draw];
            if (d.rowEnd <= y0 || d.rowTop >= y1)
                continue;
            if (d.clears) {
                FillClearRows(d.clear, y0, y1);
                continue;
            }
            const TriangleBinRange& bins = bins_[p];
            if (piece.binned && bins.starts[size_t(b)] == bins.starts[size_t(b) + 1])
                continue;
            if (piece.draw != current) {
                banded = d.pixel;
                banded.clipY0 = std::max(y0, d.pixel.clipY0);
                banded.clipY1 = std::min(y1, d.pixel.clipY1);
                setup = d.setup;
                setup.pixel = &banded;
                current = piece.draw;
            }
            if (banded.clipY0 >= banded.clipY1)
                continue;
            if (!piece.binned) {
                AssemblePrimitives(setup, d.type, piece.first, piece.count, d.indices, d.Store(),
                                   d.codes.data(), d.screen.data(), d.pointSizes.data(), d.sprites);
                continue;
            }
            for (uint32_t i = bins.starts[size_t(b)]; i < bins.starts[size_t(b) + 1]; ++i) {
                UINT v[3];
                if (TriangleVertices(d.type, bins.entries[i], d.indices, v))
                    AssembleTriangle(setup, d.Store(), d.codes.data(), d.screen.data(), v[0], v[1], v[2]);
            }
        }
    });
}

} // namespace d3d9sw
