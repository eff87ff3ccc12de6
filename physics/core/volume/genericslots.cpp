#include "physics/core/volume/genericslots.h"

#include <algorithm>

#include "physics/core/utils/vec3.h"
#include "physics/core/volume/box.h"
#include "physics/core/volume/dispatch.h"
#include "physics/core/volume/mass.h"

using namespace olp;

OlpSphere* OlpVolumeBoundingSphereFromBox(const OlpVolume* volume, OlpSphere* out)
{
    OlpBBox box;
    if (volume->descriptor->getBoundingBox(volume, nullptr, 1, &box) == nullptr) {
        return nullptr;
    }
    return OlpSphereFromBBox(out, &box);
}

float OlpVolumeMassPropertiesFromBox(const OlpVolume* volume, OlpMassProperties* out, V3d* centre)
{
    OlpBBox bounds;
    if (volume->descriptor->getBoundingBox(volume, nullptr, 1, &bounds) == nullptr) {
        OlpMassPropertiesSetEmpty(out, centre);
        return 0.0f;
    }
    OlpVolume box;
    V3d half = (bounds.max - bounds.min) * 0.5f;
    OlpBoxInit(&box, &half);
    box.margin = volume->margin;
    V3d middle = (bounds.max + bounds.min) * 0.5f;
    box.frame.pos = middle;
    box.frame.flags &= ~kMatrixFlagIdentity;
    // Reported as half the box's volume: a box is a loose stand-in for the shape.
    return 0.5f * OlpVolumeGetMassProperties(&box, out, centre);
}

int32_t OlpVolumeProjectionFromSupport(const OlpVolume* volume, const V3d* axis, float* min, float* max)
{
    V3d point;
    if (volume->descriptor->getSupportPoint(volume, axis, &point) == nullptr) {
        return 0;
    }
    *max = Dot(*axis, point);
    V3d opposite = -*axis;
    if (volume->descriptor->getSupportPoint(volume, &opposite, &point) == nullptr) {
        return 0;
    }
    *min = Dot(*axis, point);
    return 1;
}

float OlpVolumeCoreThicknessFromBox(const OlpVolume* volume)
{
    OlpBBox box;
    if (volume->descriptor->getBoundingBox(volume, nullptr, 1, &box) == nullptr) {
        return 0.0f;
    }
    V3d extent = box.max - box.min;
    return std::min({extent.x, extent.y, extent.z}) - 2.0f * volume->margin;
}
