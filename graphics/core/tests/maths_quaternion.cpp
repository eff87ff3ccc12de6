#include <cmath>
#include <random>

#include "graphics/core/matrix.h"
#include "graphics/core/quaternion.h"
#include "graphics/core/tests/mathstesting.h"

namespace {

using QuaternionTest = StartedEngineTest;

Matrix Rows(V3d right, V3d up, V3d at)
{
    Matrix m = {};
    m.right = right;
    m.up = up;
    m.at = at;
    return m;
}

void ExpectQuaternionNear(const Quaternion& q, const Quaternion& expected, float tolerance)
{
    EXPECT_NEAR(q.x, expected.x, tolerance);
    EXPECT_NEAR(q.y, expected.y, tolerance);
    EXPECT_NEAR(q.z, expected.z, tolerance);
    EXPECT_NEAR(q.w, expected.w, tolerance);
}

void ExpectVectorNear(const V3d& v, const V3d& expected, float tolerance)
{
    EXPECT_NEAR(v.x, expected.x, tolerance);
    EXPECT_NEAR(v.y, expected.y, tolerance);
    EXPECT_NEAR(v.z, expected.z, tolerance);
}

// One matrix per branch of the conversion: positive trace, then the x, y and
// z cases, and a tie between x and y that goes to the later axis (y).
TEST_F(QuaternionTest, FromMatrixTakesEachBranch)
{
    const float h = std::sqrt(0.5f);
    struct Case
    {
        const char* name;
        Matrix matrix;
        Quaternion expected;
    } cases[] = {
        {"identity", Rows({1, 0, 0}, {0, 1, 0}, {0, 0, 1}), {0, 0, 0, 1}},
        // 90 degrees about z: right goes to up.
        {"z90", Rows({0, 1, 0}, {-1, 0, 0}, {0, 0, 1}), {0, 0, h, h}},
        {"x180", Rows({1, 0, 0}, {0, -1, 0}, {0, 0, -1}), {1, 0, 0, 0}},
        {"y180", Rows({-1, 0, 0}, {0, 1, 0}, {0, 0, -1}), {0, 1, 0, 0}},
        {"z180", Rows({-1, 0, 0}, {0, -1, 0}, {0, 0, 1}), {0, 0, 1, 0}},
        // 180 degrees about (1, 1, 0)/sqrt(2): diagonal (0, 0, -1).
        {"xy180 tie", Rows({0, 1, 0}, {1, 0, 0}, {0, 0, -1}), {h, h, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Quaternion q = {9, 9, 9, 9};
        EXPECT_EQ(QuaternionFromMatrix(&q, &c.matrix), 1);
        ExpectQuaternionNear(q, c.expected, 1e-3f);
    }
    EXPECT_EQ(TakeError(), kNoError);
}

TEST_F(QuaternionTest, FromMatrixWithNullWritesNothing)
{
    Matrix m = Rows({1, 0, 0}, {0, 1, 0}, {0, 0, 1});
    Quaternion q = {9, 9, 9, 9};
    EXPECT_EQ(QuaternionFromMatrix(nullptr, &m), 0);
    EXPECT_EQ(QuaternionFromMatrix(&q, nullptr), 0);
    EXPECT_EQ(q.x, 9.0f);
    EXPECT_EQ(TakeError(), kNoError);
}

// Random rotations made by the engine's matrix code convert to quaternions
// that rotate the basis vectors onto the matrix rows.
TEST_F(QuaternionTest, RandomRotationsRoundTrip)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<float> component(-1.0f, 1.0f);
    std::uniform_real_distribution<float> degrees(-180.0f, 180.0f);
    for (int i = 0; i < 200; ++i) {
        V3d axis = {component(random), component(random), component(random)};
        if (V3dLength(&axis) < 0.1f) {
            continue;
        }
        const float angle = degrees(random);
        Matrix m = Rows({1, 0, 0}, {0, 1, 0}, {0, 0, 1});
        MatrixRotate(&m, &axis, angle, kCombineReplace);
        Quaternion q;
        ASSERT_EQ(QuaternionFromMatrix(&q, &m), 1);
        EXPECT_NEAR(QuaternionModulus(&q), 1.0f, 1e-3f);
        const V3d basis[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
        V3d rotated[3];
        QuaternionTransformVectors(rotated, basis, 3, &q);
        SCOPED_TRACE(i);
        ExpectVectorNear(rotated[0], m.right, 1e-3f);
        ExpectVectorNear(rotated[1], m.up, 1e-3f);
        ExpectVectorNear(rotated[2], m.at, 1e-3f);

        // The same rotation built directly agrees up to sign.
        Quaternion r = {};
        ASSERT_NE(QuaternionRotate(&r, &axis, angle, kQuaternionReplace), nullptr);
        const float sign = (r.x * q.x + r.y * q.y + r.z * q.z + r.w * q.w) < 0 ? -1.0f : 1.0f;
        ExpectQuaternionNear({sign * r.x, sign * r.y, sign * r.z, sign * r.w}, q, 2e-3f);
    }
}

TEST_F(QuaternionTest, RotateCombinesInEitherOrder)
{
    const V3d xAxis = {2, 0, 0}; // normalised inside
    const V3d yAxis = {0, 1, 0};
    Quaternion q = {5, 5, 5, 5};
    ASSERT_EQ(QuaternionRotate(&q, &xAxis, 90.0f, kQuaternionReplace), &q);
    const float h = std::sqrt(0.5f);
    ExpectQuaternionNear(q, {h, 0, 0, h}, 1e-6f);

    // Pre-concat (q x r): r is applied first, so x maps to -z (y turn), then
    // the x turn takes -z to y. Post-concat (r x q): x turn first, x stays x,
    // then the y turn takes x to -z.
    Quaternion pre = q;
    Quaternion post = q;
    ASSERT_NE(QuaternionRotate(&pre, &yAxis, 90.0f, kQuaternionPreConcat), nullptr);
    ASSERT_NE(QuaternionRotate(&post, &yAxis, 90.0f, kQuaternionPostConcat), nullptr);
    const V3d x = {1, 0, 0};
    V3d a, b;
    QuaternionTransformVectors(&a, &x, 1, &pre);
    QuaternionTransformVectors(&b, &x, 1, &post);
    ExpectVectorNear(a, {0, 1, 0}, 1e-5f);
    ExpectVectorNear(b, {0, 0, -1}, 1e-5f);
}

TEST_F(QuaternionTest, RotateRefusesUnknownOpAndNulls)
{
    const V3d axis = {0, 0, 1};
    Quaternion q = {1, 2, 3, 4};
    EXPECT_EQ(QuaternionRotate(&q, &axis, 30.0f, 3), nullptr);
    EXPECT_EQ(TakeError(), (ErrorRecord{0, kErrorBadArgument}));
    EXPECT_EQ(q.x, 1.0f);
    EXPECT_EQ(q.y, 2.0f);
    EXPECT_EQ(q.z, 3.0f);
    EXPECT_EQ(q.w, 4.0f);

    EXPECT_EQ(QuaternionRotate(nullptr, &axis, 30.0f, 0), nullptr);
    EXPECT_EQ(TakeError(), (ErrorRecord{0, kErrorNullArgument}));
    EXPECT_EQ(QuaternionRotate(&q, nullptr, 30.0f, 0), nullptr);
    EXPECT_EQ(TakeError(), (ErrorRecord{0, kErrorNullArgument}));
}

TEST_F(QuaternionTest, QueryRotateReportsTheShorterRotation)
{
    struct Case
    {
        Quaternion q;
        V3d axis;
        float angle;
    } cases[] = {
        {{0, 0, 0, 1}, {0, 0, 0}, 0.0f},
        {{0, 0, 0, -1}, {0, 0, 0}, 0.0f},
        // 90 degrees about x.
        {{std::sqrt(0.5f), 0, 0, std::sqrt(0.5f)}, {1, 0, 0}, 90.0f},
        // 300 degrees about y (w < 0) is 60 degrees about -y.
        {{0, std::sin(2.6179939f), 0, std::cos(2.6179939f)}, {0, -1, 0}, 60.0f},
        {{0, 0, 2, 0}, {0, 0, 1}, 180.0f},
    };
    for (const Case& c : cases) {
        V3d axis = {9, 9, 9};
        float angle = -1;
        EXPECT_EQ(QuaternionQueryRotate(&c.q, &axis, &angle), &c.q);
        ExpectVectorNear(axis, c.axis, 1e-3f);
        EXPECT_NEAR(angle, c.angle, 0.05f);
    }
    V3d axis;
    float angle;
    const Quaternion q = {0, 0, 0, 1};
    EXPECT_EQ(QuaternionQueryRotate(&q, nullptr, &angle), nullptr);
    EXPECT_EQ(TakeError(), (ErrorRecord{0, kErrorNullArgument}));
    EXPECT_EQ(QuaternionQueryRotate(&q, &axis, nullptr), nullptr);
    EXPECT_EQ(QuaternionQueryRotate(nullptr, &axis, &angle), nullptr);
}

// The physics and framework rotate arrays in place: the result matches the
// rotation into a separate array.
TEST_F(QuaternionTest, TransformVectorsInPlaceMatchesSeparateArrays)
{
    Quaternion q = {};
    const V3d axis = {1, 2, 3};
    QuaternionRotate(&q, &axis, 75.0f, kQuaternionReplace);
    q.x *= 2; // non-unit: rotation and scale by |q|^2
    V3d vectors[4] = {{1, 0, 0}, {0, 1, 0}, {0.5f, -2, 3}, {-1, -1, 7}};
    V3d apart[4];
    QuaternionTransformVectors(apart, vectors, 4, &q);
    EXPECT_EQ(QuaternionTransformVectors(vectors, vectors, 4, &q), vectors);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(vectors[i].x, apart[i].x);
        EXPECT_EQ(vectors[i].y, apart[i].y);
        EXPECT_EQ(vectors[i].z, apart[i].z);
    }
    // Lengths scale by |q|^2.
    const float m2 = QuaternionModulus(&q) * QuaternionModulus(&q);
    const V3d v = {0.5f, -2, 3};
    EXPECT_NEAR(V3dLength(&apart[2]), m2 * V3dLength(&v), 1e-2f);

    V3d untouched = {4, 5, 6};
    QuaternionTransformVectors(&untouched, &untouched, 0, &q);
    EXPECT_EQ(untouched.x, 4.0f);
}

TEST_F(QuaternionTest, ModulusIsTheLength)
{
    const Quaternion q = {1, 2, 2, 4};
    EXPECT_NEAR(QuaternionModulus(&q), 5.0f, 5e-3f);
}

} // namespace
