#include "physics/core/volume/volumecopy.h"

#include "physics/core/volume/aggregate.h"
#include "physics/core/volume/convexhull.h"
#include "physics/core/volume/grid.h"

namespace {

/// Adds one reference to the data a volume shares with its copies.
void ReferenceSharedData(const OlpVolume* volume)
{
    if (volume->descriptor == nullptr || volume->data[0].p == nullptr) {
        return;
    }
    if (volume->descriptor->typeId == kOlpTypeAggregate) {
        OlpAggChildrenAddRef(static_cast<OlpAggChildren*>(volume->data[0].p));
    } else if (volume->descriptor->typeId == kOlpTypeConvex) {
        OlpConvexHullAddRef(static_cast<OlpConvexHull*>(volume->data[0].p));
    } else if (volume->descriptor->typeId == kOlpTypeGrid) {
        OlpGridAddRef(static_cast<OlpGridHeader*>(volume->data[0].p));
    }
}

} // namespace

OlpVolume* OlpVolumeCopy(OlpVolume* destination, const OlpVolume* source)
{
    *destination = *source;
    ReferenceSharedData(destination);
    return destination;
}

OlpVolume* OlpVolumeClone(const OlpVolume* volume)
{
    OlpVolume* clone = OlpVolumeAllocate();
    if (clone == nullptr) {
        return nullptr;
    }
    return OlpVolumeCopy(clone, volume);
}
