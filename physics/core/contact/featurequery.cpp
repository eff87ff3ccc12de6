// Measuring one part pair into a feature-pair record.
#include <algorithm>

#include "physics/core/contact/batch.h"
#include "physics/core/utils/vec3.h"
#include "physics/core/volume/dispatch.h"
#include "physics/core/volume/gjk.h"
#include "physics/core/volume/sat.h"

using namespace olp;

namespace {

/// The support feature of one side into `half`, its points in the area's
/// list from `*cursor` on; a feature of at most four points is kept inline.
void SupportFeature(OlpBatchArea* area, const OlpBatchEntry* entry, V3d direction, uint32_t* cursor,
                    OlpFeatureHalf* half)
{
    OlpSupportFeature& f = half->feature;
    f.count = 0;
    f.id = 0;
    f.points = area->points + *cursor;
    f.capacity = static_cast<uint16_t>(std::min<uint32_t>(area->pointCapacity - *cursor, 0xFFFF));
    if (OlpVolumeGetSupportFeature(entry->volume, entry->frame, 1, &direction, &f) == nullptr) {
        f.count = 0;
        f.normal = direction;
        f.offset = 0.0f;
    }
    if (f.count <= kOlpFeatureInlinePoints) {
        if (f.points != f.inlinePoints) {
            std::copy(f.points, f.points + f.count, f.inlinePoints);
        }
        f.points = f.inlinePoints;
        f.capacity = 0;
    } else {
        *cursor += f.count;
    }
}

/// The side's record fields from its entry and volume; for a triangle-type
/// volume its flags and world face normal, turned towards the other side
/// unless the triangle is one-sided.
void DescribeSide(const OlpBatchEntry* entry, const OlpBatchEntry* other, OlpFeatureHalf* half)
{
    const OlpVolume* v = entry->volume;
    half->object = entry->object;
    half->part = entry->part;
    half->featureId = entry->featureId;
    half->slide = v->slide;
    half->bounce = v->bounce;
    half->margin = v->margin;
    half->descriptorFlags = v->descriptor->flags;
    half->triangleFlags = 0;
    half->faceNormal = {0, 0, 0};
    if ((v->descriptor->flags & kOlpVolumeTriangleType) == 0) {
        return;
    }
    const OlpTriangleData* t = OlpTriangleGetData(v);
    half->triangleFlags = static_cast<uint16_t>(t->edgeFlags & 0xF);
    if (half->triangleFlags == kOlpTriangleNoFaceNormal) {
        return;
    }
    V3d n = entry->frame != nullptr ? RotateVector(*entry->frame, t->normal) : t->normal;
    V3d a = entry->frame != nullptr ? TransformPoint(*entry->frame, t->a) : t->a;
    if ((half->triangleFlags & kOlpTriangleOneSided) == 0) {
        float plane = Dot(n, a);
        float lo = 0.0f;
        float hi = 0.0f;
        if (OlpVolumeGetProjection(other->volume, other->frame, &n, &lo, &hi) != 0 &&
            plane - lo > hi - plane) {
            n = -n;
        }
    }
    half->faceNormal = n;
}

} // namespace

void OlpBatchSupportFeatures(OlpBatchArea* area, const OlpBatchPartPair* pair, OlpFeaturePair* record)
{
    uint32_t cursor = area->pointCount;
    SupportFeature(area, pair->a, -record->direction, &cursor, &record->a);
    SupportFeature(area, pair->b, record->direction, &cursor, &record->b);
}

int32_t OlpBatchFeaturePair(OlpBatchArea* area, const OlpBatchPartPair* pair, float maxDistance)
{
    if (area->recordCount >= area->recordCapacity ||
        area->pointCapacity - area->pointCount < kOlpBatchFeatureRoom) {
        area->overflow = 1;
        return 0;
    }
    const OlpVolume* a = pair->a->volume;
    const OlpVolume* b = pair->b->volume;
    OlpPartPair sides = {{a, pair->a->frame}, {b, pair->b->frame}};
    OlpDistance d;
    bool measured = ((a->descriptor->flags | b->descriptor->flags) & kOlpVolumeMeasureGjk) != 0
                        ? OlpGjkPenetration(&sides, maxDistance, &d, area->scale) != 0
                        : OlpSatQuery(&sides, maxDistance, area->scale, &d) != 0;
    if (!measured || !(d.distance < maxDistance)) {
        return 0;
    }
    OlpFeaturePair* record = &area->records[area->recordCount];
    record->direction = d.direction;
    record->midPlane = d.midPlane;
    record->distance = d.distance;
    OlpBatchSupportFeatures(area, pair, record);
    ++area->recordCount;
    for (const OlpFeatureHalf* half : {&record->a, &record->b}) {
        if (half->feature.count > kOlpFeatureInlinePoints) {
            area->pointCount += half->feature.count;
        }
    }
    DescribeSide(pair->a, pair->b, &record->a);
    DescribeSide(pair->b, pair->a, &record->b);
    return 1;
}
