// Support points, features, projections, bounds and separating axes.
#include "physics/core/utils/vec3.h"
#include "physics/core/volume/box.h"
#include "physics/core/volume/capsule.h"
#include "physics/core/volume/cylinder.h"
#include "physics/core/volume/dispatch.h"
#include "physics/core/volume/plane.h"
#include "physics/core/volume/sphere.h"
#include "physics/core/volume/tests/volumetesting.h"

#include <vector>

using namespace olp;

namespace {

class VolumeSupport : public VolumeTest
{
  protected:
    void SetUp() override
    {
        VolumeTest::SetUp();
        V3d half = {1, 2, 3};
        OlpBoxInit(&box, &half);
        OlpCylinderInit(&cylinder, 1.5f, 2.0f);
        OlpCapsuleInit(&capsule, 0.5f, 1.0f);
    }
    alignas(16) OlpVolume box;
    alignas(16) OlpVolume cylinder;
    alignas(16) OlpVolume capsule;
};

std::vector<V3d> Points(const OlpSupportFeature& feature)
{
    std::vector<V3d> points;
    for (uint16_t i = 0; i < feature.count; ++i) {
        points.push_back(feature.points[i].p);
    }
    return points;
}

/// +1 when the face loop runs counter-clockwise seen along `normal`.
float Winding(const std::vector<V3d>& loop, V3d normal)
{
    V3d twice = {0, 0, 0};
    for (size_t i = 0; i < loop.size(); ++i) {
        twice = twice + Cross(loop[i], loop[(i + 1) % loop.size()]);
    }
    return Dot(twice, normal) > 0.0f ? 1.0f : -1.0f;
}

} // namespace

TEST_F(VolumeSupport, BoxFeatures)
{
    OlpSupportFeature feature;
    V3d faceDirection = {1, 0, 0};
    ASSERT_NE(OlpVolumeGetSupportFeature(&box, nullptr, 1, &faceDirection, &feature), nullptr);
    ASSERT_EQ(feature.count, 4);
    ExpectNearV3(feature.normal, {1, 0, 0});
    EXPECT_FLOAT_EQ(feature.offset, 1.0f);
    std::vector<V3d> counter = Points(feature);
    for (const V3d& p : counter) {
        EXPECT_EQ(p.x, 1.0f);
        EXPECT_EQ(std::fabs(p.y), 2.0f);
        EXPECT_EQ(std::fabs(p.z), 3.0f);
    }
    ExpectNearV3(counter[0], {1, 2, 3});
    float first = Winding(counter, feature.normal);
    OlpVolumeGetSupportFeature(&box, nullptr, 0, &faceDirection, &feature);
    EXPECT_EQ(Winding(Points(feature), feature.normal), -first);
    // The flag's meaning turns with the face's side.
    V3d opposite = {-1, 0, 0};
    OlpVolumeGetSupportFeature(&box, nullptr, 1, &opposite, &feature);
    EXPECT_EQ(Winding(Points(feature), feature.normal), first);

    V3d edgeDirection = {0.8f, 0.6f, 0};
    OlpVolumeGetSupportFeature(&box, nullptr, 1, &edgeDirection, &feature);
    ASSERT_EQ(feature.count, 2);
    ExpectNearV3(feature.points[0].p, {1, 2, -3});
    ExpectNearV3(feature.points[1].p, {1, 2, 3});
    ExpectNearV3(feature.normal, {0.8f, 0.6f, 0});

    V3d cornerDirection = {0.6f, 0.6f, 0.53f};
    OlpVolumeGetSupportFeature(&box, nullptr, 1, &cornerDirection, &feature);
    ASSERT_EQ(feature.count, 1);
    ExpectNearV3(feature.points[0].p, {1, 2, 3});
    EXPECT_NEAR(feature.offset, Dot(cornerDirection, {1, 2, 3}), 1e-5f);
}

