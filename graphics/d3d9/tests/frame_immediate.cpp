// Immediate-mode 2-D and 3-D and raster drawing into a camera: what they
// draw, and the batches and indices they refuse.

#include <vector>

#include "graphics/core/camera.h"
#include "graphics/core/error.h"
#include "graphics/core/pipeline.h"
#include "graphics/core/pluginids.h"
#include "graphics/core/raster.h"
#include "graphics/d3d9/d3d9im2d.h"
#include "graphics/d3d9/d3d9renderstate.h"
#include "graphics/d3d9/im3d.h"
#include "graphics/d3d9/tests/d3d9testing.h"
#include "platform/d3d9/testing/backbuffer.h"

namespace {

class Immediate : public EngineFixture
{
  protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        ASSERT_TRUE(Start());
        camera_ = CameraCreate();
        ASSERT_NE(camera_, nullptr);
        camera_->frameBuffer = RasterCreate(kWidth, kHeight, 0, kRasterTypeCamera);
        camera_->zBuffer = RasterCreate(kWidth, kHeight, 0, kRasterTypeZBuffer);
        const uint8_t black[4] = {0, 0, 0, 255};
        ASSERT_NE(CameraClear(camera_, black, 3), nullptr);
        ASSERT_NE(CameraBeginUpdate(camera_), nullptr);
        D3D9RenderStateSet(kRenderStateCullMode, reinterpret_cast<void*>(uintptr_t(1)));
        ErrorRecord discard;
        ErrorGet(&discard);
    }

    void TearDown() override
    {
        if (camera_) {
            CameraEndUpdate(camera_);
            RasterDestroy(camera_->frameBuffer);
            RasterDestroy(camera_->zBuffer);
            CameraDestroy(camera_);
        }
        EngineFixture::TearDown();
    }

    uint32_t Pixel(int x, int y) { return d3d9test::BackBufferPixel(Device(), x, y); }

    static ErrorRecord LastError()
    {
        ErrorRecord record;
        ErrorGet(&record);
        return record;
    }

    static Im2DVertex Screen(float x, float y, uint32_t colour)
    {
        return {x, y, 0.0f, 1.0f, colour, 0.0f, 0.0f};
    }

    Camera* camera_ = nullptr;
};

} // namespace

TEST_F(Immediate, Im2DDrawsPrimitivesLinesAndIndexedLists)
{
    Im2DVertex quad[4] = {Screen(10, 10, 0xFFFF0000), Screen(30, 10, 0xFFFF0000), Screen(10, 30, 0xFFFF0000),
                          Screen(30, 30, 0xFFFF0000)};
    EXPECT_TRUE(D3D9Im2DRenderPrimitive(kIm2DTriStrip, quad, 4));
    EXPECT_EQ(Pixel(20, 20), 0xFF0000u);

    Im2DVertex line[2] = {Screen(40, 5, 0xFF00FF00), Screen(40, 50, 0xFF00FF00)};
    EXPECT_TRUE(D3D9Im2DRenderLine(line, 2, 0, 1));
    EXPECT_TRUE(Pixel(40, 20) == 0x00FF00u || Pixel(39, 20) == 0x00FF00u) << "a vertical line at x = 40";
    EXPECT_FALSE(D3D9Im2DRenderLine(line, 2, 0, 2)) << "index beyond the vertices";

    // More indices than vertices: the index buffer.
    Im2DVertex corners[4] = {Screen(60, 10, 0xFF0000FF), Screen(90, 10, 0xFF0000FF),
                             Screen(60, 40, 0xFF0000FF), Screen(90, 40, 0xFF0000FF)};
    uint16_t indices[6] = {0, 1, 2, 2, 1, 3};
    EXPECT_TRUE(D3D9Im2DRenderIndexedPrimitive(kIm2DTriList, corners, 4, indices, 6));
    EXPECT_EQ(Pixel(75, 25), 0x0000FFu);
    // Fewer: the named vertices are expanded.
    uint16_t three[3] = {3, 1, 2};
    corners[3].colour = corners[1].colour = corners[2].colour = 0xFFFFFFFF;
    EXPECT_TRUE(D3D9Im2DRenderIndexedPrimitive(kIm2DTriList, corners, 4, three, 3));
    EXPECT_EQ(Pixel(85, 35), 0xFFFFFFu);
}

