// Mass properties of the primitive types, parts and combinations.
#include "physics/core/utils/inertia.h"
#include "physics/core/utils/maths.h"
#include "physics/core/volume/aggregate.h"
#include "physics/core/volume/box.h"
#include "physics/core/volume/capsule.h"
#include "physics/core/volume/cylinder.h"
#include "physics/core/volume/dispatch.h"
#include "physics/core/volume/genericslots.h"
#include "physics/core/volume/mass.h"
#include "physics/core/volume/nullvolume.h"
#include "physics/core/volume/plane.h"
#include "physics/core/volume/sphere.h"
#include "physics/core/volume/tests/volumetesting.h"

namespace {

class VolumeMass : public VolumeTest
{
};

/// The tensor of a mass record in the frame it is given in.
void ExpectTensorDiagonal(const OlpMassProperties& properties, V3d diagonal, float tolerance)
{
    float tensor[9];
    OlpMathInertiaToWorld(tensor, &properties);
    EXPECT_NEAR(tensor[0], diagonal.x, tolerance);
    EXPECT_NEAR(tensor[4], diagonal.y, tolerance);
    EXPECT_NEAR(tensor[8], diagonal.z, tolerance);
    EXPECT_NEAR(tensor[1], 0.0f, tolerance);
    EXPECT_NEAR(tensor[2], 0.0f, tolerance);
    EXPECT_NEAR(tensor[5], 0.0f, tolerance);
}

} // namespace

TEST_F(VolumeMass, PrimitiveFormulas)
{
    struct Case
    {
        const char* name;
        OlpVolume* volume;
        float amount;
        V3d inertia;
    };
    V3d box123 = {1, 2, 3};
    OlpVolume* rounded = OlpBoxCreate(&box123);
    OlpVolumeSetMargin(rounded, 0.5f);
    const float capsuleLength = 2.0f * (1.0f + 0.67082f * 0.5f);
    const Case cases[] = {
        {"sphere r 2", OlpSphereCreate(2.0f), 33.510323f, {1.6f, 1.6f, 1.6f}},
        {"box 1 2 3", OlpBoxCreate(&box123), 48.0f, {13.0f / 3, 10.0f / 3, 5.0f / 3}},
        {"rounded box", rounded, 101.94838f, {5.86326f, 4.59383f, 2.64434f}},
        {"capsule as a cylinder",
         OlpCapsuleCreate(0.5f, 1.0f),
         3.1415927f * 0.25f * capsuleLength,
         {capsuleLength * capsuleLength / 12 + 0.0625f, capsuleLength * capsuleLength / 12 + 0.0625f,
          0.125f}},
        {"cylinder",
         OlpCylinderCreate(1.0f, 2.0f),
         3.1415927f * 4.0f,
         {(16.0f + 3.0f) / 12, (16.0f + 3.0f) / 12, 0.5f}},
        {"plane", OlpPlaneCreate(), 0.0f, {1, 1, 1}},
        {"null", OlpNullCreate(), 0.0f, {1, 1, 1}},
    };
    for (const Case& c : cases) {
        OlpMassProperties properties;
        V3d centre;
        float amount = OlpVolumeGetMassProperties(c.volume, &properties, &centre);
        EXPECT_NEAR(amount, c.amount, 1e-4f * std::fmax(1.0f, c.amount)) << c.name;
        ExpectNearV3(properties.moments, c.inertia, 1e-4f);
        ExpectNearV3(centre, {0, 0, 0});
        EXPECT_EQ(properties.rotation.w, 1.0f) << c.name;
        OlpVolumeDestroy(c.volume);
    }
}

TEST_F(VolumeMass, PartMassFromDensityOrMass)
{
    alignas(16) OlpVolume sphere;
    OlpSphereInit(&sphere, 1.0f);
    OlpPart part;
    OlpPartInit(&part, &sphere);
    EXPECT_FLOAT_EQ(OlpPartSetMass(&part, -2.0f, 1), 2.0f);
    EXPECT_FLOAT_EQ(part.mass, 8.3775806f);
    const float moment = 0.4f * 8.3775806f;
    ExpectNearV3(part.inertia, {moment, moment, moment}, 1e-4f);
    EXPECT_EQ(part.flags & kOlpPartFullInertia, kOlpPartFullInertia);

    EXPECT_NEAR(OlpPartSetMass(&part, 4.1887903f, 0), 1.0f, 1e-6f);
    EXPECT_NEAR(part.scalarInertia, 0.4f * 4.1887903f, 1e-5f);
    EXPECT_EQ(part.flags & kOlpPartFullInertia, 0u);

    alignas(16) OlpVolume empty;
    OlpNullInit(&empty);
    OlpPart massless;
    OlpPartInit(&massless, &empty);
    EXPECT_EQ(OlpPartSetMass(&massless, 3.0f, 1), kOlpFloatMax);
    EXPECT_EQ(massless.mass, 3.0f);
    EXPECT_EQ(OlpPartSetMass(&massless, 0.0f, 1), kOlpFloatMax);
    ExpectNearV3(massless.inertia, {1, 1, 1});
}

