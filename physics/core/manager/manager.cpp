#include "physics/core/manager/manager.h"

#include <cstring>

#include "physics/core/context/contextparams.h"
#include "physics/core/farfield/farfield.h"
#include "physics/core/joint/joint.h"
#include "physics/core/manager/pools.h"
#include "physics/core/object/object.h"
#include "physics/core/utils/memory.h"

using olp::Round16;

namespace {

/// Ids are 16-bit with 0xFFFF meaning none.
constexpr uint32_t kMaxObjects = 0xFFFE;

uint32_t SetWords(uint32_t bits)
{
    return static_cast<uint32_t>((uint64_t(bits) + 31) / 32);
}

void SetBit(uint32_t* set, uint32_t id)
{
    set[id >> 5] |= 1u << (id & 31);
}

void ClearBit(uint32_t* set, uint32_t id)
{
    set[id >> 5] &= ~(1u << (id & 31));
}

/// The areas of the block, in order; `Layout` sizes them and `Carve` hands
/// them out.
struct Layout
{
    uint32_t objects;    ///< P2
    uint32_t farObjects; ///< the far field's table (at least 1)
    uint32_t freeJoints; ///< P3
    uint32_t activeParts;
    uint32_t joints;
    uint32_t pairs;
    uint32_t words;

    size_t pairLists() const { return OlpFarfieldSize(farObjects, pairs); }
    size_t grid() const { return OlpFarfieldGridSize(farObjects); }
    size_t Total() const
    {
        const size_t n = objects;
        return Round16(sizeof(OlpMgr)) + Round16(pairLists()) + Round16(grid()) +
               Round16(OlpDynArraysSize(activeParts)) +
               Round16(sizeof(OlpMgrJointLink) * 2 * size_t(freeJoints)) +
               Round16(sizeof(OlpMgrJointLink*) * n) + Round16(sizeof(OlpJoint) * size_t(joints)) +
               Round16(sizeof(OlpJoint*) * size_t(joints)) + Round16(sizeof(OlpObj*) * n) +
               8 * Round16(4 * size_t(words)) + Round16(4 * size_t(SetWords(freeJoints))) +
               2 * Round16(2 * n);
    }
};

struct Cursor
{
    uint8_t* at;
    template <typename T> T* Take(size_t count)
    {
        T* area = reinterpret_cast<T*>(at);
        at += Round16(sizeof(T) * count);
        return area;
    }
    void* TakeBytes(size_t bytes)
    {
        void* area = at;
        at += Round16(bytes);
        return area;
    }
};

/// The object's id when it is registered with this manager; else none.
uint32_t RegisteredId(const OlpMgr* mgr, const OlpObj* object)
{
    if (object == nullptr || object->manager != mgr || object->id >= mgr->objectCapacity ||
        mgr->objects[object->id] != object) {
        return kOlpObjNoId;
    }
    return object->id;
}

/// The lowest clear bit below `limit`; none when every bit is set.
uint32_t LowestClear(const uint32_t* set, uint32_t words, uint32_t limit)
{
    for (uint32_t w = 0; w < words; ++w) {
        if (set[w] != 0xFFFFFFFFu) {
            const uint32_t id = w * 32 + static_cast<uint32_t>(__builtin_ctz(~set[w]));
            return id < limit ? id : kOlpObjNoId;
        }
    }
    return kOlpObjNoId;
}

void Deactivate(OlpMgr* mgr, OlpObj* object, uint32_t id)
{
    if (!OlpMgrBit(mgr->active, id)) {
        return;
    }
    if (object->type != nullptr && object->type->deactivate != nullptr) {
        object->type->deactivate(object);
    }
    ClearBit(mgr->active, id);
    --mgr->activeCount;
}

} // namespace

