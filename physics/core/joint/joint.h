#pragma once
// Joints: a record from the object manager's pool that binds two ends
// (each a part of an object, or a collision volume standing by itself)
// under a shared joint definition and carries the solver's per-joint
// state.

#include <cstdint>

#include "physics/core/joint/jointdef.h"

struct OlpMgr;
struct OlpObj;
struct OlpVolume;

/// The part index of an end that is a collision volume by itself.
constexpr uint16_t kOlpJointEndVolume = 0xFFFF;
/// The id of a joint not entered in the manager.
constexpr uint16_t kOlpJointNoId = 0xFFFF;

/// One end: part `part` of the object `pointer`, or, with part
/// kOlpJointEndVolume, the collision volume `pointer`.
struct OlpJointEnd
{
    void* pointer;
    uint16_t part;
};

/// The solver's per-joint state.
struct OlpJointState
{
    Quaternion orientation;
    V3d vectors[3];
};

struct OlpJoint
{
    OlpMgr* manager;
    uint16_t id;      ///< kOlpJointNoId while not entered in the manager
    V3d vectors[4];   ///< the solver's anchors and axes
    OlpJointDef* def; ///< holds one reference
    OlpJointEnd ends[2];
    OlpJointState state;
};

/// The object of an end; null for a volume end.
inline OlpObj* OlpJointEndObject(const OlpJointEnd* end)
{
    return end->part != kOlpJointEndVolume ? static_cast<OlpObj*>(end->pointer) : nullptr;
}
