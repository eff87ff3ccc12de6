// Draw calls: checking the call and its vertex and index ranges, then
// vertex processing and assembly (primitive.cpp) on the calling thread, or
// a copy of the call for the queue that transforms its vertices and draws
// it in bands of rows on the device's threads (drawqueue.h).
#include <algorithm>
#include <cstring>

#include "platform/d3d9/bands.h"
#include "platform/d3d9/device.h"
#include "platform/d3d9/drawqueue.h"
#include "platform/d3d9/pointsprite.h"
#include "platform/d3d9/primitive.h"

namespace d3d9sw {
namespace {

UINT VerticesFor(D3DPRIMITIVETYPE type, UINT primitives)
{
    switch (type) {
    case D3DPT_POINTLIST:
        return primitives;
    case D3DPT_LINELIST:
        return primitives * 2;
    case D3DPT_LINESTRIP:
        return primitives + 1;
    case D3DPT_TRIANGLELIST:
        return primitives * 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN:
        return primitives + 2;
    default:
        return 0;
    }
}

// Calls `use` with every texture level the draw may sample and the stamp
// of the palette it samples through.
template <typename Use> void ForEachSampledLevel(const PixelState& ps, const Use& use)
{
    for (const StageConfig& st : ps.stages) {
        const SamplerConfig& smp = st.sampler;
        if (!smp.chain)
            continue;
        for (UINT face = 0; face < (smp.cube ? 6u : 1u); ++face)
            for (UINT level = 0; level < smp.chain->levels; ++level)
                use(smp.chain->Level(face, level), smp);
    }
}

// Texture levels decode on first use; decode every level the draw may
// sample before bands share them, so that the bands only read.
void PrepareSharedReads(const PixelState& ps)
{
    ForEachSampledLevel(ps,
                        [](Surface* s, const SamplerConfig& smp) { s->Argb(smp.palette, smp.paletteStamp); });
}

// True when a level the draw samples must be decoded first (as after a
// change of palette), which would change what a queued draw reads.
bool DecodesLevels(const PixelState& ps)
{
    bool decodes = false;
    ForEachSampledLevel(ps, [&decodes](Surface* s, const SamplerConfig& smp) {
        decodes = decodes || !s->Decoded(smp.paletteStamp);
    });
    return decodes;
}

// Vertices of a draw whose streams are copied for the flush to transform;
// a draw of more is transformed when called (on the threads), as copying
// would cost about as much as transforming on many threads.
constexpr UINT kMostCopiedVertices = 8192;

} // namespace

HRESULT Device::DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount)
{
    Record(D3D9Call::DrawPrimitive, type, startVertex, primitiveCount);
    return Draw(type, primitiveCount, 0, startVertex, VerticesFor(type, primitiveCount), nullptr, false,
                nullptr, 0);
}

HRESULT Device::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertex, UINT minIndex, UINT numVertices,
                                     UINT startIndex, UINT primitiveCount)
{
    const UINT range[3] = {minIndex, numVertices, startIndex};
    RecordData(D3D9Call::DrawIndexedPrimitive, range, sizeof range, type, baseVertex, primitiveCount);
    if (!indices_)
        return D3DERR_INVALIDCALL;
    const bool index32 = indices_->format == D3DFMT_INDEX32;
    const size_t indexSize = index32 ? 4 : 2;
    const size_t count = VerticesFor(type, primitiveCount);
    if ((size_t(startIndex) + count) * indexSize > indices_->store.bytes.size())
        return D3DERR_INVALIDCALL;
    const uint8_t* data = indices_->store.bytes.data() + size_t(startIndex) * indexSize;
    return Draw(type, primitiveCount, baseVertex, minIndex, numVertices, data, index32, nullptr, 0);
}

HRESULT Device::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertices, UINT stride)
{
    Record(D3D9Call::DrawPrimitiveUP, type, primitiveCount);
    if (!vertices || stride == 0)
        return D3DERR_INVALIDCALL;
    // Direct3D unbinds stream 0 after a user-pointer draw.
    HoldRef(streams_[0].buffer, static_cast<VertexBuffer*>(nullptr));
    streams_[0] = {};
    return Draw(type, primitiveCount, 0, 0, VerticesFor(type, primitiveCount), nullptr, false,
                static_cast<const uint8_t*>(vertices), stride);
}

