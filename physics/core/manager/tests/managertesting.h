#pragma once
// Test objects for the manager: a box, a switchable activate and counters.

#include <cstring>

#include "physics/core/context/contextparams.h"
#include "physics/core/manager/manager.h"
#include "physics/core/manager/pools.h"
#include "physics/core/object/object.h"

struct TestObject
{
    OlpObj base;
    OlpBBox box;
    bool hasBox = true;
    bool refuse = false;
    int activations = 0;
    int deactivations = 0;
};

inline int32_t TestActivate(OlpObj* object)
{
    auto* test = reinterpret_cast<TestObject*>(object);
    if (test->refuse) {
        return 0;
    }
    ++test->activations;
    return 1;
}
inline int32_t TestDeactivate(OlpObj* object)
{
    ++reinterpret_cast<TestObject*>(object)->deactivations;
    return 1;
}
inline int32_t TestBounds(OlpObj* object, OlpBBox* out)
{
    auto* test = reinterpret_cast<TestObject*>(object);
    *out = test->box;
    return test->hasBox ? 1 : 0;
}
inline OlpObjType gTestType = {7,          "test", kOlpObjTypeUnlimited, 0, TestActivate, TestDeactivate,
                               TestBounds, nullptr};

/// A test object with flags and the unit cube at `at`.
inline void MakeTestObject(TestObject& object, uint32_t flags, V3d at = {0, 0, 0})
{
    OlpObjInit(&object.base, 1, 0);
    object.base.type = &gTestType;
    object.base.flags = flags;
    object.box = {{at.x + 0.5f, at.y + 0.5f, at.z + 0.5f}, 0, {at.x - 0.5f, at.y - 0.5f, at.z - 0.5f}, 0};
}

/// A manager for `objects` objects with room for everything else.
inline OlpMgr* MakeManager(uint32_t objects, uint32_t maxActive, uint32_t freeJoints = 4)
{
    OlpContextParams params;
    OlpContextParamsDefault(&params);
    params.words[kOlpParamObjects] = objects;
    params.words[kOlpParamActiveObjects] = maxActive;
    params.words[kOlpParamActiveParts] = maxActive;
    OlpContextParamsSetFreeJoints(&params, freeJoints);
    const float box[6] = {100, 100, 100, -100, -100, -100};
    return OlpMgrCreate(&params, box, 1.0f, 0);
}
