#include "physics/core/volume/coefficients.h"

#include "physics/core/volume/aggregate.h"

namespace {

/// Calls `set` on the volume, or on every child when it is an aggregate.
template <typename Setter> void ApplyToLeaves(OlpVolume* volume, Setter set)
{
    if (volume->descriptor != nullptr && volume->descriptor->typeId == kOlpTypeAggregate) {
        OlpAggChildren* children = OlpAggregateGetChildren(volume);
        if (children == nullptr) {
            return;
        }
        uint32_t count = OlpAggChildrenGetCount(children);
        for (uint32_t i = 0; i < count; ++i) {
            ApplyToLeaves(OlpAggChildrenGetChild(children, i), set);
        }
        return;
    }
    set(volume);
}

} // namespace

OlpVolume* OlpVolumeSetBounce(OlpVolume* volume, float bounce)
{
    ApplyToLeaves(volume, [bounce](OlpVolume* leaf) { leaf->bounce = bounce; });
    return volume;
}

OlpVolume* OlpVolumeSetSlide(OlpVolume* volume, float slide)
{
    ApplyToLeaves(volume, [slide](OlpVolume* leaf) { leaf->slide = slide; });
    return volume;
}
