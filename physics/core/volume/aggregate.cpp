#include "physics/core/volume/aggregate.h"

#include "physics/core/utils/memory.h"
#include "physics/core/utils/vec3.h"
#include "physics/core/volume/dispatch.h"
#include "physics/core/volume/genericslots.h"
#include "physics/core/volume/mass.h"
#include "physics/core/volume/nullvolume.h"
#include "physics/core/volume/primitive.h"

using namespace olp;

OlpAggChildren* OlpAggChildrenCreate(uint32_t count)
{
    if (count >= kOlpAggMaxChildren) {
        return nullptr;
    }
    auto* list = static_cast<OlpAggChildren*>(OlpAlignedAlloc(sizeof(OlpAggChildren), 16, kOlpMemoryHint));
    if (list == nullptr) {
        return nullptr;
    }
    OlpMemFill(list, 0, sizeof(OlpAggChildren));
    list->children = static_cast<OlpVolume*>(OlpAlignedAlloc(sizeof(OlpVolume) * count, 16, kOlpMemoryHint));
    if (list->children == nullptr) {
        OlpAlignedFree(list);
        return nullptr;
    }
    OlpMemFill(list->children, 0, sizeof(OlpVolume) * count);
    for (uint32_t i = 0; i < count; ++i) {
        OlpNullInit(&list->children[i]);
    }
    list->count = count;
    list->volume = -1.0f;
    list->refCount = 1;
    list->flags = kOlpAggBoundsStale;
    return list;
}

uint32_t OlpAggChildrenGetCount(const OlpAggChildren* list)
{
    return list->count;
}

OlpVolume* OlpAggChildrenGetChild(OlpAggChildren* list, uint32_t i)
{
    return i < list->count ? &list->children[i] : nullptr;
}

bool OlpAggChildrenIsValid(const OlpAggChildren* list)
{
    return list != nullptr && list->children != nullptr && list->count < kOlpAggMaxChildren &&
           list->refCount != 0;
}

OlpAggChildren* OlpAggChildrenAddRef(OlpAggChildren* list)
{
    ++list->refCount;
    return list;
}

int32_t OlpAggChildrenRelease(OlpAggChildren* list)
{
    if (--list->refCount != 0) {
        return 1;
    }
    for (uint32_t i = 0; i < list->count; ++i) {
        OlpVolumeDestroyContents(&list->children[i]);
    }
    OlpAlignedFree(list->children);
    OlpAlignedFree(list);
    return 1;
}

OlpAggChildren* OlpAggChildrenUpdateBounds(OlpAggChildren* list)
{
    list->flags = (list->flags & ~kOlpAggBoundsStale) | kOlpAggBoxValid | kOlpAggSphereValid;
    bool haveBox = false;
    bool haveSphere = false;
    for (uint32_t i = 0; i < list->count; ++i) {
        const OlpVolume* child = &list->children[i];
        OlpBBox box;
        if (OlpVolumeGetBBox(child, nullptr, 1, &box) != nullptr) {
            if (haveBox) {
                OlpBBoxMerge(&list->box, &list->box, &box);
            } else {
                list->box = box;
                haveBox = true;
            }
        }
        OlpSphere sphere;
        if (OlpVolumeGetBoundingSphere(child, nullptr, &sphere) != nullptr) {
            if (haveSphere) {
                OlpSphereMerge(&list->sphere, &list->sphere, &sphere);
            } else {
                list->sphere = sphere;
                haveSphere = true;
            }
        }
    }
    if (!haveBox) {
        list->flags &= ~kOlpAggBoxValid;
    }
    if (!haveSphere) {
        list->flags &= ~kOlpAggSphereValid;
    }
    return list;
}

V3d* OlpAggChildrenGetSupportPoint(const OlpAggChildren* list, const V3d* direction, V3d* out)
{
    float best = -3.4028235e38f;
    bool found = false;
    for (uint32_t i = 0; i < list->count; ++i) {
        const OlpVolume* child = &list->children[i];
        V3d point;
        if (OlpVolumeGetSupportPoint(child, &child->frame, direction, &point) == nullptr) {
            continue;
        }
        point = point + *direction * child->margin;
        float score = Dot(*direction, point);
        if (!found || score > best) {
            best = score;
            *out = point;
            found = true;
        }
    }
    return found ? out : nullptr;
}

