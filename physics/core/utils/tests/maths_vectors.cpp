// Vector helpers, boxes, spheres, incircles and aligned memory.
#include <gtest/gtest.h>

#include <cmath>

#include "graphics/core/tests/mathstesting.h"
#include "physics/core/utils/bbox.h"
#include "physics/core/utils/boundingsphere.h"
#include "physics/core/utils/maths.h"
#include "physics/core/utils/memory.h"
#include "physics/core/utils/vec3.h"

using namespace olp;

namespace {

void ExpectNear(V3d actual, V3d expected, float tolerance = 1e-5f)
{
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

OlpBBox Box(V3d min, V3d max)
{
    OlpBBox box{};
    box.min = min;
    box.max = max;
    return box;
}

} // namespace

TEST(PhysicsVectors, NormalizeAndPerpendicular)
{
    V3d out;
    V3d zero = {0.0f, 0.0f, 0.0f};
    EXPECT_EQ(OlpVecNormalize(&out, &zero), 0.0f);
    ExpectNear(out, {0.0f, 0.0f, 1.0f});
    V3d v = {3.0f, 0.0f, 4.0f};
    EXPECT_FLOAT_EQ(OlpVecNormalize(&out, &v), 5.0f);
    ExpectNear(out, {0.6f, 0.0f, 0.8f});

    const V3d cases[] = {{1, 2, 3}, {-5, 0.1f, 2}, {0, 0, 1}, {7, -7, 0.5f}, {0, 0, 0}};
    for (const V3d& c : cases) {
        V3d perpendicular;
        OlpMathPerpendicular(&perpendicular, &c);
        EXPECT_FLOAT_EQ(Dot(perpendicular, c), 0.0f);
        EXPECT_EQ(LengthSq(perpendicular) > 0.0f, LengthSq(c) > 0.0f);
    }
}

TEST(PhysicsVectors, LargestAxisBreaksTiesTowardsTheLaterAxis)
{
    struct Case
    {
        V3d v;
        int32_t axis;
    } cases[] = {{{3, 1, 1}, 0}, {{1, -3, 1}, 1}, {{1, 1, -3}, 2},
                 {{2, 2, 1}, 1}, {{2, 1, 2}, 2},  {{1, 1, 1}, 2}};
    for (const Case& c : cases) {
        EXPECT_EQ(OlpMathLargestAxis(&c.v), c.axis);
    }
}

TEST(PhysicsBoxes, ValidityOverlapAndContainment)
{
    OlpBBox inverted = Box({0.9f, 0, 0}, {0, 1, 1});
    EXPECT_TRUE(OlpBBoxIsValid(&inverted));
    inverted.min.x = 1.1f;
    EXPECT_FALSE(OlpBBoxIsValid(&inverted));

    OlpBBox a = Box({0, 0, 0}, {1, 1, 1});
    OlpBBox touching = Box({1, 0, 0}, {2, 1, 1});
    OlpBBox apart = Box({1.01f, 0, 0}, {2, 1, 1});
    EXPECT_TRUE(OlpBBoxOverlap(&a, &a));
    EXPECT_TRUE(OlpBBoxOverlap(&a, &touching));
    EXPECT_FALSE(OlpBBoxOverlap(&a, &apart));
    EXPECT_TRUE(OlpBBoxContains(&a, &a));
    EXPECT_FALSE(OlpBBoxContains(&a, &touching));

    OlpBBox merged;
    OlpBBoxMerge(&merged, &a, &apart);
    ExpectNear(merged.min, {0, 0, 0});
    ExpectNear(merged.max, {2, 1, 1});
    OlpBBox common;
    OlpBBoxIntersect(&common, &merged, &touching);
    ExpectNear(common.min, touching.min);
    ExpectNear(common.max, touching.max);

    OlpBBox grown;
    OlpBBoxGrow(&grown, &a, 0.5f, 2.0f);
    ExpectNear(grown.min, {-1.5f, -1.5f, -1.5f});
    ExpectNear(grown.max, {2.5f, 2.5f, 2.5f});

    V3d p = {0, 0, 0};
    V3d q = {2, -1, 0};
    OlpBBox segment;
    OlpBBoxFromSegment(&segment, &p, &q, 0.25f);
    ExpectNear(segment.min, {-0.25f, -1.25f, -0.25f});
    ExpectNear(segment.max, {2.25f, 0.25f, 0.25f});
    V3d far = {5, 5, -5};
    OlpBBoxAddPoint(&segment, &far);
    ExpectNear(segment.max, {5, 5, 0.25f});
    ExpectNear(segment.min, {-0.25f, -1.25f, -5});
}

TEST(PhysicsBoxes, TransformAndInverseTransform)
{
    // 90 degrees about z, then moved by (10, 0, 0).
    Matrix m{};
    m.right = {0, 1, 0};
    m.up = {-1, 0, 0};
    m.at = {0, 0, 1};
    m.pos = {10, 0, 0};
    OlpBBox local = Box({-1, -2, -3}, {1, 2, 3});
    OlpBBox world;
    OlpBBoxTransform(&world, &local, &m);
    ExpectNear(world.min, {8, -1, -3});
    ExpectNear(world.max, {12, 1, 3});
    OlpBBox back;
    OlpBBoxInverseTransform(&back, &world, &m);
    ExpectNear(back.min, local.min);
    ExpectNear(back.max, local.max);
}

TEST(PhysicsSpheres, MergeGrowAndFromBox)
{
    OlpSphere a = {{0, 0, 0}, 1};
    OlpSphere inside = {{0.5f, 0, 0}, 0.25f};
    OlpSphere apart = {{4, 0, 0}, 1};
    OlpSphere out;
    OlpSphereMerge(&out, &a, &inside);
    EXPECT_EQ(out.radius, 1.0f);
    OlpSphereMerge(&out, &inside, &a);
    EXPECT_EQ(out.radius, 1.0f);
    OlpSphereMerge(&out, &a, &apart);
    ExpectNear(out.centre, {2, 0, 0});
    EXPECT_FLOAT_EQ(out.radius, 3.0f);

    V3d p = {3, 0, 0};
    OlpSphereAddPoint(&out, &a, &p);
    ExpectNear(out.centre, {1, 0, 0});
    EXPECT_FLOAT_EQ(out.radius, 2.0f);

    OlpBBox box = Box({0, 0, 0}, {2, 2, 1});
    OlpSphereFromBBox(&out, &box);
    ExpectNear(out.centre, {1, 1, 0.5f});
    EXPECT_FLOAT_EQ(out.radius, 1.5f);
}

TEST(PhysicsVectors, TriangleIncircle)
{
    V3d a = {0, 0, 0};
    V3d b = {4, 0, 0};
    V3d c = {0, 3, 0};
    OlpSphere circle;
    EXPECT_FLOAT_EQ(OlpMathTriangleIncircle(&circle, &a, &b, &c), 5.0f);
    ExpectNear(circle.centre, {1, 1, 0});
    EXPECT_FLOAT_EQ(circle.radius, 1.0f);
    EXPECT_EQ(OlpMathTriangleIncircle(&circle, &a, &a, &a), 0.0f);
    EXPECT_EQ(circle.radius, 0.0f);
}

class PhysicsMemory : public StartedEngineTest
{
};

TEST_F(PhysicsMemory, AlignedBlocksKeepTheirOffset)
{
    for (size_t size : {1u, 15u, 16u, 96u, 1000u}) {
        void* block = OlpAlignedAlloc(size, 16, kOlpMemoryHint);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % 16, 0u);
        uint8_t offset = static_cast<uint8_t*>(block)[-1];
        EXPECT_GE(offset, 1);
        EXPECT_LE(offset, 16);
        OlpMemFill(block, 0xAB, size);
        EXPECT_EQ(static_cast<uint8_t*>(block)[size - 1], 0xAB);
        OlpAlignedFree(block);
    }
    OlpAlignedFree(nullptr);
}

