// Principal axes of inertia tensors and polynomial roots.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "graphics/core/tests/mathstesting.h"
#include "physics/core/utils/inertia.h"
#include "physics/core/utils/maths.h"
#include "physics/core/utils/polyroots.h"

namespace {

class PhysicsInertia : public StartedEngineTest
{
};

/// A random rotation from a random unit quaternion.
Quaternion RandomRotation(std::mt19937& random)
{
    std::normal_distribution<float> normal;
    Quaternion q = {normal(random), normal(random), normal(random), normal(random)};
    float length = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
    return {q.x / length, q.y / length, q.z / length, q.w / length};
}

} // namespace

TEST_F(PhysicsInertia, RandomTensorsAreRebuiltFromTheirPrincipalAxes)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<float> moment(0.1f, 10.0f);
    for (int n = 0; n < 1000; ++n) {
        OlpInertia source = {{moment(random), moment(random), moment(random)}, RandomRotation(random)};
        float tensor[9];
        OlpMathInertiaToWorld(tensor, &source);
        OlpInertia principal;
        ASSERT_EQ(OlpMathDiagonalizeInertia(&principal, tensor), 1);
        float rebuilt[9];
        OlpMathInertiaToWorld(rebuilt, &principal);
        float scale = std::fmax(source.moments.x, std::fmax(source.moments.y, source.moments.z));
        for (int i = 0; i < 9; ++i) {
            ASSERT_NEAR(rebuilt[i], tensor[i], 1e-3f * scale) << "tensor " << n << " entry " << i;
        }
        EXPECT_TRUE(std::fabs(principal.rotation.x * principal.rotation.x +
                              principal.rotation.y * principal.rotation.y +
                              principal.rotation.z * principal.rotation.z +
                              principal.rotation.w * principal.rotation.w - 1.0f) < 1e-5f);
    }
}

TEST_F(PhysicsInertia, DiagonalTensorKeepsItsDiagonalAndTheIdentity)
{
    const float tensor[9] = {2, 0, 0, 0, 3, 0, 0, 0, 4};
    OlpInertia principal;
    ASSERT_EQ(OlpMathDiagonalizeInertia(&principal, tensor), 1);
    EXPECT_FLOAT_EQ(principal.moments.x, 2);
    EXPECT_FLOAT_EQ(principal.moments.y, 3);
    EXPECT_FLOAT_EQ(principal.moments.z, 4);
    EXPECT_NEAR(principal.rotation.w, 1.0f, 1e-4f);
    EXPECT_TRUE(OlpMathInertiaIsValid(&principal));
}

TEST_F(PhysicsInertia, JacobiOutOfSweepsReportsFailure)
{
    float tensor[9] = {1, 0.9f, 0.7f, 0.9f, 2, 0.5f, 0.7f, 0.5f, 3};
    float vectors[9];
    EXPECT_EQ(OlpMathJacobiEigen(tensor, vectors, 1, 1e-6f), 0);
}

TEST_F(PhysicsInertia, ValidityOfInertiaRecords)
{
    struct Case
    {
        V3d moments;
        Quaternion rotation;
        bool valid;
    } cases[] = {
        {{1, 1, 1}, {0, 0, 0, 1}, true},
        {{1, 1, 2}, {0, 0, 0, 1}, true},
        {{1, 1, 2.5f}, {0, 0, 0, 1}, false}, // breaks the triangle inequality
        {{0, 1, 1}, {0, 0, 0, 1}, false},
        {{1, 1, 1}, {0, 0, 0, 1.02f}, false},
        {{1, 1, 1}, {0, 0, 0.7071068f, 0.7071068f}, true},
    };
    for (const Case& c : cases) {
        OlpInertia inertia = {c.moments, c.rotation};
        EXPECT_EQ(OlpMathInertiaIsValid(&inertia), c.valid);
    }
}

TEST(PhysicsPolynomials, RootsInAnInterval)
{
    struct Case
    {
        const char* name;
        int32_t degree;
        float coefficients[5];
        float low, high;
        std::vector<float> roots;
    } cases[] = {
        // (x-0.2)(x-0.5)(x-0.9)(x-2)
        {"four roots, three inside", 4, {0.18f, -1.55f, 3.93f, -3.6f, 1.0f}, 0.0f, 1.0f, {0.2f, 0.5f, 0.9f}},
        {"double root", 2, {0.25f, -1.0f, 1.0f}, 0.0f, 1.0f, {0.5f}},
        {"leading zeros", 4, {-1.0f, 2.0f, 0.0f, 0.0f, 0.0f}, 0.0f, 1.0f, {0.5f}},
        {"constant", 2, {1.0f, 0.0f, 0.0f}, -10.0f, 10.0f, {}},
        {"no real root", 2, {1.0f, 0.0f, 1.0f}, -10.0f, 10.0f, {}},
        {"root at an end", 2, {0.0f, -1.0f, 1.0f}, 0.0f, 1.0f, {0.0f, 1.0f}},
        {"cubic", 3, {-6.0f, 11.0f, -6.0f, 1.0f}, 0.0f, 10.0f, {1.0f, 2.0f, 3.0f}},
    };
    for (const Case& c : cases) {
        float roots[8];
        int32_t count = OlpMathPolyRoots(roots, c.low, c.high, c.degree, c.coefficients);
        ASSERT_EQ(count, static_cast<int32_t>(c.roots.size())) << c.name;
        for (int32_t i = 0; i < count; ++i) {
            EXPECT_NEAR(roots[i], c.roots[i], 1e-6f) << c.name;
        }
    }
}
