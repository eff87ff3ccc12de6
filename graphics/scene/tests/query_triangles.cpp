// The triangle primitive tests: segments, spheres and boxes against single
// triangles, with their margins, signs and degenerate cases, and a
// differential check of the segment test against double precision.
#include <array>
#include <cmath>
#include <random>

#include "graphics/scene/intersection.h"
#include "graphics/scene/tests/scenetesting.h"

namespace {

// The sphere test's inverse square root is the engine's: it must be started.
class QueryTriangles : public SceneFixture
{
  protected:
    void SetUp() override
    {
        SceneFixture::SetUp();
        ASSERT_TRUE(StartScene());
    }
};

// The triangle (0,0,0), (1,0,0), (0,1,0): normal +z.
const V3d kV0 = {0, 0, 0};
const V3d kV1 = {1, 0, 0};
const V3d kV2 = {0, 1, 0};

struct LineCase
{
    const char* what;
    V3d start;
    V3d end;
    bool hit;
    float distance;
};

const LineCase kLines[] = {
    {"front hit halfway", {0.25f, 0.25f, 1}, {0.25f, 0.25f, -1}, true, 0.5f},
    {"back face", {0.25f, 0.25f, -1}, {0.25f, 0.25f, 1}, false, 0},
    {"through an edge", {0.5f, 0, 1}, {0.5f, 0, -1}, true, 0.5f},
    {"through a vertex", {1, 0, 1}, {1, 0, -1}, true, 0.5f},
    {"ending on the plane", {0.2f, 0.2f, 1}, {0.2f, 0.2f, 0}, true, 1.0f},
    {"stopping short", {0.2f, 0.2f, 1}, {0.2f, 0.2f, 0.01f}, false, 0},
    {"beside the triangle", {0.8f, 0.8f, 1}, {0.8f, 0.8f, -1}, false, 0},
    {"zero length", {0.2f, 0.2f, 0}, {0.2f, 0.2f, 0}, false, 0},
    {"in the plane", {-1, 0.2f, 0}, {2, 0.2f, 0}, false, 0},
};

TEST_F(QueryTriangles, SegmentsHitFrontFacesWithinTheirMargins)
{
    for (const LineCase& c : kLines) {
        SCOPED_TRACE(c.what);
        const V3d d = {c.end.x - c.start.x, c.end.y - c.start.y, c.end.z - c.start.z};
        float distance = -1;
        EXPECT_EQ(LineTriangleIntersect(&c.start, &d, &kV0, &kV1, &kV2, &distance), c.hit ? 1 : 0);
        if (c.hit) {
            EXPECT_NEAR(distance, c.distance, 0.00002f);
        }
    }
    const V3d collinear[3] = {{0, 0, 0}, {1, 1, 0}, {2, 2, 0}};
    const V3d start = {1, 1, 1};
    const V3d down = {0, 0, -2};
    float distance;
    EXPECT_EQ(LineTriangleIntersect(&start, &down, &collinear[0], &collinear[1], &collinear[2], &distance),
              0);
}

// The single-precision test agrees with a double-precision reference except
// within its margin band around the edges and ends.
TEST_F(QueryTriangles, SegmentTestAgreesWithDoublePrecision)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<float> coordinate(-2.0f, 2.0f);
    int disagreements = 0;
    for (int i = 0; i < 20000; ++i) {
        const V3d v[3] = {{coordinate(random), coordinate(random), coordinate(random)},
                          {coordinate(random), coordinate(random), coordinate(random)},
                          {coordinate(random), coordinate(random), coordinate(random)}};
        const V3d s = {coordinate(random), coordinate(random), coordinate(random)};
        const V3d e = {coordinate(random), coordinate(random), coordinate(random)};
        const V3d d = {e.x - s.x, e.y - s.y, e.z - s.z};
        float t;
        const bool ours = LineTriangleIntersect(&s, &d, &v[0], &v[1], &v[2], &t) != 0;
        // Reference: Moeller-Trumbore in double, front faces only, with the
        // band of 1e-3 around every boundary left out of the comparison.
        auto sub = [](const V3d& a, const V3d& b) {
            return std::array<double, 3>{double(a.x) - b.x, double(a.y) - b.y, double(a.z) - b.z};
        };
        auto cross = [](const std::array<double, 3>& a, const std::array<double, 3>& b) {
            return std::array<double, 3>{a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2],
                                         a[0] * b[1] - a[1] * b[0]};
        };
        auto dot = [](const std::array<double, 3>& a, const std::array<double, 3>& b) {
            return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
        };
        const auto e1 = sub(v[1], v[0]);
        const auto e2 = sub(v[2], v[0]);
        const std::array<double, 3> dd = {d.x, d.y, d.z};
        const auto p = cross(dd, e2);
        const double det = dot(p, e1);
        if (det < 1e-4) {
            EXPECT_FALSE(ours && det <= 0) << "a back face or edge-on triangle was hit";
            continue;
        }
        const auto tv = sub(s, v[0]);
        const double u = dot(tv, p) / det;
        const auto q = cross(tv, e1);
        const double w = dot(q, dd) / det;
        const double tt = dot(q, e2) / det;
        const double margin = 1e-3;
        const bool inside = u > margin && w > margin && u + w < 1 - margin && tt > margin && tt < 1 - margin;
        const bool outside =
            u < -margin || w < -margin || u + w > 1 + margin || tt < -margin || tt > 1 + margin;
        if ((inside && !ours) || (outside && ours)) {
            ++disagreements;
        }
        if (inside && ours) {
            EXPECT_NEAR(t, tt, 1e-3);
        }
    }
    EXPECT_EQ(disagreements, 0);
}

