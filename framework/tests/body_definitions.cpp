// The body definitions of the dynamic models: the volume's shape, margin and
// coefficients, and the given mass on the part.
#include "framework/bodydefinitions.h"
#include "graphics/core/engine.h"
#include "graphics/core/tests/enginetesting.h"
#include "physics/core/body/bodydef.h"
#include "physics/core/volume/box.h"
#include "physics/core/volume/sphere.h"
#include "physics/core/volume/volume.h"
#include <gtest/gtest.h>

namespace {

class BodyDefinitions : public ::testing::Test
{
  protected:
    void SetUp() override { ASSERT_TRUE(EngineTestInit() && EngineTestOpen() && EngineStart()); }
    void TearDown() override { EngineTestShutdown(); }
};

TEST_F(BodyDefinitions, SphereCarriesItsRadiusMassAndCoefficients)
{
    OlpBodyDef* def = CreateSphereBodyDefinition(0.5f, 30.0f, 1.0f, 0.5f);
    ASSERT_NE(def, nullptr);
    const OlpVolume* volume = def->part.volume;
    ASSERT_NE(volume, nullptr);
    EXPECT_FLOAT_EQ(OlpSphereGetRadius(volume), 0.5f);
    EXPECT_FLOAT_EQ(volume->bounce, 0.5f);
    EXPECT_FLOAT_EQ(volume->slide, 1.0f);
    EXPECT_FLOAT_EQ(def->part.mass, 30.0f);
    EXPECT_EQ(def->refCount, 1u);
    OlpBodyDefRelease(def);
}

TEST_F(BodyDefinitions, BoxCarriesItsExtentsMarginMassAndCoefficients)
{
    OlpBodyDef* def = CreateBoxBodyDefinition(1.0f, 0.5f, 0.25f, 12.0f, 0.8f, 0.1f);
    ASSERT_NE(def, nullptr);
    const OlpVolume* volume = def->part.volume;
    ASSERT_NE(volume, nullptr);
    V3d half{};
    OlpBoxGetHalfExtents(volume, &half);
    EXPECT_FLOAT_EQ(half.x, 1.0f);
    EXPECT_FLOAT_EQ(half.y, 0.5f);
    EXPECT_FLOAT_EQ(half.z, 0.25f);
    EXPECT_FLOAT_EQ(volume->margin, 0.001f);
    EXPECT_FLOAT_EQ(volume->bounce, 0.1f);
    EXPECT_FLOAT_EQ(volume->slide, 0.8f);
    EXPECT_FLOAT_EQ(def->part.mass, 12.0f);
    // The centre of mass of a box is its middle.
    EXPECT_NEAR(def->part.centre.x, 0.0f, 1e-6f);
    EXPECT_NEAR(def->part.centre.y, 0.0f, 1e-6f);
    OlpBodyDefRelease(def);
}

} // namespace
