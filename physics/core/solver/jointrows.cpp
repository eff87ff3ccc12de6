// Joint rows: linear locks, angular locks, distance limits and linear
// drives. Geometry decided here (the row counts are fixed):
//  - locks and linear drives act along the axes of joint frame B in world
//    space, with their angular parts about the anchors;
//  - twist (flag 1) is the rotation about the first joint axis, the swings
//    (flags 2 and 4) those about the second and third; a single swing lock
//    keeps an axis of frame A perpendicular to an axis of frame B:
//    flags & 6 == 2 keeps A's first axis perpendicular to B's third (no turn
//    about the second axis), == 4 keeps it perpendicular to B's second (no
//    turn about the third); its error is that entry of the relative matrix.
#include <cfloat>
#include <cmath>
#include <cstring>

#include "physics/core/dyn/dyn.h"
#include "physics/core/joint/joint.h"
#include "physics/core/object/object.h"
#include "physics/core/solver/rows.h"
#include "physics/core/utils/vec3.h"

using namespace olp;

namespace {

/// The drive block: block C's four axis-flag bytes read as one word.
uint32_t DriveFlags(const OlpJointDef* def)
{
    const uint8_t* b = def->blockC.axisFlags;
    return uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
}

bool LinearDriveActive(const OlpJointDef* def, int axis)
{
    uint32_t bit = 8u << axis;
    uint32_t drive = DriveFlags(def);
    const OlpJointDrive& d = def->blockC.drives[0];
    return (def->flags & bit) == 0 && (drive & (bit | bit << 8)) != 0 && d.first + d.second > 0.0f;
}

bool HardLimit(const OlpJointDef* def)
{
    return (def->limitA.mode & 0x38) != 0;
}

bool SoftLimit(const OlpJointDef* def)
{
    return (def->limitB.mode & 0x38) != 0;
}

void Angular(OlpConstraintRow* row, V3d axis, const OlpDyn* a, const OlpDyn* b)
{
    V3d zero = {0, 0, 0};
    V3d sa = a != nullptr ? axis : zero, sb = b != nullptr ? -axis : zero;
    row->angularA[0] = sa.x, row->angularA[1] = sa.y, row->angularA[2] = sa.z;
    row->angularB[0] = sb.x, row->angularB[1] = sb.y, row->angularB[2] = sb.z;
}

void Unbounded(OlpConstraintRow* row)
{
    row->bounds[0] = row->bounds[2] = -kOlpRowUnbounded;
    row->bounds[1] = row->bounds[3] = kOlpRowUnbounded;
    row->reduction = kOlpRowReduction;
}

} // namespace

OlpDyn* OlpConstraintJointAnchor(const OlpJointEnd* side, const OlpJointFrame* frame, V3d* anchor,
                                 V3d* position, Matrix* matrix)
{
    OlpObj* object = OlpJointEndObject(side);
    OlpDyn* dyn =
        object != nullptr && side->part < object->partCount ? object->parts[side->part].dyn : nullptr;
    Matrix world;
    if (dyn != nullptr) {
        world = dyn->arrays->pose[dyn->index];
        world.pos = world.pos - RotateVector(world, dyn->centre);
        *position = dyn->arrays->pose[dyn->index].pos;
    } else {
        OlpJointEndGetWorldMatrix(side, &world);
        *position = {0, 0, 0};
    }
    Matrix local;
    OlpJointFrameToMatrix(&local, frame);
    *matrix = world;
    matrix->right = RotateVector(world, local.right);
    matrix->up = RotateVector(world, local.up);
    matrix->at = RotateVector(world, local.at);
    matrix->pos = TransformPoint(world, local.pos);
    *anchor = matrix->pos;
    return dyn;
}

