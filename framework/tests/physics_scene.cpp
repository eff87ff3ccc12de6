// Physics scenes built from code on the demo's own context: a ball dropped
// on the ground plane, two boxes pinned by a joint, bodies of each shape
// helper, and the object helpers that push and ease bodies.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "framework/bodydefinitions.h"
#include "framework/framelookat.h"
#include "framework/physicshelpers.h"
#include "framework/physicsscene.h"
#include "framework/physicsshape.h"
#include "graphics/core/bbox.h"
#include "graphics/core/engine.h"
#include "graphics/core/frame.h"
#include "graphics/core/memory.h"
#include "graphics/core/tests/enginetesting.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/material.h"
#include "graphics/scene/scenelibrary.h"
#include "graphics/scene/world.h"
#include "graphics/scene/worldmembers.h"
#include "physics/core/body/body.h"
#include "physics/core/body/bodyatomic.h"
#include "physics/core/body/bodydef.h"
#include "physics/core/context/context.h"
#include "physics/core/dyn/dyn.h"
#include "physics/core/joint/joint.h"
#include "physics/core/joint/jointdef.h"
#include "physics/core/manager/manager.h"
#include "physics/core/pipeline/pipeline.h"
#include "physics/core/ragdoll/ragdoll.h"
#include "physics/core/volume/volume.h"

namespace {

constexpr float kStep = 1.0f / 60.0f;

float Distance(const V3d& a, const V3d& b)
{
    return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z));
}

/// The engine with the scene library and the body plug-in, and the demo's
/// context with gravity of 10 downwards.
class PhysicsScene : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(EngineTestInit() && WorldLibraryAttach() && OlpBodyPluginAttach());
        ASSERT_TRUE(EngineTestOpen() && EngineStart());
        context_ = PhysicsCreateDemoContext(1.0f);
        ASSERT_NE(context_, nullptr);
        const float gravity[3] = {0.0f, -10.0f, 0.0f};
        OlpPipelineSetGravity(OlpContextGetPipeline(context_), gravity);
    }
    void TearDown() override
    {
        // Out of the context (the bodies deinitialised, the joints and the
        // ground released), then the bodies' memory freed.
        if (context_)
            RemoveContextContents(context_);
        for (OlpBody* body : bodies_)
            MemoryFree(body);
        for (Atomic* atomic : atomics_)
            PhysicsShapeGeometryDestroy(atomic);
        if (context_)
            OlpContextDestroy(context_);
        gOlpBodyType.maxActive = kOlpObjTypeUnlimited;
        gOlpBodyType.activeCount = 0;
        gOlpRagdollType.maxActive = kOlpObjTypeUnlimited;
        gOlpRagdollType.activeCount = 0;
        EngineTestShutdown();
    }

    OlpMgr* Manager() const { return OlpContextGetMgr(context_); }

    /// A body of `def` (reference taken over) shown by an atomic, placed at
    /// `at`, registered awake, dynamic and active.
    OlpBody* AddBody(OlpBodyDef* def, const V3d& at)
    {
        EXPECT_NE(def, nullptr);
        OlpBody* body = def ? OlpBodyCreate(def) : nullptr;
        if (def)
            OlpBodyDefRelease(def);
        if (!body)
            return nullptr;
        bodies_.push_back(body);
        atomics_.push_back(PhysicsObjectCreateAtomic(body, nullptr));
        PhysicsObjectSetPosition(&body->base, at.x, at.y, at.z);
        EXPECT_EQ(OlpMgrAddObject(Manager(), &body->base, kOlpMgrAnyId,
                                  kOlpMgrAddAwake | kOlpMgrAddDynamic | kOlpMgrAddActivate),
                  Manager());
        return body;
    }
    static float Mass(const OlpBody* body)
    {
        return static_cast<const OlpBodyDef*>(body->base.definition)->part.mass;
    }
    /// Where the simulation last wrote the body (its source matrix).
    static const V3d& Position(const OlpBody* body) { return body->base.parts[0].sourceMatrix->pos; }
    /// The simulated pose's position (the body active).
    static const V3d& Pose(const OlpBody* body) { return OlpDynGetPose(body->base.parts[0].dyn)->pos; }
    void Steps(int n)
    {
        for (int i = 0; i < n; ++i)
            OlpPipelineStep(OlpContextGetPipeline(context_), kStep);
    }

    OlpContext* context_ = nullptr;
    std::vector<OlpBody*> bodies_;
    std::vector<Atomic*> atomics_;
};

