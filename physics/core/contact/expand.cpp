// The narrow phase's expansion of far-field pairs into part entries, the
// part pairs and the chunked contact pass.
#include <algorithm>

#include "physics/core/contact/batch.h"
#include "physics/core/farfield/farfield.h"
#include "physics/core/object/object.h"
#include "physics/core/utils/maths.h"
#include "physics/core/utils/vec3.h"
#include "physics/core/volume/aggregate.h"
#include "physics/core/volume/dispatch.h"
#include "physics/core/volume/trilist.h"

using namespace olp;

namespace {

/// Whether two boxes lie within `d` of each other on every axis.
bool WithinDistance(const OlpBBox& a, const OlpBBox& b, float d)
{
    for (int axis = 0; axis < 3; ++axis) {
        if (Component(a.min, axis) - Component(b.max, axis) > d ||
            Component(b.min, axis) - Component(a.max, axis) > d) {
            return false;
        }
    }
    return true;
}

Matrix IdentityFrame()
{
    Matrix m{};
    m.right = {1, 0, 0};
    m.up = {0, 1, 0};
    m.at = {0, 0, 1};
    m.flags = kMatrixFlagsAll;
    return m;
}

/// A new entry with a frame slot of its own; null (overflow) when either
/// list is full.
OlpBatchEntry* NewEntry(OlpBatchArea* area)
{
    if (area->entryCount >= area->entryCapacity || area->frameCount >= area->frameCapacity) {
        area->overflow = 1;
        return nullptr;
    }
    OlpBatchEntry* entry = &area->entries[area->entryCount++];
    entry->frame = &area->frames[area->frameCount++];
    return entry;
}

OlpBBox* BoxOf(OlpBatchArea* area, const OlpBatchEntry* entry)
{
    return &area->boxes[entry - area->entries];
}

/// The cells of a grid near the other side's box, entered as entries; a
/// cell that is a container is expanded in place of its own entry.
uint32_t ExpandGrid(OlpBatchArea* area, const OlpVolume* grid, const OlpBatchEntry* gridEntry,
                    const OlpBBox* swept, const OlpBBox* otherBox)
{
    OlpBBox grown, local;
    OlpBBoxGrow(&grown, otherBox, area->contactDistance, 1.0f);
    OlpBBoxInverseTransform(&local, &grown, gridEntry->frame);
    uint32_t first = area->entryCount;
    // Cells take frame slots too: never list more cells than both lists hold.
    uint32_t room = std::min(area->entryCapacity - first, area->frameCapacity - area->frameCount);
    OlpBatchList list = {area->entries + first, 0, room};
    OlpGridGetQuery(grid)(grid, &local, 0, &list);
    if (list.count == room && room < area->entryCapacity - first) {
        area->overflow = 1;
    }
    area->entryCount += list.count;
    uint32_t appended = list.count;
    for (uint32_t i = first; i < first + list.count; ++i) {
        OlpBatchEntry* entry = &area->entries[i];
        const OlpVolume* cell = entry->volume;
        uint32_t cellId = entry->featureId;
        Matrix* frame = &area->frames[area->frameCount++];
        Matrix storage;
        const Matrix* effective = OlpVolumeEffectiveFrame(cell, gridEntry->frame, &storage);
        *frame = effective != nullptr ? *effective : IdentityFrame();
        *entry = {gridEntry->object, gridEntry->part, gridEntry->featureId + cellId + 1, cell, frame};
        if (swept != nullptr) {
            *BoxOf(area, entry) = *swept;
        } else if (OlpVolumeGetBoundingBoxLocal(cell, frame, 0, BoxOf(area, entry)) == nullptr) {
            entry->volume = OlpBatchRemovedVolume();
        }
        if ((cell->descriptor->flags & kOlpVolumeCompound) != 0 && entry->volume != OlpBatchRemovedVolume()) {
            entry->volume = OlpBatchRemovedVolume();
            appended += OlpBatchExpandChildren(area, entry->object, entry->part, cell, gridEntry->frame,
                                               entry->featureId, swept, nullptr, otherBox);
        }
    }
    return appended;
}

/// The triangles a triangle list gives for the other side's grown box,
/// each entered as a triangle volume from the area's pool under the list's
/// frame. Records marked kOlpTrilistSkipTriangle are left out; triangles
/// from a collision tree come without normals, which are computed here.
uint32_t ExpandTrilist(OlpBatchArea* area, const OlpVolume* list, const OlpBatchEntry* listEntry,
                       const OlpBBox* swept, const OlpBBox* otherBox)
{
    OlpBBox grown;
    OlpBBoxGrow(&grown, otherBox, area->contactDistance, 1.0f);
    const uint32_t first = area->triangleCount;
    const uint32_t room = area->triangleCapacity - first;
    OlpTrilistQuery query = {area->triangleRecords + first, 0, room, 0, nullptr};
    OlpTrilistGetCallback(list)(list, listEntry->frame, &grown, 0, &query);
    const uint32_t count = std::min(query.count, room);
    // A pool another list of this pair has shared is retaken whole in the next chunk.
    if (count == room && room < area->triangleCapacity) {
        area->overflow = 1;
    }
    area->triangleCount += count;
    uint32_t appended = 0;
    for (uint32_t i = first; i < first + count; ++i) {
        const OlpTriangleData& record = area->triangleRecords[i];
        if ((record.edgeFlags & kOlpTrilistSkipTriangle) != 0) {
            continue;
        }
        OlpBatchEntry* entry = NewEntry(area);
        if (entry == nullptr) {
            break;
        }
        OlpVolume* triangle = &area->triangles[i];
        OlpVolumeInit(triangle, &kOlpTriangleDescriptor);
        OlpTriangleData* data = OlpTriangleGetData(triangle);
        const uint32_t frameFlags = data->frameFlags;
        *data = record;
        data->frameFlags = frameFlags;
        if ((query.flags & kOlpTrilistFromTree) != 0) {
            V3d normal = Cross(data->b - data->a, data->c - data->a);
            float length = Length(normal);
            data->normal = length > kOlpFloatMin ? normal * (1.0f / length) : V3d{0.0f, 0.0f, 0.0f};
            data->planeOffset = Dot(data->normal, data->a);
        }
        triangle->margin = list->margin;
        triangle->bounce = list->bounce;
        triangle->slide = list->slide;
        triangle->tag = list->tag;
        *const_cast<Matrix*>(entry->frame) = *listEntry->frame;
        *entry = {listEntry->object, listEntry->part,
                  listEntry->featureId + static_cast<uint32_t>(record.index), triangle, entry->frame};
        if (swept != nullptr) {
            *BoxOf(area, entry) = *swept;
        } else if (OlpVolumeGetBBox(triangle, entry->frame, 0, BoxOf(area, entry)) == nullptr) {
            entry->volume = OlpBatchRemovedVolume();
        }
        ++appended;
    }
    return appended;
}

} // namespace

