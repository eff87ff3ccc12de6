// The shader cache on the software device: lookups, the least recently used
// replacement of a full cache, cached null shaders, the flush at the engine's
// stop, and the profile chosen from the caps.
#include "graphics/d3d9/renderer/tests/renderertesting.h"

#include "graphics/core/instance.h"
#include "graphics/d3d9/renderer/vertexshader.h"
#include "platform/d3d9/d3d9control.h"

namespace {

class VertexShaderCache : public RendererFixture
{
  protected:
    // Distinct descriptors that all assemble: lights, texture sets and fog vary.
    static VertexShaderDescriptor Nth(uint32_t i)
    {
        return VertexShaderDescriptorMake(i % 4, i / 4 % 4, i / 16 % 4, i / 64 % 4, 0, i / 256 % 4, 0,
                                          kVertexShaderNormals);
    }
};

} // namespace

TEST_F(VertexShaderCache, HitsReturnTheSameShaderAndLayoutWithoutWriting)
{
    const VertexShaderDescriptor d =
        VertexShaderDescriptorMake(1, 0, 0, 1, 0, 0, 0, kVertexShaderNormals | kVertexShaderMaterialColour);
    VertexShaderConstantLayout layout;
    IDirect3DVertexShader9* shader = VertexShaderFind(d, &layout);
    ASSERT_NE(shader, nullptr);
    EXPECT_EQ(layout.materialColour, 7);
    const long live = D3D9LiveObjectCount();
    VertexShaderFind(Nth(3), nullptr);
    VertexShaderConstantLayout again;
    EXPECT_EQ(VertexShaderFind(d, &again), shader);
    EXPECT_EQ(again.materialColour, 7);
    EXPECT_EQ(D3D9LiveObjectCount(), live + 1);
    EXPECT_EQ(VertexShaderCacheCount(), 2u);
}

TEST_F(VertexShaderCache, The257thDescriptorReplacesTheLeastRecentlyUsed)
{
    std::vector<IDirect3DVertexShader9*> shaders;
    for (uint32_t i = 0; i < 256; ++i) {
        // Stamps 1..256, written in an order that is not the sorted one.
        EngineGetInstance()->renderFrame = uint16_t(1 + i);
        shaders.push_back(VertexShaderFind(Nth((i * 7) % 256), nullptr));
        ASSERT_NE(shaders.back(), nullptr);
    }
    ASSERT_EQ(VertexShaderCacheCount(), 256u);
    const long live = D3D9LiveObjectCount();
    EngineGetInstance()->renderFrame = 300;
    ASSERT_NE(VertexShaderFind(Nth(256), nullptr), nullptr);
    EXPECT_EQ(VertexShaderCacheCount(), 256u);
    EXPECT_EQ(D3D9LiveObjectCount(), live) << "the replaced entry's shader is released";
    // Every other descriptor is still found (no new shader), the replaced one is written again.
    for (uint32_t i = 1; i < 256; ++i) {
        EXPECT_EQ(VertexShaderFind(Nth((i * 7) % 256), nullptr), shaders[i]) << i;
    }
    EXPECT_EQ(D3D9LiveObjectCount(), live);
    EXPECT_NE(VertexShaderFind(Nth(0), nullptr), nullptr);
    EXPECT_EQ(D3D9LiveObjectCount(), live) << "Nth(256) was the least recently used and made room";
    EXPECT_EQ(VertexShaderCacheCount(), 256u);
}

TEST_F(VertexShaderCache, ATextThatDoesNotAssembleIsCachedAsNull)
{
    // The environment-map effect reads the normal: without normals it cannot assemble.
    const VertexShaderDescriptor d = VertexShaderDescriptorMake(0, 0, 0, 1, 0, 0, 1, 0);
    const long live = D3D9LiveObjectCount();
    EXPECT_EQ(VertexShaderFind(d, nullptr), nullptr);
    EXPECT_EQ(VertexShaderFind(d, nullptr), nullptr);
    EXPECT_EQ(VertexShaderCacheCount(), 1u);
    EXPECT_EQ(D3D9LiveObjectCount(), live);
}

TEST_F(VertexShaderCache, FlushReleasesEveryShader)
{
    const long before = D3D9LiveObjectCount();
    for (uint32_t i = 0; i < 10; ++i) {
        VertexShaderFind(Nth(i), nullptr);
    }
    EXPECT_EQ(D3D9LiveObjectCount(), before + 10);
    VertexShaderCacheFlush();
    EXPECT_EQ(D3D9LiveObjectCount(), before);
    EXPECT_EQ(VertexShaderCacheCount(), 0u);
    // The fixture's tear-down checks that shaders found after a flush are released at the stop.
    VertexShaderFind(Nth(1), nullptr);
}

namespace {

struct ProfileCase
{
    DWORD version;
    int flowControl;
    DWORD constants;
    int profile;
    uint32_t budget;
};

class VertexShaderProfiles : public RendererFixture, public ::testing::WithParamInterface<ProfileCase>
{
  protected:
    void SetUp() override
    {
        D3D9AdapterConfig adapter = D3D9DefaultAdapter();
        adapter.caps.VertexShaderVersion = GetParam().version;
        adapter.caps.VS20Caps.DynamicFlowControlDepth = GetParam().flowControl;
        adapter.caps.MaxVertexShaderConst = GetParam().constants;
        D3D9SetAdapters(&adapter, 1);
        RendererFixture::SetUp();
    }
};

} // namespace

TEST_P(VertexShaderProfiles, ProfileAndBudgetFollowTheCaps)
{
    EXPECT_EQ(VertexShaderProfile(), GetParam().profile);
    if (GetParam().profile) {
        EXPECT_EQ(VertexShaderBudget(), GetParam().budget);
    }
    const uint32_t normalised =
        D3DDTCAPS_UBYTE4N | D3DDTCAPS_SHORT2N | D3DDTCAPS_SHORT4N | D3DDTCAPS_USHORT2N | D3DDTCAPS_USHORT4N;
    EXPECT_EQ((VertexDeclTypesGet() & normalised) == 0, GetParam().profile == kVertexShaderProfile11);
    EXPECT_EQ(VertexShaderFind(0, nullptr) != nullptr, GetParam().profile != 0);
}

INSTANTIATE_TEST_SUITE_P(Caps, VertexShaderProfiles,
                         ::testing::Values(ProfileCase{D3DVS_VERSION(3, 0), 0, 256, 25, 256},
                                           ProfileCase{D3DVS_VERSION(2, 0), 0, 300, 20, 256},
                                           ProfileCase{D3DVS_VERSION(2, 0), 24, 256, 25, 256},
                                           ProfileCase{D3DVS_VERSION(1, 1), 0, 96, 10, 96},
                                           ProfileCase{0, 0, 96, 0, 0}));
