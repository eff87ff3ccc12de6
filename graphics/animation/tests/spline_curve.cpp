#include <cmath>
#include <vector>

#include "graphics/animation/tests/splinetesting.h"

namespace {

/// n points round a circle of radius 10, rising and falling in z.
std::vector<V3d> Points(int32_t n)
{
    std::vector<V3d> points;
    for (int32_t i = 0; i < n; ++i) {
        const float a = 6.2831853f * static_cast<float>(i) / static_cast<float>(n);
        points.push_back({10.0f * std::cos(a), 10.0f * std::sin(a), 3.0f * std::sin(3.0f * a)});
    }
    return points;
}

void ExpectNear(const V3d& a, const V3d& b, float tolerance)
{
    EXPECT_NEAR(a.x, b.x, tolerance);
    EXPECT_NEAR(a.y, b.y, tolerance);
    EXPECT_NEAR(a.z, b.z, tolerance);
}

V3d Evaluate(const Spline* spline, float t, int32_t mode = kSplinePathLinear)
{
    V3d point = {NAN, NAN, NAN};
    EXPECT_NE(SplineEvaluate(spline, mode, t, &point, nullptr), nullptr);
    return point;
}

// Through every given point at its knot, for short splines solved exactly and
// long ones through the sliding window.
TEST_F(SplineTest, OpenSplinesPassThroughTheirPoints)
{
    for (int32_t n : {4, 5, 7, 10, 11, 16}) {
        SCOPED_TRACE(n);
        const std::vector<V3d> points = Points(n);
        Spline* spline = SplineCreate(n, kSplineOpen, points.data());
        ASSERT_NE(spline, nullptr);
        EXPECT_EQ(SplineGetNumControlPoints(spline), n);
        // Long splines are near the points, not exact: the window truncates
        // the inverse (the cyclic one of 10 points on a longer loop).
        const float tolerance = n <= 10 ? 2e-4f : 0.1f;
        for (int32_t i = 0; i < n; ++i) {
            ExpectNear(Evaluate(spline, static_cast<float>(i) / static_cast<float>(n - 1)), points[i],
                       tolerance);
        }
        // Beyond the end an open spline stays at its last point.
        ExpectNear(Evaluate(spline, 1.5f), points[n - 1], tolerance);
        ExpectNear(Evaluate(spline, -1.0f), points[n - 1], tolerance);
        SplineDestroy(spline);
    }
}

TEST_F(SplineTest, ClosedSplinesWrap)
{
    for (int32_t n : {3, 4, 5, 8, 12}) {
        SCOPED_TRACE(n);
        const std::vector<V3d> points = Points(n);
        Spline* spline = SplineCreate(n, kSplineClosed, points.data());
        ASSERT_NE(spline, nullptr);
        const float tolerance = n <= 10 ? 2e-4f : 0.1f;
        for (int32_t i = 0; i < n; ++i) {
            ExpectNear(Evaluate(spline, static_cast<float>(i) / static_cast<float>(n)), points[i], tolerance);
        }
        ExpectNear(Evaluate(spline, 1.0f), points[0], tolerance);
        const V3d quarter = Evaluate(spline, 0.25f);
        ExpectNear(Evaluate(spline, 1.25f), quarter, 1e-5f);
        ExpectNear(Evaluate(spline, -0.25f), quarter, 1e-5f);
        SplineDestroy(spline);
    }
}

// Just below t = 1 the segment index rounds up to the segment count; the
// curve stays at its end instead of reading past the stored points.
TEST_F(SplineTest, ParametersJustBelowOneStayInBounds)
{
    for (uint32_t type : {kSplineOpen, kSplineClosed}) {
        for (int32_t n : {4, 7, 13, 1000}) {
            const std::vector<V3d> points = Points(n);
            Spline* spline = SplineCreate(n, type, points.data());
            ASSERT_NE(spline, nullptr);
            const V3d end = Evaluate(spline, 1.0f);
            ExpectNear(Evaluate(spline, std::nextafter(1.0f, 0.0f)), end, 1e-2f);
            ExpectNear(Evaluate(spline, 1.0f - 1e-7f), end, 1e-2f);
            SplineDestroy(spline);
        }
    }
}

TEST_F(SplineTest, EasedModeAndBadModes)
{
    const std::vector<V3d> points = Points(6);
    Spline* spline = SplineCreate(6, kSplineOpen, points.data());
    ASSERT_NE(spline, nullptr);
    ExpectNear(Evaluate(spline, 0.5f, kSplinePathEased), Evaluate(spline, 0.5f), 1e-6f);
    // 0.25 eases to 0.125.
    ExpectNear(Evaluate(spline, 0.25f, kSplinePathEased), Evaluate(spline, 0.125f), 1e-6f);
    V3d point;
    EXPECT_EQ(SplineEvaluate(spline, 12, 0.5f, &point, nullptr), nullptr);
    EXPECT_EQ(TakeError(), (ErrorRecord{0x102, 1}));
    SplineDestroy(spline);
}

TEST_F(SplineTest, TangentsFollowTheCurve)
{
    // A straight line along x: the tangent is +x everywhere.
    const V3d line[5] = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}};
    Spline* spline = SplineCreate(5, kSplineOpen, line);
    ASSERT_NE(spline, nullptr);
    V3d point, tangent;
    ASSERT_NE(SplineEvaluate(spline, kSplinePathLinear, 0.4f, &point, &tangent), nullptr);
    ExpectNear(tangent, {1, 0, 0}, 1e-3f);
    SplineDestroy(spline);

    // Coincident points: no direction, so (0, 1, 0).
    const V3d same[4] = {{1, 2, 3}, {1, 2, 3}, {1, 2, 3}, {1, 2, 3}};
    spline = SplineCreate(4, kSplineOpen, same);
    ASSERT_NE(spline, nullptr);
    ASSERT_NE(SplineEvaluate(spline, kSplinePathLinear, 0.3f, &point, &tangent), nullptr);
    ExpectNear(point, {1, 2, 3}, 1e-5f);
    EXPECT_EQ(tangent.x, 0.0f);
    EXPECT_EQ(tangent.y, 1.0f);
    EXPECT_EQ(tangent.z, 0.0f);
    SplineDestroy(spline);
}