OlpMgr* OlpMgrCreate(const OlpContextParams* params, const float box[6], float scale, uint32_t flags)
{
    Layout layout = {};
    layout.objects = params->words[kOlpParamObjects];
    layout.farObjects = layout.objects != 0 ? layout.objects : 1;
    layout.freeJoints = params->words[kOlpParamFreeJoints];
    layout.activeParts = params->words[kOlpParamActiveParts];
    layout.joints = params->words[kOlpParamJoints];
    layout.pairs = params->words[kOlpParamPairs];
    layout.words = SetWords(layout.objects);
    if (layout.objects > kMaxObjects || layout.freeJoints > kMaxObjects || layout.pairLists() == 0 ||
        layout.grid() == 0) {
        return nullptr;
    }
    const size_t total = layout.Total();
    auto* block = static_cast<uint8_t*>(OlpAlignedAlloc(total, 16, kOlpMemoryHint));
    if (block == nullptr) {
        return nullptr;
    }
    std::memset(block, 0, total);
    Cursor cursor = {block};
    auto* mgr = cursor.Take<OlpMgr>(1);
    mgr->words = layout.words;
    mgr->flags = flags;
    mgr->scale = scale;
    mgr->objectCapacity = layout.objects;
    mgr->maxActive = params->words[kOlpParamActiveObjects];

    mgr->pairLists = OlpFarfieldInit(cursor.TakeBytes(layout.pairLists()), layout.farObjects, layout.pairs);
    OlpBBox world = {{box[0], box[1], box[2]}, 0, {box[3], box[4], box[5]}, 0};
    mgr->farfield = OlpFarfieldInitGrid(cursor.TakeBytes(layout.grid()), mgr->pairLists, layout.farObjects,
                                        &world, 0.01f * scale);
    OlpDynArraysInit(&mgr->dyn, cursor.TakeBytes(OlpDynArraysSize(layout.activeParts)), layout.activeParts);

    mgr->freeJointCapacity = layout.freeJoints;
    mgr->links = cursor.Take<OlpMgrJointLink>(2 * size_t(layout.freeJoints));
    for (uint32_t i = 0; i < 2 * layout.freeJoints; ++i) {
        mgr->links[i].next = i + 1 < 2 * layout.freeJoints ? &mgr->links[i + 1] : nullptr;
    }
    mgr->freeLinks = layout.freeJoints != 0 ? &mgr->links[0] : nullptr;
    mgr->jointLists = cursor.Take<OlpMgrJointLink*>(layout.objects);

    mgr->jointCapacity = layout.joints;
    mgr->joints = cursor.Take<OlpJoint>(layout.joints);
    mgr->jointFree = cursor.Take<OlpJoint*>(layout.joints);
    for (uint32_t i = 0; i < layout.joints; ++i) {
        mgr->joints[i].id = kOlpJointNoId;
        mgr->jointFree[layout.joints - 1 - i] = &mgr->joints[i];
    }
    mgr->jointFreeCount = layout.joints;

    mgr->objects = cursor.Take<OlpObj*>(layout.objects);
    uint32_t** sets[] = {&mgr->inUse, &mgr->awake, &mgr->active, &mgr->dynamic, &mgr->inFarfield};
    for (uint32_t** set : sets) {
        *set = cursor.Take<uint32_t>(layout.words);
    }
    mgr->freeJointIds = cursor.Take<uint32_t>(SetWords(layout.freeJoints));
    mgr->visited = cursor.Take<uint32_t>(layout.words);
    mgr->listed = cursor.Take<uint32_t>(layout.words);
    mgr->stepSet = cursor.Take<uint32_t>(layout.words);
    mgr->list = cursor.Take<uint16_t>(layout.objects);
    mgr->scratch = cursor.Take<uint16_t>(layout.objects);
    return mgr;
}

int32_t OlpMgrDestroy(OlpMgr* mgr)
{
    OlpAlignedFree(mgr);
    return 1;
}

