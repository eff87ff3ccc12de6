#include "physics/core/volume/nullvolume.h"

#include "physics/core/volume/mass.h"
#include "physics/core/volume/primitive.h"

namespace {

OlpSphere* NullBoundingSphere(const OlpVolume*, OlpSphere*)
{
    return nullptr;
}

float NullMass(const OlpVolume*, OlpMassProperties* out, V3d* centre)
{
    OlpMassPropertiesSetEmpty(out, centre);
    return 0.0f;
}

OlpBBox* NullBoundingBox(const OlpVolume*, const Matrix*, int32_t, OlpBBox*)
{
    return nullptr;
}

V3d* NullSupportPoint(const OlpVolume*, const V3d*, V3d*)
{
    return nullptr;
}

OlpSupportFeature* NullSupportFeature(const OlpVolume*, int32_t, const V3d*, OlpSupportFeature*)
{
    return nullptr;
}

int32_t NullSeparatingAxes(const OlpVolume*, const Matrix*, OlpFaceAxis*, V3d*)
{
    return 0;
}

int32_t NullProjection(const OlpVolume*, const V3d*, float*, float*)
{
    return 0;
}

float NullThickness(const OlpVolume*)
{
    return 0.0f;
}

int32_t NullLineIntersect(const OlpVolume*, const V3d*, const V3d*, OlpLineResult*)
{
    return 0;
}

} // namespace

const OlpVolumeDescriptor kOlpNullDescriptor = {
    kOlpTypeNull,
    OlpPrimitiveDestroy,
    NullBoundingSphere,
    NullMass,
    NullBoundingBox,
    NullSupportPoint,
    NullSupportFeature,
    NullSeparatingAxes,
    NullProjection,
    NullThickness,
    NullLineIntersect,
    nullptr,
    nullptr,
    "OlpNull",
    0,
    0,
    0,
    0,
    0,
    0,
};

OlpVolume* OlpNullInit(OlpVolume* volume)
{
    OlpVolumeInit(volume, &kOlpNullDescriptor);
    volume->data[0].p = volume->data[1].p = volume->data[2].p = nullptr;
    return volume;
}

OlpVolume* OlpNullCreate()
{
    OlpVolume* volume = OlpVolumeAllocate();
    return volume != nullptr ? OlpNullInit(volume) : nullptr;
}
