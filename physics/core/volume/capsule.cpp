#include "physics/core/volume/capsule.h"

#include <algorithm>
#include <cmath>

#include "physics/core/utils/vec3.h"
#include "physics/core/volume/mass.h"
#include "physics/core/volume/primitive.h"
#include "physics/core/volume/raytests.h"

using namespace olp;

namespace {

float HalfHeight(const OlpVolume* volume)
{
    return volume->data[0].f;
}

OlpSphere* CapsuleBoundingSphere(const OlpVolume* volume, OlpSphere* out)
{
    out->centre = {0.0f, 0.0f, 0.0f};
    out->radius = volume->margin + HalfHeight(volume);
    return out;
}

float CapsuleMass(const OlpVolume* volume, OlpMassProperties* out, V3d* centre)
{
    // Weighed as a cylinder of the capsule's radius and an equivalent length.
    float r = volume->margin;
    float length = 2.0f * (HalfHeight(volume) + 0.67082f * r);
    float across = length * length / 12.0f + r * r / 4.0f;
    OlpMassPropertiesSetDiagonal(out, {across, across, r * r / 2.0f});
    *centre = {0.0f, 0.0f, 0.0f};
    return 3.1415927f * r * r * length;
}

OlpBBox* CapsuleBoundingBox(const OlpVolume* volume, const Matrix* matrix, int32_t, OlpBBox* out)
{
    float r = volume->margin;
    float h = HalfHeight(volume);
    V3d centre = {0.0f, 0.0f, 0.0f};
    V3d half = {r, r, h + r};
    if (matrix != nullptr) {
        centre = matrix->pos;
        half = Abs(matrix->at) * h + V3d{r, r, r};
    }
    out->max = centre + half;
    out->min = centre - half;
    return out;
}

V3d* CapsuleSupportPoint(const OlpVolume* volume, const V3d* d, V3d* out)
{
    *out = {0.0f, 0.0f, d->z >= 0.0f ? HalfHeight(volume) : -HalfHeight(volume)};
    return out;
}

OlpSupportFeature* CapsuleSupportFeature(const OlpVolume* volume, int32_t, const V3d* d,
                                         OlpSupportFeature* out)
{
    float h = HalfHeight(volume);
    if (d->z >= 0.5f) {
        OlpFeatureBegin(out, *d);
        OlpFeatureAddPoint(out, {0.0f, 0.0f, h});
    } else if (d->z > -0.5f && h > 0.0f) {
        float across = std::sqrt(std::max(1.0f - d->z * d->z, 0.75f));
        OlpFeatureBegin(out, {d->x / across, d->y / across, 0.0f});
        OlpFeatureAddPoint(out, {0.0f, 0.0f, -h});
        OlpFeatureAddPoint(out, {0.0f, 0.0f, h});
    } else {
        OlpFeatureBegin(out, *d);
        OlpFeatureAddPoint(out, {0.0f, 0.0f, -h});
    }
    OlpFeatureFinish(out);
    return out;
}

int32_t CapsuleSeparatingAxes(const OlpVolume*, const Matrix* matrix, OlpFaceAxis*, V3d* edges)
{
    edges[0] = matrix != nullptr ? matrix->at : V3d{0.0f, 0.0f, 1.0f};
    return 1;
}

int32_t CapsuleProjection(const OlpVolume* volume, const V3d* axis, float* min, float* max)
{
    float extent = std::fabs(axis->z) * HalfHeight(volume);
    *min = -extent;
    *max = extent;
    return 1;
}

float CapsuleThickness(const OlpVolume*)
{
    return 0.0f;
}

int32_t CapsuleLineIntersect(const OlpVolume* volume, const V3d* start, const V3d* end, OlpLineResult* out)
{
    float r = volume->margin;
    float h = HalfHeight(volume);
    V3d d = *end - *start;
    V3d zAxis = {0.0f, 0.0f, 1.0f};
    V3d origin = {0.0f, 0.0f, 0.0f};
    V3d core = {0.0f, 0.0f, std::clamp(start->z, -h, h)};
    if (LengthSq(*start - core) <= r * r) {
        out->point = *start;
        V3d outward = out->point - core;
        OlpSafeNormalize(&out->normal, &outward, &d, -1.0f);
        out->fraction = 0.0f;
        return 1;
    }
    // The side, where its hit lies along the core; else the end spheres.
    float best = 2.0f;
    OlpRayFraction hit;
    if (OlpRayCylinder(&hit, start, &d, &origin, &zAxis, r, 0, 1) == 1) {
        float t = hit.numerator / hit.denominator;
        if (std::fabs(start->z + t * d.z) <= h) {
            best = t;
        }
    }
    for (float side : {-1.0f, 1.0f}) {
        V3d cap = {0.0f, 0.0f, side * h};
        if (OlpRaySphere(&hit, start, &d, &cap, r) == 1) {
            float t = hit.numerator / hit.denominator;
            if (t < best && side * (start->z + t * d.z) >= h) {
                best = t;
            }
        }
    }
    if (best > 1.0f) {
        return 0;
    }
    out->point = *start + d * best;
    core = {0.0f, 0.0f, std::clamp(out->point.z, -h, h)};
    V3d outward = out->point - core;
    OlpSafeNormalize(&out->normal, &outward, &d, -1.0f);
    out->fraction = best;
    return 1;
}

} // namespace

const OlpVolumeDescriptor kOlpCapsuleDescriptor = {
    kOlpTypeCapsule,
    OlpPrimitiveDestroy,
    CapsuleBoundingSphere,
    CapsuleMass,
    CapsuleBoundingBox,
    CapsuleSupportPoint,
    CapsuleSupportFeature,
    CapsuleSeparatingAxes,
    CapsuleProjection,
    CapsuleThickness,
    CapsuleLineIntersect,
    nullptr,
    nullptr,
    "OlpCapsule",
    0,
    1,
    1,
    0,
    2,
    0,
};

OlpVolume* OlpCapsuleInit(OlpVolume* volume, float radius, float halfHeight)
{
    OlpVolumeInit(volume, &kOlpCapsuleDescriptor);
    volume->margin = OlpSanitizeLength(radius);
    volume->data[0].f = OlpSanitizeLength(halfHeight);
    volume->data[1].p = nullptr;
    volume->data[2].p = nullptr;
    return volume;
}

OlpVolume* OlpCapsuleCreate(float radius, float halfHeight)
{
    OlpVolume* volume = OlpVolumeAllocate();
    return volume != nullptr ? OlpCapsuleInit(volume, radius, halfHeight) : nullptr;
}

float OlpCapsuleGetHalfHeight(const OlpVolume* volume)
{
    return HalfHeight(volume);
}

OlpVolume* OlpCapsuleSetRadius(OlpVolume* volume, float radius)
{
    volume->margin = OlpSanitizeLength(radius);
    return volume;
}

OlpVolume* OlpCapsuleSetHalfHeight(OlpVolume* volume, float halfHeight)
{
    volume->data[0].f = OlpSanitizeLength(halfHeight);
    return volume;
}
