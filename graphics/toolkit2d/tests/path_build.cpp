// Paths: building, miters and arc lengths, flattening, the even-odd test,
// trimming and interpolation.

#include <random>

#include "graphics/core/vector.h"
#include "graphics/toolkit2d/path.h"
#include "graphics/toolkit2d/tests/twodtesting.h"
#include "graphics/toolkit2d/twoddevice.h"

namespace {

class Paths : public TwoDTest
{
  protected:
    void SetUp() override
    {
        TwoDTest::SetUp();
        path_ = PathCreate();
    }
    void TearDown() override
    {
        PathDestroy(path_);
        TwoDTest::TearDown();
    }

    Path* path_ = nullptr;
};

float Dot(float ax, float ay, float bx, float by)
{
    return ax * bx + ay * by;
}

V2d Bezier(const V2d* p, float t)
{
    const float s = 1.0f - t;
    const float a = s * s * s, b = 3 * s * s * t, c = 3 * s * t * t, d = t * t * t;
    return {a * p[0].x + b * p[1].x + c * p[2].x + d * p[3].x,
            a * p[0].y + b * p[1].y + c * p[2].y + d * p[3].y};
}

/// Squared distance from q to the segment a-b.
float SegmentDistance(const V2d& q, const PathNode& a, const PathNode& b)
{
    const float ex = b.x - a.x, ey = b.y - a.y;
    const float length = ex * ex + ey * ey;
    float t = length > 0 ? Dot(q.x - a.x, q.y - a.y, ex, ey) / length : 0.0f;
    t = std::clamp(t, 0.0f, 1.0f);
    const float dx = a.x + ex * t - q.x, dy = a.y + ey * t - q.y;
    return dx * dx + dy * dy;
}

} // namespace

TEST_F(Paths, RectIsFiveClosedNodes)
{
    ASSERT_NE(PathRect(path_, 1, 2, 3, 4), nullptr);
    ASSERT_EQ(PathGetNodeCount(path_), 5);
    const PathNode* nodes = PathGetNodes(path_);
    EXPECT_EQ(nodes[0].type, kPathMove);
    EXPECT_EQ(nodes[4].type, kPathLine);
    EXPECT_EQ(nodes[4].x, 1.0f);
    EXPECT_EQ(nodes[4].y, 2.0f);
    EXPECT_NEAR(nodes[4].length, 14.0f, 0.02f) << "the perimeter";
    EXPECT_TRUE(path_->closed);
    EXPECT_TRUE(path_->straight);
    float bounds[4];
    PathGetBounds(path_, bounds);
    EXPECT_EQ(bounds[0], 1.0f);
    EXPECT_EQ(bounds[3], 4.0f);
}

TEST_F(Paths, CornerMiterProjectsToOneOnBothNormals)
{
    PathMoveTo(path_, 0, 0);
    PathLineTo(path_, 2, 0);
    PathLineTo(path_, 3, 1.5f);
    const PathNode& corner = PathGetNodes(path_)[1];
    // Unit normals (dy, -dx) of the two segments.
    const float n1x = 0, n1y = -1;
    const float length = std::sqrt(1 + 1.5f * 1.5f);
    const float n2x = 1.5f / length, n2y = -1 / length;
    EXPECT_NEAR(Dot(corner.mx, corner.my, n1x, n1y), 1.0f, 2e-3f);
    EXPECT_NEAR(Dot(corner.mx, corner.my, n2x, n2y), 1.0f, 2e-3f);
    EXPECT_NEAR(PathGetNodes(path_)[0].my, -1.0f, 1e-3f) << "the first node takes its segment's normal";
}

TEST_F(Paths, DuplicatesAndReversalsStayFinite)
{
    PathMoveTo(path_, 0, 0);
    PathLineTo(path_, 0, 0); // zero length at the start
    PathLineTo(path_, 1, 0);
    PathLineTo(path_, 1, 0); // duplicate
    PathLineTo(path_, 0, 0); // straight back
    PathLineTo(path_, 0, 0);
    PathClose(path_);
    for (int32_t i = 0; i < PathGetNodeCount(path_); ++i) {
        const PathNode& node = PathGetNodes(path_)[i];
        EXPECT_TRUE(std::isfinite(node.mx) && std::isfinite(node.my)) << i;
        EXPECT_LE(Dot(node.mx, node.my, node.mx, node.my), 2000.0f) << i;
    }
    EXPECT_EQ(TakeError().code, kErrorNone);
}

