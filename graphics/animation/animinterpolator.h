#pragma once
// The keyframe player: plays an Animation for its nodes, keeping per node the
// two keys that bracket the current time and the interpolated result (one
// interpolated key per node, right behind the record). Time moves forwards
// and backwards, wraps at the duration, and can fire a callback at a chosen
// time and at every wrap. Sub-interpolators play a run of a parent's nodes
// for blending and adding. Needs the keyframe toolkit (animation.h).

#include <cstdint>

#include "graphics/animation/animation.h"

struct AnimInterpolator;

/// Time and end callbacks: a null result clears the callback.
using AnimCallback = AnimInterpolator* (*)(AnimInterpolator* interpolator, void* data);

struct AnimInterpolator
{
    Animation* currentAnim;
    float currentTime; ///< seconds
    void* nextKey;     ///< the next key to reach; null: rebuilt before the next advance
    AnimCallback timeCallback;
    void* timeCallbackData;
    float timeCallbackTime; ///< -1 at creation
    AnimCallback endCallback;
    void* endCallbackData;
    int32_t maxInterpKeySize;     ///< bytes per node, fixed at creation
    int32_t currentInterpKeySize; ///< the node stride of the current scheme
    int32_t keySize;              ///< bytes of the current scheme's keys; -1 at creation
    int32_t nodeCount;
    int32_t isSubInterpolator; ///< 1 for a sub-interpolator
    int32_t firstNode;         ///< a sub-interpolator's first node in its parent
    AnimInterpolator* parent;  ///< itself when not a sub-interpolator
    AnimKeyToMatrixFunc keyToMatrix;
    AnimKeyBlendFunc blend;
    AnimKeyInterpolateFunc interpolate;
    AnimKeyAddFunc add;
    // nodeCount interpolated keys of maxInterpKeySize bytes follow.
};

/// A player for `nodeCount` nodes (>= 1) with room for interpolated keys of
/// `maxInterpKeySize` bytes (rounded up to pointer alignment); null with
/// 0x80000003 or 0x80000013.
AnimInterpolator* AnimInterpolatorCreate(int32_t nodeCount, int32_t maxInterpKeySize);
/// Frees the player; 1.
int32_t AnimInterpolatorDestroy(AnimInterpolator* interpolator);
/// A player over nodes first..first+count-1 of `parent`, with keys of
/// `maxInterpKeySize` bytes (-1: the parent's); null with 0x80000003 when
/// the run lies outside the parent.
AnimInterpolator* AnimInterpolatorCreateSub(AnimInterpolator* parent, int32_t firstNode, int32_t nodeCount,
                                            int32_t maxInterpKeySize);
/// The interpolated key of node i (at the current stride).
void* AnimInterpolatorGetInterpKey(const AnimInterpolator* interpolator, int32_t i);

/// Plays `animation` from time 0. Null with 0x80000003 when it has fewer
/// nodes than the player, fewer than 2 keys per node, or interpolated keys
/// larger than the player's room.
AnimInterpolator* AnimInterpolatorSetCurrentAnim(AnimInterpolator* interpolator, Animation* animation);
/// Copies the key-to-matrix, blend, interpolate and add callbacks of a
/// registered scheme; null with {0x1B7, 2}.
AnimInterpolator* AnimInterpolatorSetSchemeCallbacks(AnimInterpolator* interpolator, int32_t typeId);
/// Calls `callback` whenever the time passes `time` (seconds) in either direction.
AnimInterpolator* AnimInterpolatorSetTimeCallback(AnimInterpolator* interpolator, AnimCallback callback,
                                                  float time, void* data);
/// Calls `callback` once per time step that wraps past the end (or start).
AnimInterpolator* AnimInterpolatorSetEndCallback(AnimInterpolator* interpolator, AnimCallback callback,
                                                 void* data);

/// Moves the time forward by dt seconds, wrapping at the duration (a
/// duration <= 0 holds time 0). dt <= 0 or not finite does nothing; 1.
int32_t AnimInterpolatorAddTime(AnimInterpolator* interpolator, float dt);
/// Moves the time back by dt seconds, wrapping below 0; dt <= 0 or not
/// finite does nothing; 1.
int32_t AnimInterpolatorSubTime(AnimInterpolator* interpolator, float dt);
/// Moves the time to t seconds, forwards or backwards; 1.
int32_t AnimInterpolatorSetCurrentTime(AnimInterpolator* interpolator, float t);

/// Copies the interpolated keys of `in` into `out` (the smaller node count;
/// both at the same stride). 1, or 0 with 0x80000003 when the strides differ.
int32_t AnimInterpolatorCopy(AnimInterpolator* out, const AnimInterpolator* in);
/// out = blend(in1, in2, factor) node by node through out's blend callback; 1.
int32_t AnimInterpolatorBlend(AnimInterpolator* out, AnimInterpolator* in1, AnimInterpolator* in2,
                              float factor);
/// out = add(in1, in2) node by node through out's add callback; 1.
int32_t AnimInterpolatorAdd(AnimInterpolator* out, AnimInterpolator* in1, AnimInterpolator* in2);
/// Blend where out, in1 or in2 is a sub-interpolator: the nodes outside the
/// sub-interpolator's run are copied from the full one; 1.
int32_t AnimInterpolatorBlendSub(AnimInterpolator* out, AnimInterpolator* in1, AnimInterpolator* in2,
                                 float factor);
/// Adds a sub-interpolator's nodes onto the matching nodes of `main`; 1.
int32_t AnimInterpolatorAddSub(AnimInterpolator* out, AnimInterpolator* main, AnimInterpolator* sub);
