#include "physics/core/manager/activation.h"
#include "physics/core/farfield/farfield.h"
#include "physics/core/joint/joint.h"
#include "physics/core/object/object.h"

#include <cstring>

namespace {

void SetBit(uint32_t* set, uint32_t id)
{
    set[id >> 5] |= 1u << (id & 31);
}

/// The registered id of an object of this manager; none otherwise.
uint32_t IdOf(const OlpMgr* mgr, const OlpObj* object)
{
    if (object == nullptr || object->manager != mgr || object->id >= mgr->objectCapacity ||
        mgr->objects[object->id] != object) {
        return kOlpObjNoId;
    }
    return object->id;
}

/// The walk of the far-field stage: the list of reached objects (its
/// length) with the listed set kept alongside.
struct Walk
{
    OlpMgr* mgr;
    uint32_t length;

    void Append(uint32_t id)
    {
        if (!OlpMgrBit(mgr->listed, id) && length < mgr->objectCapacity) {
            SetBit(mgr->listed, id);
            mgr->list[length++] = static_cast<uint16_t>(id);
        }
    }
};

/// Lists the far-field partners of `id` that are not visited yet.
uint32_t Partners(const OlpMgr* mgr, uint32_t id, uint16_t* out)
{
    return OlpFarfieldListPairs(mgr->pairLists, id, out, mgr->visited,
                                (mgr->flags & kOlpMgrSortPairs) != 0 ? 1 : 0);
}

/// Walks the joints of the object `id`: a joint between two dynamic
/// objects spreads the walk to the other end; each joint is output once,
/// from the first of its ends that is walked.
void WalkJoints(OlpMgr* mgr, uint32_t id, const OlpObj* object, Walk& walk, OlpMgrStepLists* lists)
{
    for (const OlpMgrJointLink* link = mgr->jointLists[id]; link != nullptr; link = link->next) {
        OlpJoint* joint = link->joint;
        const bool atEnd0 = OlpJointEndObject(&joint->ends[0]) == object;
        const OlpJointEnd& other = joint->ends[atEnd0 ? 1 : 0];
        const uint32_t otherId = IdOf(mgr, OlpJointEndObject(&other));
        if (otherId != kOlpObjNoId && otherId != id && OlpMgrBit(mgr->visited, otherId)) {
            continue; // output when the other end was walked
        }
        if (otherId != kOlpObjNoId && OlpMgrBit(mgr->dynamic, id) && OlpMgrBit(mgr->dynamic, otherId)) {
            walk.Append(otherId);
        }
        if (lists->jointCount < lists->maxJoints) {
            lists->joints[lists->jointCount++] = joint;
        }
    }
}

bool JointHasActiveEnd(const OlpMgr* mgr, const OlpJoint* joint)
{
    for (const OlpJointEnd& end : joint->ends) {
        const uint32_t id = IdOf(mgr, OlpJointEndObject(&end));
        if (id != kOlpObjNoId && OlpMgrBit(mgr->active, id)) {
            return true;
        }
    }
    return false;
}

bool PairHasActiveSide(const OlpMgr* mgr, const OlpPair& pair)
{
    const uint32_t a = IdOf(mgr, static_cast<const OlpObj*>(pair.a));
    const uint32_t b = IdOf(mgr, static_cast<const OlpObj*>(pair.b));
    return (a != kOlpObjNoId && OlpMgrBit(mgr->active, a)) || (b != kOlpObjNoId && OlpMgrBit(mgr->active, b));
}

} // namespace