void OlpConstraintRelativeRotation(const Matrix* frameA, const Matrix* frameB, Quaternion* out,
                                   Matrix* matrix)
{
    // Rows of `matrix`: B's axes in A's terms.
    Matrix r{};
    r.right = InverseRotateVector(*frameA, frameB->right);
    r.up = InverseRotateVector(*frameA, frameB->up);
    r.at = InverseRotateVector(*frameA, frameB->at);
    r.flags = kMatrixFlagsOrthonormal;
    // The quaternion of the rotation taking A's axes to B's (columns of r^T).
    float m00 = r.right.x, m11 = r.up.y, m22 = r.at.z;
    float trace = m00 + m11 + m22;
    Quaternion q;
    if (trace > 0.0f) {
        float s = std::sqrt(trace + 1.0f) * 2.0f;
        q = {(r.up.z - r.at.y) / s, (r.at.x - r.right.z) / s, (r.right.y - r.up.x) / s, 0.25f * s};
    } else if (m00 > m11 && m00 > m22) {
        float s = std::sqrt(1.0f + m00 - m11 - m22) * 2.0f;
        q = {0.25f * s, (r.up.x + r.right.y) / s, (r.at.x + r.right.z) / s, (r.up.z - r.at.y) / s};
    } else if (m11 > m22) {
        float s = std::sqrt(1.0f + m11 - m00 - m22) * 2.0f;
        q = {(r.up.x + r.right.y) / s, 0.25f * s, (r.at.y + r.up.z) / s, (r.at.x - r.right.z) / s};
    } else {
        float s = std::sqrt(1.0f + m22 - m00 - m11) * 2.0f;
        q = {(r.at.x + r.right.z) / s, (r.at.y + r.up.z) / s, 0.25f * s, (r.right.y - r.up.x) / s};
    }
    if (q.w < 0.0f) {
        q = {-q.x, -q.y, -q.z, -q.w};
    }
    *out = q;
    if (matrix != nullptr) {
        *matrix = r;
    }
}

uint32_t OlpConstraintDriveRowCount(const OlpJoint* joint)
{
    uint32_t rows = 0;
    for (int i = 0; i < 3; ++i) {
        rows += LinearDriveActive(joint->def, i) ? 1 : 0;
    }
    return rows;
}

uint32_t OlpConstraintLimitRowCount(const OlpJoint* joint)
{
    return HardLimit(joint->def) || SoftLimit(joint->def) ? 1 : 0;
}

uint32_t OlpConstraintJointRowCount(const OlpJoint* joint)
{
    uint32_t flags = joint->def->flags;
    uint32_t rows = ((flags & 8) != 0) + ((flags & 16) != 0) + ((flags & 32) != 0) + ((flags & 1) != 0);
    uint32_t swing = flags & 6;
    rows += swing == 6 ? 2 : (swing != 0 ? 1 : 0);
    return rows + OlpConstraintDriveRowCount(joint) + OlpConstraintLimitRowCount(joint);
}