TEST_F(Paths, ClosingOntoAnEqualPointJoinsTheMiters)
{
    PathMoveTo(path_, 0, 0);
    PathLineTo(path_, 1, 0);
    PathLineTo(path_, 1, 1);
    PathLineTo(path_, 0, 0);
    PathClose(path_);
    ASSERT_EQ(PathGetNodeCount(path_), 4) << "no node added";
    const PathNode* nodes = PathGetNodes(path_);
    EXPECT_EQ(nodes[0].mx, nodes[3].mx);
    EXPECT_EQ(nodes[0].my, nodes[3].my);
    // The joined miter fits the first segment (normal (0, -1)) and the last ((-1, 1) / sqrt 2).
    EXPECT_NEAR(Dot(nodes[0].mx, nodes[0].my, 0, -1), 1.0f, 2e-3f);
    EXPECT_NEAR(Dot(nodes[0].mx, nodes[0].my, -0.70710678f, 0.70710678f), 1.0f, 2e-3f);
}

TEST_F(Paths, OvalOfASquareHasThirteenNodesOfGrowingLength)
{
    PathOval(path_, 0, 0, 2, 2);
    ASSERT_EQ(PathGetNodeCount(path_), 13);
    EXPECT_FALSE(path_->straight);
    const PathNode* nodes = PathGetNodes(path_);
    for (int32_t i = 1; i < 13; ++i) {
        EXPECT_GT(nodes[i].length, nodes[i - 1].length) << i;
        EXPECT_EQ(nodes[i].type, kPathCurve);
    }
    EXPECT_EQ(nodes[12].x, 1.0f);
    EXPECT_EQ(nodes[12].y, 0.0f);
    PathFlatten(path_);
    EXPECT_TRUE(path_->straight);
    EXPECT_TRUE(path_->closed);
    // Every flattened point lies on the circle of radius 1 about (1, 1).
    for (int32_t i = 0; i < PathGetNodeCount(path_); ++i) {
        const PathNode& node = PathGetNodes(path_)[i];
        EXPECT_NEAR(std::hypot(node.x - 1, node.y - 1), 1.0f, 1e-3f) << i;
    }
}

TEST_F(Paths, FlattenedCubicsStayWithinTheTolerance)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<float> coordinate(0.0f, 1.0f);
    const float tolerance = 1e-4f; // 0.01 units
    for (int32_t round = 0; round < 200; ++round) {
        V2d p[4];
        for (V2d& point : p) {
            point = {coordinate(random), coordinate(random)};
        }
        PathReset(path_);
        PathMoveTo(path_, p[0].x, p[0].y);
        PathFlattenCurve(path_, p, 12, tolerance);
        const PathNode* nodes = PathGetNodes(path_);
        const int32_t count = PathGetNodeCount(path_);
        ASSERT_GE(count, 2);
        for (int32_t k = 0; k <= 64; ++k) {
            const V2d q = Bezier(p, float(k) / 64.0f);
            float best = 1e9f;
            for (int32_t i = 0; i + 1 < count; ++i) {
                best = std::min(best, SegmentDistance(q, nodes[i], nodes[i + 1]));
            }
            ASSERT_LE(best, tolerance * 1.01f) << "round " << round << " t " << k / 64.0f;
        }
    }
}

