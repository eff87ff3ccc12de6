// Hulls built by qhull: structure, containment, support search, mass,
// convex volumes over them and the output routing.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "graphics/core/stream.h"
#include "physics/core/utils/inertia.h"
#include "physics/core/utils/vec3.h"
#include "physics/core/volume/box.h"
#include "physics/core/volume/convex.h"
#include "physics/core/volume/dispatch.h"
#include "physics/core/volume/tests/volumetesting.h"
#include "physics/core/volume/volumecopy.h"
#include "physics/qhull/qhullbuild.h"

using namespace olp;

namespace {

class HullBuild : public StartedEngineTest
{
  protected:
    void TearDown() override
    {
        EXPECT_EQ(OlpQHullLastOutstandingBlocks(), 0);
        StartedEngineTest::TearDown();
    }
};

std::vector<V3d> CubeCorners(float h)
{
    std::vector<V3d> corners;
    for (int i = 0; i < 8; ++i) {
        corners.push_back({i & 1 ? h : -h, i & 2 ? h : -h, i & 4 ? h : -h});
    }
    return corners;
}

std::vector<V3d> RandomCloud(std::mt19937& random, int count)
{
    std::uniform_real_distribution<float> coordinate(-2.0f, 2.0f);
    std::vector<V3d> points(static_cast<size_t>(count));
    for (V3d& p : points) {
        p = {coordinate(random), coordinate(random) * 0.5f, coordinate(random)};
    }
    return points;
}

/// Face loops close counter-clockwise round their normals; every half-edge
/// has its twin; every vertex ring runs round the vertex and closes.
void ExpectWellFormed(const OlpConvexHull* hull)
{
    ASSERT_TRUE(OlpConvexHullIsValid(hull));
    EXPECT_EQ(2 * (hull->vertexCount + hull->faceCount), hull->edgeCount + 4);
    for (uint32_t f = 0; f < hull->faceCount; ++f) {
        uint32_t begin = hull->faceEdgeStart[f];
        uint32_t end = hull->faceEdgeStart[f + 1];
        ASSERT_GE(end - begin, 3u);
        V3d twice = {0, 0, 0};
        for (uint32_t i = begin; i < end; ++i) {
            uint32_t next = i + 1 == end ? begin : i + 1;
            EXPECT_EQ(hull->edges[i].to, hull->edges[next].from);
            EXPECT_EQ(hull->edges[i].ownFace, f);
            twice = twice + Cross(hull->vertices[hull->edges[i].from], hull->vertices[hull->edges[i].to]);
        }
        EXPECT_GT(Dot(twice, hull->faceNormals[f]), 0.0f) << "face " << f;
        EXPECT_NEAR(Length(hull->faceNormals[f]), 1.0f, 1e-5f);
    }
    for (uint32_t v = 0; v < hull->vertexCount; ++v) {
        uint32_t begin = hull->vertexEdgeStart[v];
        uint32_t end = hull->vertexEdgeStart[v + 1];
        ASSERT_GE(end - begin, 3u);
        for (uint32_t i = begin; i < end; ++i) {
            const OlpHullEdge& edge = hull->edges[hull->vertexEdges[i]];
            EXPECT_EQ(edge.from, v);
            // The next edge round the vertex lies in the face across this one... in turn.
            const OlpHullEdge& next = hull->edges[hull->vertexEdges[i + 1 == end ? begin : i + 1]];
            EXPECT_EQ(next.ownFace, hull->edges[OlpQHullFindEdge(hull, edge.ownFace, 1, v)].neighbourFace);
        }
    }
}

std::string gCaptured;

int32_t Capture(void*, const void* buffer, size_t n)
{
    gCaptured.append(static_cast<const char*>(buffer), n);
    return 1;
}

} // namespace

