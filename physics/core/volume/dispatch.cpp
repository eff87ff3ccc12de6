#include "physics/core/volume/dispatch.h"

#include "physics/core/utils/inertia.h"
#include "physics/core/utils/vec3.h"

using namespace olp;

namespace {

bool FrameIsSkipped(const OlpVolume* volume)
{
    return (volume->descriptor->flags & kOlpVolumeWorldSpace) != 0 ||
           (volume->frame.flags & kMatrixFlagIdentity) != 0;
}

} // namespace

const Matrix* OlpVolumeEffectiveFrame(const OlpVolume* volume, const Matrix* matrix, Matrix* storage)
{
    if (FrameIsSkipped(volume)) {
        return matrix;
    }
    if (matrix == nullptr) {
        return &volume->frame;
    }
    return MatrixMultiply(storage, &volume->frame, matrix);
}

OlpSphere* OlpVolumeGetBoundingSphere(const OlpVolume* volume, const Matrix* matrix, OlpSphere* out)
{
    if (volume->descriptor->getBoundingSphere(volume, out) == nullptr) {
        return nullptr;
    }
    Matrix storage;
    if (const Matrix* frame = OlpVolumeEffectiveFrame(volume, matrix, &storage)) {
        out->centre = TransformPoint(*frame, out->centre);
    }
    return out;
}

float OlpVolumeGetMassProperties(const OlpVolume* volume, OlpMassProperties* out, V3d* centre)
{
    float amount = volume->descriptor->getMassProperties(volume, out, centre);
    if (!FrameIsSkipped(volume)) {
        // The principal axes first, then the frame's rotation.
        Matrix axes;
        OlpMathQuaternionToMatrix(&axes, &out->rotation);
        Matrix rotation = volume->frame;
        rotation.pos = {0.0f, 0.0f, 0.0f};
        MatrixMultiply(&axes, &axes, &rotation);
        OlpMathQuaternionFromRotation(&out->rotation, &axes);
        *centre = TransformPoint(volume->frame, *centre);
    }
    return amount;
}

OlpBBox* OlpVolumeGetBBox(const OlpVolume* volume, const Matrix* matrix, int32_t tight, OlpBBox* out)
{
    Matrix storage;
    const Matrix* frame = OlpVolumeEffectiveFrame(volume, matrix, &storage);
    return volume->descriptor->getBoundingBox(volume, frame, tight, out);
}

OlpBBox* OlpVolumeGetBoundingBoxLocal(const OlpVolume* volume, const Matrix* matrix, int32_t tight,
                                      OlpBBox* out)
{
    return volume->descriptor->getBoundingBox(volume, matrix, tight, out);
}

V3d* OlpVolumeGetSupportPoint(const OlpVolume* volume, const Matrix* matrix, const V3d* direction, V3d* out)
{
    if (matrix == nullptr) {
        return volume->descriptor->getSupportPoint(volume, direction, out);
    }
    V3d local = InverseRotateVector(*matrix, *direction);
    if (volume->descriptor->getSupportPoint(volume, &local, out) == nullptr) {
        return nullptr;
    }
    *out = TransformPoint(*matrix, *out);
    return out;
}

OlpSupportFeature* OlpVolumeGetSupportFeature(const OlpVolume* volume, const Matrix* matrix, int32_t winding,
                                              const V3d* direction, OlpSupportFeature* out)
{
    if (matrix == nullptr) {
        return volume->descriptor->getSupportFeature(volume, winding, direction, out);
    }
    V3d local = InverseRotateVector(*matrix, *direction);
    if (volume->descriptor->getSupportFeature(volume, winding, &local, out) == nullptr) {
        return nullptr;
    }
    return OlpSupportFeatureTransform(out, matrix);
}

int32_t OlpVolumeGetProjection(const OlpVolume* volume, const Matrix* matrix, const V3d* axis, float* min,
                               float* max)
{
    if (matrix == nullptr) {
        return volume->descriptor->getProjection(volume, axis, min, max);
    }
    V3d local = InverseRotateVector(*matrix, *axis);
    int32_t result = volume->descriptor->getProjection(volume, &local, min, max);
    float shift = Dot(*axis, matrix->pos);
    *min += shift;
    *max += shift;
    return result;
}

int32_t OlpVolumeLineIntersect(const OlpVolume* volume, const Matrix* matrix, const V3d* start,
                               const V3d* end, OlpLineResult* out)
{
    out->volume = volume;
    Matrix storage;
    const Matrix* frame = OlpVolumeEffectiveFrame(volume, matrix, &storage);
    if (frame == nullptr) {
        return volume->descriptor->lineIntersect(volume, start, end, out);
    }
    V3d localStart = InverseTransformPoint(*frame, *start);
    V3d localEnd = InverseTransformPoint(*frame, *end);
    if (!volume->descriptor->lineIntersect(volume, &localStart, &localEnd, out)) {
        return 0;
    }
    out->point = TransformPoint(*frame, out->point);
    out->normal = RotateVector(*frame, out->normal);
    return 1;
}

OlpSupportFeature* OlpSupportFeatureTransform(OlpSupportFeature* feature, const Matrix* matrix)
{
    for (uint16_t i = 0; i < feature->count; ++i) {
        feature->points[i].p = TransformPoint(*matrix, feature->points[i].p);
    }
    feature->normal = RotateVector(*matrix, feature->normal);
    feature->offset = Dot(feature->normal, feature->count > 0 ? feature->points[0].p : matrix->pos);
    return feature;
}
