#include "physics/core/volume/plane.h"

#include "physics/core/utils/maths.h"
#include "physics/core/utils/vec3.h"
#include "physics/core/volume/mass.h"
#include "physics/core/volume/primitive.h"
#include "physics/core/volume/raytests.h"

using namespace olp;

namespace {

constexpr float kUnbounded = 1.7014117e38f;

OlpSphere* PlaneBoundingSphere(const OlpVolume*, OlpSphere* out)
{
    out->centre = {0.0f, 0.0f, 0.0f};
    out->radius = kOlpFloatMax;
    return out;
}

float PlaneMass(const OlpVolume*, OlpMassProperties* out, V3d* centre)
{
    OlpMassPropertiesSetEmpty(out, centre);
    return 0.0f;
}

OlpBBox* PlaneBoundingBox(const OlpVolume* volume, const Matrix* matrix, int32_t, OlpBBox* out)
{
    out->max = {kUnbounded, kUnbounded, kUnbounded};
    out->min = {-kUnbounded, -kUnbounded, -kUnbounded};
    if (matrix == nullptr) {
        out->max.z = volume->margin;
        return out;
    }
    // Bounded only when the plane faces along a world axis.
    for (int axis = 0; axis < 3; ++axis) {
        float along = Component(matrix->at, axis);
        float position = Component(matrix->pos, axis);
        if (along > 0.9999f) {
            SetComponent(out->max, axis, position + volume->margin);
            break;
        }
        if (along < -0.9999f) {
            SetComponent(out->min, axis, position - volume->margin);
            break;
        }
    }
    return out;
}

V3d* PlaneSupportPoint(const OlpVolume*, const V3d* d, V3d* out)
{
    *out = {d->x * kOlpFloatMax, d->y * kOlpFloatMax, d->z > 0.0f ? 0.0f : d->z * kOlpFloatMax};
    return out;
}

OlpSupportFeature* PlaneSupportFeature(const OlpVolume*, int32_t, const V3d*, OlpSupportFeature* out)
{
    OlpFeatureBegin(out, {0.0f, 0.0f, 1.0f});
    return out;
}

int32_t PlaneSeparatingAxes(const OlpVolume*, const Matrix* matrix, OlpFaceAxis* faces, V3d*)
{
    if (matrix == nullptr) {
        faces[0] = {{0.0f, 0.0f, 1.0f}, -kOlpFloatMax, 0.0f};
    } else {
        // The plane's offset along its own normal (the z of the position
        // for planes facing z, and right for every other orientation).
        faces[0] = {matrix->at, -kOlpFloatMax, Dot(matrix->at, matrix->pos)};
    }
    return 1;
}

int32_t PlaneProjection(const OlpVolume*, const V3d* axis, float* min, float* max)
{
    *min = axis->z > -0.999995f ? -kOlpFloatMax : 0.0f;
    *max = axis->z < 0.999995f ? kOlpFloatMax : 0.0f;
    return 1;
}

float PlaneThickness(const OlpVolume*)
{
    return 1e8f;
}

int32_t PlaneLineIntersect(const OlpVolume* volume, const V3d* start, const V3d* end, OlpLineResult* out)
{
    V3d d = *end - *start;
    V3d normal = {0.0f, 0.0f, 1.0f};
    OlpRayFraction hit;
    if (OlpRayPlane(&hit, start, &d, &normal, volume->margin) != 1) {
        return 0;
    }
    float t = hit.numerator / hit.denominator;
    out->point = *start + d * t;
    out->normal = normal;
    out->fraction = t;
    return 1;
}

} // namespace

const OlpVolumeDescriptor kOlpPlaneDescriptor = {
    kOlpTypePlane,
    OlpPrimitiveDestroy,
    PlaneBoundingSphere,
    PlaneMass,
    PlaneBoundingBox,
    PlaneSupportPoint,
    PlaneSupportFeature,
    PlaneSeparatingAxes,
    PlaneProjection,
    PlaneThickness,
    PlaneLineIntersect,
    nullptr,
    nullptr,
    "OlpPlane",
    2,
    2,
    0,
    1,
    0,
    0,
};

OlpVolume* OlpPlaneInit(OlpVolume* volume)
{
    return OlpVolumeInit(volume, &kOlpPlaneDescriptor);
}

OlpVolume* OlpPlaneCreate()
{
    OlpVolume* volume = OlpVolumeAllocate();
    return volume != nullptr ? OlpPlaneInit(volume) : nullptr;
}
