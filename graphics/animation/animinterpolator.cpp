#include "graphics/animation/animinterpolator.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "graphics/animation/animationids.h"
#include "graphics/core/error.h"
#include "graphics/core/memory.h"

namespace {

constexpr uint32_t kHintInterpolator = kMemoryHintObject | kChunkAnimation;

AnimInterpKeyHeader* Node(const AnimInterpolator* interpolator, int32_t i)
{
    return static_cast<AnimInterpKeyHeader*>(AnimInterpolatorGetInterpKey(interpolator, i));
}

AnimKeyHeader* Key(const Animation* animation, int32_t i)
{
    return static_cast<AnimKeyHeader*>(AnimationGetKey(animation, i));
}

/// Back to time 0: every node between its first and second keys.
void Restart(AnimInterpolator* interpolator)
{
    const Animation* animation = interpolator->currentAnim;
    const int32_t count = interpolator->nodeCount;
    for (int32_t i = 0; i < count; ++i) {
        AnimKeyHeader* a = Key(animation, i);
        AnimKeyHeader* b = Key(animation, count + i);
        interpolator->interpolate(Node(interpolator, i), a, b, 0.0f, animation->customData);
        Node(interpolator, i)->keyA = a;
        Node(interpolator, i)->keyB = b;
    }
    interpolator->currentTime = 0.0f;
    interpolator->nextKey = AnimationGetKey(animation, 2 * count);
}

/// Reaches every key whose previous key's time is at or before the current
/// time, then interpolates every node. The node whose key B is a new key's
/// previous key is searched cyclically from the last node found; a key that
/// no node is waiting for ends the advance (only keys built in code can be
/// out of order: read animations are checked).
void Advance(AnimInterpolator* interpolator)
{
    const Animation* animation = interpolator->currentAnim;
    const float time = interpolator->currentTime;
    const int32_t count = interpolator->nodeCount;
    auto* const end = static_cast<uint8_t*>(AnimationGetKey(animation, animation->keyCount));
    int32_t search = 0;
    while (static_cast<uint8_t*>(interpolator->nextKey) < end) {
        auto* next = static_cast<AnimKeyHeader*>(interpolator->nextKey);
        const AnimKeyHeader* previous = next->previous;
        if (previous == nullptr || previous->time > time) {
            break;
        }
        int32_t found = -1;
        for (int32_t step = 0; step < count && found < 0; ++step) {
            const int32_t node = (search + step) % count;
            if (Node(interpolator, node)->keyB == previous) {
                found = node;
            }
        }
        if (found < 0) {
            break;
        }
        AnimInterpKeyHeader* node = Node(interpolator, found);
        node->keyA = node->keyB;
        node->keyB = next;
        search = found;
        interpolator->nextKey = reinterpret_cast<uint8_t*>(next) + interpolator->keySize;
    }
    for (int32_t i = 0; i < count; ++i) {
        AnimInterpKeyHeader* node = Node(interpolator, i);
        interpolator->interpolate(node, node->keyA, node->keyB, time, animation->customData);
    }
}

void RunCallbacks(AnimInterpolator* interpolator, bool fire, bool wrapped)
{
    if (fire && interpolator->timeCallback != nullptr &&
        interpolator->timeCallback(interpolator, interpolator->timeCallbackData) == nullptr) {
        interpolator->timeCallback = nullptr;
    }
    if (wrapped && interpolator->endCallback != nullptr &&
        interpolator->endCallback(interpolator, interpolator->endCallbackData) == nullptr) {
        interpolator->endCallback = nullptr;
    }
}

bool CanMove(const AnimInterpolator* interpolator, float dt)
{
    return interpolator->currentAnim != nullptr && dt > 0.0f && std::isfinite(dt);
}

void CopyNode(AnimInterpolator* out, int32_t i, const AnimInterpolator* in, int32_t j)
{
    std::memcpy(Node(out, i), Node(in, j), static_cast<size_t>(out->currentInterpKeySize));
}

AnimInterpolator* Allocate(int32_t nodeCount, int32_t maxInterpKeySize)
{
    if (nodeCount < 1 || maxInterpKeySize < static_cast<int32_t>(sizeof(AnimInterpKeyHeader))) {
        ErrorRaise(0, kErrorBadArgument);
        return nullptr;
    }
    // Interpolated keys begin with pointers: the room per node keeps them aligned.
    constexpr int32_t kAlign = alignof(AnimInterpKeyHeader);
    if (maxInterpKeySize > INT32_MAX - kAlign) {
        ErrorRaise(0, kErrorBadArgument);
        return nullptr;
    }
    maxInterpKeySize = (maxInterpKeySize + kAlign - 1) / kAlign * kAlign;
    const size_t bytes =
        sizeof(AnimInterpolator) + static_cast<size_t>(nodeCount) * static_cast<size_t>(maxInterpKeySize);
    auto* interpolator = static_cast<AnimInterpolator*>(MemoryAllocateZeroed(1, bytes, kHintInterpolator));
    if (interpolator == nullptr) {
        ErrorRaise(0, ErrorCode(kErrorOutOfMemory, bytes));
        return nullptr;
    }
    interpolator->timeCallbackTime = -1.0f;
    interpolator->maxInterpKeySize = maxInterpKeySize;
    interpolator->currentInterpKeySize = maxInterpKeySize;
    interpolator->keySize = -1;
    interpolator->nodeCount = nodeCount;
    interpolator->parent = interpolator;
    return interpolator;
}

} // namespace