OlpMgr* OlpMgrUpdateFarfield(OlpMgr* mgr, OlpMgrStepLists* lists)
{
    const size_t setBytes = sizeof(uint32_t) * mgr->words;
    std::memset(mgr->visited, 0, setBytes);
    std::memcpy(mgr->listed, mgr->awake, setBytes);
    lists->objectCount = lists->pairCount = lists->jointCount = 0;

    Walk walk = {mgr, 0};
    for (uint32_t id = 0; id < mgr->objectCapacity; ++id) {
        if (OlpMgrBit(mgr->awake, id)) {
            mgr->list[walk.length++] = static_cast<uint16_t>(id);
        }
    }
    uint16_t* partners = mgr->scratch;
    for (uint32_t i = 0; i < walk.length; ++i) {
        const uint32_t id = mgr->list[i];
        OlpObj* object = mgr->objects[id];
        if (object == nullptr || (!OlpMgrBit(mgr->dynamic, id) && !OlpMgrBit(mgr->awake, id))) {
            continue;
        }
        SetBit(mgr->visited, id);
        // Partners already walked are left out: each unordered pair once.
        const uint32_t count = OlpMgrBit(mgr->inFarfield, id) ? Partners(mgr, id, partners) : 0;
        for (uint32_t p = 0; p < count; ++p) {
            const uint32_t partner = partners[p];
            if (lists->pairCount < lists->maxPairs) {
                lists->pairs[lists->pairCount++] = {object, kOlpPairWholeObject, mgr->objects[partner],
                                                    kOlpPairWholeObject, 0};
            }
            walk.Append(partner);
        }
        WalkJoints(mgr, id, object, walk, lists);
    }

    for (uint32_t id = 0; id < mgr->objectCapacity; ++id) {
        OlpObj* object = mgr->objects[id];
        if (object != nullptr && OlpMgrBit(mgr->active, id) && !OlpMgrBit(mgr->listed, id) &&
            (object->flags & kOlpObjFlagMaySleep) != 0) {
            OlpMgrDeactivateObject(mgr, object);
        }
    }
    for (uint32_t i = 0; i < walk.length; ++i) {
        const uint32_t id = mgr->list[i];
        OlpObj* object = mgr->objects[id];
        if (object != nullptr && !OlpMgrBit(mgr->active, id) && OlpMgrBit(mgr->dynamic, id) &&
            mgr->activeCount < mgr->maxActive) {
            OlpMgrActivateObject(mgr, object);
        }
    }
    for (uint32_t i = 0; i < walk.length && lists->objectCount < lists->maxObjects; ++i) {
        const uint32_t id = mgr->list[i];
        if (OlpMgrBit(mgr->active, id)) {
            lists->objects[lists->objectCount++] = mgr->objects[id];
        }
    }
    for (uint32_t i = 0; i < lists->pairCount;) {
        if (PairHasActiveSide(mgr, lists->pairs[i])) {
            ++i;
        } else {
            lists->pairs[i] = lists->pairs[--lists->pairCount];
        }
    }
    for (uint32_t i = 0; i < lists->jointCount;) {
        if (JointHasActiveEnd(mgr, lists->joints[i])) {
            ++i;
        } else {
            lists->joints[i] = lists->joints[--lists->jointCount];
        }
    }
    return mgr;
}

uint32_t OlpMgrCollectPairs(OlpMgr* mgr, OlpObj* const* objects, uint32_t count, OlpPair* out,
                            uint32_t maxPairs, uint32_t classMask)
{
    if (maxPairs == 0) {
        return 0;
    }
    std::memset(mgr->visited, 0, sizeof(uint32_t) * mgr->words);
    uint16_t* partners = mgr->scratch;
    uint32_t written = 0;
    for (uint32_t i = 0; i < count; ++i) {
        OlpObj* object = objects[i];
        const uint32_t id = IdOf(mgr, object);
        if (id == kOlpObjNoId) {
            continue;
        }
        SetBit(mgr->visited, id);
        const uint32_t found = OlpMgrBit(mgr->inFarfield, id) ? Partners(mgr, id, partners) : 0;
        for (uint32_t p = 0; p < found; ++p) {
            const uint32_t partner = partners[p];
            const bool dynamic = OlpMgrBit(mgr->dynamic, partner);
            const bool awake = OlpMgrBit(mgr->awake, partner);
            const uint32_t partnerClass = dynamic ? (awake ? kOlpPairClassDynamicAwake : kOlpPairClassDynamic)
                                                  : (awake ? kOlpPairClassAwake : kOlpPairClassOther);
            if (classMask != kOlpPairClassAll && (classMask & partnerClass) == 0) {
                continue;
            }
            out[written++] = {object, kOlpPairWholeObject, mgr->objects[partner], kOlpPairWholeObject, 0};
            if (written == maxPairs) {
                return written;
            }
        }
    }
    return written;
}
