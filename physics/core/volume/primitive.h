#pragma once
// Helpers private to the volume types: the slots every plain type shares
// and the writing of support features within their room.

#include "physics/core/volume/volume.h"

/// Slot 1 of the types that own nothing: 1.
int32_t OlpPrimitiveDestroy(OlpVolume* volume);

/// Starts a feature: normal stored, no points, id 0, `points` at the room.
inline void OlpFeatureBegin(OlpSupportFeature* feature, V3d normal)
{
    if (feature->points == nullptr || feature->capacity == 0) {
        feature->points = feature->inlinePoints;
    }
    feature->normal = normal;
    feature->offset = 0.0f;
    feature->count = 0;
    feature->id = 0;
}

/// Appends a point when the room has space; false when it is full.
inline bool OlpFeatureAddPoint(OlpSupportFeature* feature, V3d point)
{
    uint16_t room = feature->capacity == 0 ? kOlpFeatureInlinePoints : feature->capacity;
    if (feature->count >= room) {
        return false;
    }
    feature->points[feature->count++] = {point, 0.0f};
    return true;
}

/// Sets the offset to normal . first point.
inline void OlpFeatureFinish(OlpSupportFeature* feature)
{
    const V3d& n = feature->normal;
    const V3d& p = feature->points[0].p;
    feature->offset = feature->count > 0 ? n.x * p.x + n.y * p.y + n.z * p.z : 0.0f;
}
/// Writes the face `points` (count > room allowed): all of them when they
/// fit, else `room` of them spread evenly round the loop, in loop order.
void OlpFeatureAddFace(OlpSupportFeature* feature, const V3d* points, uint32_t count);
