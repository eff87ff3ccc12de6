#include "physics/core/volume/convexhull.h"

#include <algorithm>
#include <cmath>

#include "physics/core/utils/maths.h"
#include "physics/core/utils/memory.h"
#include "physics/core/utils/vec3.h"

using namespace olp;

namespace {

size_t RoundUp(size_t value, size_t alignment)
{
    return (value + alignment - 1) / alignment * alignment;
}

} // namespace

OlpConvexHull* OlpConvexHullAlloc(uint32_t vertexCount, uint32_t edgeCount, uint32_t faceCount)
{
    if (vertexCount > kOlpHullMaxCount || edgeCount > kOlpHullMaxCount || faceCount > kOlpHullMaxCount) {
        return nullptr;
    }
    // The arrays follow the header, each at its natural alignment; sizes are
    // computed in full width.
    size_t n = vertexCount;
    size_t m = edgeCount;
    size_t k = faceCount;
    size_t vertices = RoundUp(sizeof(OlpConvexHull), 16);
    size_t vertexEdgeStart = vertices + 12 * n;
    size_t faceNormals = RoundUp(vertexEdgeStart + 2 * (n + 1), 4);
    size_t faceEdgeStart = faceNormals + 12 * k;
    size_t edges = RoundUp(faceEdgeStart + 2 * (k + 1), 4);
    size_t vertexEdges = edges + sizeof(OlpHullEdge) * m;
    size_t size = vertexEdges + 2 * m;
    auto* block = static_cast<uint8_t*>(OlpAlignedAlloc(size, 16, kOlpMemoryHint));
    if (block == nullptr) {
        return nullptr;
    }
    OlpMemFill(block, 0, size);
    auto* hull = reinterpret_cast<OlpConvexHull*>(block);
    hull->size = size;
    hull->vertices = reinterpret_cast<V3d*>(block + vertices);
    hull->vertexEdgeStart = reinterpret_cast<uint16_t*>(block + vertexEdgeStart);
    hull->faceNormals = reinterpret_cast<V3d*>(block + faceNormals);
    hull->faceEdgeStart = reinterpret_cast<uint16_t*>(block + faceEdgeStart);
    hull->edges = reinterpret_cast<OlpHullEdge*>(block + edges);
    hull->vertexEdges = reinterpret_cast<uint16_t*>(block + vertexEdges);
    hull->vertexCount = static_cast<uint16_t>(vertexCount);
    hull->faceCount = static_cast<uint16_t>(faceCount);
    hull->edgeCount = static_cast<uint16_t>(edgeCount);
    hull->refCount = 1;
    return hull;
}

OlpConvexHull* OlpConvexHullFinalize(OlpConvexHull* hull)
{
    for (uint32_t i = 0; i < hull->edgeCount; ++i) {
        OlpHullEdge& edge = hull->edges[i];
        float length = Length(hull->vertices[edge.to] - hull->vertices[edge.from]);
        edge.inverseLength = length > 0.0f ? 1.0f / length : 0.0f;
    }
    if (hull->vertexCount > 0) {
        hull->box.max = hull->box.min = hull->vertices[0];
        for (uint32_t i = 1; i < hull->vertexCount; ++i) {
            OlpBBoxAddPoint(&hull->box, &hull->vertices[i]);
        }
        V3d extent = hull->box.max - hull->box.min;
        hull->sphere.centre = (hull->box.max + hull->box.min) * 0.5f;
        hull->sphere.radius = 0.5f * std::max({extent.x, extent.y, extent.z});
        for (uint32_t i = 0; i < hull->vertexCount; ++i) {
            OlpSphereAddPoint(&hull->sphere, &hull->sphere, &hull->vertices[i]);
        }
    }
    hull->flags |= kOlpHullFinalized;
    return hull;
}

OlpConvexHull* OlpConvexHullAddRef(OlpConvexHull* hull)
{
    ++hull->refCount;
    return hull;
}

int32_t OlpConvexHullRelease(OlpConvexHull* hull)
{
    if (hull != nullptr && --hull->refCount == 0) {
        OlpAlignedFree(hull);
    }
    return 1;
}

bool OlpConvexHullIsValid(const OlpConvexHull* hull)
{
    return hull != nullptr && 2 * (hull->vertexCount + hull->faceCount) == hull->edgeCount + 4 &&
           hull->vertexCount >= 3 && hull->edgeCount >= 6 && hull->vertices != nullptr &&
           hull->faceNormals != nullptr && hull->edges != nullptr;
}

