#include "physics/core/volume/cylinder.h"

#include <algorithm>
#include <cmath>

#include "physics/core/utils/vec3.h"
#include "physics/core/volume/mass.h"
#include "physics/core/volume/primitive.h"
#include "physics/core/volume/raytests.h"

using namespace olp;

namespace {

constexpr float kDiagonal = 0.70710677f;

float HalfHeight(const OlpVolume* volume)
{
    return volume->data[0].f;
}

float Radius(const OlpVolume* volume)
{
    return volume->data[1].f;
}

float SignOf(float value)
{
    return value < 0.0f ? -1.0f : 1.0f;
}

/// (d.x, d.y) normalised; (1, 0) for a direction along z.
V3d Across(const V3d& d)
{
    float lengthSq = d.x * d.x + d.y * d.y;
    if (!(lengthSq > 1e-24f)) {
        return {1.0f, 0.0f, 0.0f};
    }
    float inverse = 1.0f / std::sqrt(lengthSq);
    return {d.x * inverse, d.y * inverse, 0.0f};
}

OlpSphere* CylinderBoundingSphere(const OlpVolume* volume, OlpSphere* out)
{
    float h = HalfHeight(volume);
    float r = Radius(volume);
    out->centre = {0.0f, 0.0f, 0.0f};
    out->radius = std::sqrt(h * h + r * r) + volume->margin;
    return out;
}

float CylinderMass(const OlpVolume* volume, OlpMassProperties* out, V3d* centre)
{
    float radius = Radius(volume) + volume->margin;
    float length = 2.0f * (HalfHeight(volume) + volume->margin);
    float across = (length * length + 3.0f * radius * radius) / 12.0f;
    OlpMassPropertiesSetDiagonal(out, {across, across, radius * radius / 2.0f});
    *centre = {0.0f, 0.0f, 0.0f};
    return 3.1415927f * radius * radius * length;
}

OlpBBox* CylinderBoundingBox(const OlpVolume* volume, const Matrix* matrix, int32_t tight, OlpBBox* out)
{
    float h = HalfHeight(volume);
    float r = Radius(volume);
    float m = volume->margin;
    V3d centre = {0.0f, 0.0f, 0.0f};
    V3d extent = {r + m, r + m, h + m};
    if (matrix != nullptr) {
        centre = matrix->pos;
        if (tight) {
            for (int i = 0; i < 3; ++i) {
                float a = Component(matrix->at, i);
                SetComponent(extent, i, std::sqrt(std::fabs(1.0f - a * a)) * r + std::fabs(a) * h + m);
            }
        } else {
            float reach = std::sqrt(h * h + r * r) + m;
            extent = {reach, reach, reach};
        }
    }
    out->max = centre + extent;
    out->min = centre - extent;
    return out;
}

V3d* CylinderSupportPoint(const OlpVolume* volume, const V3d* d, V3d* out)
{
    float h = HalfHeight(volume);
    float r = Radius(volume);
    if (std::fabs(d->z) > 0.9998f) {
        *out = {0.0f, 0.0f, SignOf(d->z) * h};
        return out;
    }
    V3d n = Across(*d);
    *out = {r * n.x, r * n.y, std::fabs(d->z) <= 0.02f ? 0.0f : SignOf(d->z) * h};
    return out;
}

OlpSupportFeature* CylinderSupportFeature(const OlpVolume* volume, int32_t winding, const V3d* d,
                                          OlpSupportFeature* out)
{
    float h = HalfHeight(volume);
    float r = Radius(volume);
    if (std::fabs(d->z) > 0.9998f) {
        float side = SignOf(d->z);
        float z = side * h;
        float s = kDiagonal * r;
        // Counter-clockwise seen from +z; the mirror order otherwise.
        float mirror = (winding != 0) == (d->z >= 0.0f) ? 1.0f : -1.0f;
        const V3d octagon[8] = {
            {0.0f, r, z},  {-s * mirror, s, z}, {-r * mirror, 0.0f, z}, {-s * mirror, -s, z},
            {0.0f, -r, z}, {s * mirror, -s, z}, {r * mirror, 0.0f, z},  {s * mirror, s, z},
        };
        OlpFeatureBegin(out, {0.0f, 0.0f, side});
        OlpFeatureAddFace(out, octagon, 8);
        out->offset = side * h;
        return out;
    }
    V3d n = Across(*d);
    OlpFeatureBegin(out, *d);
    if (std::fabs(d->z) <= 0.02f) {
        OlpFeatureAddPoint(out, {r * n.x, r * n.y, h});
        OlpFeatureAddPoint(out, {r * n.x, r * n.y, -h});
        out->offset = Dot(out->normal, out->points[1].p);
        return out;
    }
    OlpFeatureAddPoint(out, {r * n.x, r * n.y, SignOf(d->z) * h});
    OlpFeatureFinish(out);
    return out;
}

int32_t CylinderSeparatingAxes(const OlpVolume*, const Matrix*, OlpFaceAxis*, V3d*)
{
    return 0;
}

int32_t CylinderProjection(const OlpVolume* volume, const V3d* a, float* min, float* max)
{
    float extent =
        std::sqrt(std::fabs(1.0f - a->z * a->z)) * Radius(volume) + std::fabs(a->z) * HalfHeight(volume);
    *min = -extent;
    *max = extent;
    return 1;
}

float CylinderThickness(const OlpVolume* volume)
{
    return 2.0f * std::min(HalfHeight(volume), Radius(volume));
}

/// The nearest point of the core cylinder to p.
V3d CoreNearest(const V3d& p, float r, float h)
{
    float radial = std::sqrt(p.x * p.x + p.y * p.y);
    float scale = radial > r ? r / radial : 1.0f;
    return {p.x * scale, p.y * scale, std::clamp(p.z, -h, h)};
}

/// The earliest surface hit over the patches of the rounded cylinder: the
/// two caps, the side and the two rims. The shape is convex, so the first
/// hit that lies on its own patch is the entry point.
int32_t CylinderLineIntersect(const OlpVolume* volume, const V3d* start, const V3d* end, OlpLineResult* out)
{
    float h = HalfHeight(volume);
    float r = Radius(volume);
    float m = volume->margin;
    V3d d = *end - *start;
    V3d fallback = -d;
    V3d core = CoreNearest(*start, r, h);
    V3d outward = *start - core;
    if (LengthSq(outward) <= m * m) {
        out->point = *start;
        out->fraction = 0.0f;
        if (LengthSq(outward) > 1e-12f) {
            OlpSafeNormalize(&out->normal, &outward, &fallback, 1.0f);
        } else {
            // Inside the core: the nearer of the cap and the side.
            float radial = std::sqrt(start->x * start->x + start->y * start->y);
            if (h - std::fabs(start->z) < r - radial) {
                out->normal = {0.0f, 0.0f, SignOf(start->z)};
            } else {
                out->normal = Across(*start);
            }
        }
        return 1;
    }
    float best = 2.0f;
    OlpRayFraction hit;
    auto consider = [&](float t, bool onPatch) {
        if (onPatch && t < best) {
            best = t;
        }
    };
    for (float side : {-1.0f, 1.0f}) {
        // Only a cap whose outer side holds the start can be entered through it.
        if (OlpRaySlab(&hit, start, &d, 2, side, h + m) == 1 && hit.numerator > 0.0f) {
            float t = hit.numerator / hit.denominator;
            V3d p = *start + d * t;
            consider(t, p.x * p.x + p.y * p.y <= r * r);
        }
    }
    V3d origin = {0.0f, 0.0f, 0.0f};
    V3d zAxis = {0.0f, 0.0f, 1.0f};
    if (OlpRayCylinder(&hit, start, &d, &origin, &zAxis, r + m, 0, 1) == 1) {
        float t = hit.numerator / hit.denominator;
        consider(t, std::fabs(start->z + t * d.z) <= h);
    }
    if (m > 0.0f) {
        for (float side : {-1.0f, 1.0f}) {
            V3d rim = {0.0f, 0.0f, side * h};
            if (OlpRayTorus(&hit, start, &d, &rim, &zAxis, r, m) == 1) {
                float t = hit.numerator / hit.denominator;
                V3d p = *start + d * t;
                consider(t, side * p.z >= h && p.x * p.x + p.y * p.y >= r * r);
            }
        }
    }
    if (best > 1.0f) {
        return 0;
    }
    out->point = *start + d * best;
    out->fraction = best;
    outward = out->point - CoreNearest(out->point, r, h);
    OlpSafeNormalize(&out->normal, &outward, &fallback, 1.0f);
    return 1;
}

} // namespace