TEST_F(VolumeSupport, CylinderSupportAndCapRoom)
{
    struct Case
    {
        V3d direction;
        V3d point;
    } cases[] = {{{0, 0, -1}, {0, 0, -2}}, {{1, 0, 0.01f}, {1.5f, 0, 0}}, {{0.6f, 0, 0.8f}, {1.5f, 0, 2}}};
    for (const Case& c : cases) {
        V3d point;
        OlpVolumeGetSupportPoint(&cylinder, nullptr, &c.direction, &point);
        ExpectNearV3(point, c.point);
    }
    V3d down = {0, 0, -1};
    float min, max;
    OlpVolumeGetProjection(&cylinder, nullptr, &down, &min, &max);
    EXPECT_FLOAT_EQ(min, -2.0f);
    EXPECT_FLOAT_EQ(max, 2.0f);

    // With inline room only, the octagonal cap gives every other point.
    OlpSupportFeature feature;
    V3d up = {0, 0, 1};
    OlpVolumeGetSupportFeature(&cylinder, nullptr, 1, &up, &feature);
    ASSERT_EQ(feature.count, 4);
    EXPECT_EQ(feature.points, feature.inlinePoints);
    ExpectNearV3(feature.points[0].p, {0, 1.5f, 2});
    ExpectNearV3(feature.points[1].p, {-1.5f, 0, 2});
    EXPECT_FLOAT_EQ(feature.offset, 2.0f);
    // Given room for eight, all of them, counter-clockwise from above.
    OlpFeaturePoint buffer[9];
    buffer[8].p = {99, 99, 99};
    OlpSupportFeature roomy;
    roomy.points = buffer;
    roomy.capacity = 8;
    OlpVolumeGetSupportFeature(&cylinder, nullptr, 1, &up, &roomy);
    ASSERT_EQ(roomy.count, 8);
    EXPECT_EQ(roomy.points, buffer);
    EXPECT_EQ(Winding(Points(roomy), {0, 0, 1}), 1.0f);
    ExpectNearV3(buffer[8].p, {99, 99, 99});
    roomy.capacity = 3; // a smaller room is never overrun
    OlpVolumeGetSupportFeature(&cylinder, nullptr, 1, &up, &roomy);
    EXPECT_EQ(roomy.count, 3);

    V3d side = {1, 0, 0};
    OlpVolumeGetSupportFeature(&cylinder, nullptr, 1, &side, &feature);
    ASSERT_EQ(feature.count, 2);
    ExpectNearV3(feature.points[0].p, {1.5f, 0, 2});
    ExpectNearV3(feature.points[1].p, {1.5f, 0, -2});
}

TEST_F(VolumeSupport, CapsuleFeatures)
{
    OlpSupportFeature feature;
    V3d up = {0, 0, 1};
    OlpVolumeGetSupportFeature(&capsule, nullptr, 1, &up, &feature);
    ASSERT_EQ(feature.count, 1);
    ExpectNearV3(feature.points[0].p, {0, 0, 1});
    V3d slanted = {0.8f, 0, 0.6f};
    OlpVolumeGetSupportFeature(&capsule, nullptr, 1, &slanted, &feature);
    ASSERT_EQ(feature.count, 1);
    V3d side = {0.58787754f, 0.78383672f, 0.2f};
    OlpVolumeGetSupportFeature(&capsule, nullptr, 1, &side, &feature);
    ASSERT_EQ(feature.count, 2);
    EXPECT_NEAR(Length(feature.normal), 1.0f, 1e-5f);
    EXPECT_EQ(feature.normal.z, 0.0f);
    float min, max;
    V3d axis = {0, 0.6f, -0.8f};
    OlpVolumeGetProjection(&capsule, nullptr, &axis, &min, &max);
    EXPECT_FLOAT_EQ(max, 0.8f);
    EXPECT_FLOAT_EQ(min, -0.8f);
}