TEST_F(Immediate, Im2DRefusesOversizeBatchesAndBadIndices)
{
    std::vector<Im2DVertex> many(kIm2DMaxVertices + 1, Screen(1, 1, 0xFFFFFFFF));
    EXPECT_FALSE(D3D9Im2DRenderPrimitive(kIm2DTriList, many.data(), kIm2DMaxVertices + 1));
    EXPECT_TRUE(D3D9Im2DRenderPrimitive(kIm2DTriList, many.data(), kIm2DMaxVertices - 1));
    std::vector<uint16_t> indices(kIm2DMaxIndices + 3, 0);
    EXPECT_FALSE(
        D3D9Im2DRenderIndexedPrimitive(kIm2DTriList, many.data(), 3, indices.data(), kIm2DMaxIndices + 3));
    uint16_t outside[3] = {0, 1, 7};
    EXPECT_FALSE(D3D9Im2DRenderIndexedPrimitive(kIm2DTriList, many.data(), 3, outside, 3));
    EXPECT_FALSE(D3D9Im2DRenderPrimitive(9, many.data(), 3)) << "no such primitive type";
    Im2DVertex two[2] = {Screen(1, 1, 0), Screen(2, 2, 0)};
    EXPECT_TRUE(D3D9Im2DRenderPrimitive(kIm2DTriList, two, 2) == 0) << "too few vertices for a triangle";
}

TEST_F(Immediate, Im3DDrawsAndRefusesOutOfRangeIndices)
{
    // A triangle in front of the camera (at the origin, looking along +z).
    Im3DVertex triangle[3] = {{-1, -1, 2, 0, 0, 0, 0xFF00FF00, 0, 0},
                              {1, -1, 2, 0, 0, 0, 0xFF00FF00, 0, 0},
                              {0, 1, 2, 0, 0, 0, 0xFF00FF00, 0, 0}};
    ASSERT_EQ(Im3DTransform(triangle, 3, nullptr, kIm3DNoVertexAlpha), triangle);
    EXPECT_TRUE(Im3DRenderPrimitive(kIm3DTriList));
    EXPECT_EQ(Pixel(kWidth / 2, kHeight / 2), 0x00FF00u);

    const uint16_t bad[3] = {0, 1, 3};
    EXPECT_FALSE(Im3DRenderIndexedPrimitive(kIm3DTriList, bad, 3));
    ErrorRecord error = LastError();
    EXPECT_EQ(error.code, kErrorBadArgument);
    EXPECT_FALSE(Im3DRenderLine(0, 3));
    EXPECT_EQ(LastError().code, kErrorBadArgument);
    const uint16_t good[3] = {2, 1, 0};
    EXPECT_TRUE(Im3DRenderIndexedPrimitive(kIm3DTriList, good, 3));
    EXPECT_FALSE(Im3DRenderPrimitive(6));
    EXPECT_EQ(LastError().code, kErrorIm3DBadType);
    EXPECT_FALSE(Im3DRenderPrimitive(0));
    EXPECT_EQ(LastError().code, kErrorIm3DBadType);
    EXPECT_EQ(Im3DEnd(), 1);
    EXPECT_EQ(Im3DEnd(), 0);
    EXPECT_FALSE(Im3DRenderPrimitive(kIm3DTriList));
    EXPECT_EQ(LastError().code, kErrorIm3DNotOpen);
}

