// Draws deferred for the device's threads. With more than one thread the
// device neither transforms nor rasterises a draw when it is called: it
// queues the draw with a copy of the state it draws with, of its vertices as
// given and of its indices. Clears are queued the same way, in order with
// the draws. A flush transforms every queued vertex (ranges of vertices on
// all threads), cuts the rows the queued draws and clears may touch into
// bands, bins every queued triangle to the bands it may touch (ranges of
// triangles on all threads), then each band draws every queued primitive and
// clear for its rows in submission order, so that the picture is byte for
// byte one thread's while the threads wake a few times a flush rather than
// for every draw. The device flushes before anything reads or writes
// what a queued draw or clear reads or writes (see Device::FlushDraws).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/d3d9/binning.h"
#include "platform/d3d9/clearrows.h"
#include "platform/d3d9/primitive.h"
#include "platform/shadervm/shadervm.h"

namespace d3d9sw {

/// True for the triangle primitive types.
inline bool IsTriangles(D3DPRIMITIVETYPE type)
{
    return type == D3DPT_TRIANGLELIST || type == D3DPT_TRIANGLESTRIP || type == D3DPT_TRIANGLEFAN;
}

/// Assembles (and so rasterises) primitives [first, first + count) of a draw
/// in order. `pointSizes` (point lists) has a size per vertex.
void AssemblePrimitives(const PrimitiveSetup& setup, D3DPRIMITIVETYPE type, UINT first, UINT count,
                        const IndexSource& indices, const VertexStore& verts, const uint8_t* codes,
                        const ScreenVertex* screen, const float* pointSizes, bool sprites);

/// Transforms (or shades, with the vertex shader of setup.vertex) vertices
/// [first, first + count) of streams that point at vertex 0 into `verts`,
/// with their clip codes and screen positions under `setup`. In runs of
/// whole shader batches from `first`: ranges that start at multiples of
/// kShaderLanes give the vertices one call for all of them gives.
void TransformVertices(const PrimitiveSetup& setup, const InputLayout& layout, int attrCount,
                       const uint8_t* const* streams, const UINT* strides, UINT first, UINT count,
                       const VertexStore& verts, uint8_t* codes, ScreenVertex* screen);

/// A draw waiting in the queue: everything it draws with, its own; or a
/// clear (`clears`), which fills `clear` in its rows.
struct QueuedDraw
{
    bool clears = false;
    ClearRows clear;
    PixelState pixel;
    VertexConfig vertex;
    float psConstants[kShaderPixelConstants][4]; ///< pixel.shaderState reads these
    float vsConstants[256][4];                   ///< vertex.vsConstants reads these (a vertex shader)
    PrimitiveSetup setup;                        ///< with `pixel` and `vertex` above
    D3DPRIMITIVETYPE type = D3DPT_TRIANGLELIST;
    UINT primitiveCount = 0;
    // The vertices as given, transformed by the flush (or, for a draw of
    // many, by TransformLast before the call returns).
    InputLayout layout;
    int attrCount = 0;
    UINT vertexCount = 0;
    bool transformed = false;
    std::vector<uint8_t> source;              ///< a copy of every used stream's bytes
    const uint8_t* streams[kMaxStreams] = {}; ///< each used stream at vertex 0 (null: unused)
    UINT strides[kMaxStreams] = {};
    std::vector<float> vertices; ///< processed, packed (VertexStore)
    size_t stride = 0;
    std::vector<uint8_t> codes;       ///< clip codes
    std::vector<ScreenVertex> screen; ///< screen positions, pointing into `vertices`
    std::vector<uint8_t> indexBytes;  ///< the draw's indices (empty: none)
    IndexSource indices{};            ///< reads indexBytes
    std::vector<float> pointSizes;    ///< point lists: per vertex
    bool sprites = false;
    int rowTop = 0, rowEnd = 0; ///< every pixel it may draw lies in these rows (set by the flush)
    float work = 0;             ///< pixels of its vertices' rectangle, and more per primitive

    VertexStore Store() const { return {const_cast<float*>(vertices.data()), stride}; }
};

class DrawQueue
{
  public:
    /// A slot for the next draw (its buffers keep their room from the
    /// draws before); filled by the caller, which then calls Commit.
    QueuedDraw& Next();
    /// A slot for the next clear, filled by the caller, which then calls Commit.
    ClearRows& NextClear();
    /// Takes the slot Next or NextClear gave into the queue.
    void Commit();
    /// Transforms the vertices of the draw just committed now (on the
    /// threads when there are many), while its streams still hold them.
    void TransformLast() { TransformDraws(count_ - 1); }
    /// True when a draw of `floats` processed floats should wait for a
    /// flush first, so that the queue's memory stays bounded.
    bool Full(size_t floats) const;
    bool Empty() const { return count_ == 0; }
    /// Draws every queued draw and clear on the device's threads and empties
    /// the queue.
    void Flush();

  private:
    // A range of one draw's primitives, binned on its own.
    struct Piece
    {
        uint32_t draw;
        UINT first, count;
        bool binned; ///< triangles listed per band; else every band walks them
    };
    // A range of one draw's vertices, transformed on its own.
    struct VertexPiece
    {
        uint32_t draw;
        UINT first, count;
    };
    // Transforms the vertices of the draws from `first` on that are not yet
    // transformed, and sets their rows and work.
    void TransformDraws(size_t first);
    void DrawPieces(size_t from, size_t to);

    std::vector<std::unique_ptr<QueuedDraw>> draws_;
    size_t count_ = 0;
    size_t floats_ = 0; ///< processed floats queued
    BandLayout layout_;
    std::vector<Piece> pieces_;
    std::vector<TriangleBinRange> bins_; ///< one per piece
    std::vector<VertexPiece> vertexPieces_;
    std::vector<RangeRect> rects_; ///< one per vertex piece
};

} // namespace d3d9sw