AnimInterpolator* AnimInterpolatorCreate(int32_t nodeCount, int32_t maxInterpKeySize)
{
    return Allocate(nodeCount, maxInterpKeySize);
}

int32_t AnimInterpolatorDestroy(AnimInterpolator* interpolator)
{
    MemoryFree(interpolator);
    return 1;
}

AnimInterpolator* AnimInterpolatorCreateSub(AnimInterpolator* parent, int32_t firstNode, int32_t nodeCount,
                                            int32_t maxInterpKeySize)
{
    if (parent == nullptr || firstNode < 0 || nodeCount < 1 || nodeCount > parent->nodeCount - firstNode) {
        ErrorRaise(0, kErrorBadArgument);
        return nullptr;
    }
    AnimInterpolator* sub =
        Allocate(nodeCount, maxInterpKeySize == -1 ? parent->maxInterpKeySize : maxInterpKeySize);
    if (sub == nullptr) {
        return nullptr;
    }
    sub->isSubInterpolator = 1;
    sub->firstNode = firstNode;
    sub->parent = parent;
    sub->currentInterpKeySize = std::min(parent->currentInterpKeySize, sub->maxInterpKeySize);
    sub->keyToMatrix = parent->keyToMatrix;
    sub->blend = parent->blend;
    sub->interpolate = parent->interpolate;
    sub->add = parent->add;
    return sub;
}

void* AnimInterpolatorGetInterpKey(const AnimInterpolator* interpolator, int32_t i)
{
    auto* base =
        reinterpret_cast<uint8_t*>(const_cast<AnimInterpolator*>(interpolator)) + sizeof(AnimInterpolator);
    return base + static_cast<size_t>(i) * static_cast<size_t>(interpolator->currentInterpKeySize);
}

AnimInterpolator* AnimInterpolatorSetCurrentAnim(AnimInterpolator* interpolator, Animation* animation)
{
    if (interpolator == nullptr || animation == nullptr) {
        ErrorRaise(0, kErrorNullArgument);
        return nullptr;
    }
    // The player reads keys i and count + i of every node: the animation must
    // have them, and its interpolated keys must fit the player's room.
    const AnimScheme* scheme = animation->scheme;
    if (AnimationCountNodes(animation) < interpolator->nodeCount ||
        animation->keyCount / 2 < interpolator->nodeCount ||
        scheme->interpKeySize > interpolator->maxInterpKeySize) {
        ErrorRaise(0, ErrorCode(kErrorBadArgument, "animation does not fit the interpolator"));
        return nullptr;
    }
    interpolator->currentAnim = animation;
    interpolator->currentInterpKeySize = scheme->interpKeySize;
    interpolator->keySize = scheme->keySize;
    interpolator->keyToMatrix = scheme->keyToMatrix;
    interpolator->blend = scheme->blend;
    interpolator->interpolate = scheme->interpolate;
    interpolator->add = scheme->add;
    Restart(interpolator);
    return interpolator;
}

