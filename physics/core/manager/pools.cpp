#include "physics/core/manager/pools.h"
#include "physics/core/joint/joint.h"
#include "physics/core/object/object.h"

namespace {

/// The registered id of an end's object; none for a volume end or an
/// object not registered with this manager.
uint32_t EndObjectId(const OlpMgr* mgr, const OlpJointEnd& end)
{
    const OlpObj* object = OlpJointEndObject(&end);
    if (object == nullptr || object->manager != mgr || object->id >= mgr->objectCapacity ||
        mgr->objects[object->id] != object) {
        return kOlpObjNoId;
    }
    return object->id;
}

/// Unlinks the node of `joint` from the list of object `id`; the node goes
/// back to the free list.
void Unlink(OlpMgr* mgr, uint32_t id, const OlpJoint* joint)
{
    for (OlpMgrJointLink** at = &mgr->jointLists[id]; *at != nullptr; at = &(*at)->next) {
        if ((*at)->joint == joint) {
            OlpMgrJointLink* node = *at;
            *at = node->next;
            node->joint = nullptr;
            node->next = mgr->freeLinks;
            mgr->freeLinks = node;
            return;
        }
    }
}

} // namespace

OlpDyn* OlpDynTake(OlpMgr* mgr, const OlpPart* part, const Matrix* sourceMatrix)
{
    OlpDyn* handle = OlpDynArraysTake(&mgr->dyn);
    return handle != nullptr ? OlpDynInit(handle, part, sourceMatrix) : nullptr;
}

uint32_t OlpMgrGetFreeDynStates(const OlpMgr* mgr)
{
    return mgr->dyn.freeCount;
}

OlpJoint* OlpMgrTakeJoint(OlpMgr* mgr)
{
    if (mgr->jointFreeCount == 0) {
        return nullptr;
    }
    OlpJoint* joint = mgr->jointFree[--mgr->jointFreeCount];
    joint->manager = mgr;
    joint->id = kOlpJointNoId;
    return joint;
}

void OlpMgrGiveJoint(OlpMgr* mgr, OlpJoint* joint)
{
    joint->id = kOlpJointNoId;
    mgr->jointFree[mgr->jointFreeCount++] = joint;
}

uint32_t OlpMgrGetFreeJoints(const OlpMgr* mgr)
{
    return mgr->jointFreeCount;
}

OlpMgr* OlpMgrAddJoint(OlpMgr* mgr, OlpJoint* joint, uint32_t id)
{
    if (joint->manager != mgr || joint->id != kOlpJointNoId) {
        return nullptr;
    }
    uint32_t* set = mgr->freeJointIds;
    if (id == kOlpMgrAnyId) {
        for (id = 0; id < mgr->freeJointCapacity && OlpMgrBit(set, id); ++id) {
        }
    }
    if (id >= mgr->freeJointCapacity || OlpMgrBit(set, id)) {
        return nullptr;
    }
    uint32_t ends[2];
    for (int e = 0; e < 2; ++e) {
        ends[e] = kOlpObjNoId;
        if (joint->ends[e].part != kOlpJointEndVolume) {
            ends[e] = EndObjectId(mgr, joint->ends[e]);
            if (ends[e] == kOlpObjNoId) {
                return nullptr;
            }
        }
    }
    // Both nodes are taken before anything is linked, so a refusal keeps nothing.
    OlpMgrJointLink* nodes[2] = {nullptr, nullptr};
    for (int e = 0; e < 2; ++e) {
        if (ends[e] == kOlpObjNoId) {
            continue;
        }
        if (mgr->freeLinks == nullptr) {
            if (nodes[0] != nullptr) {
                nodes[0]->next = mgr->freeLinks;
                mgr->freeLinks = nodes[0];
            }
            return nullptr;
        }
        nodes[e] = mgr->freeLinks;
        mgr->freeLinks = nodes[e]->next;
    }
    for (int e = 0; e < 2; ++e) {
        if (nodes[e] != nullptr) {
            nodes[e]->joint = joint;
            nodes[e]->next = mgr->jointLists[ends[e]];
            mgr->jointLists[ends[e]] = nodes[e];
        }
    }
    set[id >> 5] |= 1u << (id & 31);
    joint->id = static_cast<uint16_t>(id);
    return mgr;
}

int32_t OlpMgrRemoveJoint(OlpMgr* mgr, OlpJoint* joint)
{
    const uint32_t id = joint->id;
    if (joint->manager != mgr || !OlpMgrIsFreeJointId(mgr, id)) {
        return 0;
    }
    for (const OlpJointEnd& end : joint->ends) {
        const uint32_t object = EndObjectId(mgr, end);
        if (object != kOlpObjNoId) {
            Unlink(mgr, object, joint);
        }
    }
    mgr->freeJointIds[id >> 5] &= ~(1u << (id & 31));
    joint->id = kOlpJointNoId;
    return 1;
}

void OlpMgrUnlinkObjectJoints(OlpMgr* mgr, const OlpObj* object)
{
    if (object->id >= mgr->objectCapacity) {
        return;
    }
    while (OlpMgrJointLink* node = mgr->jointLists[object->id]) {
        mgr->jointLists[object->id] = node->next;
        node->joint = nullptr;
        node->next = mgr->freeLinks;
        mgr->freeLinks = node;
    }
}
