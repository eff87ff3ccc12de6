// The effects' pixel shaders: each text assembles to the token stream the
// device is given, of its stated length; the device takes all six where it
// has ps 1.1, and only then is bump-mapped geometry instanced with tangents;
// each shader computes its formula.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>

#include "graphics/animation/effects/effectsshaders.h"
#include "graphics/animation/effects/tests/effectsdrawtesting.h"
#include "graphics/d3d9/renderer/scenerenderer.h"
#include "platform/d3dx9/d3dx9shader.h"

namespace {

TEST(EffectsShaders, TextsAssembleToTheTokensOfTheStatedLengths)
{
    const uint32_t lengths[kEffectsShaderCount] = {23, 19, 16, 34, 44, 40};
    for (uint32_t i = 0; i < kEffectsShaderCount; ++i) {
        const EffectsShaderProgram& program = EffectsShaderPrograms()[i];
        SCOPED_TRACE(program.name);
        EXPECT_EQ(program.length, lengths[i]);
        ID3DXBuffer* code = nullptr;
        ID3DXBuffer* errors = nullptr;
        const int32_t result = D3DXAssembleShader(program.text, uint32_t(std::strlen(program.text)), nullptr,
                                                  nullptr, 0, &code, &errors);
        if (errors) {
            ADD_FAILURE() << static_cast<const char*>(errors->GetBufferPointer());
            errors->Release();
        }
        ASSERT_EQ(result, D3DX_OK);
        ASSERT_EQ(code->GetBufferSize(), program.length * sizeof(uint32_t));
        EXPECT_EQ(std::memcmp(code->GetBufferPointer(), program.tokens, code->GetBufferSize()), 0);
        code->Release();
    }
}

class EffectsShadersOnDevice : public EffectsDrawing, public testing::WithParamInterface<const char*>
{
  protected:
    void SetUp() override
    {
        profile_ = GetParam();
        EffectsDrawing::SetUp();
    }

    /// Whether the profile's device has ps 1.1.
    static bool PixelShaders() { return std::strcmp(GetParam(), "full") == 0; }

    /// An effects atomic of one quad whose material has effect `type`.
    Atomic* EffectQuad(EffectType type)
    {
        Material* material = MaterialOf({255, 255, 255, 255}, TextureOf(1, 1, {0xFF808080}));
        EXPECT_NE(MaterialEffectsSetType(material, type), nullptr);
        Atomic* atomic = Place(FacingQuad(kPreLitTextured | kGeometryNormals, material), 0, 0, 2);
        EXPECT_EQ(AtomicEnableEffects(atomic), atomic);
        return atomic;
    }
};

TEST_P(EffectsShadersOnDevice, MadeWithPs11AndThenBumpMapsAskForTangents)
{
    EXPECT_EQ(EffectsGetDeviceCaps()->pixelShaders, PixelShaders() ? 1u : 0u);
    for (uint32_t i = 0; i < kEffectsShaderCount; ++i) {
        EXPECT_EQ(EffectsGetPixelShader(EffectsPixelShader(i)) != nullptr, PixelShaders()) << i;
    }
    struct TangentCase
    {
        EffectType type;
        bool tangents; ///< with pixel shaders
    };
    for (const TangentCase c : {TangentCase{EffectTypeBumpMap, true}, TangentCase{EffectTypeBumpEnvMap, true},
                                TangentCase{EffectTypeDual, false}, TangentCase{EffectTypeEnvMap, false}}) {
        SCOPED_TRACE(c.type);
        Atomic* atomic = EffectQuad(c.type);
        Draw(atomic);
        const bool tangents = D3D9GeometryGetExtension(atomic->geometry) & kD3D9ExtensionTangents;
        EXPECT_EQ(tangents, c.tangents && PixelShaders());
    }
}

INSTANTIATE_TEST_SUITE_P(Profiles, EffectsShadersOnDevice, testing::Values("full", "minimal", "ff3"));

using Colour = std::array<float, 4>; ///< r, g, b, a in 0..1

Colour ColourOf(uint32_t argb)
{
    return {float(argb >> 16 & 0xFF) / 255.0f, float(argb >> 8 & 0xFF) / 255.0f, float(argb & 0xFF) / 255.0f,
            float(argb >> 24) / 255.0f};
}

class EffectsShaderResults : public EffectsDrawing
{
  protected:
    /// A 1 x 1 managed texture of one ARGB texel.
    IDirect3DTexture9* DeviceTexture(uint32_t argb)
    {
        IDirect3DTexture9* texture = nullptr;
        EXPECT_EQ(Device()->CreateTexture(1, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
                  D3D_OK);
        D3DLOCKED_RECT locked{};
        texture->LockRect(0, &locked, nullptr, 0);
        std::memcpy(locked.pBits, &argb, sizeof(argb));
        texture->UnlockRect(0);
        return texture;
    }

    /// Draws the whole target with `shader`, textures t0..t2, diffuse and c0
    /// = k; the colour of the centre pixel.
    uint32_t Shade(IDirect3DPixelShader9* shader, const uint32_t (&texels)[3], uint32_t diffuse, float k)
    {
        IDirect3DDevice9* device = Device();
        EXPECT_NE(CameraClear(camera_, kBackground, 3), nullptr);
        for (DWORD stage = 0; stage < 3; ++stage) {
            IDirect3DTexture9* texture = DeviceTexture(texels[stage]);
            device->SetTexture(stage, texture);
            texture->Release();
        }
        device->SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
        device->SetRenderState(D3DRS_ALPHATESTENABLE, 0);
        device->SetRenderState(D3DRS_FOGENABLE, 0);
        device->SetRenderState(D3DRS_ZENABLE, 0);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        const float constant[4] = {k, k, k, k};
        device->SetPixelShaderConstantF(0, constant, 1);
        device->SetPixelShader(shader);
        struct Vertex
        {
            float x, y, z, rhw;
            uint32_t diffuse;
            float u, v;
        };
        const float w = float(kWidth), h = float(kHeight);
        const Vertex quad[4] = {{0, 0, 0.5f, 1, diffuse, 0, 0},
                                {w, 0, 0.5f, 1, diffuse, 1, 0},
                                {0, h, 0.5f, 1, diffuse, 0, 1},
                                {w, h, 0.5f, 1, diffuse, 1, 1}};
        device->SetVertexShader(nullptr);
        device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
        EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex)), D3D_OK);
        device->SetPixelShader(nullptr);
        for (DWORD stage = 0; stage < 3; ++stage) {
            device->SetTexture(stage, nullptr);
        }
        return Pixels()[size_t(kHeight / 2 * kWidth + kWidth / 2)];
    }
};

