// Joint rows: linear locks, angular locks, distance limits and linear
// drives. Geometry decided here (the row counts are fixed):
//  - locks and linear drives act along the axes of joint frame B in world
//    space, with their angular parts about the anchors;
//  - twist (flag 1) is the rotation about the first joint axis, the swings
//    (flags 2 and 4) those about the second and third; a single swing lock
//    keeps an axis of frame A perpendicular to an axis of frame B:
//    flags & 6 == 2 keeps A's first axis perpendicular to B's third (no turn
//    about the second axis), == 4 keeps it perpendicular to B's second (no
//    turn about the third); its error is that entry of the relative matrix;
//  - angular limits: limit block A with mode bit 0 holds hard limits, block
//    B with mode bit 0 soft ones (a spring with block B's first drive):
//    limit 0 bounds the twist (the angle about the first axis, from the
//    twist part of the relative rotation), limit 1 the swing (the angle
//    between the two first axes, a cone). A hard limit whose stored cosine
//    is 0.999999 or more is off; a soft one there is a closing spring (a
//    door's closer): its row acts at any angle, both ways, so that its
//    damping brakes the return instead of letting it swing through. A
//    free twist or swing only. The row pushes back when the angle is past
//    the limit: about the first axis of frame B for the twist, about A's
//    first axis x B's first axis for the swing;
//  - angular drives (block C's drives: 0 linear, 1 twist or all axes, 2
//    swing) pull the relative rotation q of B to A towards the target
//    orientation t of the joint state: with e = t* q (w >= 0), a row about
//    axis i of frame B has error -e_i, like the locks; the target angular
//    velocity (joint state vector 2) is B's relative to A's, bias -w_i.
//    Drive bits: 1 twist and 6 swing to the target orientation, 0x100 and
//    0x600 to the target velocity, 0x10000 and 0x60000 bounded by the
//    drive's largest torque, 0x7000000 all three axes at once (only when
//    no angular lock is set). A swing drive acts only while B's first axis
//    is not turned right round (2 (1 + xA . xB) > 0.01).
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

