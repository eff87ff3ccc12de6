// The engine's render states on the device: translation, the coupling of
// blending to vertex and texture alpha, stage addressing and filtering.

#include "graphics/core/pipeline.h"
#include "graphics/core/raster.h"
#include "graphics/core/texture.h"
#include "graphics/d3d9/d3d9cache.h"
#include "graphics/d3d9/d3d9renderstate.h"
#include "graphics/d3d9/tests/d3d9testing.h"

namespace {

void* Value(uintptr_t v)
{
    return reinterpret_cast<void*>(v);
}

class RenderStates : public EngineFixture
{
  protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        ASSERT_TRUE(Start());
    }

    uint32_t Get(int32_t state)
    {
        uint32_t value = 0xDEAD;
        EXPECT_TRUE(D3D9RenderStateGet(state, &value)) << state;
        return value;
    }
    uint32_t Wanted(uint32_t state)
    {
        uint32_t value = 0;
        D3D9GetRenderState(state, &value);
        return value;
    }
};

} // namespace

TEST_F(RenderStates, StartValuesAndUnhandledStates)
{
    EXPECT_EQ(Get(kRenderStateZTestEnable), 1u);
    EXPECT_EQ(Get(kRenderStateCullMode), uint32_t(D3DCULL_CW));
    EXPECT_EQ(Get(kRenderStateSrcBlend), uint32_t(D3DBLEND_SRCALPHA));
    EXPECT_EQ(Get(kRenderStateTextureFilter), 2u);
    EXPECT_EQ(Get(kRenderStateTextureAddress), uint32_t(D3DTADDRESS_WRAP));
    EXPECT_EQ(Get(kRenderStateStencilMask), 0xFFFFFFFFu);
    uint32_t value = 0;
    for (int32_t state : {0, 5, 18, 19, 31}) {
        EXPECT_FALSE(D3D9RenderStateGet(state, &value)) << state;
    }
    EXPECT_FALSE(D3D9RenderStateSet(18, nullptr));
    EXPECT_FALSE(D3D9RenderStateSet(19, nullptr));
    EXPECT_FALSE(D3D9RenderStateSet(kRenderStateTexturePerspective, nullptr));
    EXPECT_TRUE(D3D9RenderStateSet(kRenderStateTexturePerspective, Value(1)));
    float density = 0.5f;
    ASSERT_TRUE(D3D9RenderStateSet(kRenderStateFogDensity, &density));
    float read = 0;
    ASSERT_TRUE(D3D9RenderStateGet(kRenderStateFogDensity, &read));
    EXPECT_EQ(read, 0.5f);
}

TEST_F(RenderStates, ZTestAndZWriteDriveZEnable)
{
    ASSERT_TRUE(D3D9RenderStateSet(kRenderStateZTestEnable, Value(0)));
    EXPECT_EQ(Wanted(D3DRS_ZFUNC), uint32_t(D3DCMP_ALWAYS));
    EXPECT_EQ(Wanted(D3DRS_ZENABLE), 1u) << "z write still needs the buffer";
    ASSERT_TRUE(D3D9RenderStateSet(kRenderStateZWriteEnable, Value(0)));
    EXPECT_EQ(Wanted(D3DRS_ZENABLE), 0u);
    D3D9RenderStateFlush();
    EXPECT_EQ(DeviceRenderState(D3DRS_ZENABLE), 0u);
}

TEST_F(RenderStates, AddressingSendsOnlyWhatChanged)
{
    ASSERT_TRUE(D3D9RenderStateSet(kRenderStateTextureAddressV, Value(D3DTADDRESS_CLAMP)));
    uint32_t both = 1;
    EXPECT_FALSE(D3D9RenderStateGet(kRenderStateTextureAddress, &both)) << "U and V differ";
    Device()->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_BORDER);
    ASSERT_TRUE(D3D9RenderStateSet(kRenderStateTextureAddress, Value(D3DTADDRESS_WRAP)));
    EXPECT_EQ(DeviceSamplerState(0, D3DSAMP_ADDRESSU), DWORD(D3DTADDRESS_BORDER)) << "U was already wrap";
    EXPECT_EQ(DeviceSamplerState(0, D3DSAMP_ADDRESSV), DWORD(D3DTADDRESS_WRAP));
}

