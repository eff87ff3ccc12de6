// The sphere query in the sample level (floor at y = 0, the outer wall's
// inner face at x = 14) and the closest point of a triangle.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "framework/closestpoint.h"
#include "framework/sceneobject.h"
#include "framework/tests/physicstesting.h"

namespace {

TEST(ClosestPoint, ProjectionInsideElseTheNearestEdgePoint)
{
    // The triangle (0, 0, 0), (1, 0, 0), (0, 0, 1) in the floor's plane.
    const V3d a = {0, 0, 0}, b = {1, 0, 0}, c = {0, 0, 1}, n = {0, -1, 0};
    const struct
    {
        V3d point;
        V3d closest;
        float squared;
    } cases[] = {
        {{0.2f, 1.0f, 0.2f}, {0.2f, 0.0f, 0.2f}, 1.0f},      // above the inside
        {{0.5f, 0.0f, -1.0f}, {0.5f, 0.0f, 0.0f}, 1.0f},     // beside edge a-b
        {{1.0f, 0.0f, 1.0f}, {0.5f, 0.0f, 0.5f}, 0.5f},      // beside edge b-c
        {{2.0f, 0.0f, -1.0f}, {1.0f, 0.0f, 0.0f}, 2.0f},     // beyond corner b
        {{-1.0f, 3.0f, -1.0f}, {0.0f, 0.0f, 0.0f}, 11.0f},   // beyond corner a, above
        {{0.25f, -2.0f, 0.75f}, {0.25f, 0.0f, 0.75f}, 4.0f}, // below, on edge b-c
    };
    for (const auto& k : cases) {
        V3d p = k.point;
        EXPECT_NEAR(ClosestPointOnTriangle(&a, &b, &c, &n, &p), k.squared, 1e-5f)
            << k.point.x << " " << k.point.y << " " << k.point.z;
        EXPECT_NEAR(p.x, k.closest.x, 1e-5f);
        EXPECT_NEAR(p.y, k.closest.y, 1e-5f);
        EXPECT_NEAR(p.z, k.closest.z, 1e-5f);
    }
}

TEST_F(PhysicsQueries, SphereModesChooseFloorsOrWalls)
{
    SphereQueryResult r = {};
    // On the floor, away from the walls.
    CPhysicsWorld::SetSphereQueryMode(CPhysicsWorld::kSphereAll);
    ASSERT_TRUE(Worlds()->SphereQuery(0.5f, 0.2f, 0.5f, 0.35f, &r));
    EXPECT_EQ(r.hit, 1);
    EXPECT_NEAR(r.distance, 0.2f, 1e-5f);
    EXPECT_NEAR(r.normal.y, 1.0f, 1e-5f);
    EXPECT_NEAR(r.point.x, 0.5f, 1e-5f);
    EXPECT_NEAR(r.point.y, 0.0f, 1e-5f);
    // Against the wall at x = 14, above the floor: walls only.
    ASSERT_TRUE(Worlds()->SphereQuery(13.8f, 1.5f, 0.0f, 0.35f, &r));
    EXPECT_NEAR(r.normal.x, -1.0f, 1e-5f);
    EXPECT_NEAR(r.distance, 0.2f, 1e-5f);
    CPhysicsWorld::SetSphereQueryMode(CPhysicsWorld::kSphereFloors);
    EXPECT_FALSE(Worlds()->SphereQuery(13.8f, 1.5f, 0.0f, 0.35f, &r)) << "floors only";
    EXPECT_EQ(r.hit, 0);
    // In the corner of floor and wall each mode takes its own.
    ASSERT_TRUE(Worlds()->SphereQuery(13.75f, 0.2f, 0.0f, 0.3f, &r));
    EXPECT_NEAR(r.normal.y, 1.0f, 1e-5f);
    CPhysicsWorld::SetSphereQueryMode(CPhysicsWorld::kSphereWalls);
    ASSERT_TRUE(Worlds()->SphereQuery(13.75f, 0.2f, 0.0f, 0.3f, &r));
    EXPECT_NEAR(r.normal.x, -1.0f, 1e-5f);
    // The nearer of the two wins without a mode: the floor at 0.2 before
    // the wall at 0.25.
    CPhysicsWorld::SetSphereQueryMode(CPhysicsWorld::kSphereAll);
    ASSERT_TRUE(Worlds()->SphereQuery(13.75f, 0.2f, 0.0f, 0.3f, &r));
    EXPECT_NEAR(r.normal.y, 1.0f, 1e-5f);

    // Facing: only walls against the direction, kept as the one triangle listed.
    CPhysicsWorld::SetSphereQueryMode(CPhysicsWorld::kSphereFacing);
    Worlds()->SetSphereQueryDirection({1.0f, 0.0f, 0.0f});
    ASSERT_TRUE(Worlds()->SphereQuery(13.75f, 0.2f, 0.0f, 0.3f, &r));
    EXPECT_NEAR(r.normal.x, -1.0f, 1e-5f);
    EXPECT_NEAR(r.bestProduct, -1.0f, 1e-5f);
    EXPECT_EQ(r.triangleCount, 1);
    EXPECT_EQ(r.triangles[0][0].x, r.triangle[0].x);
    Worlds()->SetSphereQueryDirection({-1.0f, 0.0f, 0.0f});
    EXPECT_FALSE(Worlds()->SphereQuery(13.75f, 0.2f, 0.0f, 0.3f, &r)) << "the wall faces the same way";
    EXPECT_EQ(r.triangleCount, 0);
    EXPECT_EQ(r.bestProduct, 1.0f);
    // Nothing in open air.
    CPhysicsWorld::SetSphereQueryMode(CPhysicsWorld::kSphereAll);
    EXPECT_FALSE(Worlds()->SphereQuery(0.5f, 2.0f, 0.5f, 0.3f, &r));
}

TEST_F(PhysicsQueries, SphereFindsRegisteredObjectsNearIt)
{
    auto crate = std::make_unique<CSceneObject>();
    ASSERT_TRUE(crate->LoadClump("world/crate.dff"));
    crate->SetScale(500.0f);
    crate->SetPosition({3.0f, 0.0f, 0.0f});
    crate->SetCollidable(true);
    ASSERT_TRUE(Worlds()->RegisterObject(crate.get()));
    CPhysicsWorld::SetSphereQueryMode(CPhysicsWorld::kSphereFloors);
    SphereQueryResult r = {};
    // On the crate's top at y = 1.
    ASSERT_TRUE(Worlds()->SphereQuery(3.2f, 1.2f, 0.1f, 0.3f, &r));
    EXPECT_NEAR(r.distance, 0.2f, 1e-4f);
    EXPECT_NEAR(r.normal.y, 1.0f, 1e-4f);
    EXPECT_NEAR(r.point.y, 1.0f, 1e-4f);
    EXPECT_EQ(Worlds()->GetQueryStats().objects, 1);
    EXPECT_EQ(Worlds()->GetQueryStats().touched, 1);
    EXPECT_GE(Worlds()->GetQueryStats().geometries, 1);
    // Far away the crate is passed over on its bounding sphere.
    Worlds()->SphereQuery(-8.0f, 0.2f, -8.0f, 0.3f, &r);
    EXPECT_EQ(Worlds()->GetQueryStats().touched, 0);
    // Not collidable: not found.
    crate->SetCollidable(false);
    EXPECT_FALSE(Worlds()->SphereQuery(3.2f, 1.2f, 0.1f, 0.3f, &r));
    crate->Unload();
}

} // namespace
