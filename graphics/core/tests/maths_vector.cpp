#include <cmath>
#include <cstring>
#include <random>

#include "graphics/core/bbox.h"
#include "graphics/core/matrix.h"
#include "graphics/core/tests/mathstesting.h"
#include "graphics/core/vector.h"

namespace {

using VectorTest = StartedEngineTest;

float FromBits(uint32_t bits)
{
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

// Every table entry is exact: for the floats whose bits are 0x3F800000 +
// k * 0x1000 and 0x40000000 + k * 0x1000, scaled by powers of four, the
// lookups give the single-precision root of the entry's float.
TEST_F(VectorTest, TableRootsAreExactAtTheTablePoints)
{
    for (uint32_t base : {0x3F800000u, 0x40000000u}) {
        for (uint32_t k = 0; k < 2048; ++k) {
            float f = FromBits(base + k * 0x1000u);
            float root = std::sqrt(f);
            float inverse = 1.0f / std::sqrt(f);
            for (int n : {-20, -3, 0, 1, 5, 20}) {
                float x = std::ldexp(f, 2 * n);
                ASSERT_EQ(VectorSqrt(x), std::ldexp(root, n)) << "x=" << x;
                ASSERT_EQ(VectorInvSqrt(x), std::ldexp(inverse, -n)) << "x=" << x;
            }
        }
    }
}

TEST_F(VectorTest, TableRootsKeepTwelveSignificantBits)
{
    std::mt19937 random(1234);
    std::uniform_real_distribution<double> exponent(-30.0, 30.0);
    const double limit = std::ldexp(1.0, -12);
    for (int i = 0; i < 100000; ++i) {
        float x = float(std::pow(2.0, exponent(random)));
        double exact = std::sqrt(double(x));
        ASSERT_LE(std::fabs(VectorSqrt(x) - exact) / exact, limit) << "x=" << x;
        ASSERT_LE(std::fabs(VectorInvSqrt(x) * exact - 1.0), limit) << "x=" << x;
    }
}

TEST_F(VectorTest, SpecialValues)
{
    struct Case
    {
        float x, root, inverseRoot;
    } cases[] = {{0.0f, 0.0f, 0.0f},
                 {1.0f, 1.0f, 1.0f},
                 {4.0f, 2.0f, 0.5f},
                 {0.25f, 0.5f, 2.0f},
                 {16.0f, 4.0f, 0.25f}};
    for (const Case& c : cases) {
        EXPECT_EQ(VectorSqrt(c.x), c.root) << c.x;
        EXPECT_EQ(VectorInvSqrt(c.x), c.inverseRoot) << c.x;
    }
}

TEST_F(VectorTest, NormalizeAndLength)
{
    struct Case
    {
        V3d in;
        float length;
    } cases[] = {{{3, 4, 0}, 5}, {{0, 0, -2}, 2}, {{1, 1, 1}, std::sqrt(3.0f)}, {{1e-3f, 0, 0}, 1e-3f}};
    for (const Case& c : cases) {
        V3d out;
        float length = V3dNormalize(&out, &c.in);
        EXPECT_NEAR(length, c.length, c.length * 1e-3f);
        EXPECT_NEAR(V3dLength(&c.in), c.length, c.length * 1e-3f);
        EXPECT_NEAR(std::sqrt(out.x * out.x + out.y * out.y + out.z * out.z), 1.0f, 1e-3f);
        EXPECT_GT(out.x * c.in.x + out.y * c.in.y + out.z * c.in.z, 0.0f);
        V3d fast;
        float factor = V3dNormalizeFast(&fast, &c.in);
        EXPECT_NEAR(factor, 1.0f / c.length, 1e-3f / c.length);
    }
    EXPECT_EQ(TakeError(), kNoError);
    V2d in2 = {0, -3}, out2;
    EXPECT_NEAR(V2dNormalize(&out2, &in2), 3.0f, 1e-3f);
    EXPECT_NEAR(out2.y, -1.0f, 1e-3f);
    EXPECT_NEAR(V2dLength(&in2), 3.0f, 1e-3f);
}

TEST_F(VectorTest, ZeroVectorNormalizeRecordsErrorButFastDoesNot)
{
    V3d zero = {0, 0, 0};
    V3d out = {9, 9, 9};
    EXPECT_EQ(V3dNormalizeFast(&out, &zero), 0.0f);
    EXPECT_EQ(TakeError(), kNoError);
    out = {9, 9, 9};
    EXPECT_EQ(V3dNormalize(&out, &zero), 0.0f);
    EXPECT_EQ(out.x, 0.0f);
    EXPECT_EQ(out.y, 0.0f);
    EXPECT_EQ(out.z, 0.0f);
    EXPECT_EQ(TakeError(), (ErrorRecord{1, kErrorZeroLengthVector}));
    V2d zero2 = {0, 0}, out2;
    EXPECT_EQ(V2dNormalize(&out2, &zero2), 0.0f);
    EXPECT_EQ(TakeError(), (ErrorRecord{1, kErrorZeroLengthVector}));
}

int gCustomCalls = 0;
V3d* CountingPoint(V3d* out, const V3d* in, const Matrix* m)
{
    ++gCustomCalls;
    return V3dTransformPointDefault(out, in, m);
}

TEST_F(VectorTest, TransformsFollowTheRowVectorFormulaAndAreReplaceable)
{
    Matrix m{};
    m.right = {0, 1, 0};
    m.up = {-2, 0, 0};
    m.at = {0, 0, 3};
    m.pos = {10, 20, 30};
    V3d points[2] = {{1, 2, 3}, {-1, 0, 1}};
    V3d out[2];
    V3dTransformPoints(out, points, 2, &m);
    EXPECT_EQ(out[0].x, -4.0f + 10);
    EXPECT_EQ(out[0].y, 1.0f + 20);
    EXPECT_EQ(out[0].z, 9.0f + 30);
    V3dTransformVector(&out[1], &points[1], &m);
    EXPECT_EQ(out[1].x, 0.0f);
    EXPECT_EQ(out[1].y, -1.0f);
    EXPECT_EQ(out[1].z, 3.0f);
    // In place.
    V3dTransformPoint(&points[0], &points[0], &m);
    EXPECT_EQ(points[0].x, 6.0f);
    EXPECT_EQ(points[0].z, 39.0f);

    gCustomCalls = 0;
    EXPECT_EQ(VectorSetTransformFunctions(CountingPoint, nullptr, nullptr, nullptr), 1);
    V3dTransformPoint(&out[0], &points[1], &m);
    EXPECT_EQ(gCustomCalls, 1);
    EXPECT_EQ(VectorSetTransformFunctions(nullptr, nullptr, nullptr, nullptr), 1);
    V3dTransformOneFunc point, vector;
    V3dTransformManyFunc many, vectors;
    VectorGetTransformFunctions(&point, &many, &vector, &vectors);
    EXPECT_EQ(point, V3dTransformPointDefault);
    EXPECT_EQ(many, V3dTransformPointsDefault);
    EXPECT_EQ(vector, V3dTransformVectorDefault);
    EXPECT_EQ(vectors, V3dTransformVectorsDefault);
    V3dTransformPoint(&out[0], &points[1], &m);
    EXPECT_EQ(gCustomCalls, 1);
}

TEST(BBoxTest, CalculateAddAndContain)
{
    V3d points[] = {{1, 2, 3}, {-1, 5, 0}, {0, 0, 4}};
    BBox box;
    BBoxCalculate(&box, points, 3);
    EXPECT_EQ(box.inf.x, -1.0f);
    EXPECT_EQ(box.inf.y, 0.0f);
    EXPECT_EQ(box.inf.z, 0.0f);
    EXPECT_EQ(box.sup.x, 1.0f);
    EXPECT_EQ(box.sup.y, 5.0f);
    EXPECT_EQ(box.sup.z, 4.0f);
    struct Case
    {
        V3d point;
        int32_t inside;
    } cases[] = {{{0, 1, 1}, 1},     {{1, 5, 4}, 1},      {{-1, 0, 0}, 1},     {{1, 2.5f, 2}, 1},
                 {{1.01f, 1, 1}, 0}, {{0, -0.01f, 1}, 0}, {{0, 1, 4.001f}, 0}, {{-2, 6, 5}, 0}};
    for (const Case& c : cases) {
        EXPECT_EQ(BBoxContainsPoint(&box, &c.point), c.inside)
            << c.point.x << " " << c.point.y << " " << c.point.z;
    }
    V3d far = {-3, 9, 2};
    BBoxAddPoint(&box, &far);
    EXPECT_EQ(box.inf.x, -3.0f);
    EXPECT_EQ(box.sup.y, 9.0f);
    BBoxInitialize(&box, &far);
    EXPECT_EQ(box.sup.x, -3.0f);
    EXPECT_EQ(box.inf.y, 9.0f);
}

} // namespace