const OlpVolumeDescriptor kOlpCylinderDescriptor = {
    kOlpTypeCylinder,
    OlpPrimitiveDestroy,
    CylinderBoundingSphere,
    CylinderMass,
    CylinderBoundingBox,
    CylinderSupportPoint,
    CylinderSupportFeature,
    CylinderSeparatingAxes,
    CylinderProjection,
    CylinderThickness,
    CylinderLineIntersect,
    nullptr,
    nullptr,
    "OlpCylinder",
    0,
    2,
    kOlpAxisCountNone,
    kOlpAxisCountNone,
    kOlpAxisCountNone,
    0x30,
};

OlpVolume* OlpCylinderInit(OlpVolume* volume, float radius, float halfHeight)
{
    OlpVolumeInit(volume, &kOlpCylinderDescriptor);
    volume->data[0].f = OlpSanitizeLength(halfHeight);
    volume->data[1].f = OlpSanitizeLength(radius);
    return volume;
}

OlpVolume* OlpCylinderCreate(float radius, float halfHeight)
{
    OlpVolume* volume = OlpVolumeAllocate();
    return volume != nullptr ? OlpCylinderInit(volume, radius, halfHeight) : nullptr;
}

float OlpCylinderGetRadius(const OlpVolume* volume)
{
    return Radius(volume);
}

float OlpCylinderGetHalfHeight(const OlpVolume* volume)
{
    return HalfHeight(volume);
}

OlpVolume* OlpCylinderSetRadius(OlpVolume* volume, float radius)
{
    volume->data[1].f = OlpSanitizeLength(radius);
    return volume;
}

OlpVolume* OlpCylinderSetHalfHeight(OlpVolume* volume, float halfHeight)
{
    volume->data[0].f = OlpSanitizeLength(halfHeight);
    return volume;
}