TEST_F(PhysicsScene, DemoContextHoldsItsBodiesAndRagdolls)
{
    EXPECT_EQ(gOlpBodyType.maxActive, 100u);
    EXPECT_EQ(gOlpRagdollType.maxActive, 50u);
    // Twenty free joints: the twenty-first pair is refused.
    int joined = 0;
    for (int i = 0; i < 21; ++i) {
        OlpBody* a = AddBody(CreateBoxBody(0.2f, 0.2f, 0.2f, 0.0f), {float(i), 1.0f, 0.0f});
        OlpBody* b = AddBody(CreateBoxBody(0.2f, 0.2f, 0.2f, 0.0f), {float(i), 1.5f, 0.0f});
        ASSERT_TRUE(a && b);
        joined += PhysicsCreateJoint(&a->base, &b->base, {float(i), 1.25f, 0.0f}, kPhysicsJointFlagsDemo) !=
                  nullptr;
    }
    EXPECT_EQ(joined, 20);
}

TEST_F(PhysicsScene, BallDroppedOnTheGroundComesToRestOnIt)
{
    const BBox bounds = {{200.0f, 200.0f, 200.0f}, {-200.0f, -200.0f, -200.0f}};
    World* world = WorldCreate(&bounds);
    ASSERT_NE(world, nullptr);
    Atomic* grid = nullptr;
    OlpVolume* ground = PhysicsCreateGroundPlane(context_, world, &grid);
    ASSERT_NE(ground, nullptr);
    ASSERT_NE(grid, nullptr);
    EXPECT_TRUE(grid->object.object.flags & kAtomicRender);
    EXPECT_EQ(AtomicGetWorld(grid), world);
    EXPECT_EQ(grid->geometry->numVertices, 25);
    const float reach = grid->geometry->morphTargets[0].boundingSphere.radius;
    EXPECT_GE(reach, 100.0f * std::sqrt(2.0f)) << "200 units across";
    EXPECT_LE(reach, 101.0f * std::sqrt(2.0f));
    EXPECT_NEAR(ground->frame.at.y, 1.0f, 1e-6f) << "the plane faces up";

    // Bounce 1 on the ground: the ball's own bounce decides (0 by default).
    OlpBody* ball = AddBody(CreateSphereBody(0.5f), {0.0f, 3.0f, 0.0f});
    ASSERT_NE(ball, nullptr);
    EXPECT_NEAR(Mass(ball), 4.0f / 3.0f * 3.1415927f * 0.125f, 1e-4f) << "density 1";
    float lowest = 3.0f;
    for (int i = 0; i < 240; ++i) {
        Steps(1);
        lowest = std::fmin(lowest, Position(ball).y);
    }
    EXPECT_GT(lowest, 0.45f) << "never sinks through the plane";
    EXPECT_NEAR(Position(ball).y, 0.5f, 0.02f) << "resting on it";

    PhysicsShapeGeometryDestroy(grid);
    WorldDestroy(world);
}