HRESULT Device::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices,
                                       UINT primitiveCount, const void* indices, D3DFORMAT indexFormat,
                                       const void* vertices, UINT stride)
{
    Record(D3D9Call::DrawIndexedPrimitiveUP, type, primitiveCount);
    if (!vertices || !indices || stride == 0)
        return D3DERR_INVALIDCALL;
    if (indexFormat != D3DFMT_INDEX16 && indexFormat != D3DFMT_INDEX32)
        return D3DERR_INVALIDCALL;
    HoldRef(streams_[0].buffer, static_cast<VertexBuffer*>(nullptr));
    streams_[0] = {};
    HoldRef(indices_, static_cast<IndexBuffer*>(nullptr));
    return Draw(type, primitiveCount, 0, minIndex, numVertices, static_cast<const uint8_t*>(indices),
                indexFormat == D3DFMT_INDEX32, static_cast<const uint8_t*>(vertices), stride);
}

HRESULT Device::Draw(D3DPRIMITIVETYPE type, UINT primitiveCount, int baseVertex, UINT minIndex,
                     UINT numVertices, const void* indexData, bool index32, const uint8_t* userVertices,
                     UINT userStride)
{
    if (type < D3DPT_POINTLIST || type > D3DPT_TRIANGLEFAN)
        return D3DERR_INVALIDCALL;
    if (primitiveCount == 0)
        return D3D_OK;
    if (primitiveCount > caps_.MaxPrimitiveCount)
        return D3DERR_INVALIDCALL;
    // A lost device accepts draws and draws nothing, as Direct3D does.
    if (condition_ != D3D9Condition::Operational)
        return D3D_OK;
    if (!renderTargets_[0])
        return D3DERR_INVALIDCALL;
    if (dirty_ && !CompileDraw())
        return D3DERR_INVALIDCALL;
    if (numVertices == 0)
        return D3DERR_INVALIDCALL;
    const uint8_t* base[kMaxStreams] = {};
    UINT strides[kMaxStreams] = {};
    if (!FindStreams(int64_t(baseVertex) + minIndex, numVertices, userVertices, userStride, base, strides))
        return D3DERR_INVALIDCALL;

    const IndexSource indices{indexData, index32, minIndex, numVertices};
    if (!indexData && VerticesFor(type, primitiveCount) > numVertices)
        return D3DERR_INVALIDCALL;
    const DWORD* rs = state_.renderStates;
    const bool sprites = rs[D3DRS_POINTSPRITEENABLE] != 0;
    pixel_.target.color->Touch();
    if (pixel_.target.depth)
        pixel_.target.depth->Touch();
    // Transform and light the used range once, with clip codes and screen
    // positions per vertex, not per triangle.
    const size_t stride = VertexStride(pixel_.attrCount);
    if (DeviceThreads() <= 1) {
        FlushDraws();
        const PrimitiveSetup setup = MakePrimitiveSetup(
            pixel_, vertex_, layout_.positionT, rs[D3DRS_SHADEMODE], rs[D3DRS_CULLMODE], rs[D3DRS_FILLMODE]);
        if (vertexCache_.size() < numVertices * stride)
            vertexCache_.resize(numVertices * stride);
        if (codes_.size() < numVertices) {
            codes_.resize(numVertices);
            screen_.resize(numVertices);
        }
        const VertexStore verts{vertexCache_.data(), stride};
        TransformVertices(setup, layout_, pixel_.attrCount, base, strides, 0, numVertices, verts,
                          codes_.data(), screen_.data());
        std::vector<float> pointSizes;
        if (type == D3DPT_POINTLIST)
            pointSizes = PointSizes(rs, caps_.MaxPointSize, vertex_, layout_, vertexShader_ != nullptr, base,
                                    strides, numVertices);
        AssemblePrimitives(setup, type, 0, primitiveCount, indices, verts, codes_.data(), screen_.data(),
                           pointSizes.data(), sprites);
        return D3D_OK;
    }

    // Queued for the device's threads, with everything it draws with; its
    // vertices are transformed by the flush.
    if (queue_.Full(numVertices * stride) || DecodesLevels(pixel_))
        FlushDraws();
    QueuedDraw& q = queue_.Next();
    q.pixel = pixel_;
    q.vertex = vertex_;
    std::memcpy(q.psConstants, state_.psConstants, sizeof q.psConstants);
    if (vertex_.vertexShader)
        std::memcpy(q.vsConstants, state_.vsConstants, sizeof q.vsConstants);
    q.setup = MakePrimitiveSetup(q.pixel, q.vertex, layout_.positionT, rs[D3DRS_SHADEMODE],
                                 rs[D3DRS_CULLMODE], rs[D3DRS_FILLMODE]);
    q.type = type;
    q.primitiveCount = primitiveCount;
    q.layout = layout_;
    q.attrCount = pixel_.attrCount;
    q.vertexCount = numVertices;
    // A draw of few vertices takes a copy of each used stream's bytes (up to
    // the end of the last vertex's elements) for the flush to transform; one
    // of many is transformed now, without the copy.
    const bool copies = numVertices <= kMostCopiedVertices;
    size_t sizes[kMaxStreams] = {}; // the ends of the last vertex's elements
    for (const InputElement& e : layout_.elements)
        sizes[e.stream] = std::max(sizes[e.stream], size_t(e.offset) + DeclTypeSize(e.type));
    size_t bytes = 0;
    for (int k = 0; k < kMaxStreams; ++k) {
        sizes[k] = base[k] && copies ? size_t(numVertices - 1) * strides[k] + sizes[k] : 0;
        bytes += sizes[k];
    }
    q.source.resize(bytes);
    bytes = 0;
    for (int k = 0; k < kMaxStreams; ++k) {
        q.strides[k] = strides[k];
        q.streams[k] = base[k];
        if (sizes[k] > 0) {
            q.streams[k] = q.source.data() + bytes;
            std::memcpy(q.source.data() + bytes, base[k], sizes[k]);
            bytes += sizes[k];
        }
    }
    q.transformed = false;
    q.stride = stride;
    q.vertices.resize(numVertices * stride);
    q.codes.resize(numVertices);
    q.screen.resize(numVertices);
    q.indices = indices;
    if (indexData) {
        const auto* bytes = static_cast<const uint8_t*>(indexData);
        q.indexBytes.assign(bytes, bytes + size_t(VerticesFor(type, primitiveCount)) * (index32 ? 4 : 2));
    } else {
        q.indexBytes.clear();
    }
    q.pointSizes.clear();
    if (type == D3DPT_POINTLIST)
        q.pointSizes = PointSizes(rs, caps_.MaxPointSize, vertex_, layout_, vertexShader_ != nullptr, base,
                                  strides, numVertices);
    q.sprites = sprites;
    PrepareSharedReads(q.pixel);
    queue_.Commit();
    if (!copies)
        queue_.TransformLast();
    return D3D_OK;
}

bool Device::FindStreams(int64_t first, UINT numVertices, const uint8_t* userVertices, UINT userStride,
                         const uint8_t** base, UINT* strides) const
{
    if (first < 0)
        return false;
    for (const InputElement& e : layout_.elements) {
        const uint8_t* bytes;
        size_t size;
        UINT stride, offset;
        if (userVertices) {
            if (e.stream != 0)
                return false;
            bytes = userVertices;
            stride = userStride;
            offset = 0;
            size = SIZE_MAX;
        } else {
            const StreamBinding& sb = streams_[e.stream];
            if (!sb.buffer)
                return false;
            bytes = sb.buffer->store.bytes.data();
            size = sb.buffer->store.bytes.size();
            stride = sb.stride;
            offset = sb.offset;
        }
        uint64_t end =
            uint64_t(offset) + uint64_t(first + numVertices - 1) * stride + e.offset + DeclTypeSize(e.type);
        if (end > size)
            return false;
        base[e.stream] = bytes + offset + size_t(first) * stride;
        strides[e.stream] = stride;
    }
    return true;
}

} // namespace d3d9sw
