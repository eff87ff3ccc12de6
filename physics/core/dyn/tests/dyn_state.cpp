// The dynamics state: rows, handles, initialisation from parts, forces.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "graphics/core/tests/mathstesting.h"
#include "physics/core/dyn/dyn.h"
#include "physics/core/utils/inertia.h"
#include "physics/core/utils/memory.h"
#include "physics/core/volume/nullvolume.h"

namespace {

class DynState : public StartedEngineTest
{
  protected:
    void SetUp() override
    {
        StartedEngineTest::SetUp();
        block = OlpAlignedAlloc(OlpDynArraysSize(kRows), 16, kOlpMemoryHint);
        ASSERT_NE(block, nullptr);
        OlpDynArraysInit(&arrays, block, kRows);
        OlpNullInit(&volume);
        OlpPartInit(&part, &volume);
    }
    void TearDown() override
    {
        OlpAlignedFree(block);
        StartedEngineTest::TearDown();
    }
    OlpDyn Handle(uint32_t row)
    {
        OlpDyn handle = {};
        handle.arrays = &arrays;
        handle.index = row;
        return handle;
    }

    static constexpr uint32_t kRows = 3;
    void* block = nullptr;
    OlpDynArrays arrays = {};
    OlpVolume volume;
    OlpPart part;
};

void ExpectNear(V3d actual, V3d expected, float tolerance)
{
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

/// A rotation of 90 degrees about z, at (5, 6, 7).
Matrix TurnedSource()
{
    return {{0, 1, 0}, 0, {-1, 0, 0}, 0, {0, 0, 1}, 0, {5, 6, 7}, 0};
}

} // namespace

TEST_F(DynState, RowsAreAlignedAndDisjoint)
{
    const uintptr_t start = reinterpret_cast<uintptr_t>(block);
    const uintptr_t end = start + OlpDynArraysSize(kRows);
    const void* rows[] = {arrays.handles,      arrays.freeStack, arrays.pose,        arrays.orientation,
                          arrays.flags,        arrays.mass,      arrays.inverseMass, arrays.velocity,
                          arrays.acceleration, arrays.force,     arrays.correction,  arrays.spinAxis,
                          arrays.solverIndex};
    uintptr_t previous = 0;
    for (const void* row : rows) {
        const auto address = reinterpret_cast<uintptr_t>(row);
        EXPECT_EQ(address % 16, 0u);
        EXPECT_GT(address, previous);
        EXPECT_LT(address, end);
        previous = address;
    }
    EXPECT_LE(reinterpret_cast<uintptr_t>(arrays.solverIndex + kRows), end);
}

TEST_F(DynState, WithoutAPartUnitMassAndInertiaAtTheIdentity)
{
    OlpDyn handle = Handle(1);
    std::memset(&arrays.velocity[1], 0x7F, sizeof(OlpDynMotion));
    ASSERT_EQ(OlpDynInit(&handle, nullptr, nullptr), &handle);
    EXPECT_EQ(arrays.flags[1], 0u);
    EXPECT_FLOAT_EQ(arrays.mass[1].m[kOlpDynMassSlot], 1.0f);
    EXPECT_FLOAT_EQ(arrays.mass[1].m[kOlpDynInertiaSlot], 1.0f);
    EXPECT_FLOAT_EQ(arrays.inverseMass[1].m[kOlpDynMassSlot], 1.0f);
    EXPECT_FLOAT_EQ(arrays.inverseMass[1].m[kOlpDynInertiaSlot], 1.0f);
    EXPECT_FLOAT_EQ(handle.damping[0], 0.01f);
    EXPECT_FLOAT_EQ(handle.damping[1], 0.01f);
    EXPECT_FLOAT_EQ(handle.massFraction, 0.001f);
    ExpectNear(handle.centre, {0, 0, 0}, 0);
    ExpectNear(arrays.pose[1].pos, {0, 0, 0}, 0);
    ExpectNear(arrays.pose[1].right, {1, 0, 0}, 0);
    EXPECT_EQ(arrays.pose[1].flags & kMatrixFlagIdentity, 0u);
    EXPECT_FLOAT_EQ(arrays.orientation[1].w, 1.0f);
    ExpectNear(arrays.velocity[1].linear, {0, 0, 0}, 0);
    ExpectNear(arrays.velocity[1].angular, {0, 0, 0}, 0);
}

TEST_F(DynState, APartPlacesTheCentreOfMassThroughTheSourceMatrix)
{
    part.centre = {1, 0, 2};
    part.mass = 4.0f;
    part.scalarInertia = 9.0f;
    part.damping[0] = 0.25f;
    part.damping[1] = 0.5f;
    const Matrix source = TurnedSource();
    OlpDyn handle = Handle(0);
    OlpDynInit(&handle, &part, &source);
    // R c = 1 x right + 2 x at = (0, 1, 2).
    ExpectNear(arrays.pose[0].pos, {5, 7, 9}, 1e-6f);
    ExpectNear(arrays.pose[0].right, {0, 1, 0}, 0);
    EXPECT_FLOAT_EQ(arrays.mass[0].m[kOlpDynMassSlot], 4.0f);
    EXPECT_FLOAT_EQ(arrays.inverseMass[0].m[kOlpDynMassSlot], 0.5f);
    EXPECT_FLOAT_EQ(arrays.mass[0].m[kOlpDynInertiaSlot], 9.0f);
    EXPECT_FLOAT_EQ(arrays.inverseMass[0].m[kOlpDynInertiaSlot], 1.0f / 3.0f);
    EXPECT_FLOAT_EQ(handle.massFraction, 0.00025f);
    EXPECT_FLOAT_EQ(handle.damping[0], 0.25f);
    EXPECT_FLOAT_EQ(handle.damping[1], 0.5f);
    // 90 degrees about z, unit length.
    const Quaternion& q = arrays.orientation[0];
    EXPECT_NEAR(std::fabs(q.z), std::sqrt(0.5f), 1e-4f);
    EXPECT_NEAR(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w, 1.0f, 1e-6f);

    const Matrix moved = {{1, 0, 0}, 0, {0, 1, 0}, 0, {0, 0, 1}, 0, {-1, -1, -1}, 0};
    OlpDynResetFromMatrix(&handle, &moved);
    ExpectNear(arrays.pose[0].pos, {0, -1, 1}, 1e-6f);
    EXPECT_NEAR(std::fabs(arrays.orientation[0].w), 1.0f, 1e-6f);
}

TEST_F(DynState, DegenerateMassAndInertiaNeverGiveInfiniteInverses)
{
    // A row left over from a previous owner must not survive the fallback.
    std::memset(&arrays.mass[2], 0x7F, sizeof(OlpDynMass));
    std::memset(&arrays.inverseMass[2], 0x7F, sizeof(OlpDynMass));
    part.mass = 0.0f;
    part.scalarInertia = 2.0f;
    part.inertia = {1, 0, 1};
    part.flags = kOlpPartFullInertia;
    OlpDyn handle = Handle(2);
    OlpDynInit(&handle, &part, nullptr);
    EXPECT_EQ(arrays.flags[2] & kOlpDynFullInertia, 0u);
    EXPECT_FLOAT_EQ(arrays.mass[2].m[kOlpDynMassSlot], 1.0f);
    EXPECT_FLOAT_EQ(arrays.inverseMass[2].m[kOlpDynMassSlot], 1.0f);
    const float expected[12] = {2, 0, 0, 1, 0, 2, 0, 0, 0, 0, 2, 2};
    for (int i = 0; i < 12; ++i) {
        EXPECT_FLOAT_EQ(arrays.mass[2].m[i], expected[i]) << i;
        EXPECT_TRUE(std::isfinite(arrays.inverseMass[2].m[i])) << i;
    }
    OlpDynSetMass(&handle, -3.0f);
    OlpDynSetInertia(&handle, 0.0f);
    EXPECT_FLOAT_EQ(arrays.mass[2].m[kOlpDynMassSlot], 1.0f);
    EXPECT_FLOAT_EQ(arrays.inverseMass[2].m[kOlpDynInertiaSlot], 1.0f);
}

TEST_F(DynState, FullInertiaIsTheRotatedDiagonalAndItsInverseRoot)
{
    part.inertia = {1, 4, 16};
    OlpQuaternionSetIdentity(&part.rotation);
    const float half = std::sqrt(0.5f);
    part.rotation = {0, 0, half, half}; // x and y swap roles
    part.flags = kOlpPartFullInertia;
    OlpDyn handle = Handle(0);
    OlpDynInit(&handle, &part, nullptr);
    EXPECT_EQ(arrays.flags[0], kOlpDynFullInertia);
    const OlpDynMass& mass = arrays.mass[0];
    const OlpDynMass& inverse = arrays.inverseMass[0];
    EXPECT_NEAR(mass.m[0], 4.0f, 1e-5f);
    EXPECT_NEAR(mass.m[5], 1.0f, 1e-5f);
    EXPECT_NEAR(mass.m[10], 16.0f, 1e-5f);
    // inverse^2 x tensor is the identity.
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            float sum = 0;
            for (int k = 0; k < 3; ++k) {
                float square = 0;
                for (int j = 0; j < 3; ++j) {
                    square += inverse.m[r * 4 + j] * inverse.m[j * 4 + k];
                }
                sum += square * mass.m[k * 4 + c];
            }
            EXPECT_NEAR(sum, r == c ? 1.0f : 0.0f, 1e-5f) << r << c;
        }
    }
}