TEST_F(PhysicsScene, JointHoldsTwoBodiesTogetherAtItsPoint)
{
    // Both fall freely, the capsule pushed sideways: the pinned point stays shared.
    OlpBody* upper = AddBody(CreateBoxBody(0.5f, 0.25f, 0.5f, 0.0f), {0.0f, 10.0f, 0.0f});
    OlpBody* lower = AddBody(CreateCapsuleBody(0.25f, 0.5f), {0.0f, 9.0f, 0.0f});
    ASSERT_TRUE(upper && lower);
    EXPECT_NEAR(Mass(lower), 3.1415927f * 0.0625f * (1.0f + 4.0f / 3.0f * 0.25f), 1e-3f)
        << "a cylinder of length 1 and two half balls at density 1";
    const V3d pin = {0.0f, 9.75f, 0.0f};
    OlpJoint* joint = PhysicsCreateJoint(&upper->base, &lower->base, pin, kPhysicsJointFlagsFramework);
    ASSERT_NE(joint, nullptr);
    EXPECT_EQ(OlpJointGetDef(joint)->flags, kPhysicsJointFlagsFramework);
    PhysicsBodySetVelocity(lower, 1.0f, 0.0f, 0.0f, 3.0f);
    Steps(60);
    V3d onUpper, onLower;
    OlpJointGetPosition(joint, 0, 0, &onLower);
    OlpJointGetPosition(joint, 1, 0, &onUpper);
    EXPECT_LT(Distance(onUpper, onLower), 0.02f) << "the two anchors stay together";
    EXPECT_LT(Position(upper).y, 10.0f - 4.0f) << "falling";
    EXPECT_GT(std::fabs(Position(lower).x - Position(upper).x), 0.05f) << "the push swung the capsule";

    OlpBody loose;
    ASSERT_NE(OlpBodyInit(&loose, static_cast<OlpBodyDef*>(upper->base.definition)), nullptr);
    EXPECT_EQ(PhysicsCreateJoint(&upper->base, &loose.base, pin, kPhysicsJointFlagsDemo), nullptr)
        << "an object outside the manager";
    OlpBodyDeinit(&loose);
}

TEST_F(PhysicsScene, BodyVelocityWakesAndActivatesTheBody)
{
    OlpBody* body = AddBody(CreateSphereBody(0.5f), {0.0f, 20.0f, 0.0f});
    ASSERT_NE(body, nullptr);
    OlpMgrDeactivateObject(Manager(), &body->base);
    OlpMgrSetObjectAwake(Manager(), &body->base, 0);
    PhysicsBodySetVelocity(body, 0.0f, 0.0f, -2.0f, 4.0f);
    ASSERT_TRUE(OlpMgrIsObjectActive(Manager(), &body->base));
    EXPECT_TRUE(OlpMgrIsObjectAwake(Manager(), &body->base));
    const V3d& v = OlpDynGetVelocity(body->base.parts[0].dyn)->linear;
    EXPECT_EQ(v.x, 0.0f);
    EXPECT_EQ(v.z, -4.0f);
    PhysicsBodySetVelocity(body, 0.0f, 0.0f, 0.0f, 9.0f);
    EXPECT_EQ(OlpDynGetVelocity(body->base.parts[0].dyn)->linear.z, -4.0f) << "no direction, no change";
}

TEST_F(PhysicsScene, StepTowardsEasesAnObjectAgainstTheTarget)
{
    OlpBody* body = AddBody(CreateSphereBody(1.0f), {10.0f, 0.0f, 0.0f});
    ASSERT_NE(body, nullptr);
    const Matrix* source = body->base.parts[0].sourceMatrix;
    // One step: 5 % of the way to (0.93675, 0.35, 0), beside the target (0, 0, 0).
    PhysicsObjectStepTowards(&body->base, 0.0f, 0.0f, 0.0f, 1.0f);
    EXPECT_NEAR(source->pos.x, 10.0f + 0.05f * (0.93675f - 10.0f), 1e-5f);
    EXPECT_NEAR(source->pos.y, 0.05f * 0.35f, 1e-6f);
    EXPECT_EQ(Pose(body).x, source->pos.x) << "the simulation follows";
    // Repeated, it closes on the resting point and never passes it.
    for (int i = 0; i < 400; ++i)
        PhysicsObjectStepTowards(&body->base, 0.0f, 0.0f, 0.0f, 1.0f);
    EXPECT_NEAR(source->pos.x, 0.93675f, 1e-3f);
    EXPECT_NEAR(source->pos.y, 0.35f, 1e-3f);
    EXPECT_EQ(source->pos.z, 0.0f);
}