TEST_F(Immediate, Im3DLongIndexListsUseTheIndexBuffer)
{
    std::vector<Im3DVertex> grid;
    std::vector<uint16_t> indices;
    // A 4 x 4 grid of quads covering the screen's middle, drawn indexed.
    for (int y = 0; y <= 4; ++y) {
        for (int x = 0; x <= 4; ++x) {
            grid.push_back(
                {-0.5f + 0.25f * float(x), -0.5f + 0.25f * float(y), 1, 0, 0, 0, 0xFFFF00FF, 0, 0});
        }
    }
    for (uint16_t y = 0; y < 4; ++y) {
        for (uint16_t x = 0; x < 4; ++x) {
            const uint16_t i = uint16_t(y * 5 + x);
            indices.insert(indices.end(), {i, uint16_t(i + 1), uint16_t(i + 5), uint16_t(i + 5),
                                           uint16_t(i + 1), uint16_t(i + 6)});
        }
    }
    ASSERT_NE(Im3DTransform(grid.data(), uint32_t(grid.size()), nullptr, 0), nullptr);
    EXPECT_TRUE(Im3DRenderIndexedPrimitive(kIm3DTriList, indices.data(), uint32_t(indices.size())));
    EXPECT_EQ(Pixel(kWidth / 2 + 3, kHeight / 2 + 3), 0xFF00FFu);
    Im3DEnd();
    std::vector<Im3DVertex> tooMany(kIm3DMaxVertices + 1);
    EXPECT_EQ(Im3DTransform(tooMany.data(), kIm3DMaxVertices + 1, nullptr, 0), nullptr);
    EXPECT_EQ(LastError().code, kErrorIm3DTooManyVertices);
}

TEST_F(Immediate, Im3DPipelinesCanBeReplacedAndRestored)
{
    Pipeline* submit = Im3DGetRenderPipeline(kIm3DTriList);
    ASSERT_NE(submit, nullptr);
    EXPECT_NE(PipelineFindNodeByName(submit, "nodeD3D9SubmitNoLight.csl", nullptr, nullptr), nullptr);
    EXPECT_NE(PipelineFindNodeByName(Im3DGetTransformPipeline(), "ImmInstance.csl", nullptr, nullptr),
              nullptr);
    Pipeline* mine = PipelineDuplicate(submit);
    ASSERT_NE(mine, nullptr);
    EXPECT_EQ(Im3DSetRenderPipeline(mine, kIm3DTriList), mine);
    EXPECT_EQ(Im3DSetRenderPipeline(nullptr, kIm3DTriList), submit);
    EXPECT_EQ(Im3DSetRenderPipeline(mine, 7), nullptr);
    EXPECT_EQ(LastError().code, kErrorIm3DBadType);
    PipelineDestroy(mine);
}

TEST_F(Immediate, RastersDrawIntoTheCameraBlendedOrNot)
{
    Raster* texture = RasterCreate(8, 8, 32, kRasterTypeTexture | kRasterFormat8888);
    ASSERT_NE(texture, nullptr);
    uint8_t* pixels = RasterLock(texture, 0, kRasterLockWrite);
    ASSERT_NE(pixels, nullptr);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            reinterpret_cast<uint32_t*>(pixels + y * texture->stride)[x] = 0x80FF0000; // half-transparent red
        }
    }
    RasterUnlock(texture);
    ASSERT_NE(RasterPushContext(camera_->frameBuffer), nullptr);
    ASSERT_NE(RasterRenderFast(texture, 10, 10), nullptr);
    EXPECT_EQ(Pixel(13, 13), 0xFF0000u) << "the fast entry draws opaque";
    ASSERT_NE(RasterRender(texture, 30, 10), nullptr);
    const uint32_t blended = Pixel(33, 13);
    EXPECT_NEAR(int(blended >> 16), 128, 2) << "source alpha over black";
    const RasterRect wide = {50, 10, 32, 8};
    ASSERT_NE(RasterRenderScaled(texture, &wide), nullptr);
    EXPECT_NEAR(int(Pixel(78, 13) >> 16), 128, 2);
    EXPECT_EQ(Pixel(84, 13), 0u) << "the scaled quad ends at its rectangle";
    EXPECT_EQ(RasterRender(camera_->zBuffer, 0, 0), nullptr) << "a z-buffer cannot be drawn";
    EXPECT_EQ(LastError().code, 2u);
    // The quad path leaves the automatic depth-stencil bound again.
    IDirect3DSurface9* depth = nullptr;
    Device()->GetDepthStencilSurface(&depth);
    EXPECT_NE(depth, nullptr);
    if (depth) {
        depth->Release();
    }
    RasterPopContext();
    RasterDestroy(texture);
}