OlpMgr* OlpMgrAddObject(OlpMgr* mgr, OlpObj* object, uint32_t id, uint32_t flags)
{
    if (object->manager != nullptr) {
        return nullptr; // already registered (here or elsewhere)
    }
    if (id == kOlpMgrAnyId) {
        id = LowestClear(mgr->inUse, mgr->words, mgr->objectCapacity);
    }
    if (id >= mgr->objectCapacity || OlpMgrBit(mgr->inUse, id)) {
        return nullptr;
    }
    SetBit(mgr->inUse, id);
    object->id = id;
    object->manager = mgr;
    mgr->objects[id] = object;
    ClearBit(mgr->awake, id);
    ClearBit(mgr->dynamic, id);
    ClearBit(mgr->active, id);
    mgr->jointLists[id] = nullptr;

    OlpBBox box;
    if (object->type != nullptr && object->type->bounds != nullptr &&
        object->type->bounds(object, &box) != 0) {
        OlpFarfieldInsert(mgr->farfield, id, &box);
        SetBit(mgr->inFarfield, id);
    } else {
        ClearBit(mgr->inFarfield, id);
    }
    if ((flags & kOlpMgrAddAwake) != 0) {
        SetBit(mgr->awake, id);
    }
    if ((flags & kOlpMgrAddDynamic) != 0) {
        SetBit(mgr->dynamic, id);
    }
    if ((flags & kOlpMgrAddActivate) != 0) {
        OlpMgrActivateObject(mgr, object);
    }
    return mgr;
}

int32_t OlpMgrRemoveObject(OlpMgr* mgr, OlpObj* object)
{
    const uint32_t id = RegisteredId(mgr, object);
    if (id == kOlpObjNoId) {
        return 0;
    }
    Deactivate(mgr, object, id);
    OlpMgrUnlinkObjectJoints(mgr, object);
    ClearBit(mgr->inUse, id);
    ClearBit(mgr->awake, id);
    ClearBit(mgr->dynamic, id);
    if (OlpMgrBit(mgr->inFarfield, id)) {
        OlpFarfieldRemove(mgr->farfield, id);
        ClearBit(mgr->inFarfield, id);
    }
    mgr->objects[id] = nullptr;
    object->id = kOlpObjNoId;
    object->manager = nullptr;
    return 1;
}

OlpObj* OlpMgrActivateObject(OlpMgr* mgr, OlpObj* object)
{
    const uint32_t id = RegisteredId(mgr, object);
    if (id == kOlpObjNoId) {
        return nullptr;
    }
    if (OlpMgrBit(mgr->active, id)) {
        return object;
    }
    if (mgr->activeCount >= mgr->maxActive || object->type == nullptr || object->type->activate == nullptr ||
        object->type->activate(object) == 0) {
        return nullptr;
    }
    SetBit(mgr->active, id);
    ++mgr->activeCount;
    return object;
}

OlpObj* OlpMgrDeactivateObject(OlpMgr* mgr, OlpObj* object)
{
    const uint32_t id = RegisteredId(mgr, object);
    if (id != kOlpObjNoId) {
        Deactivate(mgr, object, id);
    }
    return object;
}

void OlpMgrSetObjectAwake(OlpMgr* mgr, const OlpObj* object, int32_t on)
{
    const uint32_t id = RegisteredId(mgr, object);
    if (id != kOlpObjNoId) {
        on != 0 ? SetBit(mgr->awake, id) : ClearBit(mgr->awake, id);
    }
}

void OlpMgrSetObjectDynamic(OlpMgr* mgr, OlpObj* object, int32_t on)
{
    const uint32_t id = RegisteredId(mgr, object);
    if (id == kOlpObjNoId) {
        return;
    }
    if (on != 0) {
        SetBit(mgr->dynamic, id);
    } else {
        Deactivate(mgr, object, id);
        ClearBit(mgr->dynamic, id);
    }
}

bool OlpMgrIsIdUsed(const OlpMgr* mgr, uint32_t id)
{
    return id < mgr->objectCapacity && OlpMgrBit(mgr->inUse, id);
}

bool OlpMgrIsFreeJointId(const OlpMgr* mgr, uint32_t id)
{
    return id < mgr->freeJointCapacity && OlpMgrBit(mgr->freeJointIds, id);
}