float OlpConvexHullSupportVertex(const OlpConvexHull* hull, const V3d* direction, uint32_t start, float bound,
                                 uint32_t* vertex)
{
    uint32_t current = start < hull->vertexCount ? start : 0;
    uint32_t previous = UINT32_MAX;
    float value = Dot(hull->vertices[current], *direction);
    for (uint32_t step = 0; step < static_cast<uint32_t>(hull->vertexCount) + 2u; ++step) {
        if (value > bound) {
            break;
        }
        uint32_t best = current;
        float bestValue = value;
        for (uint32_t i = hull->vertexEdgeStart[current]; i < hull->vertexEdgeStart[current + 1]; ++i) {
            uint32_t next = hull->edges[hull->vertexEdges[i]].to;
            if (next == previous) {
                continue;
            }
            float nextValue = Dot(hull->vertices[next], *direction);
            if (nextValue > bestValue) {
                bestValue = nextValue;
                best = next;
            }
        }
        if (best == current) {
            break;
        }
        previous = current;
        current = best;
        value = bestValue;
    }
    *vertex = current;
    return value;
}

namespace {

/// Projection integrals of one face over its dominant plane (Mirtich 1996).
struct ProjectionIntegrals
{
    double p1 = 0, pa = 0, pb = 0, paa = 0, pab = 0, pbb = 0, paaa = 0, paab = 0, pabb = 0, pbbb = 0;
};

ProjectionIntegrals FaceProjection(const OlpConvexHull* hull, uint32_t face, int a, int b)
{
    ProjectionIntegrals s;
    for (uint32_t i = hull->faceEdgeStart[face]; i < hull->faceEdgeStart[face + 1]; ++i) {
        const OlpHullEdge& edge = hull->edges[i];
        const V3d& from = hull->vertices[edge.from];
        const V3d& to = hull->vertices[edge.to];
        double a0 = Component(from, a), b0 = Component(from, b);
        double a1 = Component(to, a), b1 = Component(to, b);
        double da = a1 - a0, db = b1 - b0;
        double a0_2 = a0 * a0, a0_3 = a0_2 * a0, a0_4 = a0_3 * a0;
        double b0_2 = b0 * b0, b0_3 = b0_2 * b0, b0_4 = b0_3 * b0;
        double a1_2 = a1 * a1, a1_3 = a1_2 * a1;
        double b1_2 = b1 * b1, b1_3 = b1_2 * b1;
        double c1 = a1 + a0;
        double ca = a1 * c1 + a0_2, caa = a1 * ca + a0_3, caaa = a1 * caa + a0_4;
        double cb = b1 * (b1 + b0) + b0_2, cbb = b1 * cb + b0_3, cbbb = b1 * cbb + b0_4;
        double cab = 3 * a1_2 + 2 * a1 * a0 + a0_2, kab = a1_2 + 2 * a1 * a0 + 3 * a0_2;
        double caab = a0 * cab + 4 * a1_3, kaab = a1 * kab + 4 * a0_3;
        double cabb = 4 * b1_3 + 3 * b1_2 * b0 + 2 * b1 * b0_2 + b0_3;
        double kabb = b1_3 + 2 * b1_2 * b0 + 3 * b1 * b0_2 + 4 * b0_3;
        s.p1 += db * c1;
        s.pa += db * ca;
        s.paa += db * caa;
        s.paaa += db * caaa;
        s.pb += da * cb;
        s.pbb += da * cbb;
        s.pbbb += da * cbbb;
        s.pab += db * (b1 * cab + b0 * kab);
        s.paab += db * (b1 * caab + b0 * kaab);
        s.pabb += da * (a1 * cabb + a0 * kabb);
    }
    s.p1 /= 2;
    s.pa /= 6;
    s.paa /= 12;
    s.paaa /= 20;
    s.pb /= -6;
    s.pbb /= -12;
    s.pbbb /= -20;
    s.pab /= 24;
    s.paab /= 60;
    s.pabb /= -60;
    return s;
}

} // namespace

