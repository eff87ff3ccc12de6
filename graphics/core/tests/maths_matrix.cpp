#include <cmath>
#include <random>

#include "graphics/core/matrix.h"
#include "graphics/core/tests/mathstesting.h"

namespace {

using MatrixTest = StartedEngineTest;

Matrix Make(V3d right, V3d up, V3d at, V3d pos, uint32_t flags = 0)
{
    Matrix m{};
    m.right = right;
    m.up = up;
    m.at = at;
    m.pos = pos;
    m.flags = flags;
    return m;
}

void ExpectNear(const V3d& a, const V3d& b, float tolerance = 1e-5f)
{
    EXPECT_NEAR(a.x, b.x, tolerance);
    EXPECT_NEAR(a.y, b.y, tolerance);
    EXPECT_NEAR(a.z, b.z, tolerance);
}

void ExpectNear(const Matrix& a, const Matrix& b, float tolerance = 1e-5f)
{
    ExpectNear(a.right, b.right, tolerance);
    ExpectNear(a.up, b.up, tolerance);
    ExpectNear(a.at, b.at, tolerance);
    ExpectNear(a.pos, b.pos, tolerance);
}

const Matrix kIdentity = Make({1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 0, 0}, kMatrixFlagsAll);

V3d Apply(const Matrix& m, const V3d& p)
{
    V3d out;
    V3dTransformPoint(&out, &p, &m);
    return out;
}

TEST_F(MatrixTest, CreateGivesFlaggedIdentity)
{
    Matrix* m = MatrixCreate();
    ASSERT_NE(m, nullptr);
    ExpectNear(*m, kIdentity, 0);
    EXPECT_EQ(m->flags, kMatrixFlagsAll);
    EXPECT_EQ(MatrixDestroy(m), 1);
}

TEST_F(MatrixTest, RotateTranslateScaleReplace)
{
    Matrix m = kIdentity;
    V3d axis = {0, 0, 2};
    ASSERT_EQ(MatrixRotate(&m, &axis, 90, kCombineReplace), &m);
    ExpectNear(m.right, {0, 1, 0});
    ExpectNear(m.up, {-1, 0, 0});
    ExpectNear(m.at, {0, 0, 1});
    EXPECT_EQ(m.flags, kMatrixFlagsOrthonormal);

    V3d t = {1, 2, 3};
    ASSERT_EQ(MatrixTranslate(&m, &t, kCombineReplace), &m);
    EXPECT_EQ(m.flags, kMatrixFlagsOrthonormal);
    ExpectNear(m.pos, t, 0);
    Matrix inverse;
    MatrixInvert(&inverse, &m);
    ExpectNear(inverse.pos, {-1, -2, -3}, 0);
    EXPECT_EQ(inverse.flags, kMatrixFlagsOrthonormal);

    V3d s = {2, 3, 4};
    MatrixScale(&m, &s, kCombineReplace);
    ExpectNear(m, Make({2, 0, 0}, {0, 3, 0}, {0, 0, 4}, {0, 0, 0}), 0);
    EXPECT_EQ(m.flags, 0u);
}

// Op 1 applies the transformation first (in local space), op 2 after.
TEST_F(MatrixTest, CombineOrder)
{
    V3d zAxis = {0, 0, 1};
    V3d t = {1, 0, 0};
    V3d s = {2, 2, 2};
    V3d p = {1, 1, 0};

    Matrix pre;
    MatrixRotate(&pre, &zAxis, 90, kCombineReplace);
    MatrixTranslate(&pre, &t, kCombinePreConcat); // translate, then rotate
    ExpectNear(Apply(pre, p), {-1, 2, 0});
    EXPECT_EQ(pre.flags, kMatrixFlagsOrthonormal);

    Matrix post;
    MatrixRotate(&post, &zAxis, 90, kCombineReplace);
    MatrixTranslate(&post, &t, kCombinePostConcat); // rotate, then translate
    ExpectNear(Apply(post, p), {0, 1, 0});

    MatrixScale(&post, &s, kCombinePostConcat);
    ExpectNear(Apply(post, p), {0, 2, 0});
    EXPECT_EQ(post.flags, 0u);

    Matrix rotated = kIdentity;
    MatrixTranslate(&rotated, &t, kCombineReplace);
    MatrixRotate(&rotated, &zAxis, 90, kCombinePostConcat);
    ExpectNear(Apply(rotated, p), {-1, 2, 0});
    MatrixRotate(&rotated, &zAxis, -90, kCombinePreConcat);
    ExpectNear(Apply(rotated, {1, 0, 0}), {1, 1, 0});
}

TEST_F(MatrixTest, InvalidCombinationIsRefused)
{
    const ErrorRecord invalid = {0, kErrorBadArgument};
    V3d v = {1, 2, 3};
    Matrix other = kIdentity;
    for (int32_t op : {3, -1, 100}) {
        Matrix m = kIdentity;
        EXPECT_EQ(MatrixScale(&m, &v, op), nullptr);
        EXPECT_EQ(TakeError(), invalid);
        EXPECT_EQ(MatrixRotate(&m, &v, 10, op), nullptr);
        EXPECT_EQ(TakeError(), invalid);
        EXPECT_EQ(MatrixTranslate(&m, &v, op), nullptr);
        EXPECT_EQ(TakeError(), invalid);
        EXPECT_EQ(MatrixTransform(&m, &other, op), nullptr);
        EXPECT_EQ(TakeError(), invalid);
        ExpectNear(m, kIdentity, 0);
    }
}

int gRoutineCalls = 0;
void CountingMultiply(Matrix* out, const Matrix* a, const Matrix* b)
{
    ++gRoutineCalls;
    MatrixMultiplyDefault(out, a, b);
}

TEST_F(MatrixTest, IdentityShortCutsSkipTheRoutine)
{
    MatrixSetMultiplyFunction(CountingMultiply);
    gRoutineCalls = 0;
    Matrix b = Make({0, 2, 0}, {1, 0, 0}, {0, 0, 1}, {4, 5, 6}, 0x1);
    Matrix out;
    MatrixMultiply(&out, &kIdentity, &b);
    ExpectNear(out, b, 0);
    EXPECT_EQ(out.flags, 0x1u);
    MatrixMultiply(&out, &b, &kIdentity);
    ExpectNear(out, b, 0);
    EXPECT_EQ(gRoutineCalls, 0);

    // Without the optimisation the identity flag is not trusted.
    MatrixSetOptimizations(0);
    MatrixMultiply(&out, &kIdentity, &b);
    EXPECT_EQ(gRoutineCalls, 1);
    ExpectNear(out, b, 0);
    EXPECT_EQ(out.flags, 0x1u);
    MatrixSetMultiplyFunction(nullptr);
    EXPECT_EQ(MatrixGetMultiplyFunction(), MatrixMultiplyDefault);
}

TEST_F(MatrixTest, ProductAppliesFirstOperandFirstAndMayAlias)
{
    Matrix a = Make({1, 2, 0}, {0, 1, 3}, {1, 0, 1}, {1, 1, 1}, 0x3);
    Matrix b = Make({0, 1, 0}, {-1, 0, 0}, {0, 0, 2}, {5, 0, -1}, 0x1);
    Matrix ab;
    MatrixMultiply(&ab, &a, &b);
    EXPECT_EQ(ab.flags, 0x1u);
    for (V3d p : {V3d{1, 0, 0}, V3d{0.5f, -2, 3}, V3d{-1, 4, 2}}) {
        ExpectNear(Apply(ab, p), Apply(b, Apply(a, p)), 1e-4f);
    }
    Matrix aliased = a;
    MatrixMultiply(&aliased, &aliased, &b);
    ExpectNear(aliased, ab, 0);
    MatrixTransform(&a, &a, kCombinePostConcat); // a x a through a temporary
    Matrix a2;
    Matrix original = Make({1, 2, 0}, {0, 1, 3}, {1, 0, 1}, {1, 1, 1}, 0x3);
    MatrixMultiply(&a2, &original, &original);
    ExpectNear(a, a2, 0);
}

TEST_F(MatrixTest, InverseUndoesTheTransform)
{
    V3d axis = {1, 2, 3};
    V3d t = {4, -5, 6};
    V3d s = {2, 0.5f, 3};
    Matrix rotation;
    MatrixRotate(&rotation, &axis, 33, kCombineReplace);
    MatrixTranslate(&rotation, &t, kCombinePostConcat);
    Matrix scaled = rotation;
    MatrixScale(&scaled, &s, kCombinePreConcat);
    Matrix skewed = Make({1, 0.5f, 0}, {0.25f, 1, 0}, {0, 0.75f, 2}, {1, 2, 3});
    for (const Matrix& m : {rotation, scaled, skewed, kIdentity}) {
        Matrix inverse;
        MatrixInvert(&inverse, &m);
        for (V3d p : {V3d{1, 0, 0}, V3d{0.5f, -2, 3}}) {
            ExpectNear(Apply(inverse, Apply(m, p)), p, 1e-4f);
        }
        Matrix general;
        MatrixInvertGeneral(&general, &m);
        EXPECT_EQ(general.flags, 0u);
        ExpectNear(general, inverse, 1e-4f);
    }
    // A singular matrix inverts without error (its determinant taken as 1).
    Matrix singular = Make({1, 0, 0}, {2, 0, 0}, {0, 0, 1}, {0, 0, 0});
    Matrix out;
    ASSERT_EQ(MatrixInvert(&out, &singular), &out);
    EXPECT_TRUE(std::isfinite(out.right.x + out.up.y + out.at.z));
    EXPECT_EQ(TakeError(), kNoError);
}

TEST_F(MatrixTest, OrthoNormalizeKeepsTheBestPair)
{
    struct Case
    {
        Matrix in;
        int kept; // 0 right, 1 up, 2 at: the axis whose direction survives
    } cases[] = {
        {Make({2, 0, 0}, {0.3f, 1, 0}, {0, 0, 3}, {1, 2, 3}), 2},    // at-right most perpendicular
        {Make({1, 0.3f, 0.2f}, {0, 2, 0}, {0, 0, 1}, {0, 0, 0}), 1}, // up-at most perpendicular
        {Make({1, 0, 0}, {0, 1, 0.1f}, {0.2f, 0.3f, 1}, {0, 0, 0}), 0},
        {Make({0, 0, 0}, {0, 2, 0}, {0, 0.2f, 1}, {0, 0, 0}), 1}, // zero right: rebuilt
        {Make({1, 0, 0}, {0, 0, 0}, {0, 0, 5}, {0, 0, 0}), 2},    // zero up: rebuilt
        {Make({3, 0, 0}, {0.5f, 1, 0}, {0, 0, 0}, {0, 0, 0}), 0}, // zero at: rebuilt
    };
    for (const Case& c : cases) {
        Matrix out;
        MatrixOrthoNormalize(&out, &c.in);
        EXPECT_EQ(out.flags, kMatrixFlagsOrthonormal);
        EXPECT_LT(MatrixNormalError(&out), 1e-5f);
        EXPECT_LT(MatrixOrthogonalError(&out), 1e-5f);
        EXPECT_NEAR(MatrixDeterminant(&out), 1.0f, 1e-3f);
        ExpectNear(out.pos, c.in.pos, 0);
        const V3d* inAxes[3] = {&c.in.right, &c.in.up, &c.in.at};
        const V3d* outAxes[3] = {&out.right, &out.up, &out.at};
        const V3d& in = *inAxes[c.kept];
        const V3d& o = *outAxes[c.kept];
        float length = std::sqrt(in.x * in.x + in.y * in.y + in.z * in.z);
        ExpectNear(o, {in.x / length, in.y / length, in.z / length}, 1e-3f);
    }
    Matrix m = Make({2, 0, 0}, {0.3f, 1, 0}, {0, 0, 3}, {1, 2, 3});
    MatrixOrthoNormalize(&m, &m);
    EXPECT_LT(MatrixOrthogonalError(&m), 1e-5f);
}

TEST_F(MatrixTest, QueryRotate)
{
    struct Case
    {
        V3d axis;
        float angle;
    } cases[] = {{{0, 0, 1}, 90}, {{1, 0, 0}, 30}, {{1, 1, 0}, 45}, {{0, 1, 0}, 135}, {{0, -1, 2}, 170}};
    for (const Case& c : cases) {
        Matrix m;
        MatrixRotate(&m, &c.axis, c.angle, kCombineReplace);
        V3d axis, centre;
        float angle;
        ASSERT_EQ(MatrixQueryRotate(&m, &axis, &angle, &centre), &m);
        float length = std::sqrt(c.axis.x * c.axis.x + c.axis.y * c.axis.y + c.axis.z * c.axis.z);
        EXPECT_NEAR(angle, c.angle, 0.05f);
        ExpectNear(axis, {c.axis.x / length, c.axis.y / length, c.axis.z / length}, 1e-3f);
    }
    // A half turn about y: the sine part vanishes, the axis comes from the diagonal.
    Matrix half = Make({-1, 0, 0}, {0, 1, 0}, {0, 0, -1}, {0, 0, 0}, 3);
    V3d axis, centre;
    float angle;
    MatrixQueryRotate(&half, &axis, &angle, &centre);
    EXPECT_NEAR(angle, 180.0f, 1e-3f);
    EXPECT_NEAR(std::fabs(axis.y), 1.0f, 1e-3f);
    EXPECT_NEAR(axis.x, 0.0f, 1e-6f);
    EXPECT_NEAR(axis.z, 0.0f, 1e-6f);
    // The same half turn about x and about z.
    Matrix halfX = Make({1, 0, 0}, {0, -1, 0}, {0, 0, -1}, {0, 0, 0}, 3);
    MatrixQueryRotate(&halfX, &axis, &angle, &centre);
    EXPECT_NEAR(std::fabs(axis.x), 1.0f, 1e-3f);
    Matrix halfZ = Make({-1, 0, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, 0}, 3);
    MatrixQueryRotate(&halfZ, &axis, &angle, &centre);
    EXPECT_NEAR(std::fabs(axis.z), 1.0f, 1e-3f);
    // The identity: no axis, angle 0.
    MatrixQueryRotate(&kIdentity, &axis, &angle, &centre);
    EXPECT_EQ(angle, 0.0f);
    ExpectNear(axis, {0, 0, 0}, 0);
}

TEST_F(MatrixTest, QueryRotateCentreIsTheFixedPoint)
{
    // Rotations about axes through chosen points: the centre is the point of
    // the axis nearest the origin, and the matrix leaves it where it is.
    struct Case
    {
        V3d axis;
        float angle;
        V3d through;
    } cases[] = {{{0, 0, 1}, 90, {2, 1, 0}}, {{1, 1, 0}, 60, {0, 0, 3}}, {{0, 1, 0}, 180, {1, 0, 2}}};
    for (const Case& c : cases) {
        Matrix m;
        V3d back = {-c.through.x, -c.through.y, -c.through.z};
        MatrixTranslate(&m, &back, kCombineReplace);
        MatrixRotate(&m, &c.axis, c.angle, kCombinePostConcat);
        MatrixTranslate(&m, &c.through, kCombinePostConcat);
        V3d axis, centre;
        float angle;
        MatrixQueryRotate(&m, &axis, &angle, &centre);
        EXPECT_NEAR(angle, c.angle, 0.05f);
        ExpectNear(Apply(m, centre), centre, 1e-3f);
        ExpectNear(centre, c.through, 1e-3f);
    }
}

TEST_F(MatrixTest, OptimizeAndErrors)
{
    struct Case
    {
        Matrix m;
        uint32_t flags;
    } cases[] = {
        {Make({1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 0, 0}, 0x40), 0x20043},
        {Make({0, 1, 0}, {-1, 0, 0}, {0, 0, 1}, {0, 0, 0}), 0x3},
        {Make({1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 0}), 0x3},
        {Make({2, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 0, 0}, 0x20003), 0x2},
        {Make({1, 0, 0}, {0.5f, 1, 0}, {0, 0, 1}, {0, 0, 0}), 0x0},
        {Make({1, 0, 0}, {0, 1, 0}, {0, 0, NAN}, {0, 0, 0}, 0x20003), 0x0},
    };
    for (const Case& c : cases) {
        Matrix m = c.m;
        MatrixOptimize(&m, nullptr);
        EXPECT_EQ(m.flags, c.flags);
    }
    Matrix m = Make({2, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 0, 0}, 0x20003);
    EXPECT_FLOAT_EQ(MatrixNormalError(&m), 9.0f);
    EXPECT_FLOAT_EQ(MatrixIdentityError(&m), 1.0f);
    EXPECT_FLOAT_EQ(MatrixDeterminant(&m), 2.0f);
    const float loose[3] = {10, 10, 10};
    MatrixOptimize(&m, loose);
    EXPECT_EQ(m.flags, kMatrixFlagsAll);
    MatrixUpdate(&m);
    EXPECT_EQ(m.flags, 0u);

    float tolerances[3];
    MatrixQueryTolerances(tolerances);
    EXPECT_FLOAT_EQ(tolerances[0], 0.01f);
    MatrixSetTolerances(loose);
    MatrixQueryTolerances(tolerances);
    EXPECT_EQ(tolerances[2], 10.0f);
}

} // namespace
