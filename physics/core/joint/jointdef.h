#pragma once
// Joint definitions: the shared, reference-counted parameters of joints
// (two local frames, two blocks of angular limits, drives and per-axis
// flags) and the frame operations that joints use. Limits are stored as
// cos(angle / 2); the constraint rows read them in that form.

#include <cstdint>

#include "graphics/core/matrix.h"
#include "graphics/core/quaternion.h"
#include "graphics/core/vector.h"

/// A local frame: orientation, then position.
struct OlpJointFrame
{
    Quaternion orientation;
    V3d position;
};

/// A block of three angular limits.
struct OlpJointLimit
{
    uint32_t mode;
    float value;
    float cosHalf[3]; ///< cos(limit / 2)
};

/// Three drive values (their meaning belongs to the constraint rows).
struct OlpJointDrive
{
    float first;
    float second;
    float third;
};

/// Per-axis flags (one byte for each of four axes) and three drives.
struct OlpJointBlockC
{
    uint8_t axisFlags[4];
    OlpJointDrive drives[3];
};

struct OlpJointDef
{
    uint32_t refCount;
    OlpJointFrame frames[2]; ///< end 0's (A) and end 1's (B) local frames
    uint32_t flags;
    OlpJointLimit limitA;
    OlpJointLimit limitB;
    OlpJointDrive drivesB[3]; ///< limit block B's drives
    OlpJointBlockC blockC;
};

/// The default flags of a new definition.
constexpr uint32_t kOlpJointDefDefaultFlags = 56;

/// Count 1, identity frames, flags 56, both limit blocks mode 0, value 1 and
/// limits of pi / 4, drives (1e30, 1e30, FLT_MAX), block C flags 0.
OlpJointDef* OlpJointDefInit(OlpJointDef* def);
/// A new definition (count 1); null when memory runs out.
OlpJointDef* OlpJointDefCreate();
/// Takes one more reference; returns def.
OlpJointDef* OlpJointDefAddRef(OlpJointDef* def);
/// Drops one reference and frees the definition at zero; 1.
int32_t OlpJointDefRelease(OlpJointDef* def);
OlpJointDef* OlpJointDefSetFlags(OlpJointDef* def, uint32_t flags);
uint32_t OlpJointDefGetFlags(const OlpJointDef* def);
/// Frame B when `which` is non-zero, else frame A.
OlpJointFrame* OlpJointDefGetFrame(OlpJointDef* def, int32_t which);
OlpJointLimit* OlpJointDefGetLimitA(OlpJointDef* def);
OlpJointLimit* OlpJointDefGetLimitB(OlpJointDef* def);
OlpJointBlockC* OlpJointDefGetBlockC(OlpJointDef* def);

// Frames.
OlpJointFrame* OlpJointFrameSetPosition(OlpJointFrame* frame, const V3d* position);
OlpJointFrame* OlpJointFrameSetOrientation(OlpJointFrame* frame, const Quaternion* orientation);
V3d* OlpJointFrameGetPosition(const OlpJointFrame* frame, V3d* out);
Quaternion* OlpJointFrameGetOrientation(const OlpJointFrame* frame, Quaternion* out);
/// The frame of a matrix's rotation (normalised quaternion) and position.
OlpJointFrame* OlpJointFrameFromMatrix(OlpJointFrame* frame, const Matrix* matrix);
/// The matrix of a frame: rotation from the quaternion, position, flags 3.
Matrix* OlpJointFrameToMatrix(Matrix* out, const OlpJointFrame* frame);
/// out = a then b: orientation a x b, position a.position + a.rotation(b.position).
/// out may alias a or b.
OlpJointFrame* OlpJointFrameCompose(OlpJointFrame* out, const OlpJointFrame* a, const OlpJointFrame* b);
/// b expressed in a's frame (a composed with the result gives b). out may
/// alias a or b.
OlpJointFrame* OlpJointFrameRelative(OlpJointFrame* out, const OlpJointFrame* a, const OlpJointFrame* b);

// Limit blocks (A and B alike).
OlpJointLimit* OlpJointLimitSetMode(OlpJointLimit* limit, uint32_t mode);
OlpJointLimit* OlpJointLimitSetValue(OlpJointLimit* limit, float value);
/// Sets limit `index` (0 to 2) to `angle` radians, stored as cos(angle / 2).
OlpJointLimit* OlpJointLimitSetAngle(OlpJointLimit* limit, int32_t index, float angle);
/// Limit `index` (0 to 2) in radians: 2 arccos(stored value).
float OlpJointLimitGetAngle(const OlpJointLimit* limit, int32_t index);
OlpJointLimit* OlpJointLimitCopy(OlpJointLimit* destination, const OlpJointLimit* source);
/// Drive `index` (0 to 2) of limit block B.
OlpJointDrive* OlpJointDefGetDriveB(OlpJointDef* def, int32_t index);
OlpJointDef* OlpJointDefSetDriveB(OlpJointDef* def, int32_t index, const OlpJointDrive* drive);

// Drives.
OlpJointDrive* OlpJointDriveSetFirst(OlpJointDrive* drive, float value);
OlpJointDrive* OlpJointDriveSetSecond(OlpJointDrive* drive, float value);
OlpJointDrive* OlpJointDriveSetThird(OlpJointDrive* drive, float value);
/// first = 1 / value, or FLT_MAX for 0.
OlpJointDrive* OlpJointDriveSetFirstInverse(OlpJointDrive* drive, float value);
/// 1 / first, or FLT_MAX when first is 0.
float OlpJointDriveGetFirstInverse(const OlpJointDrive* drive);
float OlpJointDriveGetFirst(const OlpJointDrive* drive);
float OlpJointDriveGetSecond(const OlpJointDrive* drive);
float OlpJointDriveGetThird(const OlpJointDrive* drive);

// Block C.
/// Sets the bits `flag` in each byte of `axisFlags` whose bit in the 4-bit
/// `mask` is set and clears them in the others.
uint8_t* OlpJointDefSetAxisFlag(uint8_t axisFlags[4], uint8_t flag, uint32_t mask);
/// The 4-bit mask of the bytes that hold all bits of `flag`.
uint32_t OlpJointDefGetAxisMask(const uint8_t axisFlags[4], uint8_t flag);
/// Drive `index` (0 to 2) of block C.
OlpJointDrive* OlpJointBlockCGetDrive(OlpJointBlockC* block, int32_t index);
OlpJointBlockC* OlpJointBlockCSetDrive(OlpJointBlockC* block, int32_t index, const OlpJointDrive* drive);
OlpJointBlockC* OlpJointBlockCCopy(OlpJointBlockC* destination, const OlpJointBlockC* source);
