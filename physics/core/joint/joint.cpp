#include "physics/core/joint/joint.h"

#include "physics/core/manager/pools.h"
#include "physics/core/object/object.h"
#include "physics/core/volume/volume.h"

namespace {

const Matrix kIdentity = {{1, 0, 0}, kMatrixFlagsAll, {0, 1, 0}, 0, {0, 0, 1}, 0, {0, 0, 0}, 0};

const OlpJointEnd& End(const OlpJoint* joint, int32_t which)
{
    return joint->ends[which != 0 ? 1 : 0];
}

/// The world frame of an end's matrix (its rotation taken as a unit quaternion).
OlpJointFrame EndWorldFrame(const OlpJointEnd& end)
{
    Matrix matrix;
    OlpJointFrame frame;
    OlpJointFrameFromMatrix(&frame, OlpJointEndGetWorldMatrix(&end, &matrix));
    return frame;
}

} // namespace

OlpJointEnd* OlpJointEndSet(OlpJointEnd* end, OlpObj* object, uint16_t part)
{
    end->pointer = object;
    end->part = part;
    return end;
}

OlpJointEnd* OlpJointEndSetVolume(OlpJointEnd* end, OlpVolume* volume)
{
    end->pointer = volume;
    end->part = kOlpJointEndVolume;
    return end;
}

OlpJointEnd* OlpJointEndCopy(OlpJointEnd* destination, const OlpJointEnd* source)
{
    *destination = *source;
    return destination;
}

Matrix* OlpJointEndGetWorldMatrix(const OlpJointEnd* end, Matrix* out)
{
    *out = kIdentity;
    if (end->pointer == nullptr) {
        return out;
    }
    if (end->part == kOlpJointEndVolume) {
        const auto* volume = static_cast<const OlpVolume*>(end->pointer);
        if (volume->descriptor == nullptr || (volume->descriptor->flags & kOlpVolumeWorldSpace) == 0) {
            *out = volume->frame;
        }
        return out;
    }
    const auto* object = static_cast<const OlpObj*>(end->pointer);
    if (end->part < object->partCount && object->parts[end->part].sourceMatrix != nullptr) {
        *out = *object->parts[end->part].sourceMatrix;
    }
    return out;
}

OlpJoint* OlpJointCreate(OlpMgr* mgr, OlpJointDef* def, const OlpJointEnd* end1, const OlpJointEnd* end0)
{
    OlpJoint* joint = OlpMgrTakeJoint(mgr);
    if (joint == nullptr) {
        return nullptr;
    }
    joint->def = def != nullptr ? OlpJointDefAddRef(def) : nullptr;
    joint->ends[0] = *end0;
    joint->ends[1] = *end1;
    for (V3d& v : joint->vectors) {
        v = {0, 0, 0};
    }
    joint->state.orientation = {0, 0, 0, 1};
    for (V3d& v : joint->state.vectors) {
        v = {0, 0, 0};
    }
    return joint;
}

int32_t OlpJointRelease(OlpJoint* joint)
{
    OlpMgr* mgr = joint->manager;
    // A joint still entered would leave its links behind.
    OlpMgrRemoveJoint(mgr, joint);
    OlpJointReleaseDef(joint);
    OlpMgrGiveJoint(mgr, joint);
    return 1;
}

int32_t OlpJointReleaseDef(OlpJoint* joint)
{
    if (joint->def != nullptr) {
        OlpJointDefRelease(joint->def);
        joint->def = nullptr;
    }
    return 1;
}

OlpJointDef* OlpJointGetDef(const OlpJoint* joint)
{
    return joint->def;
}

OlpJointState* OlpJointGetState(OlpJoint* joint)
{
    return &joint->state;
}

OlpJointEndFrame* OlpJointGetEndFrame(const OlpJoint* joint, int32_t which, OlpJointEndFrame* out)
{
    out->end = End(joint, which);
    out->frame = joint->def->frames[which != 0 ? 1 : 0];
    return out;
}

OlpJointAnchor* OlpJointGetAnchor(const OlpJoint* joint, int32_t which, int32_t world, OlpJointAnchor* out)
{
    OlpJointFrame frame;
    OlpJointGetFrame(joint, which, world == 0, &frame);
    Matrix matrix;
    OlpJointFrameToMatrix(&matrix, &frame);
    out->position = matrix.pos;
    out->axes[0] = matrix.right;
    out->axes[1] = matrix.up;
    out->axes[2] = matrix.at;
    return out;
}

OlpJointFrame* OlpJointGetFrame(const OlpJoint* joint, int32_t which, int32_t local, OlpJointFrame* out)
{
    const OlpJointFrame& stored = joint->def->frames[which != 0 ? 1 : 0];
    if (local != 0) {
        *out = stored;
        return out;
    }
    const OlpJointFrame world = EndWorldFrame(End(joint, which));
    return OlpJointFrameCompose(out, &world, &stored);
}

OlpJoint* OlpJointSetFrame(OlpJoint* joint, int32_t which, int32_t local, const OlpJointFrame* frame)
{
    OlpJointFrame& stored = joint->def->frames[which != 0 ? 1 : 0];
    if (local != 0) {
        stored = *frame;
    } else {
        const OlpJointFrame world = EndWorldFrame(End(joint, which));
        OlpJointFrameRelative(&stored, &world, frame);
    }
    return joint;
}

V3d* OlpJointGetPosition(const OlpJoint* joint, int32_t which, int32_t local, V3d* out)
{
    OlpJointFrame frame;
    *out = OlpJointGetFrame(joint, which, local, &frame)->position;
    return out;
}

OlpJoint* OlpJointSetPosition(OlpJoint* joint, int32_t which, int32_t local, const V3d* position)
{
    OlpJointFrame frame;
    OlpJointGetFrame(joint, which, local, &frame);
    frame.position = *position;
    return OlpJointSetFrame(joint, which, local, &frame);
}

Quaternion* OlpJointGetOrientation(const OlpJoint* joint, int32_t which, int32_t local, Quaternion* out)
{
    OlpJointFrame frame;
    *out = OlpJointGetFrame(joint, which, local, &frame)->orientation;
    return out;
}

OlpJoint* OlpJointSetOrientation(OlpJoint* joint, int32_t which, int32_t local, const Quaternion* orientation)
{
    OlpJointFrame frame;
    OlpJointGetFrame(joint, which, local, &frame);
    frame.orientation = *orientation;
    return OlpJointSetFrame(joint, which, local, &frame);
}

Matrix* OlpJointGetMatrix(const OlpJoint* joint, int32_t which, int32_t local, Matrix* out)
{
    OlpJointFrame frame;
    return OlpJointFrameToMatrix(out, OlpJointGetFrame(joint, which, local, &frame));
}

OlpJoint* OlpJointSetMatrix(OlpJoint* joint, int32_t which, int32_t local, const Matrix* matrix)
{
    OlpJointFrame frame;
    OlpJointFrameFromMatrix(&frame, matrix);
    return OlpJointSetFrame(joint, which, local, &frame);
}
