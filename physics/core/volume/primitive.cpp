#include "physics/core/volume/primitive.h"

#include "physics/core/utils/vec3.h"

using namespace olp;

int32_t OlpPrimitiveDestroy(OlpVolume*)
{
    return 1;
}

void OlpFeatureAddFace(OlpSupportFeature* feature, const V3d* points, uint32_t count)
{
    uint16_t room;
    OlpSupportFeatureRoom(feature, &room);
    if (count <= room) {
        for (uint32_t i = 0; i < count; ++i) {
            OlpFeatureAddPoint(feature, points[i]);
        }
        return;
    }
    // Thin the loop to the room: every (count / room)-th point, in order.
    for (uint32_t i = 0; i < room; ++i) {
        OlpFeatureAddPoint(feature, points[static_cast<uint64_t>(i) * count / room]);
    }
}