AnimInterpolator* AnimInterpolatorSetSchemeCallbacks(AnimInterpolator* interpolator, int32_t typeId)
{
    const AnimScheme* scheme = AnimSchemeGet(typeId);
    if (scheme == nullptr) {
        return nullptr;
    }
    interpolator->keyToMatrix = scheme->keyToMatrix;
    interpolator->blend = scheme->blend;
    interpolator->interpolate = scheme->interpolate;
    interpolator->add = scheme->add;
    return interpolator;
}

AnimInterpolator* AnimInterpolatorSetTimeCallback(AnimInterpolator* interpolator, AnimCallback callback,
                                                  float time, void* data)
{
    interpolator->timeCallback = callback;
    interpolator->timeCallbackTime = time;
    interpolator->timeCallbackData = data;
    return interpolator;
}

AnimInterpolator* AnimInterpolatorSetEndCallback(AnimInterpolator* interpolator, AnimCallback callback,
                                                 void* data)
{
    interpolator->endCallback = callback;
    interpolator->endCallbackData = data;
    return interpolator;
}

int32_t AnimInterpolatorAddTime(AnimInterpolator* interpolator, float dt)
{
    if (!CanMove(interpolator, dt)) {
        return 1;
    }
    const float callbackTime = interpolator->timeCallbackTime;
    const float duration = interpolator->currentAnim->duration;
    float time = interpolator->currentTime;
    bool fire = time < callbackTime && time + dt >= callbackTime;
    time += dt;
    bool wrapped = false;
    if (time > duration) {
        // Wrapped into (0, duration] by one remainder, however many turns dt
        // spans; an animation without duration stays at time 0.
        if (duration > 0.0f) {
            time -= duration;
            fire = fire || time >= callbackTime;
            if (time > duration) {
                time = std::fmod(time, duration);
                time = time == 0.0f ? duration : time;
            }
        } else {
            time = 0.0f;
        }
        Restart(interpolator);
        interpolator->currentTime = time;
        wrapped = true;
    }
    if (interpolator->nextKey == nullptr) {
        Restart(interpolator);
        interpolator->currentTime = time;
    }
    interpolator->currentTime = time;
    Advance(interpolator);
    RunCallbacks(interpolator, fire, wrapped);
    return 1;
}

int32_t AnimInterpolatorSubTime(AnimInterpolator* interpolator, float dt)
{
    if (!CanMove(interpolator, dt)) {
        return 1;
    }
    const float callbackTime = interpolator->timeCallbackTime;
    const float duration = interpolator->currentAnim->duration;
    float time = interpolator->currentTime;
    bool fire = time > callbackTime && time - dt <= callbackTime;
    time -= dt;
    bool wrapped = false;
    if (time < 0.0f) {
        if (duration > 0.0f) {
            time = std::fmod(time, duration);
            time = time < 0.0f ? time + duration : 0.0f;
        } else {
            time = 0.0f;
        }
        // From the first keys forward to the wrapped time.
        Restart(interpolator);
        interpolator->currentTime = time;
        Advance(interpolator);
        fire = fire || time < callbackTime;
        wrapped = true;
    } else {
        // Step each node's bracketing keys back; the next forward step
        // rebuilds them from the first keys.
        interpolator->currentTime = time;
        const Animation* animation = interpolator->currentAnim;
        for (int32_t i = 0; i < interpolator->nodeCount; ++i) {
            AnimInterpKeyHeader* node = Node(interpolator, i);
            while (time < node->keyA->time && node->keyA->previous != nullptr) {
                node->keyB = node->keyA;
                node->keyA = node->keyA->previous;
            }
            interpolator->interpolate(node, node->keyA, node->keyB, time, animation->customData);
        }
        interpolator->nextKey = nullptr;
    }
    RunCallbacks(interpolator, fire, wrapped);
    return 1;
}

