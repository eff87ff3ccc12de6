#pragma once
// The manager's pools of dynamics states (given back with OlpDynRelease)
// and joint records, and the links
// between objects and the free joints that bind them.

#include <cstdint>

#include "physics/core/joint/joint.h"
#include "physics/core/manager/manager.h"
#include "physics/core/object/object.h"

/// A free handle, its row initialised from `part` and `sourceMatrix` (see
/// OlpDynInit); null when the pool is empty.
OlpDyn* OlpDynTake(OlpMgr* mgr, const OlpPart* part, const Matrix* sourceMatrix);
/// Dynamics states left in the pool.
uint32_t OlpMgrGetFreeDynStates(const OlpMgr* mgr);

/// A free joint record (manager set, id 65535); null when the pool is empty.
OlpJoint* OlpMgrTakeJoint(OlpMgr* mgr);
/// Gives a joint record back to the pool.
void OlpMgrGiveJoint(OlpMgr* mgr, OlpJoint* joint);
/// Joint records left in the pool.
uint32_t OlpMgrGetFreeJoints(const OlpMgr* mgr);

/// Enters `joint` under free-joint id `id` (kOlpMgrAnyId: the lowest free)
/// and links it into the joint list of each end's object. Null when no id
/// is free, the id is beyond the free joints or taken, an end's object is
/// not registered here, or no link node is left (nothing is kept then).
OlpMgr* OlpMgrAddJoint(OlpMgr* mgr, OlpJoint* joint, uint32_t id);
/// Unlinks the joint from its ends' lists and frees its id; 1, or 0 when
/// the joint is not entered here.
int32_t OlpMgrRemoveJoint(OlpMgr* mgr, OlpJoint* joint);
/// Gives back every link node of the object's joint list (its joints stay
/// entered and linked at their other ends).
void OlpMgrUnlinkObjectJoints(OlpMgr* mgr, const OlpObj* object);
