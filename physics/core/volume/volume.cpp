#include "physics/core/volume/volume.h"

#include <cmath>

#include "physics/core/utils/memory.h"

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
