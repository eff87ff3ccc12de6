// Fill tessellation: triangle counts, winding, covered area, degenerate
// input, the free lists and very large polygons.

#include <cmath>
#include <random>
#include <vector>

#include "graphics/toolkit2d/path.h"
#include "graphics/toolkit2d/tess.h"
#include "graphics/toolkit2d/tests/twodtesting.h"

namespace {

using Points = std::vector<V2d>;

class Tess : public TwoDTest
{
  protected:
    /// Triangulates the closed polygon through a sub-path; the index triples.
    std::vector<uint32_t> Triangulate(const Points& points)
    {
        Path* path = PathCreate();
        PathMoveTo(path, points[0].x, points[0].y);
        for (size_t i = 1; i < points.size(); ++i) {
            PathLineTo(path, points[i].x, points[i].y);
        }
        PathLineTo(path, points[0].x, points[0].y); // the closing node repeats the first
        const int32_t nodes = PathGetNodeCount(path);
        std::vector<uint32_t> indices(size_t(std::max(3 * (nodes - 3), 0)));
        int32_t triangles = -1;
        EXPECT_EQ(TessTriangulateSubPath(path, &triangles, indices.data()), path);
        PathDestroy(path);
        indices.resize(size_t(triangles) * 3);
        return indices;
    }

    static float Cross(const Points& p, uint32_t a, uint32_t b, uint32_t c)
    {
        return (p[b].x - p[a].x) * (p[c].y - p[a].y) - (p[b].y - p[a].y) * (p[c].x - p[a].x);
    }

    static float Area(const Points& p)
    {
        float area = 0;
        for (size_t i = 0; i < p.size(); ++i) {
            const V2d& a = p[i];
            const V2d& b = p[(i + 1) % p.size()];
            area += a.x * b.y - b.x * a.y;
        }
        return area / 2;
    }

    /// Every triangle counter-clockwise; the sum of their areas.
    static float CoveredArea(const Points& p, const std::vector<uint32_t>& indices)
    {
        float sum = 0;
        for (size_t t = 0; t < indices.size(); t += 3) {
            const float cross = Cross(p, indices[t], indices[t + 1], indices[t + 2]);
            EXPECT_GT(cross, 0.0f) << "triangle " << t / 3;
            sum += cross / 2;
        }
        return sum;
    }

    static Points Star(int32_t n, std::mt19937& random)
    {
        std::uniform_real_distribution<float> radius(0.3f, 1.0f);
        Points points;
        for (int32_t i = 0; i < n; ++i) {
            const float angle = 6.2831853f * float(i) / float(n);
            const float r = radius(random);
            points.push_back({r * std::cos(angle), r * std::sin(angle)});
        }
        return points;
    }
};

} // namespace

TEST_F(Tess, TableOfShapes)
{
    struct Case
    {
        const char* what;
        Points points;
        size_t triangles;
    };
    const Case cases[] = {
        {"triangle", {{0, 0}, {1, 0}, {0, 1}}, 1},
        {"hexagon", {{2, 0}, {1, 1.7f}, {-1, 1.7f}, {-2, 0}, {-1, -1.7f}, {1, -1.7f}}, 4},
        {"L shape", {{0, 0}, {2, 0}, {2, 1}, {1, 1}, {1, 2}, {0, 2}}, 4},
        {"collinear", {{0, 0}, {1, 0}, {2, 0}, {3, 0}}, 0},
        {"clockwise", {{0, 0}, {0, 1}, {1, 1}, {1, 0}}, 0},
    };
    for (const Case& c : cases) {
        const std::vector<uint32_t> indices = Triangulate(c.points);
        ASSERT_EQ(indices.size(), c.triangles * 3) << c.what;
        if (c.triangles > 0) {
            EXPECT_NEAR(CoveredArea(c.points, indices), Area(c.points), 1e-4f) << c.what;
        }
    }
    // The triangle comes back in ring order; no triangle of the L covers its notch at (1.5, 1.5).
    const std::vector<uint32_t> triangle = Triangulate({{0, 0}, {1, 0}, {0, 1}});
    EXPECT_EQ((triangle[1] + 3 - triangle[0]) % 3, 1u);
    const Points l = {{0, 0}, {2, 0}, {2, 1}, {1, 1}, {1, 2}, {0, 2}};
    const std::vector<uint32_t> lIndices = Triangulate(l);
    for (size_t t = 0; t < lIndices.size(); t += 3) {
        const V2d& a = l[lIndices[t]];
        const V2d& b = l[lIndices[t + 1]];
        const V2d& c = l[lIndices[t + 2]];
        const V2d centre = {(a.x + b.x + c.x) / 3, (a.y + b.y + c.y) / 3};
        EXPECT_FALSE(centre.x > 1 && centre.y > 1) << "triangle " << t / 3 << " lies in the notch";
    }
}

TEST_F(Tess, RandomStarsGiveNMinusTwoTrianglesCoveringTheArea)
{
    std::mt19937 random(11);
    for (int32_t n = 4; n <= 60; ++n) {
        const Points star = Star(n, random);
        const std::vector<uint32_t> indices = Triangulate(star);
        ASSERT_EQ(indices.size(), size_t(3 * (n - 2))) << n << " vertices";
        EXPECT_NEAR(CoveredArea(star, indices), Area(star), 1e-4f) << n << " vertices";
    }
}

TEST_F(Tess, RepeatsAndSpikesAreDroppedWithoutAnError)
{
    // A unit square with a repeated corner and a zero-area spike out of its top edge.
    const Points points = {{0, 0}, {1, 0}, {1, 0}, {1, 1}, {0.5f, 1}, {0.5f, 2}, {0.5f, 1}, {0, 1}};
    const std::vector<uint32_t> indices = Triangulate(points);
    EXPECT_NEAR(CoveredArea(points, indices), 1.0f, 1e-5f);
    EXPECT_EQ(TakeError().code, kErrorNone);
    EXPECT_EQ(Triangulate({{0, 0}, {0, 0}, {0, 0}, {0, 0}}).size(), 0u);
    EXPECT_EQ(TakeError().code, kErrorNone);
}

TEST_F(Tess, FreeListsAreEmptyAfterEveryRun)
{
    std::mt19937 random(3);
    for (int32_t run = 0; run < 1000; ++run) {
        Triangulate(Star(4 + run % 40, random));
    }
    EXPECT_EQ(TessGetNodesInUse(), 0);
    EXPECT_EQ(TessGetPolygonsInUse(), 0);
}

TEST_F(Tess, LargePolygonsNeedNoDeepRecursion)
{
    // 5,000 vertices on a gently waving circle: thousands of pieces, all from
    // the explicit stack (a recursion per ear would need thousands of frames).
    Points points;
    for (int32_t i = 0; i < 5000; ++i) {
        const float angle = 6.2831853f * float(i) / 5000.0f;
        const float r = 1.0f + 0.01f * std::sin(float(i) * 0.7f);
        points.push_back({r * std::cos(angle), r * std::sin(angle)});
    }
    const std::vector<uint32_t> indices = Triangulate(points);
    EXPECT_EQ(indices.size(), size_t(3 * 4998));
    EXPECT_NEAR(CoveredArea(points, indices), Area(points), 1e-3f);
}
