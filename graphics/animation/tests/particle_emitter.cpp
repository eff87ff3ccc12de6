// Particle emitters: flag normalisation, the data layout, locking and the
// render hook's use of the callbacks.

#include "graphics/animation/tests/particletesting.h"

namespace {

class Emitters : public ParticleTest
{
};

int gUpdates = 0;
int gPrepares = 0;
int gRenders = 0;
int32_t gLastLive = -1;
uint32_t gLastChanged = 0;
int32_t gPrepareAnswer = 0;

int32_t CountUpdate(Atomic*, const ParticleArray*, int32_t live, uint32_t changed)
{
    ++gUpdates;
    gLastLive = live;
    gLastChanged = changed;
    return 1;
}

int32_t CountPrepare(Atomic*, const ParticleArray*, int32_t)
{
    ++gPrepares;
    return gPrepareAnswer;
}

Atomic* CountRender(Atomic* atomic)
{
    ++gRenders;
    return atomic;
}

/// The built-in build with the counting update and prepare, and the
/// atomic's own render callback counted too.
Atomic* CountingEmitter(int32_t maximum, uint32_t flags)
{
    ParticleCallBacks callBacks = ParticleBuiltInCallBacks();
    callBacks.update = CountUpdate;
    callBacks.prepare = CountPrepare;
    Atomic* atomic = ParticleAtomicCreate(maximum, flags, 0, &callBacks);
    if (atomic) {
        ParticleAtomicGetEmitter(atomic)->savedRender = CountRender;
    }
    gUpdates = gPrepares = gRenders = 0;
    gLastLive = -1;
    gPrepareAnswer = 0;
    return atomic;
}

} // namespace

TEST_F(Emitters, FlagsAreNormalised)
{
    const struct
    {
        uint32_t given, normalised;
    } cases[] = {
        {0, 1 | 0x10000000},
        {8 | 1 | 4 | 0x8000, 8 | 0x10000000},
        {32 | 0x20000, 32 | 1 | 0x10000000},
        {64 | 0x40000 | 128 | 0x80000 | 256 | 0x100000 | 1, 64 | 128 | 256 | 1 | 0x10000000},
        {0x80000 | 0x20000000, 0x80000 | 1 | 0x20000000},
        {2 | 0x10000000 | 0x20000000, 2 | 1 | 0x10000000 | 0x20000000},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParticleNormaliseFlags(c.given), c.normalised) << std::hex << c.given;
    }
    Atomic* atomic = ParticleEmitterCreate(4, 0, 0);
    ASSERT_NE(atomic, nullptr);
    EXPECT_EQ(ParticleAtomicGetEmitter(atomic)->flags, 1u | 0x10000000u);
    ParticleAtomicDestroy(atomic);
}

TEST_F(Emitters, SeparateArraysFollowTheSlotOrderAndAreAligned)
{
    Atomic* atomic = ParticleEmitterCreate(5, kParticlePosition | kParticleColour | kParticleSize, 0);
    ASSERT_NE(atomic, nullptr);
    const ParticleEmitter* emitter = ParticleAtomicGetEmitter(atomic);
    EXPECT_TRUE(ParticleAtomicHasEmitter(atomic));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(emitter->data) % 16, 0u);
    EXPECT_EQ(emitter->propertyCount, 3);
    EXPECT_EQ(emitter->strideOverride, 0);
    EXPECT_EQ(emitter->changed, ~0u) << "the first render rebuilds everything";
    ParticleArray position, size, colour;
    ASSERT_EQ(ParticleEmitterLock(atomic, &position, kParticlePosition, 0), 1);
    ASSERT_EQ(ParticleEmitterLock(atomic, &size, kParticleSize, 0), 1);
    ASSERT_EQ(ParticleEmitterLock(atomic, &colour, kParticleColour, 0), 1);
    // Positions, then sizes, then colours, each array of five particles.
    EXPECT_EQ(position.data, emitter->data);
    EXPECT_EQ(position.stride, 12);
    EXPECT_EQ(size.data, emitter->data + 60);
    EXPECT_EQ(size.stride, 8);
    EXPECT_EQ(colour.data, emitter->data + 100);
    EXPECT_EQ(colour.stride, 4);
    EXPECT_EQ(emitter->dirty, 0u) << "a lock without the write bit marks nothing";
    // Emitter-wide defaults.
    EXPECT_EQ(emitter->colours[0][3], 255);
    EXPECT_EQ(emitter->colours[0][0], 0);
    EXPECT_FLOAT_EQ(emitter->size[0], 1.0f);
    EXPECT_FLOAT_EQ(emitter->matrix.right.x, 1.0f);
    ParticleAtomicDestroy(atomic);
}