TEST_F(HullBuild, CubeCornersGiveSixQuadrilaterals)
{
    std::vector<V3d> corners = CubeCorners(1.0f);
    OlpConvexHull* hull = OlpQHullBuildHull(8, corners.data(), nullptr, OlpQHullDiscard());
    ASSERT_NE(hull, nullptr);
    EXPECT_EQ(hull->vertexCount, 8);
    EXPECT_EQ(hull->faceCount, 6);
    EXPECT_EQ(hull->edgeCount, 24);
    ExpectWellFormed(hull);
    EXPECT_EQ(hull->flags & kOlpHullFinalized, kOlpHullFinalized);
    ExpectNearV3(hull->box.max, {1, 1, 1});
    EXPECT_NEAR(hull->sphere.radius, std::sqrt(3.0f), 1e-4f);
    for (uint32_t i = 0; i < hull->edgeCount; ++i) {
        EXPECT_FLOAT_EQ(hull->edges[i].inverseLength, 0.5f);
    }
    OlpConvexHullRelease(hull);
}

TEST_F(HullBuild, RandomCloudsAreHeldAndSearchedCorrectly)
{
    std::mt19937 random(5);
    for (int count : {50, 120, 500}) {
        std::vector<V3d> points = RandomCloud(random, count);
        OlpConvexHull* hull =
            OlpQHullBuildHull(static_cast<uint32_t>(count), points.data(), nullptr, nullptr);
        ASSERT_NE(hull, nullptr) << count;
        ExpectWellFormed(hull);
        for (uint32_t f = 0; f < hull->faceCount; ++f) {
            const V3d& n = hull->faceNormals[f];
            float offset = Dot(n, hull->vertices[hull->edges[hull->faceEdgeStart[f]].from]);
            for (const V3d& p : points) {
                ASSERT_LE(Dot(n, p), offset + 1e-4f);
            }
        }
        std::normal_distribution<float> normal;
        for (int i = 0; i < 100; ++i) {
            V3d d = {normal(random), normal(random), normal(random)};
            uint32_t vertex;
            float climbed = OlpConvexHullSupportVertex(hull, &d, 0, 3.4e38f, &vertex);
            float brute = -3.4e38f;
            for (uint32_t v = 0; v < hull->vertexCount; ++v) {
                brute = std::fmax(brute, Dot(d, hull->vertices[v]));
            }
            EXPECT_FLOAT_EQ(climbed, brute);
        }
        OlpConvexHullRelease(hull);
    }
}