TEST_F(VolumeMass, AggregateCombinesThroughTheChildFrames)
{
    // Two unit spheres at x = +-1: centre 0, I_y and I_z raised by 1.
    OlpAggChildren* pair = OlpAggChildrenCreate(2);
    for (uint32_t i = 0; i < 2; ++i) {
        OlpVolume* child = OlpSphereInit(OlpAggChildrenGetChild(pair, i), 1.0f);
        Matrix frame = Translation({i == 0 ? -1.0f : 1.0f, 0, 0});
        OlpVolumeSetFrame(child, &frame);
    }
    alignas(16) OlpVolume aggregate;
    OlpAggregateInit(&aggregate, pair);
    OlpAggChildrenRelease(pair);
    OlpMassProperties properties;
    V3d centre;
    EXPECT_NEAR(OlpVolumeGetMassProperties(&aggregate, &properties, &centre), 2 * 4.1887903f, 1e-5f);
    ExpectNearV3(centre, {0, 0, 0});
    ExpectTensorDiagonal(properties, {0.4f, 1.4f, 1.4f}, 1e-3f);
    OlpVolumeDestroyContents(&aggregate);

    // A box turned 90 degrees about z swaps its x and y moments; turned once.
    OlpAggChildren* single = OlpAggChildrenCreate(1);
    V3d half = {1, 2, 3};
    OlpVolume* box = OlpBoxInit(OlpAggChildrenGetChild(single, 0), &half);
    Matrix turn = MakeFrame({0, 0, 1}, 90.0f, {0, 0, 0});
    OlpVolumeSetFrame(box, &turn);
    OlpAggregateInit(&aggregate, single);
    OlpAggChildrenRelease(single);
    EXPECT_NEAR(OlpVolumeGetMassProperties(&aggregate, &properties, &centre), 48.0f, 1e-4f);
    ExpectTensorDiagonal(properties, {10.0f / 3, 13.0f / 3, 5.0f / 3}, 2e-3f);
    OlpVolumeDestroyContents(&aggregate);
}

TEST_F(VolumeMass, ListCombinationKeepsTheCallersCentre)
{
    alignas(16) OlpVolume spheres[2];
    OlpSphereInit(&spheres[0], 1.0f);
    OlpSphereInit(&spheres[1], 1.0f);
    Matrix frame = Translation({2, 0, 0});
    OlpVolumeSetFrame(&spheres[1], &frame);
    OlpMassProperties properties;
    V3d centre = {0, 0, 0};
    float amount = OlpVolumeListMassProperties(spheres, 2, &properties, &centre, 1);
    EXPECT_NEAR(amount, 2 * 4.1887903f, 1e-5f);
    ExpectNearV3(centre, {0, 0, 0});
    // Half the mass 2 away from the axis through the origin: +2 on y and z.
    ExpectTensorDiagonal(properties, {0.4f, 2.4f, 2.4f}, 1e-3f);

    EXPECT_EQ(OlpVolumeListMassProperties(spheres, 0, &properties, &centre, 0), 0.0f);
    ExpectNearV3(properties.moments, {1, 1, 1});
}

TEST(VolumeMassMemory, NoScratchMemoryGivesUnitInertia)
{
    CountingMemory::Reset();
    ASSERT_TRUE(EngineTestStart(CountingMemory::Table()));
    alignas(16) OlpVolume sphere;
    OlpSphereInit(&sphere, 1.0f);
    OlpMassProperties properties;
    V3d centre;
    CountingMemory::failAfter = 0;
    EXPECT_EQ(OlpVolumeListMassProperties(&sphere, 1, &properties, &centre, 0), 0.0f);
    CountingMemory::failAfter = -1;
    ExpectNearV3(properties.moments, {1, 1, 1});
    EngineTestShutdown();
    CountingMemory::Reset();
}

TEST_F(VolumeMass, GenericSlotsOverTheBox)
{
    V3d half = {1, 2, 3};
    alignas(16) OlpVolume box;
    OlpBoxInit(&box, &half);
    OlpSphere sphere;
    OlpVolumeBoundingSphereFromBox(&box, &sphere);
    ExpectNearV3(sphere.centre, {0, 0, 0});
    EXPECT_FLOAT_EQ(sphere.radius, std::sqrt(14.0f));
    EXPECT_FLOAT_EQ(OlpVolumeCoreThicknessFromBox(&box), 2.0f);
    OlpMassProperties properties;
    V3d centre;
    // Reported as half the box's volume.
    EXPECT_FLOAT_EQ(OlpVolumeMassPropertiesFromBox(&box, &properties, &centre), 24.0f);
    float estimate = OlpVolumeMassPropertiesFromBBoxEstimate(&box, &properties, &centre);
    EXPECT_NEAR(estimate, 8 * 0.8f * 1.6f * 2.4f, 1e-4f);
    alignas(16) OlpVolume empty;
    OlpNullInit(&empty);
    EXPECT_EQ(OlpVolumeMassPropertiesFromBBoxEstimate(&empty, &properties, &centre), 0.0f);
}