TEST_F(Paths, CurveDepthLimitsAndClosedLoops)
{
    const V2d wiggle[4] = {{0, 0}, {0, 1}, {1, -1}, {1, 0}};
    PathMoveTo(path_, 0, 0);
    PathFlattenCurve(path_, wiggle, 0, 1e-6f);
    EXPECT_EQ(PathGetNodeCount(path_), 2) << "depth 0 gives one line";

    // A loop that ends where it starts is no point: it is subdivided.
    const V2d loop[4] = {{0, 0}, {1, 1}, {-1, 1}, {0, 0}};
    PathReset(path_);
    PathMoveTo(path_, 0, 0);
    PathFlattenCurve(path_, loop, 7, 1e-4f);
    EXPECT_GT(PathGetNodeCount(path_), 8);
    float bounds[4];
    PathGetBounds(path_, bounds);
    EXPECT_GT(bounds[3], 0.7f) << "the loop keeps its height";

    // A curve already within the tolerance is one line.
    const V2d flat[4] = {{0, 0}, {1, 0.001f}, {2, -0.001f}, {3, 0}};
    PathReset(path_);
    PathMoveTo(path_, 0, 0);
    PathFlattenCurve(path_, flat, 7, 1e-4f);
    EXPECT_EQ(PathGetNodeCount(path_), 2);
}

TEST_F(Paths, EvenOddTable)
{
    // A square with a square notch cut into its top: (0,0) (3,0) (3,3) (2,3) (2,1) (1,1) (1,3) (0,3).
    PathMoveTo(path_, 0, 0);
    const float points[][2] = {{3, 0}, {3, 3}, {2, 3}, {2, 1}, {1, 1}, {1, 3}, {0, 3}};
    for (const auto& p : points) {
        PathLineTo(path_, p[0], p[1]);
    }
    PathClose(path_);
    struct Case
    {
        float x, y;
        bool inside;
    };
    const Case cases[] = {
        {0.5f, 0.5f, true},   {2.5f, 2.5f, true},  {1.5f, 2.0f, false}, {1.5f, 0.5f, true},
        {-1.0f, 1.0f, false}, {4.0f, 1.0f, false}, {1.5f, 0.0f, false}, // on the bottom edge: outside
        {0.5f, 3.0f, true},                                             // on a top edge: inside
        {1.5f, 1.0f, true},                                             // on the notch's floor (a top edge)
    };
    for (const Case& c : cases) {
        const V2d point = {c.x, c.y};
        EXPECT_EQ(PathSubContainsPoint(&point, path_), c.inside) << c.x << ", " << c.y;
    }
}

TEST_F(Paths, MoveToStartsSubPathsAndTrimEndDropsLoneMoves)
{
    PathMoveTo(path_, 0, 0);
    PathMoveTo(path_, 1, 1); // leaves a lone move behind
    PathLineTo(path_, 2, 1);
    PathMoveTo(path_, 5, 0); // the advance of a glyph
    ASSERT_NE(path_->next, nullptr);
    EXPECT_EQ(path_->current, path_->next->next);
    path_ = PathTrimEnd(path_);
    ASSERT_NE(path_, nullptr);
    EXPECT_EQ(PathGetNodeCount(path_), 2);
    EXPECT_EQ(path_->next, nullptr);
    EXPECT_EQ(path_->current, path_);
    PathLineTo(path_, 3, 3);
    EXPECT_EQ(PathGetNodeCount(path_), 3);

    Path* lone = PathCreate();
    PathMoveTo(lone, 1, 1);
    EXPECT_EQ(PathTrimEnd(lone), nullptr) << "nothing is left";
}

TEST_F(Paths, FinishedPathsBecomeEditableAndInterpolate)
{
    PathRect(path_, 0, 0, 1, 1);
    PathFinish(path_);
    EXPECT_EQ(path_->count, 5);
    Path* to = PathCreate();
    PathRect(to, 2, 2, 3, 3);
    Path* mid = PathCreate();
    PathRect(mid, 0, 0, 1, 1);
    ASSERT_EQ(PathInterpolate(mid, path_, to, 0.5f), mid);
    EXPECT_FLOAT_EQ(PathGetNodes(mid)[2].x, 3.0f);
    ASSERT_EQ(PathInterpolate(mid, path_, to, 1.0f), mid);
    EXPECT_FLOAT_EQ(PathGetNodes(mid)[2].x, 5.0f);
    PathLineTo(to, 9, 9);
    EXPECT_EQ(PathInterpolate(mid, path_, to, 0.5f), nullptr) << "different structures";

    PathLineTo(path_, 7, 7); // a finished path takes nodes again
    EXPECT_EQ(path_->count, -1);
    EXPECT_EQ(PathGetNodeCount(path_), 6);
    PathDestroy(to);
    PathDestroy(mid);
}