namespace {

OlpAggChildren* List(const OlpVolume* volume)
{
    return static_cast<OlpAggChildren*>(volume->data[0].p);
}

int32_t AggregateDestroy(OlpVolume* volume)
{
    if (List(volume) != nullptr) {
        OlpAggChildrenRelease(List(volume));
        volume->data[0].p = nullptr;
    }
    return 1;
}

OlpSphere* AggregateBoundingSphere(const OlpVolume* volume, OlpSphere* out)
{
    const OlpAggChildren* list = List(volume);
    if (list == nullptr || (list->flags & kOlpAggSphereValid) == 0 || list->count == 0) {
        return nullptr;
    }
    *out = list->sphere;
    return out;
}

float AggregateMass(const OlpVolume* volume, OlpMassProperties* out, V3d* centre)
{
    OlpAggChildren* list = List(volume);
    if (list == nullptr) {
        OlpMassPropertiesSetEmpty(out, centre);
        return 0.0f;
    }
    if (list->volume < 0.0f) {
        list->volume =
            OlpVolumeListMassProperties(list->children, list->count, &list->mass, &list->centre, 0);
    }
    *out = list->mass;
    *centre = list->centre;
    return list->volume;
}

OlpBBox* AggregateBoundingBox(const OlpVolume* volume, const Matrix* matrix, int32_t, OlpBBox* out)
{
    const OlpAggChildren* list = List(volume);
    if (list == nullptr || (list->flags & kOlpAggBoxValid) == 0) {
        return nullptr;
    }
    if (matrix == nullptr) {
        *out = list->box;
        return out;
    }
    return OlpBBoxTransform(out, &list->box, matrix);
}

V3d* AggregateSupportPoint(const OlpVolume* volume, const V3d* direction, V3d* out)
{
    const OlpAggChildren* list = List(volume);
    return list != nullptr ? OlpAggChildrenGetSupportPoint(list, direction, out) : nullptr;
}

OlpSupportFeature* AggregateSupportFeature(const OlpVolume*, int32_t, const V3d*, OlpSupportFeature*)
{
    return nullptr;
}

int32_t AggregateSeparatingAxes(const OlpVolume*, const Matrix*, OlpFaceAxis*, V3d*)
{
    return 0;
}

float AggregateThickness(const OlpVolume* volume)
{
    const OlpAggChildren* list = List(volume);
    float thinnest = 1e10f;
    if (list == nullptr) {
        return thinnest;
    }
    for (uint32_t i = 0; i < list->count; ++i) {
        const OlpVolume* child = &list->children[i];
        float thickness = child->descriptor->getCoreThickness(child) + 2.0f * child->margin;
        if (thickness > 0.0f && thickness < thinnest) {
            thinnest = thickness;
        }
    }
    return thinnest;
}

int32_t AggregateLineIntersect(const OlpVolume* volume, const V3d*, const V3d*, OlpLineResult* out)
{
    // Segments are tested against the children by the caller's compound walk.
    out->volume = volume;
    return 0;
}

} // namespace

const OlpVolumeDescriptor kOlpAggregateDescriptor = {
    kOlpTypeAggregate,
    AggregateDestroy,
    AggregateBoundingSphere,
    AggregateMass,
    AggregateBoundingBox,
    AggregateSupportPoint,
    AggregateSupportFeature,
    AggregateSeparatingAxes,
    OlpVolumeProjectionFromSupport,
    AggregateThickness,
    AggregateLineIntersect,
    nullptr,
    nullptr,
    "OlpAggregate",
    0,
    2,
    kOlpAxisCountNone,
    kOlpAxisCountNone,
    kOlpAxisCountNone,
    kOlpVolumeCompound,
};

OlpVolume* OlpAggregateInit(OlpVolume* volume, OlpAggChildren* list)
{
    OlpVolumeInit(volume, &kOlpAggregateDescriptor);
    volume->data[0].p = nullptr;
    volume->data[1].p = nullptr;
    volume->data[2].p = nullptr;
    OlpAggregateSetChildren(volume, list);
    return volume;
}

OlpVolume* OlpAggregateCreate(OlpAggChildren* list)
{
    OlpVolume* volume = OlpVolumeAllocate();
    return volume != nullptr ? OlpAggregateInit(volume, list) : nullptr;
}

int32_t OlpAggregateSetChildren(OlpVolume* volume, OlpAggChildren* list)
{
    if (list != nullptr) {
        OlpAggChildrenAddRef(list);
    }
    if (List(volume) != nullptr) {
        OlpAggChildrenRelease(List(volume));
    }
    volume->data[0].p = list;
    return 1;
}

OlpAggChildren* OlpAggregateGetChildren(const OlpVolume* volume)
{
    return List(volume);
}
