#pragma once
// Keyframe scheme type 1 of the hierarchical animation: keys of a rotation
// quaternion and a translation. In memory a key starts with its previous-key
// pointer (40 bytes); the stream form is 36 bytes per key: time, quaternion,
// translation, then the previous key's byte offset in 36-byte units from the
// start of the key array (-1: a node's first key).

#include <cstdint>

#include "graphics/animation/animation.h"
#include "graphics/core/quaternion.h"

constexpr int32_t kHierKeyTypeId = 1;
constexpr int32_t kHierKeyStreamBytes = 36;

struct HierKey
{
    HierKey* previous;
    float time; ///< seconds
    Quaternion rotation;
    V3d translation;
};

struct HierInterpKey
{
    HierKey* keyA;
    HierKey* keyB;
    Quaternion rotation; ///< not normalised
    V3d translation;
};

/// The scheme record of type 1 (sizes by sizeof, no custom data).
const AnimScheme* HierKeyScheme();

/// Rotation and position of an interpolated key; matrix flags 3.
void HierKeyToMatrix(Matrix* out, void* interpKey);
/// Spherical interpolation (linear when nearly parallel) and linear
/// translation at `time` between keys A and B; B's rotation is negated in
/// place when that is the shorter way. Equal key times give key A.
void HierKeyInterpolate(void* out, void* keyA, void* keyB, float time, void* customData);
/// The same between two interpolated keys with factor in [0, 1].
void HierKeyBlend(void* out, void* in1, void* in2, float factor);
/// Rotation in1 x in2, translation in1 + in2.
void HierKeyAdd(void* out, void* in1, void* in2);
/// key = reference^-1 x key (rotation), key - reference (translation).
void HierKeyMakeRelative(void* key, void* reference);
Animation* HierKeysStreamRead(Stream* stream, Animation* animation);
bool HierKeysStreamWrite(const Animation* animation, Stream* stream);
/// 36 x key count; -1 when that overflows.
int32_t HierKeysStreamGetSize(const Animation* animation);