TEST_F(HullBuild, NonFinitePointsAreLeftOutAndBadSetsFail)
{
    std::vector<V3d> corners = CubeCorners(1.0f);
    corners.push_back({NAN, 0, 0});
    corners.push_back({0, INFINITY, 0});
    OlpConvexHull* hull =
        OlpQHullBuildHull(static_cast<uint32_t>(corners.size()), corners.data(), nullptr, nullptr);
    ASSERT_NE(hull, nullptr);
    EXPECT_EQ(hull->vertexCount, 8);
    OlpConvexHullRelease(hull);
    EXPECT_EQ(OlpQHullBuildHull(8, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(OlpQHullBuildHull(2, corners.data(), nullptr, nullptr), nullptr);
    EXPECT_EQ(OlpConvexHullAlloc(70000, 6, 4), nullptr);
}

TEST_F(HullBuild, DiagnosticsGoOnlyToTheChosenStream)
{
    std::vector<V3d> flat = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {0.5f, 0.5f, 0}};
    StreamCallbacks callbacks = {nullptr, nullptr, Capture, nullptr, nullptr};
    Stream* stream = StreamOpen(kStreamCallbacks, kStreamWrite, &callbacks);
    ASSERT_NE(stream, nullptr);
    gCaptured.clear();
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(OlpQHullBuildHull(5, flat.data(), nullptr, stream), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_NE(gCaptured.find("QH"), std::string::npos) << gCaptured;
    StreamClose(stream, nullptr);
    EXPECT_EQ(OlpQHullBuildHull(5, flat.data(), nullptr, OlpQHullDiscard()), nullptr);
    EXPECT_EQ(OlpQHullPrintf(OlpQHullDiscard(), "%d", 42), 0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(OlpQHullPrintf(OlpQHullStdout(), "%d points", 42), 9);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "42 points");
}

TEST_F(HullBuild, CubeMassAndThickness)
{
    std::vector<V3d> corners = CubeCorners(1.0f);
    OlpConvexHull* hull = OlpQHullBuildHull(8, corners.data(), nullptr, nullptr);
    ASSERT_NE(hull, nullptr);
    alignas(16) OlpVolume convex;
    OlpConvexInit(&convex, hull);
    OlpMassProperties properties;
    V3d centre;
    EXPECT_NEAR(OlpVolumeGetMassProperties(&convex, &properties, &centre), 8.0f, 1e-4f);
    ExpectNearV3(centre, {0, 0, 0}, 1e-5f);
    ExpectNearV3(properties.moments, {2.0f / 3, 2.0f / 3, 2.0f / 3}, 1e-4f);
    EXPECT_NEAR(convex.descriptor->getCoreThickness(&convex), 2.0f, 1e-4f);
    // Turned by the volume's frame: the same moments.
    Matrix turn{};
    float c = std::cos(0.5f), s = std::sin(0.5f);
    turn.right = {c, s, 0};
    turn.up = {-s, c, 0};
    turn.at = {0, 0, 1};
    turn.pos = {3, 0, 0};
    turn.flags = kMatrixFlagsOrthonormal;
    OlpVolumeSetFrame(&convex, &turn);
    float tensor[9];
    OlpVolumeGetMassProperties(&convex, &properties, &centre);
    OlpMathInertiaToWorld(tensor, &properties);
    EXPECT_NEAR(tensor[0], 2.0f / 3, 1e-3f);
    EXPECT_NEAR(tensor[1], 0.0f, 1e-3f);
    ExpectNearV3(centre, {3, 0, 0}, 1e-5f);
    OlpVolumeDestroyContents(&convex);
    OlpConvexHullRelease(hull);
}

TEST_F(HullBuild, ConvexVolumesShareTheHull)
{
    std::vector<V3d> corners = CubeCorners(1.0f);
    OlpConvexHull* hull = OlpQHullBuildHull(8, corners.data(), nullptr, nullptr);
    ASSERT_NE(hull, nullptr);
    OlpVolume* first = OlpConvexCreate(hull);
    OlpVolume* second = OlpConvexCreate(hull);
    EXPECT_EQ(hull->refCount, 3u);
    OlpVolume* clone = OlpVolumeClone(first);
    EXPECT_EQ(hull->refCount, 4u);
    OlpVolumeDestroy(clone);
    OlpVolumeDestroy(first);
    OlpVolumeDestroy(second);
    EXPECT_EQ(hull->refCount, 1u);
    alignas(16) OlpVolume volume;
    OlpConvexInit(&volume, nullptr);
    EXPECT_EQ(OlpConvexSetHull(&volume, hull), 1);
    EXPECT_EQ(hull->refCount, 2u);
    EXPECT_EQ(OlpConvexGetHull(&volume), hull);
    OlpVolumeDestroyContents(&volume);
    EXPECT_EQ(hull->refCount, 1u);
    OlpConvexHullRelease(hull);
}

TEST_F(HullBuild, CubeSupportFeatures)
{
    std::vector<V3d> corners = CubeCorners(1.0f);
    OlpConvexHull* hull = OlpQHullBuildHull(8, corners.data(), nullptr, nullptr);
    ASSERT_NE(hull, nullptr);
    alignas(16) OlpVolume convex;
    OlpConvexInit(&convex, hull);
    OlpConvexHullRelease(hull);
    struct Case
    {
        V3d direction;
        uint16_t count;
    } cases[] = {{{0, 0, 1}, 4}, {{0.6f, 0, 0.8f}, 4}, {{0.6f, 0.6f, 0.53f}, 1}, {{0.7f, 0.7f, 0.14f}, 2}};
    for (const Case& c : cases) {
        OlpSupportFeature feature;
        ASSERT_NE(OlpVolumeGetSupportFeature(&convex, nullptr, 1, &c.direction, &feature), nullptr);
        EXPECT_EQ(feature.count, c.count);
        for (uint16_t i = 0; i < feature.count; ++i) {
            EXPECT_NEAR(Dot(c.direction, feature.points[i].p), Dot(c.direction, feature.points[0].p),
                        c.count == 1 ? 1e-5f : 2.0f);
        }
    }
    OlpSupportFeature face;
    V3d up = {0, 0, 1};
    OlpVolumeGetSupportFeature(&convex, nullptr, 1, &up, &face);
    ExpectNearV3(face.normal, {0, 0, 1});
    EXPECT_FLOAT_EQ(face.offset, 1.0f);
    V3d twice = {0, 0, 0};
    for (uint16_t i = 0; i < 4; ++i) {
        twice = twice + Cross(face.points[i].p, face.points[(i + 1) % 4].p);
        EXPECT_FLOAT_EQ(face.points[i].p.z, 1.0f);
    }
    EXPECT_GT(twice.z, 0.0f);
    OlpVolumeGetSupportFeature(&convex, nullptr, 0, &up, &face);
    twice = {0, 0, 0};
    for (uint16_t i = 0; i < 4; ++i) {
        twice = twice + Cross(face.points[i].p, face.points[(i + 1) % 4].p);
    }
    EXPECT_LT(twice.z, 0.0f);
    OlpVolumeDestroyContents(&convex);
}

TEST_F(HullBuild, RoundedCubeHullMatchesTheRoundedBox)
{
    std::vector<V3d> corners = CubeCorners(1.0f);
    OlpConvexHull* hull = OlpQHullBuildHull(8, corners.data(), nullptr, nullptr);
    ASSERT_NE(hull, nullptr);
    alignas(16) OlpVolume convex;
    OlpConvexInit(&convex, hull);
    OlpConvexHullRelease(hull);
    OlpVolumeSetMargin(&convex, 0.3f);
    alignas(16) OlpVolume box;
    V3d half = {1, 1, 1};
    OlpBoxInit(&box, &half);
    OlpVolumeSetMargin(&box, 0.3f);
    std::mt19937 random(9);
    std::uniform_real_distribution<float> far(-4.0f, 4.0f);
    std::uniform_real_distribution<float> near(-1.5f, 1.5f);
    int hits = 0;
    for (int n = 0; n < 400; ++n) {
        V3d a = {far(random), far(random), far(random)};
        V3d b = {near(random), near(random), near(random)};
        OlpLineResult expected, actual;
        int32_t boxHit = OlpVolumeLineIntersect(&box, nullptr, &a, &b, &expected);
        int32_t hullHit = OlpVolumeLineIntersect(&convex, nullptr, &a, &b, &actual);
        ASSERT_EQ(hullHit, boxHit) << n;
        if (boxHit) {
            ++hits;
            EXPECT_NEAR(actual.fraction, expected.fraction, 1e-4f) << n;
            ExpectNearV3(actual.normal, expected.normal, 1e-3f);
        }
    }
    EXPECT_GT(hits, 100);
    V3d inside = {0.2f, 0.1f, 0.0f};
    V3d out = {5, 5, 5};
    OlpLineResult result;
    ASSERT_EQ(OlpVolumeLineIntersect(&convex, nullptr, &inside, &out, &result), 1);
    EXPECT_EQ(result.fraction, 0.0f);
    OlpBBox bounds;
    OlpVolumeGetBBox(&convex, nullptr, 1, &bounds);
    ExpectNearV3(bounds.max, {1.3f, 1.3f, 1.3f});
    OlpVolumeDestroyContents(&convex);
}