namespace {

constexpr float kClosedCosine = 0.999999f;

/// Which angular limits a block may add: bit 0 twist, bit 1 swing.
uint32_t AngularLimits(const OlpJointDef* def, const OlpJointLimit& limit, bool soft)
{
    if ((limit.mode & 1) == 0) {
        return 0;
    }
    uint32_t out = 0;
    out |= (def->flags & 1) == 0 && (soft || limit.cosHalf[0] < kClosedCosine) ? 1 : 0;
    out |= (def->flags & 6) == 0 && (soft || limit.cosHalf[1] < kClosedCosine) ? 2 : 0;
    return out;
}

/// The angular limit rows of one limit block; `soft` uses block B's spring.
void AngularLimitRows(OlpRowBuilder* store, const OlpJointDef* def, const OlpJointLimit& limit, bool soft,
                      const Matrix& frameA, const Matrix& frameB, const Quaternion& q, const OlpDyn* a,
                      const OlpDyn* b, float s0, float h)
{
    uint32_t which = AngularLimits(def, limit, soft);
    for (int k = 0; k < 2; ++k) {
        if ((which & (1u << k)) == 0) {
            continue;
        }
        bool closing = limit.cosHalf[k] >= kClosedCosine;
        float maximum = closing ? 0.0f : 2.0f * std::acos(limit.cosHalf[k]);
        float angle;
        V3d axis;
        if (k == 0) {
            // Twist: B's turn about the first axis relative to A.
            angle = 2.0f * std::atan2(q.x, q.w);
            axis = angle >= 0.0f ? frameB.right : -frameB.right;
        } else {
            V3d normal = Cross(frameA.right, frameB.right);
            float sine = Length(normal);
            angle = std::atan2(sine, Dot(frameA.right, frameB.right));
            if (sine <= 1e-6f) {
                continue;
            }
            axis = normal * (1.0f / sine);
        }
        float excess = std::fabs(angle) - maximum;
        if (excess <= 0.0f && !closing) {
            continue;
        }
        // J v is the rate at which the angle returns towards the limit.
        OlpConstraintRow row{};
        Angular(&row, axis, a, b);
        row.error = -excess;
        if (soft) {
            const OlpJointDrive& spring = def->drivesB[0];
            if (!OlpConstraintSpring(spring.first, spring.second, h, s0 * h, row.softness)) {
                continue;
            }
        }
        row.bounds[0] = row.bounds[2] = closing ? -kOlpRowUnbounded : 0.0f;
        row.bounds[1] = row.bounds[3] = kOlpRowUnbounded;
        row.reduction = kOlpRowReduction;
        row.tag = kOlpJointTagLimit + (soft ? 2 : 0) + k;
        OlpConstraintAddRow(store, &row);
    }
}

/// Angular drive rows that may be made: bit i for the rows about axis i.
uint32_t AngularDrives(const OlpJointDef* def)
{
    uint32_t drive = DriveFlags(def);
    const OlpJointDrive* d = def->blockC.drives;
    if ((def->flags & 7) == 0 && (drive & 0x7000000) != 0) {
        return d[1].first + d[1].second > 0.0f ? 7 : 0;
    }
    uint32_t out = 0;
    if ((def->flags & 1) == 0 && (drive & 0x101) != 0 && d[1].first + d[1].second > 0.0f) {
        out |= 1;
    }
    if ((def->flags & 6) == 0 && (drive & 0x606) != 0 && d[2].first + d[2].second > 0.0f) {
        out |= 6;
    }
    return out;
}

void AngularDriveRows(OlpRowBuilder* store, const OlpJoint* joint, const Matrix& frameA, const Matrix& frameB,
                      const Quaternion& q, const OlpDyn* a, const OlpDyn* b, float s0, float h)
{
    const OlpJointDef* def = joint->def;
    uint32_t rows = AngularDrives(def);
    if (rows == 0) {
        return;
    }
    uint32_t drive = DriveFlags(def);
    bool allAxes = (drive & 0x7000000) != 0 && (def->flags & 7) == 0;
    // e = t* q with the target t (the identity when unset).
    Quaternion t = joint->state.orientation;
    if (t.x * t.x + t.y * t.y + t.z * t.z + t.w * t.w < 0.5f) {
        t = {0, 0, 0, 1};
    }
    Quaternion e = {
        t.w * q.x - t.x * q.w - t.y * q.z + t.z * q.y, t.w * q.y + t.x * q.z - t.y * q.w - t.z * q.x,
        t.w * q.z - t.x * q.y + t.y * q.x - t.z * q.w, t.w * q.w + t.x * q.x + t.y * q.y + t.z * q.z};
    if (e.w < 0.0f) {
        e = {-e.x, -e.y, -e.z, -e.w};
    }
    float errors[3] = {-e.x, -e.y, -e.z};
    bool swingUsable = 2.0f * (1.0f + Dot(frameA.right, frameB.right)) > 0.01f;
    for (uint32_t i = 0; i < 3; ++i) {
        if ((rows & (1u << i)) == 0 || (i > 0 && !allAxes && !swingUsable)) {
            continue;
        }
        const OlpJointDrive& d = def->blockC.drives[allAxes || i == 0 ? 1 : 2];
        OlpConstraintRow row{};
        if (!OlpConstraintSpring(d.first, d.second, h, s0 * h, row.softness)) {
            continue;
        }
        uint32_t bit = allAxes ? 0x7u : 1u << i;
        Angular(&row, MatrixAxis(frameB, static_cast<int>(i)), a, b);
        row.error = allAxes || (drive & bit) != 0 ? errors[i] : 0.0f;
        if ((drive & (allAxes ? 0x700u : bit << 8)) != 0) {
            row.bias = -Component(joint->state.vectors[2], static_cast<int>(i));
        }
        float limit = (drive & (allAxes ? 0x70000u : bit << 16)) != 0 ? d.third : kOlpRowUnbounded;
        row.bounds[0] = row.bounds[1] = 0.0f;
        row.bounds[2] = -limit;
        row.bounds[3] = limit;
        row.reduction = kOlpRowReduction;
        row.tag = -1;
        OlpConstraintAddRow(store, &row);
    }
}

uint32_t Bits(uint32_t v)
{
    return (v & 1) + ((v >> 1) & 1) + ((v >> 2) & 1);
}

} // namespace

uint32_t OlpConstraintDriveRowCount(const OlpJoint* joint)
{
    uint32_t rows = 0;
    for (int i = 0; i < 3; ++i) {
        rows += LinearDriveActive(joint->def, i) ? 1 : 0;
    }
    return rows + Bits(AngularDrives(joint->def));
}

uint32_t OlpConstraintLimitRowCount(const OlpJoint* joint)
{
    const OlpJointDef* def = joint->def;
    uint32_t distance = HardLimit(def) || SoftLimit(def) ? 1 : 0;
    return distance + Bits(AngularLimits(def, def->limitA, false)) +
           Bits(AngularLimits(def, def->limitB, true));
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
        row.tag = kOlpJointTagLinearLock + i;
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
        row.tag = kOlpJointTagAngularLock + i;
        OlpConstraintAddRow(store, &row);
    }
    if ((flags & 6) == 2 || (flags & 6) == 4) {
        V3d other = (flags & 6) == 2 ? frameB.at : frameB.up;
        OlpConstraintRow row{};
        Angular(&row, Cross(frameA.right, other), a, b);
        row.error = (flags & 6) == 2 ? relative.at.x : relative.up.x;
        Unbounded(&row);
        row.tag = kOlpJointTagAngularLock + 1;
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
            row.tag = kOlpJointTagDistance;
            OlpConstraintAddRow(store, &row);
        }
    }
    AngularLimitRows(store, def, def->limitA, false, frameA, frameB, q, a, b, s0, h);
    AngularLimitRows(store, def, def->limitB, true, frameA, frameB, q, a, b, s0, h);
    AngularDriveRows(store, joint, frameA, frameB, q, a, b, s0, h);
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
        row.tag = -1;
        OlpConstraintAddRow(store, &row);
    }
    OlpConstraintClose(store);
}