TEST_F(DynState, ForcesAtPointsAndPointVelocities)
{
    OlpDyn handle = Handle(0);
    part.centre = {0, 0, 1};
    const Matrix source = TurnedSource();
    OlpDynInit(&handle, &part, &source);
    const V3d com = arrays.pose[0].pos;
    ExpectNear(com, {5, 6, 8}, 1e-6f);

    const V3d up = {0, 0, 1};
    OlpDynAddForceAtPoint(&handle, &up, &com);
    ExpectNear(arrays.force[0].angular, {0, 0, 0}, 0);
    const V3d aside = {com.x + 1, com.y, com.z};
    OlpDynAddForceAtPoint(&handle, &up, &aside);
    ExpectNear(arrays.force[0].linear, {0, 0, 2}, 0);
    ExpectNear(arrays.force[0].angular, {0, -1, 0}, 1e-6f);

    const V3d linear = {1, 2, 3};
    const V3d angular = {0, 0, 2};
    OlpDynSetVelocity(&handle, &linear, &angular);
    V3d velocity;
    OlpDynGetPointVelocity(&handle, &aside, &velocity);
    // (0, 0, 2) x (1, 0, 0) = (0, 2, 0).
    ExpectNear(velocity, {1, 4, 3}, 1e-6f);
    EXPECT_EQ(OlpDynGetPose(&handle), &arrays.pose[0]);
    EXPECT_EQ(OlpDynGetVelocity(&handle), &arrays.velocity[0]);
}

TEST_F(DynState, ThePoolHandsOutRowZeroFirstAndTakesHandlesBack)
{
    EXPECT_EQ(arrays.freeCount, kRows);
    OlpDyn* first = OlpDynArraysTake(&arrays);
    OlpDyn* second = OlpDynArraysTake(&arrays);
    OlpDyn* third = OlpDynArraysTake(&arrays);
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(first->index, 0u);
    EXPECT_EQ(second->index, 1u);
    EXPECT_EQ(third->index, 2u);
    EXPECT_EQ(OlpDynArraysTake(&arrays), nullptr);
    EXPECT_EQ(OlpDynRelease(second), 1);
    EXPECT_EQ(OlpDynArraysTake(&arrays), second);
}