uint32_t OlpBatchExpandChildren(OlpBatchArea* area, void* object, uint32_t part, const OlpVolume* volume,
                                const Matrix* parent, uint32_t featureId, const OlpBBox* swept,
                                const OlpBBox* box, const OlpBBox* otherBox)
{
    if (volume == nullptr || volume->descriptor->typeId == kOlpTypeNull) {
        return 0;
    }
    OlpBatchEntry* entry = NewEntry(area);
    if (entry == nullptr) {
        return 0;
    }
    Matrix storage;
    const Matrix* effective = OlpVolumeEffectiveFrame(volume, parent, &storage);
    *const_cast<Matrix*>(entry->frame) = effective != nullptr ? *effective : IdentityFrame();
    entry->object = object;
    entry->part = part;
    entry->featureId = featureId;
    entry->volume = volume;
    const uint8_t flags = volume->descriptor->flags;
    if ((flags & kOlpVolumeCompound) == 0) {
        OlpBBox* own = BoxOf(area, entry);
        if (swept != nullptr || box != nullptr) {
            *own = swept != nullptr ? *swept : *box;
        } else if (OlpVolumeGetBoundingBoxLocal(volume, entry->frame, 0, own) == nullptr) {
            // Without bounds (a plane): it reaches everything.
            own->min = {-kOlpFloatMax, -kOlpFloatMax, -kOlpFloatMax};
            own->max = {kOlpFloatMax, kOlpFloatMax, kOlpFloatMax};
        }
        return 1;
    }
    // A container's own entry is never paired; its children are.
    entry->volume = OlpBatchRemovedVolume();
    if (volume->descriptor->typeId == kOlpTypeAggregate) {
        const OlpAggChildren* list = OlpAggregateGetChildren(volume);
        uint32_t count = list != nullptr ? list->count : 0;
        uint32_t appended = 1;
        for (uint32_t i = 0; i < count && area->overflow == 0; ++i) {
            const OlpVolume* child = &list->children[i];
            OlpBBox childBox;
            const OlpBBox* known = nullptr;
            if (swept == nullptr && OlpVolumeGetBBox(child, entry->frame, 0, &childBox) != nullptr) {
                if (count > 1 && !WithinDistance(childBox, *otherBox, area->contactDistance)) {
                    continue;
                }
                known = &childBox;
            }
            appended += OlpBatchExpandChildren(area, object, part, child, entry->frame,
                                               featureId * 65536 + i + 1, swept, known, otherBox);
        }
        return appended;
    }
    if ((flags & kOlpVolumeWorldQuery) == 0 && volume->descriptor->typeId == kOlpTypeGrid) {
        return 1 + ExpandGrid(area, volume, entry, swept, otherBox);
    }
    if ((flags & kOlpVolumeWorldQuery) != 0 && volume->descriptor->typeId == kOlpTypeTrilist) {
        return 1 + ExpandTrilist(area, volume, entry, swept, otherBox);
    }
    return 1;
}

