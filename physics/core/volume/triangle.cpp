#include "physics/core/volume/triangle.h"

#include <algorithm>
#include <cmath>

#include "physics/core/utils/maths.h"
#include "physics/core/utils/vec3.h"
#include "physics/core/volume/primitive.h"
#include "physics/core/volume/raytests.h"
#include "physics/core/volume/sweptsphere.h"

using namespace olp;

namespace {

struct Corners
{
    V3d p[3];
};

/// The vertices, through `matrix` unless it is the volume's own record.
Corners Vertices(const OlpVolume* volume, const Matrix* matrix)
{
    const OlpTriangleData* t = OlpTriangleGetData(volume);
    Corners corners = {{t->a, t->b, t->c}};
    if (matrix != nullptr && matrix != &volume->frame) {
        for (V3d& p : corners.p) {
            p = TransformPoint(*matrix, p);
        }
    }
    return corners;
}

OlpSphere* TriangleBoundingSphere(const OlpVolume* volume, OlpSphere* out)
{
    Corners v = Vertices(volume, nullptr);
    out->centre = (v.p[0] + v.p[1] + v.p[2]) * (1.0f / 3.0f);
    float farthest = 0.0f;
    for (const V3d& p : v.p) {
        farthest = std::max(farthest, LengthSq(p - out->centre));
    }
    out->radius = std::sqrt(farthest);
    return out;
}

float TriangleMass(const OlpVolume* volume, OlpMassProperties* out, V3d* centre)
{
    OlpSphere sphere;
    TriangleBoundingSphere(volume, &sphere);
    float r = sphere.radius;
    out->moments = {0.4f * r * r, 0.4f * r * r, 0.4f * r * r};
    OlpQuaternionSetIdentity(&out->rotation);
    *centre = sphere.centre;
    return 2.0f * r * r * volume->margin;
}

OlpBBox* TriangleBoundingBox(const OlpVolume* volume, const Matrix* matrix, int32_t, OlpBBox* out)
{
    Corners v = Vertices(volume, matrix);
    out->max = out->min = v.p[0];
    OlpBBoxAddPoint(out, &v.p[1]);
    OlpBBoxAddPoint(out, &v.p[2]);
    if (volume->margin > 0.0f) {
        OlpBBoxGrow(out, out, volume->margin, 1.0f);
    }
    return out;
}

int SupportIndex(const Corners& v, const V3d& d)
{
    float values[3] = {Dot(d, v.p[0]), Dot(d, v.p[1]), Dot(d, v.p[2])};
    return values[0] >= values[1] ? (values[0] >= values[2] ? 0 : 2) : (values[1] >= values[2] ? 1 : 2);
}

V3d* TriangleSupportPoint(const OlpVolume* volume, const V3d* d, V3d* out)
{
    Corners v = Vertices(volume, nullptr);
    *out = v.p[SupportIndex(v, *d)];
    return out;
}

OlpSupportFeature* TriangleSupportFeature(const OlpVolume* volume, int32_t winding, const V3d* d,
                                          OlpSupportFeature* out)
{
    static const uint16_t kVertexIds[3] = {10, 6, 12};
    static const uint16_t kOppositeEdgeIds[3] = {4, 8, 2}; // BC, CA, AB
    const OlpTriangleData* t = OlpTriangleGetData(volume);
    Corners v = Vertices(volume, nullptr);
    float c = Dot(*d, t->normal);
    if (c > 0.7071f || c < -0.7071f) {
        float side = c < 0.0f ? -1.0f : 1.0f;
        OlpFeatureBegin(out, t->normal * side);
        bool forward = (winding != 0) == (c > 0.0f);
        OlpFeatureAddPoint(out, v.p[0]);
        OlpFeatureAddPoint(out, forward ? v.p[1] : v.p[2]);
        OlpFeatureAddPoint(out, forward ? v.p[2] : v.p[1]);
        out->offset = Dot(out->normal, v.p[0]);
        out->id = 0;
        return out;
    }
    float values[3] = {Dot(*d, v.p[0]), Dot(*d, v.p[1]), Dot(*d, v.p[2])};
    int top = SupportIndex(v, *d);
    int low = values[(top + 1) % 3] <= values[(top + 2) % 3] ? (top + 1) % 3 : (top + 2) % 3;
    int middle = 3 - top - low;
    V3d edge = v.p[top] - v.p[middle];
    V3d unit;
    bool degenerate = OlpVecNormalize(&unit, &edge) <= kOlpFloatMin;
    float along = Dot(*d, unit);
    if (degenerate || along >= 0.5f) {
        OlpFeatureBegin(out, *d);
        OlpFeatureAddPoint(out, v.p[top]);
        out->id = kVertexIds[top];
    } else {
        V3d across = *d - unit * along;
        V3d normal;
        OlpSafeNormalize(&normal, &across, d, 1.0f);
        OlpFeatureBegin(out, normal);
        OlpFeatureAddPoint(out, v.p[middle]);
        OlpFeatureAddPoint(out, v.p[top]);
        out->id = kOppositeEdgeIds[low];
    }
    out->offset = Dot(out->normal, v.p[top]);
    return out;
}

int32_t TriangleSeparatingAxes(const OlpVolume* volume, const Matrix* matrix, OlpFaceAxis* faces, V3d* edges)
{
    const OlpTriangleData* t = OlpTriangleGetData(volume);
    Corners v = Vertices(volume, matrix);
    V3d normal = t->normal;
    if (matrix != nullptr && matrix != &volume->frame) {
        normal = RotateVector(*matrix, normal);
    }
    float offset = Dot(normal, v.p[0]);
    faces[0] = {normal, offset, offset};
    V3d directions[3] = {v.p[1] - v.p[0], v.p[2] - v.p[0], v.p[2] - v.p[1]};
    for (int i = 0; i < 3; ++i) {
        OlpVecNormalize(&edges[i], &directions[i]);
    }
    return 1;
}

int32_t TriangleProjection(const OlpVolume* volume, const V3d* axis, float* min, float* max)
{
    Corners v = Vertices(volume, nullptr);
    float values[3] = {Dot(*axis, v.p[0]), Dot(*axis, v.p[1]), Dot(*axis, v.p[2])};
    *min = std::min({values[0], values[1], values[2]});
    *max = std::max({values[0], values[1], values[2]});
    return 1;
}

float TriangleThickness(const OlpVolume*)
{
    return 0.0f;
}

/// True when p projects into the triangle (inside all three edges, each
/// judged against the third vertex).
bool InsideEdges(const Corners& v, const V3d& normal, const V3d& p)
{
    for (int i = 0; i < 3; ++i) {
        const V3d& a = v.p[i];
        const V3d& b = v.p[(i + 1) % 3];
        V3d side = Cross(normal, b - a);
        if (Dot(side, p - a) * Dot(side, v.p[(i + 2) % 3] - a) < 0.0f) {
            return false;
        }
    }
    return true;
}

/// The segment against the rounded triangle, measured against the
/// triangle's own plane (normal and offset), wherever it lies in space.
int32_t TriangleLineIntersect(const OlpVolume* volume, const V3d* start, const V3d* end, OlpLineResult* out)
{
    const OlpTriangleData* t = OlpTriangleGetData(volume);
    Corners v = Vertices(volume, nullptr);
    float m = volume->margin;
    V3d d = *end - *start;
    out->volume = volume;
    bool flat = LengthSq(t->normal) > 0.5f;
    if (flat) {
        float s = Dot(t->normal, *start) - t->planeOffset;
        float e = Dot(t->normal, *end) - t->planeOffset;
        if (std::fabs(s) >= m && std::fabs(e) > m && (s > 0.0f) == (e > 0.0f)) {
            return 0;
        }
        float side = s < 0.0f ? -1.0f : 1.0f;
        if (std::fabs(s) >= m && s != e) {
            float fraction = (s - side * m) / (s - e);
            V3d p = *start + d * fraction;
            if (fraction >= 0.0f && fraction <= 1.0f && InsideEdges(v, t->normal, p)) {
                out->point = p;
                out->normal = t->normal * side;
                out->fraction = fraction;
                return 1;
            }
        } else if (std::fabs(s) < m && InsideEdges(v, t->normal, *start)) {
            // Starts within the slab over the face: inside the rounded triangle.
            out->point = *start;
            out->normal = t->normal * side;
            out->fraction = 0.0f;
            return 1;
        }
    }
    if (!(m > 0.0f)) {
        return 0;
    }
    float best = 2.0f;
    V3d bestNormal = t->normal;
    V3d fallback = -d;
    for (int i = 0; i < 3; ++i) {
        const V3d& a = v.p[i];
        const V3d& b = v.p[(i + 1) % 3];
        V3d axis = b - a;
        float length = Length(axis);
        if (length > 0.0f) {
            axis = axis * (1.0f / length);
            float fraction;
            V3d p;
            float along;
            if (OlpSweptSphereEdge(start, &d, &a, &axis, m, best, &fraction, &p, &along) && along <= length) {
                best = fraction;
                V3d outward = p - (a + axis * along);
                OlpSafeNormalize(&bestNormal, &outward, &fallback, 1.0f);
            }
        }
        OlpSweptSphereCorner(start, &d, &a, m, &fallback, &best, &bestNormal);
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

const OlpVolumeDescriptor kOlpTriangleDescriptor = {
    kOlpTypeTriangle,
    OlpPrimitiveDestroy,
    TriangleBoundingSphere,
    TriangleMass,
    TriangleBoundingBox,
    TriangleSupportPoint,
    TriangleSupportFeature,
    TriangleSeparatingAxes,
    TriangleProjection,
    TriangleThickness,
    TriangleLineIntersect,
    nullptr,
    nullptr,
    "OlpTriangle",
    0,
    2,
    3,
    1,
    3,
    0x42,
};

OlpVolume* OlpTriangleInit(OlpVolume* volume, const V3d* a, const V3d* b, const V3d* c)
{
    OlpVolumeInit(volume, &kOlpTriangleDescriptor);
    OlpTriangleData* t = OlpTriangleGetData(volume);
    t->a = *a;
    t->b = *b;
    t->c = *c;
    // A degenerate triangle keeps a zero normal, so it never offers a face.
    V3d normal = Cross(*b - *a, *c - *a);
    float length = Length(normal);
    t->normal = length > kOlpFloatMin ? normal * (1.0f / length) : V3d{0.0f, 0.0f, 0.0f};
    t->planeOffset = Dot(t->normal, *a);
    t->pad0 = t->pad1 = 0;
    t->source = nullptr;
    t->index = 0;
    t->edgeFlags = 0xF;
    return volume;
}

OlpVolume* OlpTriangleCreate(const V3d* a, const V3d* b, const V3d* c)
{
    OlpVolume* volume = OlpVolumeAllocate();
    return volume != nullptr ? OlpTriangleInit(volume, a, b, c) : nullptr;
}

const V3d* OlpTriangleGetNormal(const OlpVolume* volume)
{
    return &OlpTriangleGetData(volume)->normal;
}
