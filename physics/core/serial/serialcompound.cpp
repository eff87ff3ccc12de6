#include "physics/core/serial/serialcompound.h"

#include <cmath>
#include <vector>

#include "physics/core/serial/serialvolume.h"
#include "physics/core/volume/grid.h"
#include "physics/core/volume/griddata.h"
#include "physics/core/volume/nullvolume.h"

namespace {

/// The fewest bytes a volume record can take (a null volume): a lower bound
/// that lets a reader refuse a count before allocating for it.
constexpr uint32_t kMinVolumeRecordBytes = 4 + (4 + 8 + 4) + 52 + 3 * 8 + 2 * 6;

bool Finite(const V3d& v)
{
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// Starts must run from 0 up to `end` without falling back.
bool Ascending(const uint16_t* starts, uint32_t count, uint32_t end)
{
    if (starts[0] != 0 || starts[count] != end) {
        return false;
    }
    for (uint32_t i = 0; i < count; ++i) {
        if (starts[i] > starts[i + 1]) {
            return false;
        }
    }
    return true;
}

// Every index the hull's walks follow must stay within its arrays, and each
// list must hold what it claims (a face's edges are its own, a vertex's
// edges leave it).
bool HullIsSound(const OlpConvexHull* h)
{
    if (!OlpConvexHullIsValid(h) || !Ascending(h->vertexEdgeStart, h->vertexCount, h->edgeCount) ||
        !Ascending(h->faceEdgeStart, h->faceCount, h->edgeCount)) {
        return false;
    }
    for (uint32_t i = 0; i < h->vertexCount; ++i) {
        if (!Finite(h->vertices[i])) {
            return false;
        }
    }
    for (uint32_t f = 0; f < h->faceCount; ++f) {
        if (!Finite(h->faceNormals[f])) {
            return false;
        }
        for (uint32_t e = h->faceEdgeStart[f]; e < h->faceEdgeStart[f + 1]; ++e) {
            const OlpHullEdge& edge = h->edges[e];
            if (edge.ownFace != f || edge.from >= h->vertexCount || edge.to >= h->vertexCount ||
                edge.neighbourFace >= h->faceCount) {
                return false;
            }
        }
    }
    for (uint32_t v = 0; v < h->vertexCount; ++v) {
        for (uint32_t i = h->vertexEdgeStart[v]; i < h->vertexEdgeStart[v + 1]; ++i) {
            if (h->vertexEdges[i] >= h->edgeCount || h->edges[h->vertexEdges[i]].from != v) {
                return false;
            }
        }
    }
    return true;
}

} // namespace

int32_t OlpHullStreamWrite(OlpSerialCtx* ctx, const OlpConvexHull* hull)
{
    const uint32_t n = hull->vertexCount;
    const uint32_t k = hull->faceCount;
    const uint32_t m = hull->edgeCount;
    const uint16_t counts[3] = {hull->vertexCount, hull->faceCount, hull->edgeCount};
    std::vector<uint16_t> edges(4 * size_t(m));
    for (uint32_t e = 0; e < m; ++e) {
        const OlpHullEdge& edge = hull->edges[e];
        edges[4 * e] = edge.from;
        edges[4 * e + 1] = edge.to;
        edges[4 * e + 2] = edge.neighbourFace;
        edges[4 * e + 3] = edge.ownFace;
    }
    return OlpSerialPutTag(ctx, kOlpItemHull, 0) && OlpSerialPutHalves(ctx, counts, 3) &&
           OlpSerialPutFloats(ctx, &hull->vertices[0].x, 3 * n) &&
           OlpSerialPutFloats(ctx, &hull->faceNormals[0].x, 3 * k) &&
           OlpSerialPutHalves(ctx, hull->vertexEdgeStart, n + 1) &&
           OlpSerialPutHalves(ctx, hull->faceEdgeStart, k + 1) &&
           OlpSerialPutHalves(ctx, edges.data(), 4 * m) && OlpSerialPutHalves(ctx, hull->vertexEdges, m);
}

OlpConvexHull* OlpHullStreamRead(OlpSerialCtx* ctx)
{
    uint16_t counts[3];
    if (!OlpSerialGetTag(ctx, kOlpItemHull, 0, nullptr) || !OlpSerialGetHalves(ctx, counts, 3)) {
        return nullptr;
    }
    const uint32_t n = counts[0];
    const uint32_t k = counts[1];
    const uint32_t m = counts[2];
    const uint64_t bytes = 12 * uint64_t(n + k) + 2 * (uint64_t(n + 1) + (k + 1) + 5 * uint64_t(m));
    if (bytes > OlpSerialRemaining(ctx)) {
        OlpSerialFail();
        return nullptr;
    }
    OlpConvexHull* hull = OlpConvexHullAlloc(n, m, k);
    if (hull == nullptr) {
        return nullptr;
    }
    std::vector<uint16_t> edges(4 * size_t(m));
    bool ok = OlpSerialGetFloats(ctx, &hull->vertices[0].x, 3 * n) &&
              OlpSerialGetFloats(ctx, &hull->faceNormals[0].x, 3 * k) &&
              OlpSerialGetHalves(ctx, hull->vertexEdgeStart, n + 1) &&
              OlpSerialGetHalves(ctx, hull->faceEdgeStart, k + 1) &&
              OlpSerialGetHalves(ctx, edges.data(), 4 * m) && OlpSerialGetHalves(ctx, hull->vertexEdges, m);
    for (uint32_t e = 0; ok && e < m; ++e) {
        hull->edges[e] = {0.0f, edges[4 * e], edges[4 * e + 1], edges[4 * e + 2], edges[4 * e + 3]};
    }
    if (!ok || !HullIsSound(hull)) {
        OlpConvexHullRelease(hull);
        if (ok) {
            OlpSerialFail();
        }
        return nullptr;
    }
    return OlpConvexHullFinalize(hull);
}

int32_t OlpChildListStreamWrite(OlpSerialCtx* ctx, const OlpAggChildren* list)
{
    if (!OlpSerialPutTag(ctx, kOlpItemChildList, 0) || !OlpSerialWriteU32(ctx, list->count)) {
        return 0;
    }
    for (uint32_t i = 0; i < list->count; ++i) {
        if (!OlpVolumeStreamWrite(ctx, &list->children[i])) {
            return 0;
        }
    }
    const float sphere[4] = {list->sphere.centre.x, list->sphere.centre.y, list->sphere.centre.z,
                             list->sphere.radius};
    return OlpSerialWriteVector(ctx, &list->box.max) && OlpSerialWriteVector(ctx, &list->box.min) &&
           OlpSerialWriteFloats4(ctx, sphere);
}

OlpAggChildren* OlpChildListStreamRead(OlpSerialCtx* ctx)
{
    uint32_t count = 0;
    if (!OlpSerialGetTag(ctx, kOlpItemChildList, 0, nullptr) || !OlpSerialReadU32(ctx, &count)) {
        return nullptr;
    }
    if (count == 0 || count >= kOlpAggMaxChildren ||
        count > OlpSerialRemaining(ctx) / kMinVolumeRecordBytes) {
        OlpSerialFail();
        return nullptr;
    }
    OlpAggChildren* list = OlpAggChildrenCreate(count);
    if (list == nullptr) {
        return nullptr;
    }
    bool ok = true;
    for (uint32_t i = 0; ok && i < count; ++i) {
        ok = OlpVolumeStreamRead(ctx, &list->children[i]) != 0;
    }
    // The stored bounds are only checked for form: the children decide them.
    V3d max, min;
    float sphere[4];
    ok = ok && OlpSerialReadVector(ctx, &max) && OlpSerialReadVector(ctx, &min) &&
         OlpSerialReadFloats4(ctx, sphere);
    if (!ok) {
        OlpAggChildrenRelease(list);
        return nullptr;
    }
    return OlpAggChildrenUpdateBounds(list);
}

int32_t OlpGridStreamWrite(OlpSerialCtx* ctx, const OlpVolume* grid)
{
    const uint32_t cells = OlpGridGetCellCount(grid);
    const size_t bytes = OlpGridDataSize(grid);
    if (bytes == 0 || bytes > UINT32_MAX - 3) {
        return 0;
    }
    std::vector<uint32_t> words((bytes + 3) / 4, 0u);
    if (OlpGridPackData(grid, reinterpret_cast<uint8_t*>(words.data()), bytes) != bytes) {
        return 0;
    }
    if (!OlpSerialPutTag(ctx, kOlpItemGrid, 0) || !OlpSerialWriteU32(ctx, cells) ||
        !OlpSerialWriteU32(ctx, uint32_t(bytes)) ||
        !OlpSerialWriteArray(ctx, words.data(), static_cast<uint32_t>(words.size()))) {
        return 0;
    }
    OlpVolume* cellArray = OlpGridGetHeader(grid)->cells;
    for (uint32_t i = 0; i < cells; ++i) {
        if (!OlpVolumeStreamWrite(ctx, &cellArray[i])) {
            return 0;
        }
    }
    return 1;
}

int32_t OlpGridStreamRead(OlpSerialCtx* ctx, OlpVolume* volume)
{
    uint32_t cells = 0;
    uint32_t bytes = 0;
    if (!OlpSerialGetTag(ctx, kOlpItemGrid, 0, nullptr) || !OlpSerialReadU32(ctx, &cells) ||
        !OlpSerialReadU32(ctx, &bytes)) {
        return 0;
    }
    const uint64_t wordCount = (uint64_t(bytes) + 3) / 4;
    if (cells > OlpSerialRemaining(ctx) / kMinVolumeRecordBytes || wordCount > OlpSerialRemaining(ctx) / 4) {
        return OlpSerialFail();
    }
    std::vector<uint32_t> words(wordCount);
    if (!OlpSerialReadArray(ctx, words.data(), static_cast<uint32_t>(wordCount))) {
        return 0;
    }
    if (OlpGridInitFromData(volume, reinterpret_cast<const uint8_t*>(words.data()), bytes) == nullptr) {
        return OlpSerialFail();
    }
    if (OlpGridGetCellCount(volume) != cells) {
        OlpVolumeDestroyContents(volume);
        OlpNullInit(volume);
        return OlpSerialFail();
    }
    OlpVolume* cellArray = OlpGridGetHeader(volume)->cells;
    for (uint32_t i = 0; i < cells; ++i) {
        if (!OlpVolumeStreamRead(ctx, &cellArray[i])) {
            OlpVolumeDestroyContents(volume);
            OlpNullInit(volume);
            return 0;
        }
    }
    return 1;
}
