// ValidateDevice against the adapter's caps: stage ops outside
// TextureOpCaps, more stages than MaxTextureBlendStages and more textures
// than MaxSimultaneousTextures fail; the caps profiles reach both outcomes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/d3d9/testing/capsprofiles.h"
#include "platform/d3dx9/d3dx9shader.h"
#include "testdevice.h"

using namespace d3d9test;

namespace {

struct Stage
{
    DWORD colourOp, alphaOp;
    bool texture;
};

struct ValidateCase
{
    const char* name;
    const char* profile;
    DWORD withoutOps;           ///< TextureOpCaps bits taken away
    DWORD simultaneousTextures; ///< 0: the profile's
    std::vector<Stage> stages;  ///< the stages after them are disabled
    HRESULT expected;
};

constexpr Stage kTextured = {D3DTOP_MODULATE, D3DTOP_MODULATE, true};
constexpr Stage kBlendAlpha = {D3DTOP_BLENDTEXTUREALPHA, D3DTOP_BLENDTEXTUREALPHA, true};
constexpr Stage kDiffuse = {D3DTOP_MODULATE, D3DTOP_MODULATE, false};

const ValidateCase kCases[] = {
    {"TwoStagesOnMinimal", "minimal", 0, 0, {kTextured, kTextured}, D3D_OK},
    {"ThreeStagesOnMinimal", "minimal", 0, 0, {kTextured, kBlendAlpha, kDiffuse}, D3DERR_TOOMANYOPERATIONS},
    {"ThreeStagesOnFF3", "ff3", 0, 0, {kTextured, kBlendAlpha, kDiffuse}, D3D_OK},
    {"FourStagesOnFF3", "ff3", 0, 0, {kTextured, kTextured, kDiffuse, kDiffuse}, D3DERR_TOOMANYOPERATIONS},
    {"EightStagesOnFull", "full", 0, 0, std::vector<Stage>(8, kTextured), D3D_OK},
    {"ThreeTexturesOfTwo", "full", 0, 2, {kTextured, kTextured, kTextured}, D3DERR_TOOMANYOPERATIONS},
    {"TwoTexturesOfTwoOverThreeStages", "full", 0, 2, {kTextured, kTextured, kDiffuse}, D3D_OK},
    {"MultiplyAddWithout",
     "full",
     D3DTEXOPCAPS_MULTIPLYADD,
     0,
     {kTextured, {D3DTOP_MULTIPLYADD, D3DTOP_SELECTARG2, true}},
     D3DERR_UNSUPPORTEDCOLOROPERATION},
    {"MultiplyAddWith", "minimal", 0, 0, {kTextured, {D3DTOP_MULTIPLYADD, D3DTOP_SELECTARG2, true}}, D3D_OK},
    {"Modulate2xAlphaWithout",
     "full",
     D3DTEXOPCAPS_MODULATE2X,
     0,
     {kTextured, {D3DTOP_MODULATE, D3DTOP_MODULATE2X, true}},
     D3DERR_UNSUPPORTEDALPHAOPERATION},
    {"OpBeyondLerp",
     "full",
     0,
     0,
     {{D3DTOP_LERP + 1, D3DTOP_MODULATE, true}},
     D3DERR_UNSUPPORTEDCOLOROPERATION},
    {"OpsAfterADisabledStageAreNotUsed",
     "full",
     D3DTEXOPCAPS_MULTIPLYADD,
     0,
     {{D3DTOP_DISABLE, D3DTOP_DISABLE, false}, {D3DTOP_MULTIPLYADD, D3DTOP_MULTIPLYADD, true}},
     D3D_OK},
};

class Validate : public ::testing::TestWithParam<ValidateCase>
{
  protected:
    void TearDown() override { D3D9ResetAdapters(); }

    /// Makes later devices see the profile with the case's changes.
    static void UseAdapter(const ValidateCase& c)
    {
        D3D9AdapterConfig adapter = {};
        ASSERT_TRUE(D3D9CapsProfile(c.profile, &adapter));
        adapter.caps.TextureOpCaps &= ~c.withoutOps;
        if (c.simultaneousTextures != 0) {
            adapter.caps.MaxSimultaneousTextures = c.simultaneousTextures;
        }
        D3D9SetAdapters(&adapter, 1);
    }
};

} // namespace

TEST_P(Validate, StagesAgainstTheCaps)
{
    const ValidateCase& c = GetParam();
    UseAdapter(c);
    TestDevice t(4, 4);
    IDirect3DDevice9* d = t.device;
    ASSERT_NE(d, nullptr);
    IDirect3DTexture9* texture = MakeTexture(d, 1, 1, {0xFF808080});
    for (DWORD i = 0; i < 8; ++i) {
        const Stage stage = i < c.stages.size() ? c.stages[i] : Stage{D3DTOP_DISABLE, D3DTOP_DISABLE, true};
        d->SetTextureStageState(i, D3DTSS_COLOROP, stage.colourOp);
        d->SetTextureStageState(i, D3DTSS_ALPHAOP, stage.alphaOp);
        // Textures on disabled stages do not count.
        d->SetTexture(i, stage.texture ? texture : nullptr);
    }
    texture->Release();
    DWORD passes = 7;
    EXPECT_EQ(d->ValidateDevice(&passes), c.expected);
    EXPECT_EQ(passes, c.expected == D3D_OK ? 1u : 0u);
    EXPECT_EQ(d->ValidateDevice(nullptr), D3DERR_INVALIDCALL);
}

INSTANTIATE_TEST_SUITE_P(Caps, Validate, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<ValidateCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(Validate, APixelShaderReplacesTheStageOps)
{
    D3D9AdapterConfig adapter = {};
    ASSERT_TRUE(D3D9CapsProfile("full", &adapter));
    adapter.caps.TextureOpCaps &= ~D3DTEXOPCAPS_MULTIPLYADD;
    D3D9SetAdapters(&adapter, 1);
    {
        TestDevice t(4, 4);
        IDirect3DDevice9* d = t.device;
        ASSERT_NE(d, nullptr);
        d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MULTIPLYADD);
        DWORD passes = 0;
        EXPECT_EQ(d->ValidateDevice(&passes), D3DERR_UNSUPPORTEDCOLOROPERATION);

        const std::string text = "ps_1_1\ntex t0\nmov r0, t0\n";
        ID3DXBuffer* code = nullptr;
        ASSERT_EQ(
            D3DXAssembleShader(text.c_str(), uint32_t(text.size()), nullptr, nullptr, 0, &code, nullptr),
            D3D_OK);
        IDirect3DPixelShader9* shader = nullptr;
        ASSERT_EQ(d->CreatePixelShader(static_cast<const DWORD*>(code->GetBufferPointer()), &shader), D3D_OK);
        code->Release();
        d->SetPixelShader(shader);
        EXPECT_EQ(d->ValidateDevice(&passes), D3D_OK);
        EXPECT_EQ(passes, 1u);
        d->SetPixelShader(nullptr);
        shader->Release();
    }
    D3D9ResetAdapters();
}
