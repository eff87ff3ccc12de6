// Bodies: definitions, reservation, activation, bounds and write back.
#include <gtest/gtest.h>

#include <cmath>

#include "graphics/core/tests/mathstesting.h"
#include "physics/core/body/body.h"
#include "physics/core/manager/manager.h"
#include "physics/core/manager/pools.h"
#include "physics/core/volume/sphere.h"

namespace {

const float kBox[6] = {100, 100, 100, -100, -100, -100};

/// A context for `bodies` bodies of which `active` may be active; the body
/// type's limit is restored afterwards (it is process-wide).
class BodyTest : public StartedEngineTest
{
  protected:
    void Start(uint32_t bodies, uint32_t active)
    {
        OlpContextParams params;
        OlpContextParamsDefault(&params);
        OlpBodyParamsReserve(&params, bodies, active);
        context = OlpContextCreate(&params, 1.0f, kBox);
        ASSERT_NE(context, nullptr);
        ASSERT_EQ(OlpBodyRegisterType(context), 1);
        mgr = OlpContextGetMgr(context);
    }
    void TearDown() override
    {
        if (context != nullptr) {
            OlpContextDestroy(context);
        }
        gOlpBodyType.maxActive = kOlpObjTypeUnlimited;
        gOlpBodyType.activeCount = 0;
        StartedEngineTest::TearDown();
    }
    /// A definition of a unit sphere with its centre of mass at `centre`.
    static OlpBodyDef* SphereDef(V3d centre)
    {
        OlpBodyDef* def = OlpBodyDefCreate();
        OlpVolume sphere;
        OlpSphereInit(&sphere, 1.0f);
        OlpPartSetVolume(&def->part, &sphere);
        OlpVolumeDestroyContents(&sphere);
        def->part.centre = centre;
        def->part.mass = 2.0f;
        return def;
    }

    OlpContext* context = nullptr;
    OlpMgr* mgr = nullptr;
};

/// 90 degrees about z at `at`.
Matrix Turned(V3d at)
{
    return {{0, 1, 0}, 0, {-1, 0, 0}, 0, {0, 0, 1}, 0, at, 0};
}

} // namespace

TEST_F(BodyTest, ReservationRaisesTheWordsAndSetsTheTypeLimit)
{
    OlpContextParams params;
    OlpContextParamsDefault(&params);
    OlpBodyParamsReserve(&params, 5, 3);
    const uint32_t words[] = {1, 2, 4, 5, 7, 8};
    const uint32_t expected[] = {4, 5, 3, 3, 115, 115};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(params.words[words[i]], expected[i]) << words[i];
    }
    EXPECT_EQ(gOlpBodyType.maxActive, 3u);
    EXPECT_STREQ(gOlpBodyType.name, "olpOBJTYPEBODY");
    EXPECT_EQ(gOlpBodyType.typeId, 0u);
}

TEST_F(BodyTest, ASharedDefinitionDiesWithItsLastBody)
{
    OlpBodyDef* def = SphereDef({0, 0, 0});
    ASSERT_NE(def, nullptr);
    EXPECT_EQ(def->part.volume, def->volume);
    OlpBody* first = OlpBodyCreate(def);
    OlpBodyDefRelease(def); // the bodies hold it now
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->base.type, &gOlpBodyType);
    EXPECT_EQ(first->base.flags, kOlpObjFlagsBody);
    EXPECT_EQ(first->base.partCount, 1u);
    EXPECT_EQ(first->base.joints, nullptr);
    EXPECT_EQ(first->base.parts[0].volume, def->volume);
    EXPECT_EQ(first->atomic, nullptr);
    first->base.flags = 9;
    OlpBody* second = OlpBodyClone(first);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->base.flags, 9u);
    EXPECT_EQ(def->refCount, 2u);
    EXPECT_EQ(OlpBodyDestroy(first), 1);
    EXPECT_EQ(def->refCount, 1u);
    EXPECT_EQ(second->base.parts[0].volume, def->volume);
    // Another definition: part 0 follows it. The old one dies here (the
    // leak checker sees its volume and record freed).
    OlpBodyDef* other = OlpBodyDefCreate();
    OlpBodySetDef(second, other);
    OlpBodyDefRelease(other);
    EXPECT_EQ(second->base.parts[0].volume, other->volume);
    EXPECT_EQ(OlpBodyDestroy(second), 1);

    // A caller's record.
    OlpBodyDef local;
    ASSERT_EQ(OlpBodyDefInit(&local), &local);
    OlpBody body;
    ASSERT_EQ(OlpBodyInit(&body, &local), &body);
    EXPECT_EQ(local.refCount, 2u);
    OlpBodyDeinit(&body);
    EXPECT_EQ(OlpBodyDefDeinit(&local), 1);
    EXPECT_EQ(local.volume, nullptr);
}

