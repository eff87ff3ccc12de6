// Draws deferred for the device's threads. With more than one thread the
// device transforms a draw's vertices when it is called but rasterises
// nothing: it queues the draw with a copy of the state it draws with, its
// processed vertices and its indices. Clears are queued the same way, in
// order with the draws. A flush cuts the rows the queued draws and clears
// may touch into bands, bins every queued triangle to the bands it may touch
// (ranges of triangles on all threads), then each band draws every queued
// primitive and clear for its rows in submission order, so that the picture
// is byte for byte one thread's while the threads wake twice a flush rather
// than for every draw. The device flushes before anything reads or writes
// what a queued draw or clear reads or writes (see Device::FlushDraws).
#pragma once

#include <cstddef>
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

/// A draw waiting in the queue: everything it draws with, its own; or a
/// clear (`clears`), which fills `clear` in its rows.
struct QueuedDraw
{
    bool clears = false;
    ClearRows clear;
    PixelState pixel;
    VertexConfig vertex;
    float psConstants[kShaderPixelConstants][4]; ///< pixel.shaderState reads these
    PrimitiveSetup setup;                        ///< with `pixel` and `vertex` above
    D3DPRIMITIVETYPE type = D3DPT_TRIANGLELIST;
    UINT primitiveCount = 0;
    std::vector<float> vertices; ///< processed, packed (VertexStore)
    size_t stride = 0;
    std::vector<uint8_t> codes;       ///< clip codes
    std::vector<ScreenVertex> screen; ///< screen positions, pointing into `vertices`
    std::vector<uint8_t> indexBytes;  ///< the draw's indices (empty: none)
    IndexSource indices{};            ///< reads indexBytes
    std::vector<float> pointSizes;    ///< point lists: per vertex
    bool sprites = false;
    int rowTop = 0, rowEnd = 0; ///< every pixel it may draw lies in these rows
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
    void DrawPieces(size_t from, size_t to);

    std::vector<std::unique_ptr<QueuedDraw>> draws_;
    size_t count_ = 0;
    size_t floats_ = 0; ///< processed floats queued
    BandLayout layout_;
    std::vector<Piece> pieces_;
    std::vector<TriangleBinRange> bins_; ///< one per piece
};

} // namespace d3d9sw
