#pragma once
// The object manager: everything the simulation keeps per object, in one
// 16-byte aligned block sized from the context parameters. Objects have
// 16-bit ids (the object table's index); five bit sets over the ids say
// which are in use, awake, active, dynamic and in the far field. The
// manager owns the pools of dynamics states and joint records, the links
// from objects to the joints that bind them, and the far field. Objects
// become active only through their type's activate operation and stop
// being active through its deactivate operation; the active count always
// equals the number of active bits.

#include <cstdint>

#include "physics/core/context/contextparams.h"
#include "physics/core/dyn/dyn.h"
#include "physics/core/farfield/farfield.h"
#include "physics/core/joint/joint.h"
#include "physics/core/object/object.h"

// Declared, not included: the joint, object, context and farfield libraries
// build on the manager, so their headers must not come back through this one.
struct OlpBBox;
struct OlpBitMatrix;
struct OlpContextParams;
struct OlpFarfield;
struct OlpJoint;
struct OlpObj;
struct OlpPairLists;

/// A node of an object's joint list.
struct OlpMgrJointLink
{
    OlpJoint* joint;
    OlpMgrJointLink* next;
};

/// AddObject flags.
constexpr uint32_t kOlpMgrAddAwake = 0x1;
constexpr uint32_t kOlpMgrAddDynamic = 0x2;
constexpr uint32_t kOlpMgrAddActivate = 0x4;
/// Manager flag: far-field partners are listed in ascending order.
constexpr uint32_t kOlpMgrSortPairs = 0x1;
/// The "take any free id" argument of OlpMgrAddObject and OlpMgrAddJoint.
constexpr uint32_t kOlpMgrAnyId = 0xFFFFFFFFu;
/// The id of an object or joint that is not registered.
constexpr uint16_t kOlpMgrNoId = 0xFFFF;

struct OlpMgr
{
    OlpFarfield* farfield;
    uint32_t words; ///< 32-bit words of an object bit set
    uint32_t flags;
    float scale;
    OlpDynArrays dyn; ///< the dynamics states and their pool

    uint32_t freeJointCapacity; ///< free joint ids
    OlpMgrJointLink* links;     ///< 2 x free joint capacity nodes
    OlpMgrJointLink* freeLinks;
    OlpMgrJointLink** jointLists; ///< per object id

    OlpJoint* joints; ///< the joint pool
    OlpJoint** jointFree;
    uint32_t jointFreeCount;
    uint32_t jointCapacity;

    uint32_t objectCapacity;
    uint32_t maxActive;
    uint32_t activeCount;
    OlpObj** objects; ///< by id
    OlpPairLists* pairLists;

    uint32_t* inUse;
    uint32_t* awake;
    uint32_t* active;
    uint32_t* dynamic;
    uint32_t* inFarfield;
    uint32_t* freeJointIds;
    uint32_t* visited; ///< step scratch
    uint32_t* listed;  ///< step scratch
    uint32_t* stepSet; ///< the pipeline's scratch set
    uint16_t* list;    ///< step scratch: the objects reached
    uint16_t* scratch; ///< step scratch: an object's partners, the pipeline's slots
};

/// Creates the manager for the context parameters (objects, free joints,
/// active objects and parts, joints, pairs) over the world box (maximum x,
/// y, z then minimum x, y, z), far-field margin 0.01 x scale. Null when a
/// capacity exceeds the 16-bit ids or memory runs out.
OlpMgr* OlpMgrCreate(const OlpContextParams* params, const float box[6], float scale, uint32_t flags);
/// Frees the block; 1.
int32_t OlpMgrDestroy(OlpMgr* mgr);

/// Registers `object` under `id` (kOlpMgrAnyId: the lowest free id) with
/// kOlpMgrAdd* flags; its type's box goes into the far field. Null when no
/// id is free or the id is beyond the table or taken.
OlpMgr* OlpMgrAddObject(OlpMgr* mgr, OlpObj* object, uint32_t id, uint32_t flags);
/// Deactivates and unregisters the object (id 65535, no manager); 1, or 0
/// for an object not registered with this manager.
int32_t OlpMgrRemoveObject(OlpMgr* mgr, OlpObj* object);
/// Activates through the type's activate; the object, or null when the
/// active objects are at their limit or the type refuses.
OlpObj* OlpMgrActivateObject(OlpMgr* mgr, OlpObj* object);
/// Deactivates an active object through the type's deactivate; the object.
OlpObj* OlpMgrDeactivateObject(OlpMgr* mgr, OlpObj* object);
void OlpMgrSetObjectAwake(OlpMgr* mgr, const OlpObj* object, int32_t on);
/// Off first deactivates an active object.
void OlpMgrSetObjectDynamic(OlpMgr* mgr, OlpObj* object, int32_t on);
bool OlpMgrIsIdUsed(const OlpMgr* mgr, uint32_t id);
bool OlpMgrIsFreeJointId(const OlpMgr* mgr, uint32_t id);
bool OlpMgrIsObjectAwake(const OlpMgr* mgr, const OlpObj* object);
bool OlpMgrIsObjectActive(const OlpMgr* mgr, const OlpObj* object);
bool OlpMgrIsObjectDynamic(const OlpMgr* mgr, const OlpObj* object);
/// The object registered under `id`; null when none.
OlpObj* OlpMgrGetObject(const OlpMgr* mgr, uint32_t id);

/// Takes the object out of the far field and, with a box, puts it back with it.
void OlpMgrUpdateObjectBounds(OlpMgr* mgr, const OlpObj* object, const OlpBBox* box);
/// The object's far-field box as inserted; null when it is not in the far field.
OlpBBox* OlpMgrGetFarfieldBox(const OlpMgr* mgr, const OlpObj* object, OlpBBox* out);
void OlpMgrSetFarfieldMargin(OlpMgr* mgr, float margin);
void OlpMgrSetScale(OlpMgr* mgr, float scale);
uint16_t OlpMgrGetObjectCell(const OlpMgr* mgr, const OlpObj* object);
/// Sets the object's collision group; an object in the far field is
/// re-inserted so that its pairs follow the new group.
void OlpMgrSetObjectCell(OlpMgr* mgr, const OlpObj* object, uint16_t group);
/// Group exclusion matrix (null: none); groups a, b never pair when bit
/// a + b x columns (or b + a x columns) is set.
void OlpMgrSetFarfieldMode(OlpMgr* mgr, const OlpBitMatrix* matrix);

/// Visits an object; returning anything but `object` stops the walk.
using OlpMgrObjectVisitor = OlpObj* (*)(OlpObj* object, void* data);
/// Visits a joint; returning anything but `joint` stops the walk.
using OlpMgrJointVisitor = OlpJoint* (*)(OlpJoint* joint, void* data);
/// Calls `visitor` for each registered object in id order.
OlpMgr* OlpMgrForAllObjects(OlpMgr* mgr, OlpMgrObjectVisitor visitor, void* data);
/// Calls `visitor` for each entered free joint in pool order.
OlpMgr* OlpMgrForAllJoints(OlpMgr* mgr, OlpMgrJointVisitor visitor, void* data);

/// Bit `id` of a set.
inline bool OlpMgrBit(const uint32_t* set, uint32_t id)
{
    return ((set[id >> 5] >> (id & 31)) & 1u) != 0;
}
