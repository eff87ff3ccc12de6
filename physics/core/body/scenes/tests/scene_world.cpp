// Bodies on atomics over the test world as a triangle list: they come to
// rest on the floor and on the ramp with their atomics following, slide
// over the floor's shared edges without catching, and survive their atomics
// being re-attached and destroyed.
#include <gtest/gtest.h>

#include <cmath>

#include "graphics/core/frame.h"
#include "graphics/core/tests/enginetesting.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/collision.h"
#include "graphics/scene/material.h"
#include "graphics/scene/scenelibrary.h"
#include "graphics/scene/world.h"
#include "physics/core/body/bodyatomic.h"
#include "physics/core/body/scenes/testworld.h"
#include "physics/core/dyn/dyn.h"
#include "physics/core/manager/manager.h"
#include "physics/core/pipeline/pipeline.h"
#include "physics/core/utils/vec3.h"
#include "physics/core/volume/box.h"
#include "physics/core/volume/coefficients.h"
#include "physics/core/volume/mass.h"
#include "physics/core/volume/trilist.h"
#include "physics/refpair/refpair.h"

using namespace olp;

namespace {

class SceneWorld : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(EngineTestInit() && WorldLibraryAttach() && CollisionPluginAttach());
        ASSERT_EQ(OlpRefPairRegister(), 1);
        ASSERT_EQ(OlpRefPairRegisterGeometry(), 1);
        ASSERT_EQ(OlpBodyPluginAttach(), 1);
        ASSERT_TRUE(EngineTestOpen() && EngineStart());
        material_ = MaterialCreate();
        world_ = TestWorldBuild(material_);
        ASSERT_NE(world_, nullptr);
        OlpContextParams params;
        OlpContextParamsDefault(&params);
        OlpBodyParamsReserve(&params, 4, 4);
        const float bounds[6] = {100, 100, 100, -100, -100, -100};
        context_ = OlpContextCreate(&params, 1.0f, bounds);
        ASSERT_NE(context_, nullptr);
        OlpBodyRegisterType(context_);
        pipeline_ = OlpContextGetPipeline(context_);
        const float g[3] = {0, -10.0f, 0};
        OlpPipelineSetGravity(pipeline_, g);
        ground_ = OlpTrilistCreate(world_, kOlpTrilistWorld);
        OlpVolumeSetSlide(ground_, 0.8f);
        OlpVolumeSetBounce(ground_, 0.0f);
        OlpContextAddObject(context_, ground_, 0);
        const V3d half = {0.3f, 0.3f, 0.3f};
        def_ = OlpBodyDefCreate();
        OlpVolume box;
        OlpBoxInit(&box, &half);
        OlpVolumeSetSlide(&box, 0.8f);
        OlpVolumeSetBounce(&box, 0.0f);
        OlpPartSetVolume(&def_->part, &box);
        OlpVolumeDestroyContents(&box);
        OlpPartSetMass(&def_->part, 2.0f, 0);
        // The centre of mass off the frame's origin shows where the write back puts it.
        def_->part.centre = {0.0f, 0.1f, 0.0f};
    }

    void TearDown() override
    {
        for (Atomic* atomic : atomics_) {
            Frame* frame = AtomicGetFrame(atomic);
            AtomicDestroy(atomic);
            FrameDestroy(frame);
        }
        for (OlpBody* body : bodies_) {
            OlpBodyDestroy(body);
        }
        if (def_ != nullptr) {
            OlpBodyDefRelease(def_);
        }
        if (context_ != nullptr) {
            OlpContextDestroy(context_);
        }
        if (ground_ != nullptr) {
            OlpVolumeDestroy(ground_);
        }
        if (world_ != nullptr) {
            WorldDestroy(world_);
        }
        MaterialRelease(material_);
        gOlpBodyType.maxActive = kOlpObjTypeUnlimited;
        gOlpBodyType.activeCount = 0;
        EngineTestShutdown();
    }

    /// An atomic whose frame stands at `at` turned `angle` about z.
    Atomic* AddAtomic(V3d at, float angle)
    {
        Matrix m{};
        const float c = std::cos(angle), s = std::sin(angle);
        m.right = {c, s, 0};
        m.up = {-s, c, 0};
        m.at = {0, 0, 1};
        m.pos = at;
        m.flags = kMatrixFlagsOrthonormal;
        Frame* frame = FrameCreate();
        FrameTransform(frame, &m, kCombineReplace);
        Atomic* atomic = AtomicCreate();
        AtomicSetFrame(atomic, frame);
        atomics_.push_back(atomic);
        return atomic;
    }

    /// A box body attached to `atomic`, registered awake and active.
    OlpBody* AddBody(Atomic* atomic)
    {
        OlpBody* body = OlpBodyCreate(def_);
        bodies_.push_back(body);
        OlpBodyAttach(atomic, body);
        OlpMgrAddObject(OlpContextGetMgr(context_), &body->base, kOlpMgrAnyId,
                        kOlpMgrAddAwake | kOlpMgrAddDynamic | kOlpMgrAddActivate);
        return body;
    }

    void Step(int steps)
    {
        for (int n = 0; n < steps; ++n) {
            OlpPipelineStep(pipeline_, 1.0f / 60.0f);
        }
    }

    /// The atomic's frame carries the body's pose less its centre of mass.
    void ExpectAtomicFollows(Atomic* atomic, const OlpBody* body)
    {
        const OlpDyn* dyn = body->base.parts[0].dyn;
        if (dyn == nullptr) {
            return; // at rest and deactivated: nothing moved since the last write back
        }
        const Matrix* ltm = FrameGetLTM(AtomicGetFrame(atomic));
        const V3d c = def_->part.centre;
        const V3d placed = ltm->right * c.x + ltm->up * c.y + ltm->at * c.z + ltm->pos;
        EXPECT_LT(Length(placed - OlpDynGetPose(dyn)->pos), 1e-4f);
    }

    Material* material_ = nullptr;
    World* world_ = nullptr;
    OlpContext* context_ = nullptr;
    OlpPipeline* pipeline_ = nullptr;
    OlpVolume* ground_ = nullptr;
    OlpBodyDef* def_ = nullptr;
    std::vector<Atomic*> atomics_;
    std::vector<OlpBody*> bodies_;
};

} // namespace