TEST_F(VolumeSupport, FeaturesAndPointsFollowTheMatrix)
{
    Matrix frame = MakeFrame({0, 0, 1}, 90.0f, {5, 0, 0});
    V3d direction = {0, 1, 0}; // the box's local +x after the turn
    OlpSupportFeature feature;
    OlpVolumeGetSupportFeature(&box, &frame, 1, &direction, &feature);
    ASSERT_EQ(feature.count, 4);
    ExpectNearV3(feature.normal, {0, 1, 0});
    EXPECT_NEAR(feature.offset, 1.0f, 1e-5f);
    V3d point;
    OlpVolumeGetSupportPoint(&box, &frame, &direction, &point);
    EXPECT_NEAR(point.y, 1.0f, 1e-5f);
    float min, max;
    OlpVolumeGetProjection(&box, &frame, &direction, &min, &max);
    EXPECT_NEAR(min, -1.0f, 1e-5f);
    EXPECT_NEAR(max, 1.0f, 1e-5f);
    V3d along = {1, 0, 0};
    OlpVolumeGetProjection(&box, &frame, &along, &min, &max);
    EXPECT_NEAR(min, 3.0f, 1e-5f);
    EXPECT_NEAR(max, 7.0f, 1e-5f);
}

TEST_F(VolumeSupport, BoundsUnderMatrices)
{
    Matrix tilted = MakeFrame({1, 0, 0}, 90.0f, {0, 0, 10});
    OlpBBox bounds;
    OlpVolumeGetBBox(&cylinder, &tilted, 1, &bounds);
    ExpectNearV3(bounds.max, {1.5f, 2.0f, 11.5f}, 1e-4f);
    OlpVolumeGetBBox(&cylinder, &tilted, 0, &bounds);
    EXPECT_NEAR(bounds.max.x, 2.5f, 1e-5f);
    OlpVolumeGetBBox(&box, &tilted, 1, &bounds);
    ExpectNearV3(bounds.max, {1, 3, 12}, 1e-4f);
    OlpVolumeGetBBox(&capsule, &tilted, 1, &bounds);
    ExpectNearV3(bounds.max, {0.5f, 1.5f, 10.5f}, 1e-4f);

    alignas(16) OlpVolume plane;
    OlpPlaneInit(&plane);
    OlpVolumeSetMargin(&plane, 0.25f);
    OlpVolumeGetBBox(&plane, nullptr, 1, &bounds);
    EXPECT_EQ(bounds.max.z, 0.25f);
    EXPECT_EQ(bounds.min.z, -1.7014117e38f);
    Matrix floor = MakeFrame({1, 0, 0}, -90.0f, {0, 3, 0}); // at-axis along +y
    OlpVolumeGetBBox(&plane, &floor, 1, &bounds);
    EXPECT_NEAR(bounds.max.y, 3.25f, 1e-5f);
    EXPECT_EQ(bounds.max.x, 1.7014117e38f);
    OlpSphere sphere;
    OlpVolumeGetBoundingSphere(&plane, nullptr, &sphere);
    EXPECT_EQ(sphere.radius, 3.4028235e38f);
    EXPECT_EQ(plane.descriptor->getCoreThickness(&plane), 1e8f);

    // The plane's face bound is its offset along its own normal.
    OlpFaceAxis face;
    plane.descriptor->getSeparatingAxes(&plane, &floor, &face, nullptr);
    ExpectNearV3(face.normal, {0, 1, 0});
    EXPECT_NEAR(face.upper, 3.0f, 1e-5f);
}

TEST_F(VolumeSupport, BoxSeparatingAxesAndThickness)
{
    OlpFaceAxis faces[3];
    V3d edges[3];
    Matrix frame = MakeFrame({0, 0, 1}, 90.0f, {4, 0, 0});
    ASSERT_EQ(box.descriptor->getSeparatingAxes(&box, &frame, faces, edges), 1);
    ExpectNearV3(faces[0].normal, {0, 1, 0});
    EXPECT_EQ(faces[1].lower, -2.0f);
    EXPECT_EQ(faces[2].upper, 3.0f);
    ExpectNearV3(edges[2], {0, 0, 1});
    EXPECT_EQ(box.descriptor->getCoreThickness(&box), 2.0f);
    EXPECT_EQ(cylinder.descriptor->getCoreThickness(&cylinder), 3.0f);
    EXPECT_EQ(cylinder.descriptor->getSeparatingAxes(&cylinder, &frame, faces, edges), 0);
}