int32_t AnimInterpolatorSetCurrentTime(AnimInterpolator* interpolator, float t)
{
    const float d = t - interpolator->currentTime;
    if (d > 0.0f) {
        return AnimInterpolatorAddTime(interpolator, d);
    }
    if (d < 0.0f) {
        return AnimInterpolatorSubTime(interpolator, -d);
    }
    return 1;
}

int32_t AnimInterpolatorCopy(AnimInterpolator* out, const AnimInterpolator* in)
{
    if (out->currentInterpKeySize != in->currentInterpKeySize) {
        ErrorRaise(0, kErrorBadArgument);
        return 0;
    }
    const int32_t count = std::min(out->nodeCount, in->nodeCount);
    std::memcpy(Node(out, 0), Node(in, 0),
                static_cast<size_t>(count) * static_cast<size_t>(out->currentInterpKeySize));
    return 1;
}

int32_t AnimInterpolatorBlend(AnimInterpolator* out, AnimInterpolator* in1, AnimInterpolator* in2,
                              float factor)
{
    const int32_t count = std::min({out->nodeCount, in1->nodeCount, in2->nodeCount});
    for (int32_t i = 0; i < count; ++i) {
        out->blend(Node(out, i), Node(in1, i), Node(in2, i), factor);
    }
    return 1;
}

int32_t AnimInterpolatorAdd(AnimInterpolator* out, AnimInterpolator* in1, AnimInterpolator* in2)
{
    const int32_t count = std::min({out->nodeCount, in1->nodeCount, in2->nodeCount});
    for (int32_t i = 0; i < count; ++i) {
        out->add(Node(out, i), Node(in1, i), Node(in2, i));
    }
    return 1;
}

int32_t AnimInterpolatorBlendSub(AnimInterpolator* out, AnimInterpolator* in1, AnimInterpolator* in2,
                                 float factor)
{
    if (out->isSubInterpolator) {
        // Node i of the parent is node i - first of each sub-interpolator.
        for (int32_t k = 0; k < out->nodeCount; ++k) {
            const int32_t i = out->firstNode + k;
            const int32_t a = i - in1->firstNode;
            const int32_t b = i - in2->firstNode;
            if (a >= 0 && a < in1->nodeCount && b >= 0 && b < in2->nodeCount) {
                out->blend(Node(out, k), Node(in1, a), Node(in2, b), factor);
            }
        }
        return 1;
    }
    // One input covers a run of out's nodes; the rest come from the other.
    const bool firstIsSub = in1->isSubInterpolator != 0;
    AnimInterpolator* sub = firstIsSub ? in1 : in2;
    AnimInterpolator* full = firstIsSub ? in2 : in1;
    const int32_t count = std::min(out->nodeCount, full->nodeCount);
    for (int32_t i = 0; i < count; ++i) {
        const int32_t k = i - sub->firstNode;
        if (k < 0 || k >= sub->nodeCount) {
            CopyNode(out, i, full, i);
        } else if (firstIsSub) {
            out->blend(Node(out, i), Node(sub, k), Node(full, i), factor);
        } else {
            out->blend(Node(out, i), Node(full, i), Node(sub, k), factor);
        }
    }
    return 1;
}

int32_t AnimInterpolatorAddSub(AnimInterpolator* out, AnimInterpolator* main, AnimInterpolator* sub)
{
    const int32_t start = out->isSubInterpolator ? 0 : sub->firstNode;
    for (int32_t i = 0; i < sub->nodeCount; ++i) {
        const int32_t o = start + i;
        const int32_t m = sub->firstNode + i;
        if (o < out->nodeCount && m < main->nodeCount) {
            out->add(Node(out, o), Node(main, m), Node(sub, i));
        }
    }
    return 1;
}