TEST_F(Immediate, ClearsFillTextureContextsAndTheCamera)
{
    Raster* texture = RasterCreate(8, 8, 32, kRasterTypeTexture | kRasterFormat888);
    ASSERT_NE(texture, nullptr);
    ASSERT_NE(RasterPushContext(texture), nullptr);
    ASSERT_TRUE(RasterClear(0xFF112233));
    const RasterRect rect = {2, 2, 3, 3};
    ASSERT_TRUE(RasterClearRect(&rect, 0xFF00FF00));
    RasterPopContext();
    uint8_t* pixels = RasterLock(texture, 0, kRasterLockRead);
    ASSERT_NE(pixels, nullptr);
    auto texel = [&](int x, int y) { return reinterpret_cast<uint32_t*>(pixels + y * texture->stride)[x]; };
    EXPECT_EQ(texel(0, 0), 0xFF112233u);
    EXPECT_EQ(texel(3, 3), 0xFF00FF00u);
    EXPECT_EQ(texel(5, 5), 0xFF112233u);
    RasterUnlock(texture);

    ASSERT_NE(RasterPushContext(camera_->frameBuffer), nullptr);
    const RasterRect corner = {0, 0, 4, 4};
    ASSERT_TRUE(RasterClearRect(&corner, 0xFF0000FF));
    RasterPopContext();
    EXPECT_EQ(Pixel(1, 1), 0x0000FFu);
    EXPECT_EQ(Pixel(6, 6), 0u);
    // The blank bottom context has nothing to draw into.
    EXPECT_EQ(RasterRender(texture, 0, 0), nullptr);
    RasterDestroy(texture);
}

TEST_F(EngineFixture, Im2DWithItsOwnBufferWrapsToTheStart)
{
    // Without hardware transform and lighting the 2-D mode keeps its own buffer.
    ASSERT_TRUE(Init());
    ASSERT_TRUE(Open());
    D3D9EngineSetSoftwareVertexProcessing(1);
    ASSERT_TRUE(EngineStart());
    ASSERT_EQ(D3D9State().device->BeginScene(), D3D_OK);
    std::vector<Im2DVertex> many(kIm2DMaxVertices - 1, Im2DVertex{1, 1, 0, 1, 0xFFFFFFFF, 0, 0});
    EXPECT_TRUE(D3D9Im2DRenderPrimitive(kIm2DTriList, many.data(), kIm2DMaxVertices - 1));
    Im2DVertex line[2] = {{2, 2, 0, 1, 0xFFFFFFFF, 0, 0}, {20, 2, 0, 1, 0xFFFFFFFF, 0, 0}};
    EXPECT_TRUE(D3D9Im2DRenderLine(line, 2, 0, 1))
        << "the full buffer is discarded, the line starts it again";
    EXPECT_TRUE(D3D9Im2DRenderPrimitive(kIm2DTriList, many.data(), kIm2DMaxVertices - 1));
    std::vector<Im2DVertex> tooMany(kIm2DMaxVertices + 1, Im2DVertex{1, 1, 0, 1, 0, 0, 0});
    EXPECT_FALSE(D3D9Im2DRenderPrimitive(kIm2DTriList, tooMany.data(), kIm2DMaxVertices + 1))
        << "more than the buffer holds is refused, not written past its end";
    D3D9State().device->EndScene();
}
