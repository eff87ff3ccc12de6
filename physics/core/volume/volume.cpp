#include "physics/core/volume/volume.h"

#include <cmath>

#include "physics/core/utils/memory.h"
#include "physics/core/volume/aggregate.h"
#include "physics/core/volume/box.h"
#include "physics/core/volume/capsule.h"
#include "physics/core/volume/cylinder.h"
#include "physics/core/volume/nullvolume.h"
#include "physics/core/volume/plane.h"
#include "physics/core/volume/sphere.h"

const OlpVolumeDescriptor* OlpVolumeGetBuiltinDescriptor(uint32_t typeId)
{
    static const OlpVolumeDescriptor* const kTable[kOlpBuiltinTypeCount] = {
        &kOlpNullDescriptor,
        &kOlpPlaneDescriptor,
        &kOlpSphereDescriptor,
        &kOlpCapsuleDescriptor,
        nullptr,
        &kOlpBoxDescriptor,
        &kOlpCylinderDescriptor,
        nullptr,
        &kOlpAggregateDescriptor,
        nullptr,
        nullptr,
    };
    return typeId < kOlpBuiltinTypeCount ? kTable[typeId] : nullptr;
}

OlpFeaturePoint* OlpSupportFeatureRoom(OlpSupportFeature* feature, uint16_t* room)
{
    if (feature->points == nullptr || feature->capacity == 0) {
        feature->points = feature->inlinePoints;
        *room = kOlpFeatureInlinePoints;
    } else {
        *room = feature->capacity;
    }
    return feature->points;
}

float OlpSanitizeLength(float length)
{
    return length > 0.0f && length <= 3.4028235e38f ? length : 0.0f;
}

OlpVolume* OlpVolumeInit(OlpVolume* volume, const OlpVolumeDescriptor* descriptor)
{
    Matrix& frame = volume->frame;
    frame.right = {1.0f, 0.0f, 0.0f};
    frame.up = {0.0f, 1.0f, 0.0f};
    frame.at = {0.0f, 0.0f, 1.0f};
    frame.pos = {0.0f, 0.0f, 0.0f};
    frame.flags = kMatrixFlagsAll;
    volume->margin = 0.0f;
    volume->bounce = kOlpDefaultBounce;
    volume->slide = kOlpDefaultSlide;
    volume->id = 0;
    volume->tag = 0;
    volume->descriptor = descriptor;
    return volume;
}

OlpVolume* OlpVolumeAllocate()
{
    void* block = OlpAlignedAlloc(sizeof(OlpVolume), 16, kOlpMemoryHint);
    if (block == nullptr) {
        return nullptr;
    }
    // Give the frame's flag word and padding a defined value before the init ORs into it.
    OlpMemFill(block, 0, sizeof(OlpVolume));
    return static_cast<OlpVolume*>(block);
}

int32_t OlpVolumeDestroyContents(OlpVolume* volume)
{
    return volume->descriptor->destroy(volume);
}

int32_t OlpVolumeDestroy(OlpVolume* volume)
{
    OlpVolumeDestroyContents(volume);
    OlpAlignedFree(volume);
    return 1;
}

bool OlpVolumeIsValid(const OlpVolume* volume)
{
    return volume != nullptr && (reinterpret_cast<uintptr_t>(volume) & 15) == 0 && volume->margin >= 0.0f &&
           volume->descriptor != nullptr;
}

namespace {

/// Adds one reference to the data a volume shares with its copies.
void ReferenceSharedData(const OlpVolume* volume)
{
    if (volume->descriptor == nullptr || volume->data[0].p == nullptr) {
        return;
    }
    if (volume->descriptor->typeId == kOlpTypeAggregate) {
        OlpAggChildrenAddRef(static_cast<OlpAggChildren*>(volume->data[0].p));
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

OlpVolume* OlpVolumeSetMargin(OlpVolume* volume, float margin)
{
    volume->margin = OlpSanitizeLength(margin);
    return volume;
}

OlpVolume* OlpVolumeSetTag(OlpVolume* volume, uint16_t tag)
{
    volume->tag = tag;
    return volume;
}

OlpTypeWord* OlpVolumeGetTypeData(OlpVolume* volume)
{
    return volume->data;
}

OlpVolume* OlpVolumeSetFrame(OlpVolume* volume, const Matrix* matrix)
{
    if ((volume->descriptor->flags & kOlpVolumeWorldSpace) == 0) {
        volume->frame = *matrix;
    }
    return volume;
}

const char* OlpVolumeGetTypeName(const OlpVolume* volume)
{
    if (volume == nullptr) {
        return "<null-pointer>";
    }
    if (volume->descriptor == nullptr) {
        return "<null-vtable>";
    }
    return volume->descriptor->name;
}

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
