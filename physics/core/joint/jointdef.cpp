#include "physics/core/joint/jointdef.h"

#include <algorithm>
#include <cmath>

#include "graphics/core/memory.h"
#include "physics/core/utils/inertia.h"
#include "physics/core/utils/maths.h"
#include "physics/core/utils/memory.h"
#include "physics/core/utils/vec3.h"

using namespace olp;

namespace {

constexpr float kDefaultLimitAngle = 0.78539816f; // pi / 4
constexpr OlpJointDrive kDefaultDrive = {1e30f, 1e30f, kOlpFloatMax};

/// a x b: the rotation b, then a.
Quaternion Multiply(const Quaternion& a, const Quaternion& b)
{
    return {a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y, a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
            a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w, a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}

Quaternion Conjugate(const Quaternion& q)
{
    return {-q.x, -q.y, -q.z, q.w};
}

/// v rotated by the unit quaternion q.
V3d Rotate(const Quaternion& q, V3d v)
{
    const V3d u = {q.x, q.y, q.z};
    const V3d t = Cross(u, v) * 2.0f;
    return v + t * q.w + Cross(u, t);
}

void InitLimit(OlpJointLimit* limit)
{
    limit->mode = 0;
    limit->value = 1.0f;
    for (int i = 0; i < 3; ++i) {
        OlpJointLimitSetAngle(limit, i, kDefaultLimitAngle);
    }
}

} // namespace

OlpJointDef* OlpJointDefInit(OlpJointDef* def)
{
    def->refCount = 1;
    for (OlpJointFrame& frame : def->frames) {
        frame = {{0, 0, 0, 1}, {0, 0, 0}};
    }
    def->flags = kOlpJointDefDefaultFlags;
    InitLimit(&def->limitA);
    InitLimit(&def->limitB);
    for (int i = 0; i < 3; ++i) {
        def->drivesB[i] = kDefaultDrive;
        def->blockC.drives[i] = kDefaultDrive;
        def->blockC.axisFlags[i] = 0;
    }
    def->blockC.axisFlags[3] = 0;
    return def;
}

OlpJointDef* OlpJointDefCreate()
{
    auto* def = static_cast<OlpJointDef*>(MemoryAllocate(sizeof(OlpJointDef), kOlpMemoryHint));
    return def != nullptr ? OlpJointDefInit(def) : nullptr;
}

OlpJointDef* OlpJointDefAddRef(OlpJointDef* def)
{
    ++def->refCount;
    return def;
}

int32_t OlpJointDefRelease(OlpJointDef* def)
{
    if (--def->refCount == 0) {
        MemoryFree(def);
    }
    return 1;
}

OlpJointDef* OlpJointDefSetFlags(OlpJointDef* def, uint32_t flags)
{
    def->flags = flags;
    return def;
}

uint32_t OlpJointDefGetFlags(const OlpJointDef* def)
{
    return def->flags;
}

OlpJointFrame* OlpJointDefGetFrame(OlpJointDef* def, int32_t which)
{
    return &def->frames[which != 0 ? 1 : 0];
}

OlpJointLimit* OlpJointDefGetLimitA(OlpJointDef* def)
{
    return &def->limitA;
}

OlpJointLimit* OlpJointDefGetLimitB(OlpJointDef* def)
{
    return &def->limitB;
}

OlpJointBlockC* OlpJointDefGetBlockC(OlpJointDef* def)
{
    return &def->blockC;
}

OlpJointFrame* OlpJointFrameSetPosition(OlpJointFrame* frame, const V3d* position)
{
    frame->position = *position;
    return frame;
}

OlpJointFrame* OlpJointFrameSetOrientation(OlpJointFrame* frame, const Quaternion* orientation)
{
    frame->orientation = *orientation;
    return frame;
}

V3d* OlpJointFrameGetPosition(const OlpJointFrame* frame, V3d* out)
{
    *out = frame->position;
    return out;
}

Quaternion* OlpJointFrameGetOrientation(const OlpJointFrame* frame, Quaternion* out)
{
    *out = frame->orientation;
    return out;
}

OlpJointFrame* OlpJointFrameFromMatrix(OlpJointFrame* frame, const Matrix* matrix)
{
    OlpMathQuaternionFromRotation(&frame->orientation, matrix);
    frame->position = matrix->pos;
    return frame;
}

Matrix* OlpJointFrameToMatrix(Matrix* out, const OlpJointFrame* frame)
{
    OlpMathQuaternionToMatrix(out, &frame->orientation);
    out->pos = frame->position;
    out->flags = kMatrixFlagsOrthonormal;
    return out;
}

OlpJointFrame* OlpJointFrameCompose(OlpJointFrame* out, const OlpJointFrame* a, const OlpJointFrame* b)
{
    const OlpJointFrame result = {Multiply(a->orientation, b->orientation),
                                  a->position + Rotate(a->orientation, b->position)};
    *out = result;
    return out;
}

OlpJointFrame* OlpJointFrameRelative(OlpJointFrame* out, const OlpJointFrame* a, const OlpJointFrame* b)
{
    const Quaternion inverse = Conjugate(a->orientation);
    const OlpJointFrame result = {Multiply(inverse, b->orientation),
                                  Rotate(inverse, b->position - a->position)};
    *out = result;
    return out;
}

OlpJointLimit* OlpJointLimitSetMode(OlpJointLimit* limit, uint32_t mode)
{
    limit->mode = mode;
    return limit;
}

OlpJointLimit* OlpJointLimitSetValue(OlpJointLimit* limit, float value)
{
    limit->value = value;
    return limit;
}

OlpJointLimit* OlpJointLimitSetAngle(OlpJointLimit* limit, int32_t index, float angle)
{
    limit->cosHalf[index] = std::cos(angle * 0.5f);
    return limit;
}

float OlpJointLimitGetAngle(const OlpJointLimit* limit, int32_t index)
{
    return 2.0f * std::acos(std::clamp(limit->cosHalf[index], -1.0f, 1.0f));
}

OlpJointLimit* OlpJointLimitCopy(OlpJointLimit* destination, const OlpJointLimit* source)
{
    *destination = *source;
    return destination;
}

OlpJointDrive* OlpJointDefGetDriveB(OlpJointDef* def, int32_t index)
{
    return &def->drivesB[index];
}

OlpJointDef* OlpJointDefSetDriveB(OlpJointDef* def, int32_t index, const OlpJointDrive* drive)
{
    def->drivesB[index] = *drive;
    return def;
}

OlpJointDrive* OlpJointDriveSetFirst(OlpJointDrive* drive, float value)
{
    drive->first = value;
    return drive;
}

OlpJointDrive* OlpJointDriveSetSecond(OlpJointDrive* drive, float value)
{
    drive->second = value;
    return drive;
}

OlpJointDrive* OlpJointDriveSetThird(OlpJointDrive* drive, float value)
{
    drive->third = value;
    return drive;
}

OlpJointDrive* OlpJointDriveSetFirstInverse(OlpJointDrive* drive, float value)
{
    drive->first = value != 0.0f ? 1.0f / value : kOlpFloatMax;
    return drive;
}

float OlpJointDriveGetFirstInverse(const OlpJointDrive* drive)
{
    return drive->first != 0.0f ? 1.0f / drive->first : kOlpFloatMax;
}

float OlpJointDriveGetFirst(const OlpJointDrive* drive)
{
    return drive->first;
}

float OlpJointDriveGetSecond(const OlpJointDrive* drive)
{
    return drive->second;
}

float OlpJointDriveGetThird(const OlpJointDrive* drive)
{
    return drive->third;
}

uint8_t* OlpJointDefSetAxisFlag(uint8_t axisFlags[4], uint8_t flag, uint32_t mask)
{
    for (int i = 0; i < 4; ++i) {
        if ((mask >> i) & 1u) {
            axisFlags[i] = static_cast<uint8_t>(axisFlags[i] | flag);
        } else {
            axisFlags[i] = static_cast<uint8_t>(axisFlags[i] & ~flag);
        }
    }
    return axisFlags;
}

uint32_t OlpJointDefGetAxisMask(const uint8_t axisFlags[4], uint8_t flag)
{
    uint32_t mask = 0;
    for (int i = 0; i < 4; ++i) {
        if ((axisFlags[i] & flag) == flag) {
            mask |= 1u << i;
        }
    }
    return mask;
}

OlpJointDrive* OlpJointBlockCGetDrive(OlpJointBlockC* block, int32_t index)
{
    return &block->drives[index];
}

OlpJointBlockC* OlpJointBlockCSetDrive(OlpJointBlockC* block, int32_t index, const OlpJointDrive* drive)
{
    block->drives[index] = *drive;
    return block;
}

OlpJointBlockC* OlpJointBlockCCopy(OlpJointBlockC* destination, const OlpJointBlockC* source)
{
    *destination = *source;
    return destination;
}
