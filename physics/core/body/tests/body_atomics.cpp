// Bodies on atomics: the 0x901 extension, attaching and detaching, the
// write back moving the atomic's frame, and either side destroyed first.
#include <gtest/gtest.h>

#include "graphics/core/frame.h"
#include "graphics/core/tests/enginetesting.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/scenelibrary.h"
#include "physics/core/body/bodyatomic.h"
#include "physics/core/context/context.h"
#include "physics/core/dyn/dyn.h"
#include "physics/core/manager/manager.h"
#include "physics/core/volume/sphere.h"

namespace {

const float kBox[6] = {100, 100, 100, -100, -100, -100};

class BodyAtomic : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(EngineTestInit() && WorldLibraryAttach());
        EXPECT_FALSE(OlpBodyPluginAttached());
        ASSERT_EQ(OlpBodyPluginAttach(), 1);
        ASSERT_EQ(OlpBodyPluginAttach(), 1) << "a second attach changes nothing";
        ASSERT_TRUE(EngineTestOpen() && EngineStart());
        OlpContextParams params;
        OlpContextParamsDefault(&params);
        OlpBodyParamsReserve(&params, 4, 4);
        context_ = OlpContextCreate(&params, 1.0f, kBox);
        ASSERT_NE(context_, nullptr);
        ASSERT_EQ(OlpBodyRegisterType(context_), 1);
        mgr_ = OlpContextGetMgr(context_);
        def_ = OlpBodyDefCreate();
        OlpVolume sphere;
        OlpSphereInit(&sphere, 0.5f);
        OlpPartSetVolume(&def_->part, &sphere);
        OlpVolumeDestroyContents(&sphere);
        def_->part.centre = {0, 0, 1};
        def_->part.mass = 1.0f;
    }

    void TearDown() override
    {
        if (def_ != nullptr) {
            OlpBodyDefRelease(def_);
        }
        if (context_ != nullptr) {
            OlpContextDestroy(context_);
        }
        gOlpBodyType.maxActive = kOlpObjTypeUnlimited;
        gOlpBodyType.activeCount = 0;
        EngineTestShutdown();
    }

    /// An atomic on its own frame at `at`.
    static Atomic* AtomicAt(V3d at)
    {
        Atomic* atomic = AtomicCreate();
        Frame* frame = FrameCreate();
        FrameTranslate(frame, &at, kCombineReplace);
        AtomicSetFrame(atomic, frame);
        return atomic;
    }

    static void DestroyAtomic(Atomic* atomic)
    {
        Frame* frame = AtomicGetFrame(atomic);
        AtomicDestroy(atomic);
        FrameDestroy(frame);
    }

    OlpContext* context_ = nullptr;
    OlpMgr* mgr_ = nullptr;
    OlpBodyDef* def_ = nullptr;
};

TEST_F(BodyAtomic, TheAtomicFollowsItsBody)
{
    Atomic* atomic = AtomicAt({1, 2, 3});
    OlpBody* body = OlpBodyCreate(def_);
    EXPECT_EQ(OlpBodyGetFromAtomic(atomic), nullptr);
    ASSERT_EQ(OlpBodyAttach(atomic, body), atomic);
    EXPECT_EQ(OlpBodyGetFromAtomic(atomic), body);
    EXPECT_EQ(body->atomic, atomic);
    Matrix* modelling = FrameGetMatrix(AtomicGetFrame(atomic));
    EXPECT_EQ(body->base.parts[0].sourceMatrix, modelling);
    ASSERT_EQ(OlpMgrAddObject(mgr_, &body->base, kOlpMgrAnyId, kOlpMgrAddDynamic | kOlpMgrAddActivate), mgr_);
    OlpDyn* dyn = body->base.parts[0].dyn;
    ASSERT_NE(dyn, nullptr);

    // The simulation moves the centre of mass to (10, 20, 30), unturned.
    Matrix* pose = OlpDynGetPose(dyn);
    *pose = {{1, 0, 0}, 0, {0, 1, 0}, 0, {0, 0, 1}, 0, {10, 20, 30}, 0};
    ASSERT_EQ(gOlpBodyType.writeBack(&body->base), 1);
    EXPECT_NEAR(modelling->pos.z + 1.0f, 30.0f, 1e-5f) << "position + R c = the simulated centre";
    const Matrix* world = FrameGetLTM(AtomicGetFrame(atomic));
    EXPECT_NEAR(world->pos.x, 10.0f, 1e-5f);
    EXPECT_NEAR(world->pos.z, 29.0f, 1e-5f);
    const Sphere* sphere = AtomicWorldBoundingSphere(atomic);
    EXPECT_NEAR(sphere->centre.x, 10.0f, 1e-4f) << "the frame was marked changed";

    OlpBodyDestroy(body);
    EXPECT_EQ(OlpBodyGetFromAtomic(atomic), nullptr) << "a destroyed body leaves its atomic";
    DestroyAtomic(atomic);
}

TEST_F(BodyAtomic, ASecondBodyTakesOverAndDestroyingTheAtomicDetaches)
{
    Atomic* atomic = AtomicAt({0, 0, 0});
    Atomic* other = AtomicAt({5, 0, 0});
    OlpBody* first = OlpBodyCreate(def_);
    OlpBody* second = OlpBodyCreate(def_);
    OlpBodyAttach(atomic, first);
    OlpBodyAttach(atomic, second);
    EXPECT_EQ(OlpBodyGetFromAtomic(atomic), second);
    EXPECT_EQ(first->base.parts[0].sourceMatrix, nullptr);
    EXPECT_EQ(first->atomic, nullptr);
    EXPECT_EQ(gOlpBodyType.writeBack(&first->base), 0) << "a displaced body writes nothing";

    // Moving the body to another atomic frees the first one.
    OlpBodyAttach(other, second);
    EXPECT_EQ(OlpBodyGetFromAtomic(atomic), nullptr);
    EXPECT_EQ(OlpBodyGetFromAtomic(other), second);
    EXPECT_EQ(second->base.parts[0].sourceMatrix, FrameGetMatrix(AtomicGetFrame(other)));

    // A clone starts without a body.
    Atomic* clone = AtomicClone(other);
    EXPECT_EQ(OlpBodyGetFromAtomic(clone), nullptr);
    AtomicDestroy(clone);

    DestroyAtomic(other);
    EXPECT_EQ(second->base.parts[0].sourceMatrix, nullptr);
    EXPECT_EQ(second->atomic, nullptr);
    OlpBodyAttach(atomic, nullptr);
    OlpBodyDestroy(first);
    OlpBodyDestroy(second);
    DestroyAtomic(atomic);
}

} // namespace