/// A memory table that hands out 16-aligned blocks and remembers the last.
struct AlignedRecorder
{
    static inline void* raw = nullptr;
    static void* Allocate(size_t size, uint32_t)
    {
        raw = std::aligned_alloc(16, (size + 15) / 16 * 16);
        return raw;
    }
    static void Free(void* block) { std::free(block); }
    static void* Reallocate(void* block, size_t size, uint32_t) { return std::realloc(block, size); }
    static void* AllocateZeroed(size_t count, size_t size, uint32_t) { return std::calloc(count, size); }
};

TEST(PhysicsMemoryLifecycle, AnAlignedRawBlockMovesByTheWholeAlignment)
{
    static const MemoryTable table = {AlignedRecorder::Allocate, AlignedRecorder::Free,
                                      AlignedRecorder::Reallocate, AlignedRecorder::AllocateZeroed};
    ASSERT_TRUE(EngineTestStart(&table));
    void* block = OlpAlignedAlloc(40, 16, kOlpMemoryHint);
    EXPECT_EQ(block, static_cast<uint8_t*>(AlignedRecorder::raw) + 16);
    OlpAlignedFree(block);
    EngineTestShutdown();
}

TEST_F(PhysicsMemory, MatrixValidityUsesTheEngineTolerances)
{
    Matrix m{};
    m.right = {1, 0, 0};
    m.up = {0, 1, 0};
    m.at = {0, 0, 1};
    EXPECT_TRUE(OlpMathMatrixIsValid(&m));
    m.up = {0, 1.5f, 0};
    EXPECT_FALSE(OlpMathMatrixIsValid(&m));
    m.up = {0.3f, 1, 0};
    EXPECT_FALSE(OlpMathMatrixIsValid(&m));
}
