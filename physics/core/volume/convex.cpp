#include "physics/core/volume/convex.h"

#include <algorithm>
#include <cmath>

#include "physics/core/utils/maths.h"
#include "physics/core/utils/vec3.h"
#include "physics/core/volume/dispatch.h"
#include "physics/core/volume/genericslots.h"
#include "physics/core/volume/mass.h"
#include "physics/core/volume/primitive.h"
#include "physics/core/volume/raytests.h"
#include "physics/core/volume/sweptsphere.h"

using namespace olp;

namespace {

OlpConvexHull* Hull(const OlpVolume* volume)
{
    return static_cast<OlpConvexHull*>(volume->data[0].p);
}

int32_t ConvexDestroy(OlpVolume* volume)
{
    OlpConvexHullRelease(Hull(volume));
    volume->data[0].p = nullptr;
    return 1;
}

OlpSphere* ConvexBoundingSphere(const OlpVolume* volume, OlpSphere* out)
{
    const OlpConvexHull* hull = Hull(volume);
    if (hull == nullptr) {
        return nullptr;
    }
    *out = hull->sphere;
    out->radius += volume->margin;
    return out;
}

float ConvexMass(const OlpVolume* volume, OlpMassProperties* out, V3d* centre)
{
    OlpConvexHull* hull = Hull(volume);
    if (hull == nullptr) {
        OlpMassPropertiesSetEmpty(out, centre);
        return 0.0f;
    }
    OlpConvexHullEnsureMass(hull);
    *out = hull->mass;
    *centre = hull->centre;
    return hull->volume;
}

OlpBBox* ConvexBoundingBox(const OlpVolume* volume, const Matrix* matrix, int32_t, OlpBBox* out)
{
    const OlpConvexHull* hull = Hull(volume);
    if (hull == nullptr) {
        return nullptr;
    }
    if (matrix != nullptr) {
        OlpBBoxTransform(out, &hull->box, matrix);
    } else {
        *out = hull->box;
    }
    return OlpBBoxGrow(out, out, volume->margin, 1.0f);
}

V3d* ConvexSupportPoint(const OlpVolume* volume, const V3d* direction, V3d* out)
{
    const OlpConvexHull* hull = Hull(volume);
    if (hull == nullptr) {
        return nullptr;
    }
    uint32_t vertex;
    OlpConvexHullSupportVertex(hull, direction, 0, kOlpFloatMax, &vertex);
    *out = hull->vertices[vertex];
    return out;
}

OlpSupportFeature* ConvexSupportFeature(const OlpVolume* volume, int32_t winding, const V3d* d,
                                        OlpSupportFeature* out)
{
    const OlpConvexHull* hull = Hull(volume);
    if (hull == nullptr) {
        return nullptr;
    }
    uint32_t vertex;
    OlpConvexHullSupportVertex(hull, d, 0, kOlpFloatMax, &vertex);
    const V3d& v = hull->vertices[vertex];
    float bestEdge = -kOlpFloatMax;
    float bestFace = -kOlpFloatMax;
    uint32_t edgeIndex = 0;
    uint32_t face = 0;
    for (uint32_t i = hull->vertexEdgeStart[vertex]; i < hull->vertexEdgeStart[vertex + 1]; ++i) {
        const OlpHullEdge& edge = hull->edges[hull->vertexEdges[i]];
        float along = Dot(*d, hull->vertices[edge.to] - v) * edge.inverseLength;
        if (along > bestEdge) {
            bestEdge = along;
            edgeIndex = hull->vertexEdges[i];
        }
        float facing = Dot(*d, hull->faceNormals[edge.ownFace]);
        if (facing > bestFace) {
            bestFace = facing;
            face = edge.ownFace;
        }
    }
    uint32_t faceSize = hull->faceEdgeStart[face + 1] - hull->faceEdgeStart[face];
    if (bestFace >= 0.7071f && faceSize > 0) {
        OlpFeatureBegin(out, hull->faceNormals[face]);
        // The loop as stored is counter-clockwise from outside; the flag
        // zero asks for the other order.
        uint32_t first = hull->faceEdgeStart[face];
        uint32_t count = hull->faceEdgeStart[face + 1] - first;
        V3d loop[64];
        // Thin larger faces in loop order to what the stack holds; the
        // feature thins them further to its room.
        uint32_t take = std::min<uint32_t>(count, 64);
        for (uint32_t i = 0; i < take; ++i) {
            uint32_t at = static_cast<uint32_t>(static_cast<uint64_t>(i) * count / take);
            uint32_t index = winding != 0 ? at : (count - at) % count;
            loop[i] = hull->vertices[hull->edges[first + index].from];
        }
        OlpFeatureAddFace(out, loop, take);
        out->offset = Dot(out->normal, v);
        return out;
    }
    if (bestEdge >= -0.5f && hull->edgeCount > 0) {
        const OlpHullEdge& edge = hull->edges[edgeIndex];
        V3d along = (hull->vertices[edge.to] - v) * edge.inverseLength;
        V3d across = *d - along * Dot(*d, along);
        V3d normal;
        OlpSafeNormalize(&normal, &across, d, 1.0f);
        OlpFeatureBegin(out, normal);
        OlpFeatureAddPoint(out, v);
        OlpFeatureAddPoint(out, hull->vertices[edge.to]);
    } else {
        OlpFeatureBegin(out, *d);
        OlpFeatureAddPoint(out, v);
    }
    out->offset = Dot(out->normal, v);
    return out;
}

int32_t ConvexSeparatingAxes(const OlpVolume*, const Matrix*, OlpFaceAxis*, V3d*)
{
    return 0;
}

float ConvexThickness(const OlpVolume* volume)
{
    OlpConvexHull* hull = Hull(volume);
    return hull != nullptr ? OlpConvexHullEnsureMass(hull)->thickness : 0.0f;
}

/// True when p's projection along the face normal lies within the face
/// (on the inner side of every edge).
bool InsideFace(const OlpConvexHull* hull, uint32_t face, const V3d& p)
{
    const V3d& normal = hull->faceNormals[face];
    for (uint32_t i = hull->faceEdgeStart[face]; i < hull->faceEdgeStart[face + 1]; ++i) {
        const OlpHullEdge& edge = hull->edges[i];
        const V3d& from = hull->vertices[edge.from];
        V3d side = Cross(hull->vertices[edge.to] - from, normal);
        if (Dot(side, p - from) > 0.0f) {
            return false;
        }
    }
    return true;
}

/// Squared distance from p to the segment a-b.
float SegmentDistanceSq(const V3d& p, const V3d& a, const V3d& b, V3d* nearest)
{
    V3d ab = b - a;
    float lengthSq = LengthSq(ab);
    float t = lengthSq > 0.0f ? std::clamp(Dot(p - a, ab) / lengthSq, 0.0f, 1.0f) : 0.0f;
    *nearest = a + ab * t;
    return LengthSq(p - *nearest);
}

/// The first hit on the rounded hull. The rounded hull is convex, so its
/// entry point is the earliest hit over all of its surface patches: the
/// faces pushed out by the margin (where the hit projects into the face),
/// the edges as capsules of the margin's radius, and the vertices as its
/// spheres. A start inside the core or within the margin of it hits at 0.
int32_t ConvexLineIntersect(const OlpVolume* volume, const V3d* start, const V3d* end, OlpLineResult* out)
{
    const OlpConvexHull* hull = Hull(volume);
    if (hull == nullptr || hull->faceCount == 0) {
        return 0;
    }
    float m = volume->margin;
    V3d d = *end - *start;
    V3d fallback = -d;
    // The face the start lies farthest outside of.
    uint32_t outerFace = 0;
    float outerDistance = -kOlpFloatMax;
    for (uint32_t face = 0; face < hull->faceCount; ++face) {
        const V3d& first = hull->vertices[hull->edges[hull->faceEdgeStart[face]].from];
        float distance = Dot(hull->faceNormals[face], *start - first);
        if (distance > outerDistance) {
            outerDistance = distance;
            outerFace = face;
        }
    }
    if (outerDistance <= 0.0f) {
        out->point = *start;
        out->normal = hull->faceNormals[outerFace];
        out->fraction = 0.0f;
        return 1;
    }
    float best = 2.0f;
    V3d bestNormal = {0.0f, 0.0f, 1.0f};
    OlpRayFraction hit;
    for (uint32_t face = 0; face < hull->faceCount; ++face) {
        const V3d& normal = hull->faceNormals[face];
        const V3d& first = hull->vertices[hull->edges[hull->faceEdgeStart[face]].from];
        int32_t answer = OlpRayPlane(&hit, start, &d, &normal, Dot(normal, first) + m);
        if (answer != 1) {
            continue;
        }
        float t = hit.numerator / hit.denominator;
        V3d p = *start + d * t;
        bool above = Dot(normal, p - first) >= 0.0f; // a start within the slab only counts above the face
        if (t < best && above && InsideFace(hull, face, p)) {
            best = t;
            bestNormal = normal;
        }
    }
    if (m > 0.0f) {
        for (uint32_t i = 0; i < hull->edgeCount; ++i) {
            const OlpHullEdge& edge = hull->edges[i];
            if (edge.from > edge.to) {
                continue; // each edge once
            }
            const V3d& a = hull->vertices[edge.from];
            const V3d& b = hull->vertices[edge.to];
            V3d axis = (b - a) * edge.inverseLength;
            float t;
            V3d p;
            float along;
            if (edge.inverseLength > 0.0f &&
                OlpSweptSphereEdge(start, &d, &a, &axis, m, best, &t, &p, &along) &&
                along * edge.inverseLength <= 1.0f) {
                best = t;
                V3d nearest;
                SegmentDistanceSq(p, a, b, &nearest);
                V3d outward = p - nearest;
                OlpSafeNormalize(&bestNormal, &outward, &fallback, 1.0f);
            }
        }
        for (uint32_t i = 0; i < hull->vertexCount; ++i) {
            OlpSweptSphereCorner(start, &d, &hull->vertices[i], m, &fallback, &best, &bestNormal);
        }
    }
    if (best > 1.0f) {
        return 0;
    }
    out->point = *start + d * best;
    out->normal = bestNormal;
    out->fraction = best;
    return 1;
}

} // namespace

