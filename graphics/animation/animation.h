#pragma once
// The keyframe toolkit (engine module 0x1B7): interpolation schemes
// registered by type id, animations (blocks of keys of one scheme for a
// number of nodes) and their ".anm" stream form (chunk 0x1B). The player is
// in animinterpolator.h. Errors carry id 0x1B7.
//
// Keys of every scheme begin with AnimKeyHeader (the previous key of the same
// node, then the time); interpolated keys begin with AnimInterpKeyHeader (the
// two keys bracketing the current time). The key array is ordered so that a
// player runs through it once: keys 0..N-1 are the nodes' first keys (time 0,
// no previous key), keys N..2N-1 their second keys, and every later key
// comes in ascending order of its previous key's time; each node's last key
// is at the duration.

#include <cstdint>

struct Matrix;
struct Stream;
struct Animation;

constexpr uint32_t kChunkAnimation = 0x1B;
constexpr int32_t kAnimationStreamVersion = 256;
constexpr int32_t kAnimSchemeRegistrySize = 16;

/// Plain error codes of the keyframe toolkit.
constexpr uint32_t kErrorAnimSchemeDuplicate = 0; ///< the scheme's type id is already registered
constexpr uint32_t kErrorAnimRegistryFull = 1;    ///< 16 schemes are registered
constexpr uint32_t kErrorAnimUnknownScheme = 2;   ///< the type id is not registered

struct AnimKeyHeader
{
    AnimKeyHeader* previous; ///< the node's previous key; null for a first key
    float time;              ///< seconds
};

struct AnimInterpKeyHeader
{
    AnimKeyHeader* keyA; ///< at or before the current time
    AnimKeyHeader* keyB; ///< after it
};

using AnimKeyToMatrixFunc = void (*)(Matrix* out, void* interpKey);
using AnimKeyBlendFunc = void (*)(void* out, void* in1, void* in2, float factor);
using AnimKeyInterpolateFunc = void (*)(void* out, void* keyA, void* keyB, float time, void* customData);
using AnimKeyAddFunc = void (*)(void* out, void* in1, void* in2);
using AnimKeyMakeRelativeFunc = void (*)(void* key, void* reference);
/// Reads the animation's keys (key count already set); the animation or null.
using AnimKeysStreamReadFunc = Animation* (*)(Stream* stream, Animation* animation);
using AnimKeysStreamWriteFunc = bool (*)(const Animation* animation, Stream* stream);
/// Stream bytes of the keys; may read only the animation's head (scheme, key
/// count), so that a reader can check it before the keys exist.
using AnimKeysStreamGetSizeFunc = int32_t (*)(const Animation* animation);

/// An interpolation scheme, copied by value into the registry.
struct AnimScheme
{
    int32_t typeId;        ///< unique in the registry
    int32_t interpKeySize; ///< bytes of an interpolated key (sizeof, with its header)
    int32_t keySize;       ///< bytes of a key (sizeof, with its header)
    AnimKeyToMatrixFunc keyToMatrix;
    AnimKeyBlendFunc blend;
    AnimKeyInterpolateFunc interpolate;
    AnimKeyAddFunc add;
    AnimKeyMakeRelativeFunc makeRelative;
    AnimKeysStreamReadFunc streamRead;
    AnimKeysStreamWriteFunc streamWrite;
    AnimKeysStreamGetSizeFunc streamGetSize;
    int32_t customDataSize; ///< bytes per animation; 0 for none
};

/// One block: this head, the keys, then the custom data.
struct Animation
{
    const AnimScheme* scheme;
    int32_t keyCount;
    uint32_t flags;   ///< stored and streamed, not read here
    float duration;   ///< seconds
    void* keys;       ///< right behind the head
    void* customData; ///< behind the keys; null when the scheme has none
};

/// Registers engine module 0x1B7 (its close empties the scheme registry);
/// before the first EngineOpen. True when accepted.
bool AnimToolkitAttach();
/// Copies `scheme` into the registry; 1, or 0 with {0x1B7, 1} when 16 are
/// registered or {0x1B7, 0} for a duplicate type id.
int32_t AnimSchemeRegister(const AnimScheme* scheme);
/// The registered scheme of `typeId`, or null ({0x1B7, 2}).
const AnimScheme* AnimSchemeGet(int32_t typeId);

/// A new animation of `keyCount` keys (uninitialised) for a registered
/// scheme; null with {0x1B7, 2}, 0x80000003 for a negative count, 0x80000013.
Animation* AnimationCreate(int32_t typeId, int32_t keyCount, uint32_t flags, float duration);
/// Frees the animation; 1.
int32_t AnimationDestroy(Animation* animation);
/// Key i of the animation (i < key count).
void* AnimationGetKey(const Animation* animation, int32_t i);
/// The node count: the keys before the first whose previous key is key 0 (0
/// when there is none or key 0 is its own predecessor).
int32_t AnimationCountNodes(const Animation* animation);
/// True when the key order lets a player run through the keys once (see the
/// file comment): at least one node, 2N keys, keys N..2N-1 follow keys
/// 0..N-1, every later key follows an earlier non-first key that no other key
/// follows, and every node's last key is at the duration.
bool AnimationKeysAreOrdered(const Animation* animation);
/// Makes every key relative to the animation's own pose at `time` (seconds)
/// for `nodeCount` nodes; 1, or 0 when the player cannot be made.
int32_t AnimationMakeRelative(Animation* animation, int32_t nodeCount, float time);

/// Body bytes of chunk 0x1B: 20 + the scheme's stream size.
int32_t AnimationStreamGetSize(const Animation* animation);
/// Writes chunk 0x1B (header and body); the animation or null.
const Animation* AnimationStreamWrite(const Animation* animation, Stream* stream);
/// Reads the body of chunk 0x1B (the caller found the chunk). Null for a
/// version other than 256 (no error), an unregistered scheme ({0x1B7, 2}), a
/// key count the data cannot hold or keys out of order (0x8000001A), a short read.
Animation* AnimationStreamRead(Stream* stream);
/// Finds chunk 0x1B in the named ".anm" file and reads it; null on failure.
Animation* AnimationReadFile(const char* path);
/// Writes the animation to the named file; 1 or 0.
int32_t AnimationWriteFile(const Animation* animation, const char* path);
