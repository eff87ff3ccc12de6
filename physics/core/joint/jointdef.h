#pragma once
// Joint definitions: the shared, reference-counted parameters of joints
// (two local frames, two blocks of angular limits, drives and per-axis
// flags) and the frame operations that joints use. Limits are stored as
// cos(angle / 2); the constraint rows read them in that form.

#include <cstdint>

#include "graphics/animation/quaternion.h"
#include "graphics/core/matrix.h"
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