const OlpVolumeDescriptor kOlpConvexDescriptor = {
    kOlpTypeConvex,
    ConvexDestroy,
    ConvexBoundingSphere,
    ConvexMass,
    ConvexBoundingBox,
    ConvexSupportPoint,
    ConvexSupportFeature,
    ConvexSeparatingAxes,
    OlpVolumeProjectionFromSupport,
    ConvexThickness,
    ConvexLineIntersect,
    nullptr,
    nullptr,
    "OlpConvex",
    0,
    2,
    kOlpAxisCountNone,
    kOlpAxisCountNone,
    kOlpAxisCountNone,
    kOlpVolumeMeasureGjk,
};

OlpVolume* OlpConvexInit(OlpVolume* volume, OlpConvexHull* hull)
{
    OlpVolumeInit(volume, &kOlpConvexDescriptor);
    volume->data[0].p = hull;
    volume->data[1].p = nullptr;
    volume->data[2].p = nullptr;
    if (hull != nullptr) {
        OlpConvexHullAddRef(hull);
    }
    return volume;
}

OlpVolume* OlpConvexCreate(OlpConvexHull* hull)
{
    OlpVolume* volume = OlpVolumeAllocate();
    return volume != nullptr ? OlpConvexInit(volume, hull) : nullptr;
}

OlpConvexHull* OlpConvexGetHull(const OlpVolume* volume)
{
    return Hull(volume);
}

int32_t OlpConvexSetHull(OlpVolume* volume, OlpConvexHull* hull)
{
    OlpConvexHull* old = Hull(volume);
    if (old == hull) {
        return 1;
    }
    if (hull != nullptr) {
        OlpConvexHullAddRef(hull);
    }
    volume->data[0].p = hull;
    return OlpConvexHullRelease(old);
}