void OlpConstraintJointRows(OlpRowBuilder* store, const OlpJoint* joint, float s0, float h)
{
    const OlpJointDef* def = joint->def;
    // End 0 carries frame A, end 1 frame B.
    V3d anchorA, anchorB, centreA, centreB;
    Matrix frameA, frameB;
    OlpDyn* a = OlpConstraintJointAnchor(&joint->ends[0], &def->frames[0], &anchorA, &centreA, &frameA);
    OlpDyn* b = OlpConstraintJointAnchor(&joint->ends[1], &def->frames[1], &anchorB, &centreB, &frameB);
    Quaternion q;
    Matrix relative;
    OlpConstraintRelativeRotation(&frameA, &frameB, &q, &relative);
    if (OlpConstraintOpen(store, OlpConstraintBodyIndex(a), OlpConstraintBodyIndex(b), nullptr) == 0) {
        return;
    }
    V3d rA = anchorA - centreA, rB = anchorB - centreB;
    V3d offset = anchorA - anchorB;
    uint32_t flags = def->flags;

    // Linear locks: J v = -d/dt (axis . offset).
    for (int i = 0; i < 3; ++i) {
        if ((flags & (8u << i)) == 0) {
            continue;
        }
        V3d axis = MatrixAxis(frameB, i);
        V3d negated = -axis;
        OlpConstraintRow row{};
        OlpConstraintJacobian(&row, &negated, &rA, &rB, a, b);
        row.error = -Dot(axis, offset);
        Unbounded(&row);
        OlpConstraintAddRow(store, &row);
    }
    // Angular locks from the relative rotation.
    float lockErrors[3] = {-q.x, -q.y, -q.z};
    for (int i = 0; i < 3; ++i) {
        bool locked = i == 0 ? (flags & 1) != 0 : (flags & 6) == 6;
        if (!locked) {
            continue;
        }
        OlpConstraintRow row{};
        Angular(&row, MatrixAxis(frameB, i), a, b);
        row.error = lockErrors[i];
        Unbounded(&row);
        OlpConstraintAddRow(store, &row);
    }
    if ((flags & 6) == 2 || (flags & 6) == 4) {
        V3d other = (flags & 6) == 2 ? frameB.at : frameB.up;
        OlpConstraintRow row{};
        Angular(&row, Cross(frameA.right, other), a, b);
        row.error = (flags & 6) == 2 ? relative.at.x : relative.up.x;
        Unbounded(&row);
        OlpConstraintAddRow(store, &row);
    }
    // Distance limits: J v = -d/dt distance.
    float distance = Length(offset);
    if ((HardLimit(def) || SoftLimit(def)) && distance > 0.0f) {
        V3d u = offset * (1.0f / distance);
        float hardMax = def->limitA.value, softMax = def->limitB.value;
        const OlpJointDrive& spring = def->drivesB[0];
        bool overHard = HardLimit(def) && distance > hardMax;
        bool overSoft = SoftLimit(def) && distance > softMax;
        OlpConstraintRow row{};
        bool emit = overHard;
        if (overHard) {
            row.error = -(distance - hardMax);
            if (overSoft && spring.first != FLT_MAX) {
                row.bounds[2] = (hardMax - softMax) * spring.first;
            }
        } else if (overSoft) {
            row.error = -(distance - softMax);
            emit = OlpConstraintSpring(spring.first, spring.second, h, s0 * h, row.softness);
        }
        if (emit) {
            V3d negated = -u;
            OlpConstraintJacobian(&row, &negated, &rA, &rB, a, b);
            row.bounds[0] = 0.0f;
            row.bounds[1] = row.bounds[3] = kOlpRowUnbounded;
            row.reduction = kOlpRowReduction;
            OlpConstraintAddRow(store, &row);
        }
    }
    // Linear drives towards the target position and velocity (joint state
    // vectors 0 and 1, along frame B's axes).
    uint32_t drive = DriveFlags(def);
    const OlpJointDrive& linear = def->blockC.drives[0];
    for (int i = 0; i < 3; ++i) {
        if (!LinearDriveActive(def, i)) {
            continue;
        }
        uint32_t bit = 8u << i;
        V3d axis = MatrixAxis(frameB, i);
        V3d negated = -axis;
        OlpConstraintRow row{};
        if (!OlpConstraintSpring(linear.first, linear.second, h, s0 * h, row.softness)) {
            continue;
        }
        OlpConstraintJacobian(&row, &negated, &rA, &rB, a, b);
        if ((drive & bit) != 0) {
            row.error = Component(joint->state.vectors[0], i) - Dot(axis, offset);
        }
        if ((drive & bit << 8) != 0) {
            row.bias = -Component(joint->state.vectors[1], i);
        }
        float limit = (drive & bit << 16) != 0 ? linear.third : kOlpRowUnbounded;
        row.bounds[0] = row.bounds[1] = 0.0f;
        row.bounds[2] = -limit;
        row.bounds[3] = limit;
        row.reduction = kOlpRowReduction;
        OlpConstraintAddRow(store, &row);
    }
    OlpConstraintClose(store);
}
