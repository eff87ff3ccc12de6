#include "graphics/animation/animation.h"

#include <cstring>

#include "graphics/animation/animationids.h"
#include "graphics/animation/animinterpolator.h"
#include "graphics/animation/chunkfile.h"
#include "graphics/core/chunk.h"
#include "graphics/core/engine.h"
#include "graphics/core/error.h"
#include "graphics/core/memory.h"
#include "graphics/core/stream.h"

namespace {

constexpr uint32_t kHintAnimation = kMemoryHintObject | kChunkAnimation;
constexpr int32_t kBodyHeadBytes = 20;

/// The scheme registry: process-wide, filled by plug-ins at their open and
/// emptied at the toolkit's close (the engine runs on one thread).
struct SchemeRegistry
{
    AnimScheme schemes[kAnimSchemeRegistrySize];
    int32_t count;
} gSchemes;

void* ToolkitOpen(void* instance, int32_t, int32_t)
{
    return instance;
}

void* ToolkitClose(void* instance, int32_t, int32_t)
{
    gSchemes.count = 0;
    return instance;
}

const AnimScheme* FindScheme(int32_t typeId)
{
    for (int32_t i = 0; i < gSchemes.count; ++i) {
        if (gSchemes.schemes[i].typeId == typeId) {
            return &gSchemes.schemes[i];
        }
    }
    return nullptr;
}

AnimKeyHeader* Key(const Animation* animation, int32_t i)
{
    return static_cast<AnimKeyHeader*>(AnimationGetKey(animation, i));
}

/// The index of `key` in the animation's key array, or -1 when it is not the
/// start of one of its keys.
int32_t KeyIndex(const Animation* animation, const AnimKeyHeader* key)
{
    if (key == nullptr) {
        return -1;
    }
    const auto offset = reinterpret_cast<const uint8_t*>(key) - static_cast<const uint8_t*>(animation->keys);
    const int64_t size = animation->scheme->keySize;
    if (offset < 0 || offset % size != 0 || offset / size >= animation->keyCount) {
        return -1;
    }
    return static_cast<int32_t>(offset / size);
}

/// The body after the chunk header, reading at most `limit` bytes (-1: unknown).
Animation* ReadBody(Stream* stream, int64_t limit)
{
    int32_t head[5];
    const int64_t at = StreamGetPosition(stream);
    if (StreamReadInt32(stream, head, sizeof(head)) == nullptr || head[0] != kAnimationStreamVersion) {
        return nullptr;
    }
    const int32_t typeId = head[1];
    const int32_t keyCount = head[2];
    float duration;
    std::memcpy(&duration, &head[4], sizeof(duration));
    if (!StreamCheckFinite(&duration, 1, at < 0 ? -1 : at + 16)) {
        return nullptr;
    }
    const AnimScheme* scheme = AnimSchemeGet(typeId);
    if (scheme == nullptr) {
        return nullptr;
    }
    // The keys' stream size from the head alone, checked against the data
    // before the keys are allocated.
    Animation probe = {scheme, keyCount, 0, duration, nullptr, nullptr};
    const int32_t keyBytes = keyCount >= 0 ? scheme->streamGetSize(&probe) : -1;
    if (keyBytes < 0 || (limit >= 0 && kBodyHeadBytes + static_cast<int64_t>(keyBytes) > limit)) {
        ErrorRaise(0, kErrorRead);
        return nullptr;
    }
    Animation* animation = AnimationCreate(typeId, keyCount, static_cast<uint32_t>(head[3]), duration);
    if (animation == nullptr) {
        return nullptr;
    }
    if (scheme->streamRead(stream, animation) == nullptr) {
        AnimationDestroy(animation);
        return nullptr;
    }
    if (!AnimationKeysAreOrdered(animation)) {
        ErrorRaise(0, kErrorRead);
        AnimationDestroy(animation);
        return nullptr;
    }
    return animation;
}

} // namespace

bool AnimToolkitAttach()
{
    return EngineAttachPlugin(0, kPluginIdAnimToolkit, ToolkitOpen, ToolkitClose) >= 0;
}

int32_t AnimSchemeRegister(const AnimScheme* scheme)
{
    if (scheme == nullptr) {
        ErrorRaise(0, kErrorNullArgument);
        return 0;
    }
    if (gSchemes.count == kAnimSchemeRegistrySize) {
        ErrorRaise(kPluginIdAnimToolkit, kErrorAnimRegistryFull);
        return 0;
    }
    if (FindScheme(scheme->typeId) != nullptr) {
        ErrorRaise(kPluginIdAnimToolkit, kErrorAnimSchemeDuplicate);
        return 0;
    }
    gSchemes.schemes[gSchemes.count++] = *scheme;
    return 1;
}

const AnimScheme* AnimSchemeGet(int32_t typeId)
{
    const AnimScheme* scheme = FindScheme(typeId);
    if (scheme == nullptr) {
        ErrorRaise(kPluginIdAnimToolkit, kErrorAnimUnknownScheme);
    }
    return scheme;
}

