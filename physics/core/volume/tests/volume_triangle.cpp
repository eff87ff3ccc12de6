// Triangle volumes: layout, features, projections and line tests.
#include "physics/core/utils/vec3.h"
#include "physics/core/volume/dispatch.h"
#include "physics/core/volume/tests/volumetesting.h"
#include "physics/core/volume/triangle.h"

using namespace olp;

namespace {

class VolumeTriangle : public VolumeTest
{
  protected:
    void SetUp() override
    {
        VolumeTest::SetUp();
        V3d a = {0, 0, 0}, b = {1, 0, 0}, c = {0, 1, 0};
        OlpTriangleInit(&triangle, &a, &b, &c);
    }
    alignas(16) OlpVolume triangle;
};

} // namespace

TEST_F(VolumeTriangle, RecordAndFeatures)
{
    const OlpTriangleData* t = OlpTriangleGetData(&triangle);
    ExpectNearV3(*OlpTriangleGetNormal(&triangle), {0, 0, 1});
    EXPECT_EQ(t->planeOffset, 0.0f);
    EXPECT_EQ(t->edgeFlags, 0xFu);
    EXPECT_EQ(t->source, nullptr);
    EXPECT_STREQ(OlpVolumeGetTypeName(&triangle), "OlpTriangle");

    OlpSupportFeature feature;
    V3d up = {0, 0, 1};
    OlpVolumeGetSupportFeature(&triangle, nullptr, 1, &up, &feature);
    EXPECT_EQ(feature.count, 3);
    EXPECT_EQ(feature.id, 0);
    ExpectNearV3(feature.points[1].p, {1, 0, 0});
    V3d right = {1, 0, 0};
    OlpVolumeGetSupportFeature(&triangle, nullptr, 1, &right, &feature);
    ASSERT_EQ(feature.count, 1);
    EXPECT_EQ(feature.id, 6);
    ExpectNearV3(feature.points[0].p, {1, 0, 0});
    V3d diagonal = {0.7071068f, 0.7071068f, 0};
    OlpVolumeGetSupportFeature(&triangle, nullptr, 1, &diagonal, &feature);
    ASSERT_EQ(feature.count, 2);
    EXPECT_EQ(feature.id, 4); // edge BC
    float min, max;
    V3d axis = {1, 1, 0};
    OlpVolumeGetProjection(&triangle, nullptr, &axis, &min, &max);
    EXPECT_EQ(min, 0.0f);
    EXPECT_EQ(max, 1.0f);

    // No frame of its own: setting one leaves the vertices as they are.
    Matrix frame = Translation({5, 5, 5});
    OlpVolumeSetFrame(&triangle, &frame);
    ExpectNearV3(t->b, {1, 0, 0});
}

TEST_F(VolumeTriangle, DegenerateTrianglesNeverOfferAFace)
{
    V3d a = {0, 0, 0}, b = {1, 1, 1}, c = {2, 2, 2};
    alignas(16) OlpVolume line;
    OlpTriangleInit(&line, &a, &b, &c);
    ExpectNearV3(*OlpTriangleGetNormal(&line), {0, 0, 0});
    const V3d directions[] = {{0, 0, 1}, {1, 0, 0}, {0.577f, 0.577f, 0.577f}, {0, 0, 0}};
    for (const V3d& d : directions) {
        OlpSupportFeature feature;
        OlpVolumeGetSupportFeature(&line, nullptr, 1, &d, &feature);
        EXPECT_LE(feature.count, 2);
        EXPECT_TRUE(IsFiniteV3(feature.normal));
    }
}

TEST_F(VolumeTriangle, LineTestsUseTheTrianglesOwnPlane)
{
    // A triangle standing in the plane x = 5, rounded by 0.1.
    V3d a = {5, 0, 0}, b = {5, 2, 0}, c = {5, 0, 2};
    alignas(16) OlpVolume wall;
    OlpTriangleInit(&wall, &a, &b, &c);
    OlpVolumeSetMargin(&wall, 0.1f);
    V3d start = {0, 0.5f, 0.5f};
    V3d end = {10, 0.5f, 0.5f};
    OlpLineResult result;
    ASSERT_EQ(OlpVolumeLineIntersect(&wall, nullptr, &start, &end, &result), 1);
    EXPECT_NEAR(result.fraction, 0.49f, 1e-5f);
    ExpectNearV3(result.normal, {-1, 0, 0});
    EXPECT_EQ(result.volume, &wall);
    // Past the hypotenuse: the rounded edge decides.
    V3d beside = {0, 1.0f + 0.05f, 1.0f + 0.05f};
    V3d besideEnd = {10, 1.05f, 1.05f};
    ASSERT_EQ(OlpVolumeLineIntersect(&wall, nullptr, &beside, &besideEnd, &result), 1);
    EXPECT_GT(result.fraction, 0.49f);
    EXPECT_LT(result.fraction, 0.51f);
    V3d miss = {0, 3, 3};
    V3d missEnd = {10, 3, 3};
    EXPECT_EQ(OlpVolumeLineIntersect(&wall, nullptr, &miss, &missEnd, &result), 0);
    // Inside the slab over the face: a hit at once.
    V3d inside = {5.05f, 0.5f, 0.5f};
    ASSERT_EQ(OlpVolumeLineIntersect(&wall, nullptr, &inside, &end, &result), 1);
    EXPECT_EQ(result.fraction, 0.0f);
    ExpectNearV3(result.normal, {1, 0, 0});
}

TEST_F(VolumeTriangle, BoundsMassAndAxes)
{
    OlpVolumeSetMargin(&triangle, 0.5f);
    OlpBBox box;
    OlpVolumeGetBBox(&triangle, nullptr, 1, &box);
    ExpectNearV3(box.min, {-0.5f, -0.5f, -0.5f});
    ExpectNearV3(box.max, {1.5f, 1.5f, 0.5f});
    OlpSphere sphere;
    OlpVolumeGetBoundingSphere(&triangle, nullptr, &sphere);
    ExpectNearV3(sphere.centre, {1.0f / 3, 1.0f / 3, 0});
    OlpMassProperties properties;
    V3d centre;
    float r2 = sphere.radius * sphere.radius;
    EXPECT_NEAR(OlpVolumeGetMassProperties(&triangle, &properties, &centre), 2 * r2 * 0.5f, 1e-5f);
    ExpectNearV3(centre, sphere.centre);
    OlpFaceAxis face;
    V3d edges[3];
    ASSERT_EQ(triangle.descriptor->getSeparatingAxes(&triangle, nullptr, &face, edges), 1);
    ExpectNearV3(face.normal, {0, 0, 1});
    ExpectNearV3(edges[2], {-0.7071068f, 0.7071068f, 0});
}