TEST_F(SplineTest, CreateRefusesBadTypesAndCounts)
{
    const std::vector<V3d> points = Points(4);
    struct Case
    {
        int32_t count;
        uint32_t type;
        const V3d* points;
        ErrorRecord error;
    } cases[] = {
        {4, 3, points.data(), {0x102, 1}},
        {4, 0, points.data(), {0x102, 1}},
        {3, kSplineOpen, points.data(), {0, kErrorNullArgument}},
        {2, kSplineClosed, points.data(), {0, kErrorNullArgument}},
        {0, kSplineClosed, points.data(), {0, kErrorNullArgument}},
        {-5, kSplineOpen, points.data(), {0, kErrorNullArgument}},
        {4, kSplineOpen, nullptr, {0, kErrorNullArgument}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SplineCreate(c.count, c.type, c.points), nullptr);
        EXPECT_EQ(TakeError(), c.error);
    }
}

TEST_F(SplineTest, ControlPointsAreCheckedAndRecomputeTheCurve)
{
    std::vector<V3d> points = Points(5);
    Spline* spline = SplineCreate(5, kSplineOpen, points.data());
    ASSERT_NE(spline, nullptr);
    V3d out;
    EXPECT_EQ(SplineGetControlPoint(spline, 5, &out), nullptr);
    EXPECT_EQ(TakeError(), (ErrorRecord{0, kErrorBadArgument}));
    EXPECT_EQ(SplineGetControlPoint(spline, -1, &out), nullptr);
    EXPECT_EQ(SplineSetControlPoint(spline, 5, &out), nullptr);
    TakeError();

    const V3d moved = {10, 20, 30};
    ASSERT_EQ(SplineSetControlPoint(spline, 2, &moved), spline);
    ASSERT_EQ(SplineGetControlPoint(spline, 2, &out), &out);
    ExpectNear(out, moved, 0.0f);
    ExpectNear(Evaluate(spline, 0.5f), moved, 1e-3f);

    Spline* clone = SplineClone(spline);
    ASSERT_NE(clone, nullptr);
    ExpectNear(Evaluate(clone, 0.3f), Evaluate(spline, 0.3f), 0.0f);
    SplineDestroy(clone);
    SplineDestroy(spline);
}

} // namespace