TEST_F(RenderStates, BlendingFollowsVertexAndTextureAlpha)
{
    Raster* alpha = RasterCreate(4, 4, 32, kRasterTypeTexture | kRasterFormat8888);
    Raster* opaque = RasterCreate(4, 4, 32, kRasterTypeTexture | kRasterFormat888);
    ASSERT_NE(alpha, nullptr);
    ASSERT_NE(opaque, nullptr);
    EXPECT_EQ(Wanted(D3DRS_ALPHABLENDENABLE), 0u);
    ASSERT_TRUE(D3D9RenderStateSet(kRenderStateTextureRaster, alpha));
    EXPECT_EQ(Wanted(D3DRS_ALPHABLENDENABLE), 1u);
    EXPECT_EQ(Wanted(D3DRS_ALPHATESTENABLE), 1u);
    Raster* stageRaster = nullptr;
    ASSERT_TRUE(D3D9RenderStateGet(kRenderStateTextureRaster, &stageRaster));
    EXPECT_EQ(stageRaster, alpha);
    ASSERT_TRUE(D3D9RenderStateSet(kRenderStateTextureRaster, opaque));
    EXPECT_EQ(Wanted(D3DRS_ALPHABLENDENABLE), 0u);
    ASSERT_TRUE(D3D9RenderStateSet(kRenderStateVertexAlphaEnable, Value(1)));
    EXPECT_EQ(Wanted(D3DRS_ALPHABLENDENABLE), 1u);
    ASSERT_TRUE(D3D9RenderStateSet(kRenderStateTextureRaster, alpha));
    ASSERT_TRUE(D3D9RenderStateSet(kRenderStateTextureRaster, nullptr));
    EXPECT_EQ(Wanted(D3DRS_ALPHABLENDENABLE), 1u) << "vertex alpha keeps blending on";
    // "Always" turns alpha testing off, blending stays.
    ASSERT_TRUE(D3D9RenderStateSet(kRenderStateAlphaFunction, Value(D3DCMP_ALWAYS)));
    EXPECT_EQ(Wanted(D3DRS_ALPHATESTENABLE), 0u);
    EXPECT_EQ(Wanted(D3DRS_ALPHABLENDENABLE), 1u);
    D3D9RenderStateFlush();
    IDirect3DBaseTexture9* bound = reinterpret_cast<IDirect3DBaseTexture9*>(1);
    Device()->GetTexture(0, &bound);
    EXPECT_EQ(bound, nullptr);
    RasterDestroy(alpha);
    RasterDestroy(opaque);
}

TEST_F(RenderStates, AnisotropicTexturesGetAnisotropicMinification)
{
    Raster* raster = RasterCreate(4, 4, 32, kRasterTypeTexture | kRasterFormat888);
    ASSERT_NE(raster, nullptr);
    ASSERT_TRUE(D3D9SetTextureRaster(raster, 6 | 0x3300, 4, 1));
    EXPECT_EQ(DeviceSamplerState(1, D3DSAMP_MINFILTER), DWORD(D3DTEXF_ANISOTROPIC));
    EXPECT_EQ(DeviceSamplerState(1, D3DSAMP_MAGFILTER), DWORD(D3DTEXF_LINEAR))
        << "no anisotropic magnification caps";
    EXPECT_EQ(DeviceSamplerState(1, D3DSAMP_MIPFILTER), DWORD(D3DTEXF_LINEAR));
    EXPECT_EQ(DeviceSamplerState(1, D3DSAMP_MAXANISOTROPY), 4u);
    EXPECT_EQ(DeviceSamplerState(1, D3DSAMP_ADDRESSU), DWORD(D3DTADDRESS_CLAMP));
    EXPECT_EQ(D3D9GetTexture(1), raster);
    ASSERT_TRUE(D3D9SetTextureRaster(nullptr, 0, 0, 1));
    EXPECT_EQ(D3D9GetTexture(1), nullptr);
    RasterDestroy(raster);
}