uint32_t OlpBatchExpandObject(OlpBatchArea* area, void* object, uint32_t selector, const OlpBBox* swept,
                              const OlpBBox* ownBox, const OlpBBox* otherBox)
{
    if (selector == kOlpBarePart) {
        auto* volume = static_cast<const OlpVolume*>(object);
        return OlpBatchExpandChildren(area, object, kOlpBarePart, volume, nullptr, 0, swept, ownBox,
                                      otherBox);
    }
    auto* obj = static_cast<OlpObj*>(object);
    uint32_t appended = 0;
    for (uint32_t p = 0; p < obj->partCount && area->overflow == 0; ++p) {
        const OlpObjPart& part = obj->parts[p];
        if (part.volume == nullptr) {
            continue;
        }
        OlpBBox partBox;
        const OlpBBox* box = swept;
        if (box == nullptr && obj->partCount == 1) {
            box = ownBox;
        } else if (box == nullptr &&
                   OlpVolumeGetBBox(part.volume, part.sourceMatrix, 0, &partBox) != nullptr) {
            box = &partBox;
        }
        if (obj->partCount > 1 && box != nullptr && !WithinDistance(*box, *otherBox, area->contactDistance)) {
            continue;
        }
        appended +=
            OlpBatchExpandChildren(area, object, p, part.volume, part.sourceMatrix, 0, swept, box, otherBox);
    }
    return appended;
}

uint32_t OlpBatchBuildPartPairs(OlpBatchArea* area, uint32_t firstA, uint32_t countA, uint32_t firstB,
                                uint32_t countB, const OlpBitMatrix* partPairs, const OlpBitMatrix* groups)
{
    uint32_t appended = 0;
    for (uint32_t i = firstA; i < firstA + countA; ++i) {
        OlpBatchEntry* a = &area->entries[i];
        for (uint32_t j = firstB; j < firstB + countB; ++j) {
            OlpBatchEntry* b = &area->entries[j];
            if (a->volume == OlpBatchRemovedVolume() || b->volume == OlpBatchRemovedVolume() ||
                (a->part == kOlpBarePart && b->part == kOlpBarePart)) {
                continue;
            }
            // An object paired with itself: each unordered pair of parts once.
            if (a->object == b->object && a->part >= b->part) {
                continue;
            }
            if (partPairs != nullptr &&
                OlpBitMatrixGetBit(partPairs, b->part + partPairs->columns * a->part)) {
                continue;
            }
            if (groups != nullptr &&
                OlpBitMatrixGetBit(groups, b->volume->tag + groups->columns * a->volume->tag)) {
                continue;
            }
            if (!WithinDistance(*BoxOf(area, a), *BoxOf(area, b), area->contactDistance)) {
                continue;
            }
            if (area->partPairCount >= area->partPairCapacity) {
                area->overflow = 1;
                return appended;
            }
            area->partPairs[area->partPairCount++] = {a, b};
            ++appended;
        }
    }
    return appended;
}

