#pragma once
// The common base of every simulated thing (body, ragdoll, generic object):
// its type, shared definition, parts (each a collision volume, a dynamics
// state while active and the matrix the pose is read from and written back
// to), joints and registration in the object manager. Per-type behaviour
// goes through the type's four operations, which the manager calls.

#include <cstdint>

#include "physics/core/utils/bbox.h"
#include "physics/core/utils/bitmatrix.h"
#include "physics/core/volume/volume.h"

struct OlpObj;
struct OlpMgr;
struct OlpDyn;
struct OlpJoint;
struct OlpTouch;

/// Object type ids.
enum OlpObjTypeId : uint32_t
{
    kOlpObjTypeBody = 0,
    kOlpObjTypeRagdoll = 1,
    kOlpObjTypeGeneric = 2,
};

/// Object flags.
constexpr uint32_t kOlpObjFlagMaySleep = 0x2;          ///< deactivated when no awake object reaches it
constexpr uint32_t kOlpObjFlagContinuousAlways = 0x4;  ///< continuous collision every step
constexpr uint32_t kOlpObjFlagContinuousFast = 0x8;    ///< continuous collision when moving fast
constexpr uint32_t kOlpObjFlagSelfPairs = 0x10;        ///< pairs between the object's own parts
constexpr uint32_t kOlpObjFlagUnmappedBones = 0x10000; ///< bone matrices not driven by parts
/// The flags of bodies and ragdolls, and of generic objects.
constexpr uint32_t kOlpObjFlagsBody = 11;
constexpr uint32_t kOlpObjFlagsGeneric = 27;

/// The id of an unregistered object.
constexpr uint32_t kOlpObjNoId = 0xFFFFFFFFu;
/// No limit on the active objects of a type.
constexpr uint32_t kOlpObjTypeUnlimited = 0xFFFFFFFFu;

/// Takes the object's dynamics states (and joints); non-zero on success.
using OlpObjActivateOp = int32_t (*)(OlpObj* object);
/// Gives them back; non-zero on success.
using OlpObjDeactivateOp = int32_t (*)(OlpObj* object);
/// The object's axis-aligned box; non-zero when it has one.
using OlpObjBoundsOp = int32_t (*)(OlpObj* object, OlpBBox* out);
/// Copies each part's simulated pose into its source matrix.
using OlpObjWriteBackOp = int32_t (*)(OlpObj* object);

/// One static record per object type (writable: the counts change, and the
/// write back is replaced when a graphics attachment is installed).
struct OlpObjType
{
    uint32_t typeId;
    const char* name; ///< "olpOBJTYPEBODY", "olpOBJTYPERAGDOLL", "olpOBJTYPEGENERIC"
    uint32_t maxActive;
    uint32_t activeCount;
    OlpObjActivateOp activate;
    OlpObjDeactivateOp deactivate;
    OlpObjBoundsOp bounds;
    OlpObjWriteBackOp writeBack;
};

struct OlpObjPart
{
    OlpVolume* volume;
    OlpDyn* dyn;          ///< null while the object is inactive
    Matrix* sourceMatrix; ///< the pose is read from and written back here; may be null
};

/// A record that points at an object: its first slot is the object (cleared
/// when the object is released), its fifth the next referrer.
struct OlpObjReferrer
{
    OlpObj* object;
    uintptr_t own[3];
    OlpObjReferrer* next;
};

struct OlpObj
{
    OlpObjType* type;
    void* definition; ///< shared by the objects of one definition, counted by the type
    uint32_t flags;
    uint16_t partCount;
    uint16_t partCapacity;
    OlpObjPart* parts;
    uint16_t jointCount;
    uint16_t jointCapacity;
    OlpJoint** joints;       ///< null when the joint capacity is 0
    OlpBitMatrix* partPairs; ///< which of the object's part pairs collide
    uint32_t id;             ///< the manager's id (below 0xFFFF), kOlpObjNoId while unregistered
    OlpMgr* manager;         ///< while registered
    OlpTouch* touches;       ///< head of the pipeline's touch list
    OlpObjReferrer* referrers;
};

/// Initialises the base: unregistered, no definition, flags 0, `partCapacity`
/// cleared parts and room for `jointCapacity` joints (no array for 0). The
/// caller sets the type. Null when memory runs out (nothing left allocated).
OlpObj* OlpObjInit(OlpObj* object, uint16_t partCapacity, uint16_t jointCapacity);
/// Clears every referrer's object pointer and frees the arrays; 1. Remove
/// the object from its manager first.
int32_t OlpObjDeinit(OlpObj* object);
/// Copies part `partIndex`'s source matrix into its dynamics state when the
/// object is registered and active; does nothing otherwise (also for a part
/// without a source matrix).
OlpObj* OlpObjResetPartPose(OlpObj* object, uint32_t partIndex);
/// Puts the type's box of the object into its manager's far field (takes it
/// out when the type has none); nothing for an unregistered object.
OlpObj* OlpObjUpdateBounds(OlpObj* object);