TEST_F(EngineFixture, FogStaysOffWithoutFogCaps)
{
    D3D9AdapterConfig adapter = D3D9DefaultAdapter();
    adapter.caps.RasterCaps &= ~(D3DPRASTERCAPS_FOGVERTEX | D3DPRASTERCAPS_FOGTABLE);
    D3D9SetAdapters(&adapter, 1);
    ASSERT_TRUE(Start());
    EXPECT_TRUE(D3D9RenderStateSet(kRenderStateFogEnable, reinterpret_cast<void*>(1)));
    uint32_t fog = 1;
    D3D9RenderStateGet(kRenderStateFogEnable, &fog);
    EXPECT_EQ(fog, 0u);
    uint32_t vertexMode = 0;
    D3D9GetRenderState(D3DRS_FOGVERTEXMODE, &vertexMode);
    EXPECT_EQ(vertexMode, uint32_t(D3DFOG_LINEAR))
        << "without table and w fog the vertex mode carries the type";
}

TEST_F(RenderStates, EngineTexturesBindWithTheirFilterAndAddressing)
{
    Raster* raster = RasterCreate(4, 4, 32, kRasterTypeTexture | kRasterFormat8888);
    ASSERT_NE(raster, nullptr);
    Texture* texture = TextureCreate(raster);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->raster, raster);
    TextureSetFilterMode(texture, 3);
    TextureSetAddressingU(texture, D3DTADDRESS_CLAMP);
    TextureSetAddressingV(texture, D3DTADDRESS_MIRROR);
    ASSERT_TRUE(D3D9SetTexture(texture, 0));
    EXPECT_EQ(D3D9GetTexture(0), raster);
    EXPECT_EQ(DeviceSamplerState(0, D3DSAMP_MINFILTER), DWORD(D3DTEXF_POINT));
    EXPECT_EQ(DeviceSamplerState(0, D3DSAMP_MIPFILTER), DWORD(D3DTEXF_POINT));
    EXPECT_EQ(DeviceSamplerState(0, D3DSAMP_ADDRESSU), DWORD(D3DTADDRESS_CLAMP));
    EXPECT_EQ(DeviceSamplerState(0, D3DSAMP_ADDRESSV), DWORD(D3DTADDRESS_MIRROR));
    EXPECT_EQ(D3D9TextureHasAlpha(texture), 1);
    EXPECT_EQ(Wanted(D3DRS_ALPHABLENDENABLE), 1u);
    ASSERT_TRUE(D3D9SetTexture(nullptr, 0));
    EXPECT_EQ(D3D9GetTexture(0), nullptr);
    EXPECT_EQ(Wanted(D3DRS_ALPHABLENDENABLE), 0u);
    TextureDestroy(texture);
}

TEST_F(RenderStates, TheEngineCapturesTheDevicesStates)
{
    ASSERT_TRUE(D3D9RenderStateSet(kRenderStateCullMode, Value(D3DCULL_CCW)));
    ASSERT_TRUE(D3D9RenderStateSet(kRenderStateZWriteEnable, Value(0)));
    PipelineRenderStates* states = PipelineRenderStatesCapture();
    ASSERT_NE(states, nullptr);
    EXPECT_EQ(states->cullMode, uint32_t(D3DCULL_CCW));
    EXPECT_EQ(states->flags & kRenderStateZWrite, 0u);
    EXPECT_EQ(states->flags & kRenderStateZTest, kRenderStateZTest);
    EXPECT_EQ(states->raster, nullptr);
    EXPECT_EQ(states->filterMode, 2u);
    PipelineRenderStatesDestroy(states);
}