namespace {

bool SamePart(const OlpFeatureHalf& x, const OlpFeatureHalf& y)
{
    return x.object == y.object && x.part == y.part;
}

/// The contacts of the chunk's feature pairs, group by group.
uint32_t GenerateChunk(OlpBatchArea* area, OlpContact* contacts, uint32_t written, uint32_t capacity)
{
    uint32_t start = 0;
    while (start < area->recordCount && written < capacity) {
        uint32_t end = start + 1;
        while (end < area->recordCount && SamePart(area->records[end].a, area->records[start].a) &&
               SamePart(area->records[end].b, area->records[start].b)) {
            ++end;
        }
        written += OlpContactGenerate(area, &area->records[start], end - start, contacts + written,
                                      capacity - written);
        start = end;
    }
    return written;
}

} // namespace

uint32_t OlpBatchContactPass(OlpBatchArea* area, const OlpBatchPair* pairs, uint32_t pairCount,
                             OlpBatchBoxFunc boxOf, void* boxData, OlpContact* contacts, uint32_t capacity)
{
    if (pairCount == 0 || capacity == 0) {
        return 0;
    }
    uint32_t written = 0;
    uint32_t next = 0;
    while (next < pairCount && written < capacity) {
        area->overflow = 0;
        area->recordCount = 0;
        area->pointCount = 0;
        uint32_t chunkStart = next;
        while (next < pairCount && area->overflow == 0) {
            const OlpBatchPair& pair = pairs[next];
            OlpBBox boxA, boxB;
            area->entryCount = area->frameCount = area->partPairCount = area->triangleCount = 0;
            if (!boxOf(pair.objectA, pair.selectorA, boxData, &boxA) ||
                !boxOf(pair.objectB, pair.selectorB, boxData, &boxB)) {
                ++next;
                continue;
            }
            uint32_t countA = OlpBatchExpandObject(area, pair.objectA, pair.selectorA, nullptr, &boxA, &boxB);
            uint32_t firstB = area->entryCount;
            uint32_t countB = OlpBatchExpandObject(area, pair.objectB, pair.selectorB, nullptr, &boxB, &boxA);
            if (countA == 0 || countB == 0) {
                if (area->overflow != 0 && next != chunkStart) {
                    break;
                }
                ++next;
                continue;
            }
            OlpBatchBuildPartPairs(area, 0, firstB, firstB, area->entryCount - firstB, pair.partPairs,
                                   area->groupExclusion);
            if (area->overflow != 0 && next != chunkStart) {
                break; // taken again at the start of the next chunk
            }
            // A pair whose records do not all fit is taken again by the next
            // chunk, unless it is the chunk's first: then what fitted is kept.
            uint32_t records = area->recordCount;
            uint32_t points = area->pointCount;
            for (uint32_t k = 0; k < area->partPairCount && area->overflow == 0; ++k) {
                OlpBatchFeaturePair(area, &area->partPairs[k], area->contactDistance);
            }
            if (area->overflow != 0 && next != chunkStart) {
                area->recordCount = records;
                area->pointCount = points;
                break;
            }
            ++next;
        }
        written = GenerateChunk(area, contacts, written, capacity);
    }
    return written;
}

bool OlpBatchObjectBox(void* object, uint32_t selector, void* data, OlpBBox* out)
{
    if (selector == kOlpBarePart) {
        return OlpVolumeGetBBox(static_cast<const OlpVolume*>(object), nullptr, 0, out) != nullptr;
    }
    auto* obj = static_cast<OlpObj*>(object);
    if (data != nullptr &&
        OlpFarfieldGetBox(static_cast<const OlpFarfield*>(data), obj->id, out) != nullptr) {
        return true;
    }
    return obj->type != nullptr && obj->type->bounds != nullptr && obj->type->bounds(obj, out) != 0;
}
