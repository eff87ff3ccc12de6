// The shader path's lighting callback: which lights reach an object, their
// registers in object space, group registers, spot cones and light counts.
#include <cmath>

#include "graphics/d3d9/renderer/tests/lighttesting.h"
#include "graphics/d3d9/renderer/vshaderconstants.h"
#include "graphics/d3d9/renderer/vshaderlighting.h"

namespace {

class ShaderLights : public Lights
{
  protected:
    void TearDown() override
    {
        D3D9VertexShaderSetWorldMatrix(nullptr);
        Lights::TearDown();
    }

    /// Runs the callback for `atomic` (world matrix identity); the registers written after c4.
    int Run(Atomic* atomic, VertexShaderDescriptor* descriptor)
    {
        D3D9VertexShaderSetWorldMatrix(nullptr);
        return int(D3D9VertexShaderLightingCallback(atomic, 1, registers_, descriptor) - registers_);
    }

    Atomic* LitAtomic(uint32_t format = kGeometryNormals | kGeometryLight)
    {
        Atomic* atomic = Place(FacingQuad(format, nullptr), 0, 0, 2);
        WorldAddAtomic(world_, atomic);
        added_.push_back(atomic);
        return atomic;
    }

    void TearDownAtomics()
    {
        for (Atomic* atomic : added_) {
            WorldRemoveAtomic(world_, atomic);
        }
        added_.clear();
    }

    float registers_[256][4] = {};
    std::vector<Atomic*> added_;
};

} // namespace

TEST_F(ShaderLights, AmbientDirectionalAndPointRegisters)
{
    Atomic* atomic = LitAtomic(kGeometryNormals | kGeometryLight | kGeometryPreLit);
    Light* ambient = MakeLight(kLightAmbient);
    const RGBAReal grey = {0.25f, 0.5f, 0.75f, 1.0f};
    LightSetColor(ambient, &grey);
    MakeLight(kLightDirectional, {0, 0, 0}, 10.0f, 90.0f);
    Light* point = MakeLight(kLightPoint, {0, 0, 4}, 4.0f);
    const RGBAReal red = {1, 0, 0, 1};
    LightSetColor(point, &red);
    FrameSyncDirty();

    VertexShaderDescriptor d = 0xFFF | kVertexShaderNormals;
    ASSERT_EQ(Run(atomic, &d), 1 + 2 + 3);
    EXPECT_EQ(VertexShaderDirectional(d), 1u);
    EXPECT_EQ(VertexShaderPoint(d), 1u);
    EXPECT_EQ(VertexShaderSpot(d), 0u);
    EXPECT_TRUE(d & kVertexShaderNormals) << "only the light counts are rewritten";
    EXPECT_FLOAT_EQ(registers_[0][1], 0.5f);
    EXPECT_EQ(registers_[0][3], 0.0f) << "pre-lit: the vertex alpha is added";
    // Directional: the frame's at (+z turned 90 degrees about x), w 0.
    EXPECT_NEAR(std::fabs(registers_[1][1]), 1.0f, 1e-5);
    EXPECT_EQ(registers_[1][3], 0.0f);
    // Point group: 1/radius in x, then position and colour.
    EXPECT_FLOAT_EQ(registers_[3][0], 0.25f);
    EXPECT_EQ(registers_[3][1], 0.0f);
    EXPECT_FLOAT_EQ(registers_[4][2], 4.0f);
    EXPECT_FLOAT_EQ(registers_[5][0], 1.0f);
    TearDownAtomics();
}

TEST_F(ShaderLights, AtMostFifteenOfAKindAndSpotsInGroupsOfFour)
{
    Atomic* atomic = LitAtomic();
    for (int i = 0; i < 16; ++i) {
        MakeLight(kLightPoint, {0, 0, 3}, 5.0f);
    }
    for (int i = 0; i < 5; ++i) {
        MakeLight(kLightSpot, {0, 0, 3}, 5.0f);
    }
    FrameSyncDirty();
    VertexShaderDescriptor d = 0;
    const int written = Run(atomic, &d);
    EXPECT_EQ(VertexShaderPoint(d), 15u);
    EXPECT_EQ(VertexShaderSpot(d), 5u);
    // Ambient, 4 point groups + 30, 2 spot groups + 20.
    EXPECT_EQ(written, 1 + 4 + 30 + 2 + 20);
    const int spotGroup = 1 + 4 + 30;
    EXPECT_GT(registers_[spotGroup][3], 0.0f) << "four spots in the first group";
    EXPECT_GT(registers_[spotGroup + 17][0], 0.0f) << "the second group after four lights of four registers";
    EXPECT_EQ(registers_[spotGroup + 17][1], 0.0f);
    EXPECT_EQ(VertexShaderCost(d), uint32_t(4 + written)) << "the cost counts the same registers";
    TearDownAtomics();
}

TEST_F(ShaderLights, WithoutNormalsOnlyTheAmbient)
{
    Atomic* atomic = LitAtomic(kGeometryLight);
    MakeLight(kLightDirectional);
    MakeLight(kLightPoint, {0, 0, 3}, 5.0f);
    FrameSyncDirty();
    VertexShaderDescriptor d = 0;
    EXPECT_EQ(Run(atomic, &d), 1);
    EXPECT_EQ(d, 0u);
    EXPECT_EQ(registers_[0][3], 1.0f);
    TearDownAtomics();
}

TEST(ShaderSpotCone, HardSoftAndNearlyHard)
{
    float x, y;
    const float c30 = std::cos(30.0f * kDegrees);
    D3D9VertexShaderSpotCone(false, c30, &x, &y);
    EXPECT_EQ(x, 999.99994f);
    EXPECT_FLOAT_EQ(y, -c30 * 999.99994f);
    D3D9VertexShaderSpotCone(true, 0.9995f, &x, &y);
    EXPECT_EQ(x, 999.99994f);
    const float c45 = std::cos(45.0f * kDegrees);
    D3D9VertexShaderSpotCone(true, c45, &x, &y);
    EXPECT_FLOAT_EQ(x, 1.0f / (1.0f - c45));
    EXPECT_FLOAT_EQ(y, -c45 / (1.0f - c45));
}
