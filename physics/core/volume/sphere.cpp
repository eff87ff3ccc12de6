#include "physics/core/volume/sphere.h"

#include "physics/core/utils/vec3.h"
#include "physics/core/volume/mass.h"
#include "physics/core/volume/primitive.h"
#include "physics/core/volume/raytests.h"

using namespace olp;

namespace {

OlpSphere* SphereBoundingSphere(const OlpVolume* volume, OlpSphere* out)
{
    out->centre = {0.0f, 0.0f, 0.0f};
    out->radius = volume->margin;
    return out;
}

float SphereMass(const OlpVolume* volume, OlpMassProperties* out, V3d* centre)
{
    float r = volume->margin;
    float inertia = 0.4f * r * r;
    OlpMassPropertiesSetDiagonal(out, {inertia, inertia, inertia});
    *centre = {0.0f, 0.0f, 0.0f};
    return 4.1887903f * r * r * r;
}

OlpBBox* SphereBoundingBox(const OlpVolume* volume, const Matrix* matrix, int32_t, OlpBBox* out)
{
    V3d centre = matrix != nullptr ? matrix->pos : V3d{0.0f, 0.0f, 0.0f};
    float r = volume->margin;
    out->max = centre + V3d{r, r, r};
    out->min = centre - V3d{r, r, r};
    return out;
}

V3d* SphereSupportPoint(const OlpVolume*, const V3d*, V3d* out)
{
    *out = {0.0f, 0.0f, 0.0f};
    return out;
}

OlpSupportFeature* SphereSupportFeature(const OlpVolume*, int32_t, const V3d* direction,
                                        OlpSupportFeature* out)
{
    OlpFeatureBegin(out, *direction);
    OlpFeatureAddPoint(out, {0.0f, 0.0f, 0.0f});
    out->offset = 0.0f;
    return out;
}

int32_t SphereSeparatingAxes(const OlpVolume*, const Matrix*, OlpFaceAxis*, V3d*)
{
    return 1;
}

int32_t SphereProjection(const OlpVolume*, const V3d*, float* min, float* max)
{
    *min = 0.0f;
    *max = 0.0f;
    return 1;
}

float SphereThickness(const OlpVolume*)
{
    return 0.0f;
}

int32_t SphereLineIntersect(const OlpVolume* volume, const V3d* start, const V3d* end, OlpLineResult* out)
{
    V3d d = *end - *start;
    V3d centre = {0.0f, 0.0f, 0.0f};
    OlpRayFraction hit;
    if (OlpRaySphere(&hit, start, &d, &centre, volume->margin) != 1) {
        return 0;
    }
    float t = hit.numerator / hit.denominator;
    out->point = *start + d * t;
    OlpSafeNormalize(&out->normal, &out->point, &d, -1.0f);
    out->fraction = t;
    return 1;
}

} // namespace

const OlpVolumeDescriptor kOlpSphereDescriptor = {
    kOlpTypeSphere,
    OlpPrimitiveDestroy,
    SphereBoundingSphere,
    SphereMass,
    SphereBoundingBox,
    SphereSupportPoint,
    SphereSupportFeature,
    SphereSeparatingAxes,
    SphereProjection,
    SphereThickness,
    SphereLineIntersect,
    nullptr,
    nullptr,
    "OlpSphere",
    0,
    0,
    0,
    0,
    1,
    0,
};

OlpVolume* OlpSphereInit(OlpVolume* volume, float radius)
{
    OlpVolumeInit(volume, &kOlpSphereDescriptor);
    volume->margin = OlpSanitizeLength(radius);
    return volume;
}

OlpVolume* OlpSphereCreate(float radius)
{
    OlpVolume* volume = OlpVolumeAllocate();
    return volume != nullptr ? OlpSphereInit(volume, radius) : nullptr;
}

float OlpSphereGetRadius(const OlpVolume* volume)
{
    return volume->margin;
}

OlpVolume* OlpSphereSetRadius(OlpVolume* volume, float radius)
{
    volume->margin = OlpSanitizeLength(radius);
    return volume;
}