struct SphereCase
{
    const char* what;
    Sphere sphere;
    bool hit;
    float distance;
};

const SphereCase kSpheres[] = {
    {"centre on the plane inside", {{0.2f, 0.2f, 0}, 0.05f}, true, 0.0f},
    {"above the face", {{0.2f, 0.2f, 0.5f}, 1.0f}, true, 0.5f},
    {"below the face", {{0.2f, 0.2f, -0.5f}, 1.0f}, true, -0.5f},
    {"far above", {{0.2f, 0.2f, 3}, 1.0f}, false, 0},
    {"grazing the edge", {{0.5f, -0.5f, 0}, 0.51f}, true, 0.0f},
    {"beside the edge", {{0.5f, -0.6f, 0}, 0.5f}, false, 0},
    {"beyond the nearest vertex", {{2.5f, -0.5f, 0}, 1.0f}, false, 0},
};

TEST_F(QueryTriangles, SpheresMeetTrianglesWithTheirPlaneDistance)
{
    for (const SphereCase& c : kSpheres) {
        SCOPED_TRACE(c.what);
        V3d normal;
        float distance = 99;
        EXPECT_EQ(SphereTriangleIntersect(&c.sphere, &kV0, &kV1, &kV2, &normal, &distance), c.hit ? 1 : 0);
        if (c.hit) {
            EXPECT_NEAR(distance, c.distance, 1e-6f);
            EXPECT_FLOAT_EQ(normal.z, 1.0f);
        }
    }
    // A vertex exactly r away along x with every vertex on that side is
    // rejected by the axis test.
    const V3d a = {1, 0, 0};
    const V3d b = {2, 1, 0};
    const V3d c = {2, -1, 0};
    const Sphere sphere = {{0, 0, 0}, 1.0f};
    V3d normal;
    float distance;
    EXPECT_EQ(SphereTriangleIntersect(&sphere, &a, &b, &c, &normal, &distance), 0);
    // A degenerate triangle is never met.
    const V3d line[3] = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}};
    EXPECT_EQ(SphereTriangleIntersect(&sphere, &line[0], &line[1], &line[2], &normal, &distance), 0);
    // A zero-length edge rejects nothing and divides by nothing.
    const V3d twice[3] = {{0.5f, 0.5f, 0}, {0.5f, 0.5f, 0}, {-0.5f, 0.5f, 0}};
    EXPECT_EQ(SphereTriangleIntersect(&sphere, &twice[0], &twice[1], &twice[2], &normal, &distance), 0);
}

struct BoxCase
{
    const char* what;
    V3d v[3];
    bool hit;
};

// The box (0,0,0) to (1,1,1).
const BoxCase kBoxes[] = {
    {"vertex on a face", {{1, 0.5f, 0.5f}, {3, 0.5f, 0.5f}, {3, 2, 0.5f}}, true},
    {"vertex inside", {{0.5f, 0.5f, 0.5f}, {3, 3, 3}, {3, 0, 3}}, true},
    {"edge crossing a face", {{-1, 0.5f, 0.5f}, {2, 0.5f, 0.5f}, {-1, 5, 5}}, true},
    {"slicing through, no vertex or edge inside", {{-10, -10, 0.4f}, {10, -10, 0.4f}, {0, 10, 0.6f}}, true},
    {"all beyond one face", {{2, 0, 0}, {3, 1, 0}, {2, 1, 1}}, false},
    {"disjoint across a corner", {{1.5f, -1, 0.5f}, {3, 0.5f, 0.5f}, {3, -1, 2}}, false},
};

TEST_F(QueryTriangles, BoxesMeetTrianglesByCodesEdgesAndTheDiagonal)
{
    const BBox box = {{1, 1, 1}, {0, 0, 0}};
    for (const BoxCase& c : kBoxes) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(BoxTriangleIntersect(&box, &c.v[0], &c.v[1], &c.v[2]), c.hit ? 1 : 0);
    }
}

} // namespace