TEST_F(EffectsShaderResults, EachShaderComputesItsFormula)
{
    ASSERT_EQ(EffectsGetDeviceCaps()->pixelShaders, 1u);
    const uint32_t texels[3] = {0x80C86432, 0xC0204080, 0x60FF8040};
    const Colour t0 = ColourOf(texels[0]), t1 = ColourOf(texels[1]), t2 = ColourOf(texels[2]);
    const Colour d = ColourOf(0xFFC0A080);
    const float k = 0.5f;
    // The formulas per colour channel c (0..2; 3 is alpha).
    using Formula = std::function<float(int c)>;
    const Formula bump = [&](int c) { return d[c] * (t0[c] * (1 - t0[3]) + t1[c] * t1[3]); };
    const Formula r = [&](int c) {
        return (c < 3 ? t0[c] * (1 - t0[3]) : t0[3]) * d[c] + (c < 3 ? t1[c] * t1[3] : t1[3]) * d[c];
    };
    const Formula formulas[kEffectsShaderCount] = {
        bump,
        [&](int c) { return t0[c] * d[c] + (c < 3 ? t1[c] * t1[3] * k : 0); },
        [&](int c) { return c < 3 ? t0[c] * t0[3] * k + d[c] : d[3]; },
        [&](int c) { return bump(c) + t2[c] * t2[3] * k; },
        [&](int c) { return r(c) + t2[c] * t2[3] * r(3) * k; },
        [&](int c) { return r(c) + t2[c] * r(3) * k; },
    };
    for (uint32_t i = 0; i < kEffectsShaderCount; ++i) {
        SCOPED_TRACE(EffectsShaderPrograms()[i].name);
        const uint32_t pixel = Shade(EffectsGetPixelShader(EffectsPixelShader(i)), texels, 0xFFC0A080, k);
        const Colour actual = ColourOf(pixel);
        for (int c = 0; c < 3; ++c) {
            EXPECT_NEAR(actual[c] * 255.0f, std::clamp(formulas[i](c), 0.0f, 1.0f) * 255.0f, 3.0f)
                << "channel " << c;
        }
    }
}

} // namespace
