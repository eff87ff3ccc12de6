#pragma once
// A started engine with the keyframe toolkit and a one-float test scheme
// (type 100): keys hold one value, interpolation is linear, and the stream
// form is time, value and the previous key's index (-1: none).

#include <vector>

#include "graphics/animation/animation.h"
#include "graphics/animation/animinterpolator.h"
#include "graphics/core/chunk.h"
#include "graphics/core/stream.h"
#include "graphics/core/tests/mathstesting.h"

constexpr int32_t kFloatSchemeId = 100;

struct FloatKey
{
    AnimKeyHeader header;
    float value;
};

struct FloatInterpKey
{
    AnimInterpKeyHeader header;
    float value;
};

inline void FloatInterpolate(void* out, void* keyA, void* keyB, float time, void*)
{
    const auto* a = static_cast<const FloatKey*>(keyA);
    const auto* b = static_cast<const FloatKey*>(keyB);
    const float span = b->header.time - a->header.time;
    const float u = span != 0.0f ? (time - a->header.time) / span : 0.0f;
    static_cast<FloatInterpKey*>(out)->value = a->value + (b->value - a->value) * u;
}

inline void FloatBlend(void* out, void* in1, void* in2, float f)
{
    const float a = static_cast<FloatInterpKey*>(in1)->value;
    const float b = static_cast<FloatInterpKey*>(in2)->value;
    static_cast<FloatInterpKey*>(out)->value = a + (b - a) * f;
}

inline void FloatAdd(void* out, void* in1, void* in2)
{
    static_cast<FloatInterpKey*>(out)->value =
        static_cast<FloatInterpKey*>(in1)->value + static_cast<FloatInterpKey*>(in2)->value;
}

inline void FloatMakeRelative(void* key, void* reference)
{
    static_cast<FloatKey*>(key)->value -= static_cast<FloatInterpKey*>(reference)->value;
}

inline Animation* FloatStreamRead(Stream* stream, Animation* animation)
{
    auto* keys = static_cast<FloatKey*>(animation->keys);
    for (int32_t i = 0; i < animation->keyCount; ++i) {
        float values[2];
        int32_t previous;
        if (!StreamReadReal(stream, values, sizeof(values)) || !StreamReadInt32(stream, &previous, 4) ||
            previous >= i || previous < -1) {
            return nullptr;
        }
        keys[i] = {{previous < 0 ? nullptr : &keys[previous].header, values[0]}, values[1]};
    }
    return animation;
}

inline bool FloatStreamWrite(const Animation* animation, Stream* stream)
{
    const auto* keys = static_cast<const FloatKey*>(animation->keys);
    for (int32_t i = 0; i < animation->keyCount; ++i) {
        const float values[2] = {keys[i].header.time, keys[i].value};
        const auto* previous = reinterpret_cast<const FloatKey*>(keys[i].header.previous);
        const int32_t index = previous ? static_cast<int32_t>(previous - keys) : -1;
        if (!StreamWriteReal(stream, values, sizeof(values)) || !StreamWriteInt32(stream, &index, 4)) {
            return false;
        }
    }
    return true;
}

inline int32_t FloatStreamGetSize(const Animation* animation)
{
    return animation->keyCount * 12;
}

inline AnimScheme FloatScheme(int32_t typeId = kFloatSchemeId)
{
    return {typeId,          sizeof(FloatInterpKey), sizeof(FloatKey),   nullptr,
            FloatBlend,      FloatInterpolate,       FloatAdd,           FloatMakeRelative,
            FloatStreamRead, FloatStreamWrite,       FloatStreamGetSize, 0};
}

/// One key: its node's previous key by index (-1: none), time and value.
struct KeySpec
{
    int32_t previous;
    float time;
    float value;
};

class AnimTest : public StartedEngineTest
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(EngineTestInit());
        ASSERT_TRUE(AnimToolkitAttach());
        ASSERT_TRUE(EngineTestOpen() && EngineStart());
        const AnimScheme scheme = FloatScheme();
        ASSERT_EQ(AnimSchemeRegister(&scheme), 1);
        TakeError();
    }

    static Animation* Make(const std::vector<KeySpec>& specs, float duration)
    {
        Animation* animation =
            AnimationCreate(kFloatSchemeId, static_cast<int32_t>(specs.size()), 0, duration);
        auto* keys = static_cast<FloatKey*>(animation->keys);
        for (size_t i = 0; i < specs.size(); ++i) {
            keys[i] = {{specs[i].previous < 0 ? nullptr : &keys[specs[i].previous].header, specs[i].time},
                       specs[i].value};
        }
        return animation;
    }

    /// Two nodes over 2 s: node 0 through 0, 10, 20 at 0, 1, 2 s; node 1
    /// through 100, 150, 300 at 0, 0.5, 2 s.
    static Animation* TwoNodes()
    {
        return Make({{-1, 0, 0}, {-1, 0, 100}, {0, 1, 10}, {1, 0.5f, 150}, {3, 2, 300}, {2, 2, 20}}, 2.0f);
    }

    static float Value(const AnimInterpolator* player, int32_t node)
    {
        return static_cast<const FloatInterpKey*>(AnimInterpolatorGetInterpKey(player, node))->value;
    }
};