Animation* AnimationCreate(int32_t typeId, int32_t keyCount, uint32_t flags, float duration)
{
    const AnimScheme* scheme = AnimSchemeGet(typeId);
    if (scheme == nullptr) {
        return nullptr;
    }
    if (keyCount < 0) {
        ErrorRaise(0, kErrorBadArgument);
        return nullptr;
    }
    const size_t keyBytes = static_cast<size_t>(keyCount) * static_cast<size_t>(scheme->keySize);
    const size_t customBytes = scheme->customDataSize > 0 ? static_cast<size_t>(scheme->customDataSize) : 0;
    const size_t bytes = sizeof(Animation) + keyBytes + customBytes;
    auto* animation = static_cast<Animation*>(MemoryAllocate(bytes, kHintAnimation));
    if (animation == nullptr) {
        ErrorRaise(0, ErrorCode(kErrorOutOfMemory, bytes));
        return nullptr;
    }
    auto* block = reinterpret_cast<uint8_t*>(animation);
    animation->scheme = scheme;
    animation->keyCount = keyCount;
    animation->flags = flags;
    animation->duration = duration;
    animation->keys = block + sizeof(Animation);
    animation->customData = customBytes > 0 ? block + sizeof(Animation) + keyBytes : nullptr;
    return animation;
}

int32_t AnimationDestroy(Animation* animation)
{
    MemoryFree(animation);
    return 1;
}

void* AnimationGetKey(const Animation* animation, int32_t i)
{
    return static_cast<uint8_t*>(animation->keys) + static_cast<size_t>(i) * animation->scheme->keySize;
}

int32_t AnimationCountNodes(const Animation* animation)
{
    if (animation->keyCount < 1) {
        return 0;
    }
    const AnimKeyHeader* first = Key(animation, 0);
    for (int32_t i = 0; i < animation->keyCount; ++i) {
        if (Key(animation, i)->previous == first) {
            return i;
        }
    }
    return 0;
}

bool AnimationKeysAreOrdered(const Animation* animation)
{
    const int32_t nodes = AnimationCountNodes(animation);
    const int32_t count = animation->keyCount;
    if (nodes < 1 || count / 2 < nodes) {
        return false;
    }
    // followed[k]: some key follows key k.
    auto* followed = static_cast<uint8_t*>(
        MemoryAllocateZeroed(static_cast<size_t>(count), 1, kMemoryHintScratch | kChunkAnimation));
    if (followed == nullptr) {
        ErrorRaise(0, ErrorCode(kErrorOutOfMemory, count));
        return false;
    }
    bool ordered = true;
    for (int32_t i = nodes; ordered && i < count; ++i) {
        const int32_t previous = KeyIndex(animation, Key(animation, i)->previous);
        const bool placed = i < 2 * nodes ? previous == i - nodes : previous >= nodes && previous < i;
        ordered = placed && followed[previous] == 0;
        if (ordered) {
            followed[previous] = 1;
        }
    }
    for (int32_t i = 0; ordered && i < count; ++i) {
        ordered = followed[i] != 0 || Key(animation, i)->time == animation->duration;
    }
    MemoryFree(followed);
    return ordered;
}

int32_t AnimationMakeRelative(Animation* animation, int32_t nodeCount, float time)
{
    AnimInterpolator* player = AnimInterpolatorCreate(nodeCount, animation->scheme->interpKeySize);
    if (player == nullptr) {
        return 0;
    }
    if (AnimInterpolatorSetCurrentAnim(player, animation) == nullptr) {
        AnimInterpolatorDestroy(player);
        return 0;
    }
    AnimInterpolatorSetCurrentTime(player, time);
    for (int32_t node = 0; node < nodeCount; ++node) {
        void* reference = AnimInterpolatorGetInterpKey(player, node);
        // Follow the node's chain forward: the next key is the first later
        // key whose previous key is the current one.
        int32_t current = node;
        while (current >= 0) {
            AnimKeyHeader* key = Key(animation, current);
            animation->scheme->makeRelative(key, reference);
            if (key->time == animation->duration) {
                break;
            }
            int32_t next = -1;
            for (int32_t i = current + 1; i < animation->keyCount && next < 0; ++i) {
                if (Key(animation, i)->previous == key) {
                    next = i;
                }
            }
            current = next;
        }
    }
    AnimInterpolatorDestroy(player);
    return 1;
}

int32_t AnimationStreamGetSize(const Animation* animation)
{
    return kBodyHeadBytes + animation->scheme->streamGetSize(animation);
}

const Animation* AnimationStreamWrite(const Animation* animation, Stream* stream)
{
    int32_t head[5] = {kAnimationStreamVersion, animation->scheme->typeId, animation->keyCount,
                       static_cast<int32_t>(animation->flags), 0};
    std::memcpy(&head[4], &animation->duration, sizeof(float));
    const bool ok =
        ChunkHeaderWriteCurrent(stream, kChunkAnimation,
                                static_cast<uint32_t>(AnimationStreamGetSize(animation))) != nullptr &&
        StreamWriteInt32(stream, head, sizeof(head)) != nullptr &&
        animation->scheme->streamWrite(animation, stream);
    return ok ? animation : nullptr;
}

Animation* AnimationStreamRead(Stream* stream)
{
    return ReadBody(stream, StreamGetRemaining(stream));
}

Animation* AnimationReadFile(const char* path)
{
    return ChunkFileRead(path, kChunkAnimation, ReadBody);
}

int32_t AnimationWriteFile(const Animation* animation, const char* path)
{
    return ChunkFileWrite(path, animation, AnimationStreamWrite);
}