bool OlpMgrIsObjectAwake(const OlpMgr* mgr, const OlpObj* object)
{
    const uint32_t id = RegisteredId(mgr, object);
    return id != kOlpObjNoId && OlpMgrBit(mgr->awake, id);
}

bool OlpMgrIsObjectActive(const OlpMgr* mgr, const OlpObj* object)
{
    const uint32_t id = RegisteredId(mgr, object);
    return id != kOlpObjNoId && OlpMgrBit(mgr->active, id);
}

bool OlpMgrIsObjectDynamic(const OlpMgr* mgr, const OlpObj* object)
{
    const uint32_t id = RegisteredId(mgr, object);
    return id != kOlpObjNoId && OlpMgrBit(mgr->dynamic, id);
}

OlpObj* OlpMgrGetObject(const OlpMgr* mgr, uint32_t id)
{
    return id < mgr->objectCapacity ? mgr->objects[id] : nullptr;
}

void OlpMgrUpdateObjectBounds(OlpMgr* mgr, const OlpObj* object, const OlpBBox* box)
{
    const uint32_t id = RegisteredId(mgr, object);
    if (id == kOlpObjNoId) {
        return;
    }
    if (OlpMgrBit(mgr->inFarfield, id)) {
        OlpFarfieldRemove(mgr->farfield, id);
        ClearBit(mgr->inFarfield, id);
    }
    if (box != nullptr) {
        OlpFarfieldInsert(mgr->farfield, id, box);
        SetBit(mgr->inFarfield, id);
    }
}

OlpBBox* OlpMgrGetFarfieldBox(const OlpMgr* mgr, const OlpObj* object, OlpBBox* out)
{
    const uint32_t id = RegisteredId(mgr, object);
    if (id == kOlpObjNoId || !OlpMgrBit(mgr->inFarfield, id)) {
        return nullptr;
    }
    return OlpFarfieldGetBox(mgr->farfield, id, out);
}

void OlpMgrSetFarfieldMargin(OlpMgr* mgr, float margin)
{
    OlpFarfieldSetMargin(mgr->farfield, margin);
}

void OlpMgrSetScale(OlpMgr* mgr, float scale)
{
    mgr->scale = scale;
}

uint16_t OlpMgrGetObjectCell(const OlpMgr* mgr, const OlpObj* object)
{
    const uint32_t id = RegisteredId(mgr, object);
    return id != kOlpObjNoId ? OlpFarfieldGetObjectCell(mgr->farfield, id) : 0;
}

void OlpMgrSetObjectCell(OlpMgr* mgr, const OlpObj* object, uint16_t group)
{
    const uint32_t id = RegisteredId(mgr, object);
    if (id == kOlpObjNoId) {
        return;
    }
    OlpFarfieldSetObjectCell(mgr->farfield, id, group);
    OlpBBox box;
    if (OlpMgrBit(mgr->inFarfield, id) && OlpFarfieldGetBox(mgr->farfield, id, &box) != nullptr) {
        OlpFarfieldInsert(mgr->farfield, id, &box);
    }
}

void OlpMgrSetFarfieldMode(OlpMgr* mgr, const OlpBitMatrix* matrix)
{
    OlpFarfieldSetMode(mgr->farfield, matrix);
}

OlpMgr* OlpMgrForAllObjects(OlpMgr* mgr, OlpMgrObjectVisitor visitor, void* data)
{
    for (uint32_t id = 0; id < mgr->objectCapacity; ++id) {
        OlpObj* object = mgr->objects[id];
        if (object != nullptr && visitor(object, data) != object) {
            break;
        }
    }
    return mgr;
}

OlpMgr* OlpMgrForAllJoints(OlpMgr* mgr, OlpMgrJointVisitor visitor, void* data)
{
    for (uint32_t i = 0; i < mgr->jointCapacity; ++i) {
        OlpJoint* joint = &mgr->joints[i];
        if (joint->manager == mgr && OlpMgrIsFreeJointId(mgr, joint->id) && visitor(joint, data) != joint) {
            break;
        }
    }
    return mgr;
}