TEST_F(BodyTest, WriteBackPlacesTheCentreOfMassWhereTheSimulationPutIt)
{
    Start(2, 2);
    const V3d centre = {1, 0, 2};
    OlpBodyDef* def = SphereDef(centre);
    OlpBody* body = OlpBodyCreate(def);
    OlpBodyDefRelease(def);
    Matrix source = Turned({5, 6, 7});
    body->base.parts[0].sourceMatrix = &source;
    ASSERT_EQ(OlpMgrAddObject(mgr, &body->base, kOlpMgrAnyId, kOlpMgrAddDynamic | kOlpMgrAddActivate), mgr);
    OlpDyn* dyn = body->base.parts[0].dyn;
    ASSERT_NE(dyn, nullptr);
    EXPECT_EQ(gOlpBodyType.activeCount, 1u);
    EXPECT_FLOAT_EQ(mgr->dyn.mass[dyn->index].m[kOlpDynMassSlot], 2.0f);

    // The simulation turns the part and moves it.
    Matrix* pose = OlpDynGetPose(dyn);
    *pose = {{0, 0, 1}, 0, {0, 1, 0}, 0, {-1, 0, 0}, 0, {10, 20, 30}, 0};
    ASSERT_EQ(gOlpBodyType.writeBack(&body->base), 1);
    // source position + R c equals the simulated centre of mass.
    const V3d c = {source.right.x * centre.x + source.up.x * centre.y + source.at.x * centre.z + source.pos.x,
                   source.right.y * centre.x + source.up.y * centre.y + source.at.y * centre.z + source.pos.y,
                   source.right.z * centre.x + source.up.z * centre.y + source.at.z * centre.z +
                       source.pos.z};
    EXPECT_NEAR(c.x, 10.0f, 1e-5f);
    EXPECT_NEAR(c.y, 20.0f, 1e-5f);
    EXPECT_NEAR(c.z, 30.0f, 1e-5f);
    EXPECT_FLOAT_EQ(source.right.z, 1.0f);
    EXPECT_EQ(source.flags & kMatrixFlagsAll, 0u);

    // Bounds follow the source matrix: a unit sphere around its origin.
    OlpBodyUpdateBounds(body);
    OlpBBox box;
    ASSERT_NE(OlpMgrGetFarfieldBox(mgr, &body->base, &box), nullptr);
    EXPECT_NEAR(box.min.x, source.pos.x - 1.0f, 1e-4f);
    EXPECT_NEAR(box.max.z, source.pos.z + 1.0f, 1e-4f);

    // Without a source matrix nothing is written back.
    body->base.parts[0].sourceMatrix = nullptr;
    EXPECT_EQ(gOlpBodyType.writeBack(&body->base), 0);
    // Destroying a registered body unregisters it and gives its state back.
    EXPECT_EQ(OlpBodyDestroy(body), 1);
    EXPECT_EQ(OlpMgrGetFreeDynStates(mgr), 2u);
    EXPECT_EQ(mgr->activeCount, 0u);
    EXPECT_EQ(gOlpBodyType.activeCount, 0u);
}

TEST_F(BodyTest, ActivationStopsAtTheTypeLimitAndAtAnEmptyPool)
{
    Start(4, 2);
    OlpBodyDef* def = SphereDef({0, 0, 0});
    OlpBody* bodies[3];
    for (int i = 0; i < 3; ++i) {
        bodies[i] = OlpBodyCreate(def);
        ASSERT_EQ(OlpMgrAddObject(mgr, &bodies[i]->base, kOlpMgrAnyId, kOlpMgrAddDynamic), mgr);
    }
    OlpBodyDefRelease(def);
    // No source matrix: the state starts at the identity.
    ASSERT_NE(OlpMgrActivateObject(mgr, &bodies[0]->base), nullptr);
    EXPECT_FLOAT_EQ(OlpDynGetPose(bodies[0]->base.parts[0].dyn)->pos.x, 0.0f);
    ASSERT_NE(OlpMgrActivateObject(mgr, &bodies[1]->base), nullptr);
    // The manager allows more active objects, the type does not.
    mgr->maxActive = 10;
    EXPECT_EQ(OlpMgrActivateObject(mgr, &bodies[2]->base), nullptr);
    EXPECT_EQ(bodies[2]->base.parts[0].dyn, nullptr);
    // The type allows more, the state pool is empty.
    gOlpBodyType.maxActive = 10;
    EXPECT_EQ(OlpMgrActivateObject(mgr, &bodies[2]->base), nullptr);
    EXPECT_FALSE(OlpMgrIsObjectActive(mgr, &bodies[2]->base));
    EXPECT_EQ(gOlpBodyType.activeCount, 2u);
    OlpMgrDeactivateObject(mgr, &bodies[0]->base);
    EXPECT_EQ(bodies[0]->base.parts[0].dyn, nullptr);
    EXPECT_NE(OlpMgrActivateObject(mgr, &bodies[2]->base), nullptr);
    for (OlpBody* body : bodies) {
        OlpMgrRemoveObject(mgr, &body->base);
        OlpBodyDestroy(body);
    }
    EXPECT_EQ(gOlpBodyType.activeCount, 0u);
}

TEST_F(BodyTest, RegistrationNeedsRoomInTheContext)
{
    OlpContextParams params;
    OlpContextParamsDefault(&params);
    params.words[kOlpParamObjectTypes] = 0;
    context = OlpContextCreate(&params, 1.0f, kBox);
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(OlpBodyRegisterType(context), 0);
}
