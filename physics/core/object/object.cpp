#include "physics/core/object/object.h"

#include "graphics/core/memory.h"
#include "physics/core/dyn/dyn.h"
#include "physics/core/joint/joint.h"
#include "physics/core/manager/manager.h"
#include "physics/core/utils/memory.h"

OlpObj* OlpObjInit(OlpObj* object, uint16_t partCapacity, uint16_t jointCapacity)
{
    object->id = kOlpObjNoId;
    object->definition = nullptr;
    object->manager = nullptr;
    object->flags = 0;
    object->partPairs = nullptr;
    object->touches = nullptr;
    object->referrers = nullptr;
    object->partCount = 0;
    object->partCapacity = partCapacity;
    object->jointCount = 0;
    object->jointCapacity = jointCapacity;
    object->parts =
        static_cast<OlpObjPart*>(MemoryAllocateZeroed(partCapacity, sizeof(OlpObjPart), kOlpMemoryHint));
    object->joints = nullptr;
    if (jointCapacity != 0) {
        object->joints =
            static_cast<OlpJoint**>(MemoryAllocateZeroed(jointCapacity, sizeof(OlpJoint*), kOlpMemoryHint));
    }
    if ((partCapacity != 0 && object->parts == nullptr) ||
        (jointCapacity != 0 && object->joints == nullptr)) {
        MemoryFree(object->parts);
        MemoryFree(object->joints);
        object->parts = nullptr;
        object->joints = nullptr;
        return nullptr;
    }
    return object;
}

int32_t OlpObjDeinit(OlpObj* object)
{
    for (OlpObjReferrer* referrer = object->referrers; referrer != nullptr; referrer = referrer->next) {
        referrer->object = nullptr;
    }
    object->referrers = nullptr;
    MemoryFree(object->parts);
    object->parts = nullptr;
    MemoryFree(object->joints);
    object->joints = nullptr;
    return 1;
}

OlpObj* OlpObjResetPartPose(OlpObj* object, uint32_t partIndex)
{
    OlpMgr* mgr = object->manager;
    if (mgr == nullptr || !OlpMgrIsObjectActive(mgr, object) || partIndex >= object->partCount) {
        return object;
    }
    const OlpObjPart& part = object->parts[partIndex];
    if (part.dyn != nullptr && part.sourceMatrix != nullptr) {
        OlpDynResetFromMatrix(part.dyn, part.sourceMatrix);
    }
    return object;
}

OlpObj* OlpObjUpdateBounds(OlpObj* object)
{
    if (object->manager == nullptr) {
        return object;
    }
    OlpBBox box;
    const bool hasBox =
        object->type != nullptr && object->type->bounds != nullptr && object->type->bounds(object, &box) != 0;
    OlpMgrUpdateObjectBounds(object->manager, object, hasBox ? &box : nullptr);
    return object;
}
