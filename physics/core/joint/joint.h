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
    V3d vectors[4];   ///< the solver's: its rows' impulses of the last step
    OlpJointDef* def; ///< holds one reference
    OlpJointEnd ends[2];
    OlpJointState state;
};

/// The object of an end; null for a volume end.
inline OlpObj* OlpJointEndObject(const OlpJointEnd* end)
{
    return end->part != kOlpJointEndVolume ? static_cast<OlpObj*>(end->pointer) : nullptr;
}

/// An end with the local frame that the definition gives it.
struct OlpJointEndFrame
{
    OlpJointEnd end;
    OlpJointFrame frame;
};

/// An end's anchor: the position and the three axes of its frame.
struct OlpJointAnchor
{
    V3d position;
    V3d axes[3];
};

/// End = part `part` of `object`.
OlpJointEnd* OlpJointEndSet(OlpJointEnd* end, OlpObj* object, uint16_t part);
/// End = the collision volume `volume` by itself.
OlpJointEnd* OlpJointEndSetVolume(OlpJointEnd* end, OlpVolume* volume);
OlpJointEnd* OlpJointEndCopy(OlpJointEnd* destination, const OlpJointEnd* source);
/// The world matrix an end's frame is given in: the part's source matrix
/// (identity when it has none), or the volume's frame (identity for a
/// volume type without a frame).
Matrix* OlpJointEndGetWorldMatrix(const OlpJointEnd* end, Matrix* out);

/// A joint record from the manager's pool on `def` (one reference taken),
/// not entered in the manager; end 0 is the LAST argument and end 1 the
/// third. Null when the pool is empty.
OlpJoint* OlpJointCreate(OlpMgr* mgr, OlpJointDef* def, const OlpJointEnd* end1, const OlpJointEnd* end0);
/// Takes the joint out of its manager's lists when it is entered, drops its
/// definition reference and gives the record back to the pool; 1.
int32_t OlpJointRelease(OlpJoint* joint);
/// Drops the definition reference only; 1.
int32_t OlpJointReleaseDef(OlpJoint* joint);
OlpJointDef* OlpJointGetDef(const OlpJoint* joint);
OlpJointState* OlpJointGetState(OlpJoint* joint);
/// End 1 with frame B when `which` is non-zero, else end 0 with frame A.
OlpJointEndFrame* OlpJointGetEndFrame(const OlpJoint* joint, int32_t which, OlpJointEndFrame* out);
/// The anchor of end `which` (non-zero: end 1), in the end's local terms
/// or, with `world`, through its world matrix.
OlpJointAnchor* OlpJointGetAnchor(const OlpJoint* joint, int32_t which, int32_t world, OlpJointAnchor* out);

/// End `which`'s frame: as stored when `local` is set, else in world terms.
OlpJointFrame* OlpJointGetFrame(const OlpJoint* joint, int32_t which, int32_t local, OlpJointFrame* out);
/// Sets end `which`'s frame in the (shared) definition, given as stored
/// when `local` is set, else in world terms.
OlpJoint* OlpJointSetFrame(OlpJoint* joint, int32_t which, int32_t local, const OlpJointFrame* frame);
V3d* OlpJointGetPosition(const OlpJoint* joint, int32_t which, int32_t local, V3d* out);
OlpJoint* OlpJointSetPosition(OlpJoint* joint, int32_t which, int32_t local, const V3d* position);
Quaternion* OlpJointGetOrientation(const OlpJoint* joint, int32_t which, int32_t local, Quaternion* out);
OlpJoint* OlpJointSetOrientation(OlpJoint* joint, int32_t which, int32_t local,
                                 const Quaternion* orientation);
Matrix* OlpJointGetMatrix(const OlpJoint* joint, int32_t which, int32_t local, Matrix* out);
OlpJoint* OlpJointSetMatrix(OlpJoint* joint, int32_t which, int32_t local, const Matrix* matrix);