TEST_F(Emitters, InterleavedRecordsShareOneStride)
{
    Atomic* atomic = ParticleEmitterCreate(3, kParticleColour | kParticleNormal | kParticleInterleaved, 0);
    ASSERT_NE(atomic, nullptr);
    const ParticleEmitter* emitter = ParticleAtomicGetEmitter(atomic);
    // Position 12 + normal 12 + colour 4.
    EXPECT_EQ(emitter->strideOverride, 28);
    ParticleArray position, normal, colour;
    ASSERT_EQ(ParticleEmitterLock(atomic, &position, kParticlePosition, 0), 1);
    ASSERT_EQ(ParticleEmitterLock(atomic, &normal, kParticleNormal, 0), 1);
    ASSERT_EQ(ParticleEmitterLock(atomic, &colour, kParticleColour, 0), 1);
    EXPECT_EQ(position.stride, 28);
    EXPECT_EQ(normal.stride, 28);
    EXPECT_EQ(colour.stride, 28);
    EXPECT_EQ(static_cast<uint8_t*>(normal.data) - static_cast<uint8_t*>(position.data), 12);
    EXPECT_EQ(static_cast<uint8_t*>(colour.data) - static_cast<uint8_t*>(position.data), 24);
    ParticleAtomicDestroy(atomic);
}

TEST_F(Emitters, LockingMarksAndUnlockingHandsOver)
{
    Atomic* atomic = ParticleEmitterCreate(2, kParticlePosition, 0);
    ASSERT_NE(atomic, nullptr);
    ParticleEmitter* emitter = ParticleAtomicGetEmitter(atomic);
    emitter->changed = 0;
    ParticleArray array = {reinterpret_cast<void*>(1), 7};
    EXPECT_EQ(ParticleEmitterLock(atomic, &array, kParticleColour, kParticleLockWrite), 0);
    EXPECT_EQ(array.data, nullptr);
    EXPECT_EQ(array.stride, 0);
    EXPECT_EQ(emitter->dirty, 0u) << "an absent property marks nothing";
    ASSERT_EQ(ParticleEmitterLock(atomic, &array, kParticlePosition, kParticleLockWrite), 1);
    EXPECT_EQ(emitter->dirty, kParticlePosition | kParticleLockWrite);
    ParticleEmitterUnlock(atomic);
    EXPECT_EQ(emitter->changed, kParticlePosition | kParticleLockWrite);
    EXPECT_EQ(emitter->dirty, 0u);
    emitter->changed = 0x5;
    ParticleEmitterUnlock(atomic);
    EXPECT_EQ(emitter->changed, 0x5u) << "a second unlock changes nothing";
    ParticleAtomicDestroy(atomic);
}

TEST_F(Emitters, TheHookRunsUpdateThenPrepareThenTheSavedCallback)
{
    Atomic* atomic = CountingEmitter(8, kParticlePosition);
    ASSERT_NE(atomic, nullptr);
    ParticleEmitter* emitter = ParticleAtomicGetEmitter(atomic);

    emitter->liveParticles = 0;
    atomic->renderCallBack(atomic);
    EXPECT_EQ(gUpdates + gPrepares + gRenders, 0) << "live 0 draws nothing";

    emitter->liveParticles = 3;
    atomic->renderCallBack(atomic);
    EXPECT_EQ(gUpdates, 1);
    EXPECT_EQ(gLastLive, 3);
    EXPECT_EQ(gLastChanged, ~0u);
    EXPECT_EQ(emitter->changed, 0u) << "handed to the update";
    EXPECT_EQ(gPrepares, 1);
    EXPECT_EQ(gRenders, 0) << "prepare answered 0";

    gPrepareAnswer = 1;
    emitter->liveParticles = 1000;
    atomic->renderCallBack(atomic);
    EXPECT_EQ(gLastLive, 8) << "live above the maximum is clamped";
    EXPECT_EQ(gRenders, 1);

    emitter->liveParticles = -5;
    atomic->renderCallBack(atomic);
    EXPECT_EQ(gUpdates, 2) << "a negative count draws nothing";
    ParticleAtomicDestroy(atomic);
}

namespace {

int32_t RefuseBuild(Atomic*, ParticleEmitter*)
{
    return 0;
}

} // namespace

TEST_F(Emitters, CreationFailuresLeaveNothing)
{
    ParticleCallBacks callBacks = ParticleBuiltInCallBacks();
    callBacks.build = RefuseBuild;
    EXPECT_EQ(ParticleAtomicCreate(4, kParticlePosition | kParticleSeparate, 0, &callBacks), nullptr);
    EXPECT_EQ(ParticleEmitterCreate(0, 0, 0), nullptr);
    // Far more than memory holds.
    EXPECT_EQ(ParticleEmitterCreate(0x7FFFFFFF, 0x1FF, 0), nullptr);
    ErrorRecord discard;
    ErrorGet(&discard);
}