TEST_F(SceneWorld, BodiesRestOnTheFloorAndOnTheRampWithTheirAtomics)
{
    const float slope = std::atan2(kTestWorldRampRise, kTestWorldRampRun);
    const V3d rampMid = kTestWorldRampStart + V3d{0.5f * kTestWorldRampRun, 0.5f * kTestWorldRampRise, 0.0f};
    const V3d rampNormal = {-std::sin(slope), std::cos(slope), 0.0f};
    Atomic* onFloor = AddAtomic({-1.0f, 1.0f, -1.0f}, 0.0f);
    Atomic* onRamp = AddAtomic(rampMid + rampNormal * 0.35f, slope);
    OlpBody* floorBody = AddBody(onFloor);
    OlpBody* rampBody = AddBody(onRamp);
    Step(40);
    const V3d landed = FrameGetLTM(AtomicGetFrame(onRamp))->pos;
    for (int n = 0; n < 200; ++n) {
        Step(1);
        ExpectAtomicFollows(onFloor, floorBody);
        ExpectAtomicFollows(onRamp, rampBody);
    }
    // The floor box sits on its face: its frame 0.3 m up.
    EXPECT_NEAR(FrameGetLTM(AtomicGetFrame(onFloor))->pos.y, 0.3f, 0.02f);
    // Friction 0.8 holds the box on a slope of 0.5.
    EXPECT_LT(Length(FrameGetLTM(AtomicGetFrame(onRamp))->pos - landed), 0.05f);
    EXPECT_FALSE(OlpMgrIsObjectAwake(OlpContextGetMgr(context_), &floorBody->base));
}

TEST_F(SceneWorld, ABoxSlidesOverTheFloorsSharedEdgesWithoutCatching)
{
    // Along x over the tile edge at x = -6 (and on), clear of the step and the ramp.
    Atomic* atomic = AddAtomic({-7.0f, 0.3f, -3.5f}, 0.0f);
    OlpBody* body = AddBody(atomic);
    OlpVolumeSetSlide(body->base.parts[0].volume, 0.1f);
    OlpVolumeSetSlide(ground_, 0.1f);
    // Pushed at once: resting on the floor it would soon be put to sleep.
    const V3d push = {4.0f, 0.0f, 0.0f}, spin = {0, 0, 0};
    ASSERT_NE(body->base.parts[0].dyn, nullptr);
    OlpDynSetVelocity(body->base.parts[0].dyn, &push, &spin);
    float fastest = 0.0f;
    for (int n = 0; n < 40; ++n) {
        Step(1);
        if (body->base.parts[0].dyn != nullptr) {
            fastest = std::fmax(fastest, std::fabs(OlpDynGetVelocity(body->base.parts[0].dyn)->linear.y));
        }
    }
    EXPECT_GT(FrameGetLTM(AtomicGetFrame(atomic))->pos.x, -5.5f) << "it crossed an edge";
    EXPECT_LT(fastest, 0.05f);
}

TEST_F(SceneWorld, ASecondBodyTakesOverAndDestroyingTheAtomicDetaches)
{
    Atomic* atomic = AddAtomic({0.0f, 1.0f, 0.0f}, 0.0f);
    OlpBody* first = AddBody(atomic);
    Step(10);
    OlpBody* second = AddBody(atomic);
    EXPECT_EQ(OlpBodyGetFromAtomic(atomic), second);
    EXPECT_EQ(first->base.parts[0].sourceMatrix, nullptr);
    EXPECT_EQ(first->atomic, nullptr);
    Step(30); // the first body has nowhere to write: skipped, no crash
    Frame* frame = AtomicGetFrame(atomic);
    AtomicDestroy(atomic);
    FrameDestroy(frame);
    atomics_.clear();
    EXPECT_EQ(second->atomic, nullptr);
    EXPECT_EQ(second->base.parts[0].sourceMatrix, nullptr);
    Step(10);
}
