// The hull builder on caller points: bytes become up to 512 points (three
// little-endian floats each, NaN, duplicates, flat and collinear sets
// included). The answer is null or a valid hull holding every finite point,
// and qhull keeps no memory afterwards.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "graphics/core/tests/fuzzengine.h"
#include "physics/qhull/qhullbuild.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!FuzzEngineStart()) {
        return 0;
    }
    size_t count = size / 12 < 512 ? size / 12 : 512;
    std::vector<V3d> points(count);
    for (size_t i = 0; i < count; ++i) {
        float xyz[3];
        for (int k = 0; k < 3; ++k) {
            const uint8_t* b = data + 12 * i + 4 * k;
            uint32_t bits = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
            std::memcpy(&xyz[k], &bits, 4);
        }
        points[i] = {xyz[0], xyz[1], xyz[2]};
    }
    OlpConvexHull* hull =
        OlpQHullBuildHull(static_cast<uint32_t>(count), points.data(), nullptr, OlpQHullDiscard());
    if (OlpQHullLastOutstandingBlocks() != 0) {
        std::abort();
    }
    if (hull == nullptr) {
        return 0;
    }
    if (!OlpConvexHullIsValid(hull)) {
        std::abort();
    }
    // Every finite point lies within 1e-4 x the extent of every face plane.
    float extent = 0.0f;
    extent = std::fmax(extent, hull->box.max.x - hull->box.min.x);
    extent = std::fmax(extent, hull->box.max.y - hull->box.min.y);
    extent = std::fmax(extent, hull->box.max.z - hull->box.min.z);
    for (uint32_t f = 0; f < hull->faceCount; ++f) {
        const V3d& n = hull->faceNormals[f];
        const V3d& v = hull->vertices[hull->edges[hull->faceEdgeStart[f]].from];
        for (const V3d& p : points) {
            if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
                continue;
            }
            // In double: the distance from the face's own vertex, exact but
            // for the stored normal's rounding.
            double height = double(n.x) * (double(p.x) - v.x) + double(n.y) * (double(p.y) - v.y) +
                            double(n.z) * (double(p.z) - v.z);
            if (height > 1e-4 * extent) {
                std::abort();
            }
        }
    }
    OlpConvexHullRelease(hull);
    return 0;
}