int32_t OlpConvexHullMassProperties(const OlpConvexHull* hull, V3d* centre, float tensor[9], float* volume)
{
    double t0 = 0;
    double t1[3] = {0, 0, 0};
    double t2[3] = {0, 0, 0};
    double tp[3] = {0, 0, 0};
    for (uint32_t face = 0; face < hull->faceCount; ++face) {
        if (hull->faceEdgeStart[face] == hull->faceEdgeStart[face + 1]) {
            continue;
        }
        const V3d& normal = hull->faceNormals[face];
        int c = OlpMathLargestAxis(&normal);
        int a = (c + 1) % 3;
        int b = (a + 1) % 3;
        ProjectionIntegrals p = FaceProjection(hull, face, a, b);
        double n[3] = {normal.x, normal.y, normal.z};
        double w = -Dot(normal, hull->vertices[hull->edges[hull->faceEdgeStart[face]].from]);
        double k1 = 1.0 / n[c], k2 = k1 * k1, k3 = k2 * k1, k4 = k3 * k1;
        double fa = k1 * p.pa;
        double fb = k1 * p.pb;
        double fc = -k2 * (n[a] * p.pa + n[b] * p.pb + w * p.p1);
        double faa = k1 * p.paa;
        double fbb = k1 * p.pbb;
        double fcc = k3 * (n[a] * n[a] * p.paa + 2 * n[a] * n[b] * p.pab + n[b] * n[b] * p.pbb +
                           w * (2 * (n[a] * p.pa + n[b] * p.pb) + w * p.p1));
        double faaa = k1 * p.paaa;
        double fbbb = k1 * p.pbbb;
        double fccc = -k4 * (n[a] * n[a] * n[a] * p.paaa + 3 * n[a] * n[a] * n[b] * p.paab +
                             3 * n[a] * n[b] * n[b] * p.pabb + n[b] * n[b] * n[b] * p.pbbb +
                             3 * w * (n[a] * n[a] * p.paa + 2 * n[a] * n[b] * p.pab + n[b] * n[b] * p.pbb) +
                             w * w * (3 * (n[a] * p.pa + n[b] * p.pb) + w * p.p1));
        double faab = k1 * p.paab;
        double fbbc = -k2 * (n[a] * p.pabb + n[b] * p.pbbb + w * p.pbb);
        double fcca = k3 * (n[a] * n[a] * p.paaa + 2 * n[a] * n[b] * p.paab + n[b] * n[b] * p.pabb +
                            w * (2 * (n[a] * p.paa + n[b] * p.pab) + w * p.pa));
        t0 += n[0] * (a == 0 ? fa : (b == 0 ? fb : fc));
        t1[a] += n[a] * faa;
        t1[b] += n[b] * fbb;
        t1[c] += n[c] * fcc;
        t2[a] += n[a] * faaa;
        t2[b] += n[b] * fbbb;
        t2[c] += n[c] * fccc;
        tp[a] += n[a] * faab;
        tp[b] += n[b] * fbbc;
        tp[c] += n[c] * fcca;
    }
    for (int i = 0; i < 3; ++i) {
        t1[i] /= 2;
        t2[i] /= 3;
        tp[i] /= 2;
    }
    *volume = static_cast<float>(t0);
    if (!(t0 > 0.0)) {
        *centre = {0.0f, 0.0f, 0.0f};
        for (int i = 0; i < 9; ++i) {
            tensor[i] = i % 4 == 0 ? 1.0f : 0.0f;
        }
        return 1;
    }
    double cx = t1[0] / t0, cy = t1[1] / t0, cz = t1[2] / t0;
    *centre = {static_cast<float>(cx), static_cast<float>(cy), static_cast<float>(cz)};
    double ixx = (t2[1] + t2[2]) / t0 - (cy * cy + cz * cz);
    double iyy = (t2[0] + t2[2]) / t0 - (cx * cx + cz * cz);
    double izz = (t2[0] + t2[1]) / t0 - (cx * cx + cy * cy);
    double ixy = -tp[0] / t0 + cx * cy;
    double iyz = -tp[1] / t0 + cy * cz;
    double izx = -tp[2] / t0 + cz * cx;
    const double full[9] = {ixx, ixy, izx, ixy, iyy, iyz, izx, iyz, izz};
    for (int i = 0; i < 9; ++i) {
        tensor[i] = static_cast<float>(full[i]);
    }
    return 1;
}

OlpConvexHull* OlpConvexHullEnsureMass(OlpConvexHull* hull)
{
    if ((hull->flags & kOlpHullMassReady) != 0) {
        return hull;
    }
    float tensor[9];
    OlpConvexHullMassProperties(hull, &hull->centre, tensor, &hull->volume);
    OlpMathDiagonalizeInertia(&hull->mass, tensor);
    // The width across the axis of the largest moment, the thinnest way.
    const V3d& m = hull->mass.moments;
    V3d axis = {0.0f, 0.0f, 0.0f};
    SetComponent(axis, m.x >= m.y && m.x >= m.z ? 0 : (m.y >= m.z ? 1 : 2), 1.0f);
    Matrix rotation;
    OlpMathQuaternionToMatrix(&rotation, &hull->mass.rotation);
    axis = RotateVector(rotation, axis);
    V3d opposite = -axis;
    uint32_t vertex;
    hull->thickness = OlpConvexHullSupportVertex(hull, &axis, 0, kOlpFloatMax, &vertex) +
                      OlpConvexHullSupportVertex(hull, &opposite, 0, kOlpFloatMax, &vertex);
    hull->flags |= kOlpHullMassReady;
    return hull;
}