TEST_F(PhysicsScene, GridsEmptyAtomicsScalingAndLookingAlong)
{
    // Grids: odd sides of 3 and more only; corners, normals and facing.
    const RGBA red = {255, 0, 0, 255};
    EXPECT_EQ(GeometryCreateGrid(4, 1.0f, nullptr), nullptr);
    EXPECT_EQ(GeometryCreateGrid(1, 1.0f, nullptr), nullptr);
    EXPECT_EQ(GeometryCreateGrid(3, 0.0f, nullptr), nullptr);
    Geometry* grid = GeometryCreateGrid(3, 2.0f, &red);
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->numVertices, 9);
    EXPECT_EQ(grid->numTriangles, 8);
    const V3d* p = grid->morphTargets[0].vertices;
    EXPECT_EQ(p[0].x, -2.0f);
    EXPECT_EQ(p[0].z, -2.0f);
    EXPECT_EQ(p[8].x, 2.0f);
    EXPECT_EQ(p[4].x, 0.0f) << "centred on the origin";
    EXPECT_EQ(grid->texCoords[0][8].u, 1.0f);
    EXPECT_EQ(grid->materials.materials[0]->colour.red, 255);
    for (int32_t t = 0; t < grid->numTriangles; ++t) {
        const uint16_t* v = grid->triangles[t].vertex;
        const float ax = p[v[1]].x - p[v[0]].x, az = p[v[1]].z - p[v[0]].z;
        const float bx = p[v[2]].x - p[v[0]].x, bz = p[v[2]].z - p[v[0]].z;
        EXPECT_GT(az * bx - ax * bz, 0.0f) << "triangle " << t << " faces +y";
        EXPECT_EQ(grid->morphTargets[0].normals[v[0]].y, 1.0f);
    }
    Geometry* plain = GeometryCreateGrid(5, 1.0f, nullptr);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain->materials.materials[0]->colour.green, 0x60);
    GeometryRelease(plain);

    // Empty atomics draw nothing; scaling needs a geometry.
    Atomic* empty = AtomicCreateEmpty(nullptr);
    ASSERT_NE(empty, nullptr);
    EXPECT_FALSE(empty->object.object.flags & kAtomicRender);
    EXPECT_EQ(empty->geometry->morphTargets[0].boundingSphere.radius, 1.0f);
    AtomicSetGeometry(empty, grid, 0);
    GeometryRelease(grid);
    ASSERT_TRUE(AtomicScaleGeometry(empty, 0.5f, 1.0f, 3.0f));
    EXPECT_EQ(empty->geometry->morphTargets[0].vertices[8].x, 1.0f);
    EXPECT_EQ(empty->geometry->morphTargets[0].vertices[8].z, 6.0f);
    Atomic* bare = AtomicCreate();
    EXPECT_FALSE(AtomicScaleGeometry(bare, 2.0f, 2.0f, 2.0f)) << "no geometry";
    AtomicDestroy(bare);

    // Looking along a direction keeps the place and turns the at axis.
    Frame* frame = AtomicGetFrame(empty);
    const V3d place = {1.0f, 2.0f, 3.0f};
    FrameTranslate(frame, &place, kCombineReplace);
    const V3d along = {0.0f, 0.0f, -5.0f};
    FrameLookAlong(frame, &along);
    const Matrix* m = FrameGetMatrix(frame);
    EXPECT_NEAR(m->at.z, -1.0f, 1e-6f);
    EXPECT_NEAR(m->right.x, -1.0f, 1e-6f) << "right stays horizontal";
    EXPECT_EQ(m->pos.y, 2.0f);
    EXPECT_EQ(m->pos.z, 3.0f);
    PhysicsShapeGeometryDestroy(empty);
}

} // namespace
