// Paths stroked: the band's vertices, its batches, colours and texture
// coordinates, as the immediate-mode calls receive them.

#include <cmath>
#include <memory>

#include "graphics/core/texture.h"
#include "graphics/d3d9/d3d9renderstate.h"

#include "graphics/toolkit2d/brush.h"
#include "graphics/toolkit2d/path.h"
#include "graphics/toolkit2d/testing/im3drecorder.h"
#include "graphics/toolkit2d/tests/twodtesting.h"
#include "graphics/toolkit2d/twoddevice.h"

namespace {

class Strokes : public TwoDTest
{
  protected:
    void SetUp() override
    {
        TwoDTest::SetUp();
        recorder_ = std::make_unique<Im3DRecorder>();
        ASSERT_TRUE(recorder_->Installed());
        brush_ = BrushCreate();
        path_ = PathCreate();
    }
    void TearDown() override
    {
        PathDestroy(path_);
        BrushDestroy(brush_);
        recorder_.reset();
        TwoDTest::TearDown();
    }

    std::unique_ptr<Im3DRecorder> recorder_;
    Brush* brush_ = nullptr;
    Path* path_ = nullptr;
};

bool SameVertex(const Im3DVertex& a, const Im3DVertex& b)
{
    return a.x == b.x && a.y == b.y && a.colour == b.colour;
}

} // namespace

TEST_F(Strokes, StraightBandHasTwoVerticesPerNode)
{
    brush_->halfWidth = 0.1f;
    PathMoveTo(path_, 0, 0);
    PathLineTo(path_, 1, 0);
    ASSERT_TRUE(PathRender(path_, brush_));
    ASSERT_EQ(recorder_->Batches().size(), 1u);
    const Im3DBatch& batch = recorder_->Batches()[0];
    EXPECT_EQ(batch.type, kIm3DTriStrip);
    ASSERT_EQ(batch.vertices.size(), 4u);
    EXPECT_EQ(batch.indices, (std::vector<uint16_t>{0, 1, 2, 3}));
    // Normal (0, -1): the first vertex of a node lies on its left (+y), the second on its right.
    EXPECT_NEAR(batch.vertices[0].y, 0.1f, 1e-3f);
    EXPECT_NEAR(batch.vertices[1].y, -0.1f, 1e-3f);
    EXPECT_EQ(batch.vertices[0].z, TwoDDeviceGetLayerDepth());
    EXPECT_EQ(batch.vertices[0].colour, 0xFFFFFFFFu);
    EXPECT_EQ(batch.flags & kIm3DTextured, 0u);
}

TEST_F(Strokes, GradientRunsAlongTheArcLength)
{
    const uint8_t black[4] = {0, 0, 0, 255}, white[4] = {255, 255, 255, 255}, red[4] = {255, 0, 0, 255};
    // Bottom edge black to white, top edge red to black.
    BrushSetColours(brush_, black, white, black, red);
    PathMoveTo(path_, 0, 0);
    PathLineTo(path_, 1, 0);
    PathLineTo(path_, 1, 3);
    ASSERT_TRUE(PathRender(path_, brush_));
    const std::vector<Im3DVertex>& v = recorder_->Batches().at(0).vertices;
    ASSERT_EQ(v.size(), 6u);
    EXPECT_EQ(v[0].colour, 0xFFFF0000u) << "top pair at t = 0";
    EXPECT_EQ(v[1].colour, 0xFF000000u) << "bottom pair at t = 0";
    EXPECT_EQ(v[2].colour, 0xFFBF0000u) << "t = 1/4 of the length";
    EXPECT_EQ(v[3].colour, 0xFF404040u);
    EXPECT_EQ(v[5].colour, 0xFFFFFFFFu);
}

TEST_F(Strokes, LongStrokesDrawJoinedBatchesWithoutNaN)
{
    // 300 nodes with repeated points and reversals, as glyph outlines have them.
    PathMoveTo(path_, 0, 0);
    for (int32_t i = 1; i < 300; ++i) {
        const float x = float(i % 40) * 0.02f;
        const float y = float(i / 40) * 0.05f;
        if (i % 17 == 0) {
            PathLineTo(path_, PathGetNodes(path_)[i - 1].x, PathGetNodes(path_)[i - 1].y); // repeat
        } else if (i % 23 == 0) {
            PathLineTo(path_, PathGetNodes(path_)[i - 2].x, PathGetNodes(path_)[i - 2].y); // back
        } else {
            PathLineTo(path_, x, y);
        }
    }
    ASSERT_EQ(PathGetNodeCount(path_), 300);
    ASSERT_TRUE(PathRender(path_, brush_));
    const std::vector<Im3DBatch>& batches = recorder_->Batches();
    ASSERT_GE(batches.size(), 3u);
    size_t nodes = 0;
    for (size_t b = 0; b < batches.size(); ++b) {
        const std::vector<Im3DVertex>& v = batches[b].vertices;
        ASSERT_LE(v.size(), size_t(kTwoDBatchVertices));
        ASSERT_EQ(v.size() % 2, 0u);
        EXPECT_EQ(batches[b].indices.size(), v.size());
        for (const Im3DVertex& vertex : v) {
            ASSERT_TRUE(IsFiniteVertex(vertex)) << "batch " << b;
        }
        nodes += v.size() / 2;
        if (b > 0) {
            // The strip restarts one node back: the batches share it.
            const std::vector<Im3DVertex>& before = batches[b - 1].vertices;
            EXPECT_TRUE(SameVertex(v[0], before[before.size() - 2]) && SameVertex(v[1], before.back())) << b;
            --nodes;
        }
    }
    EXPECT_EQ(nodes, 300u);
}

TEST_F(Strokes, CurvesAreFlattenedAndTexturesBound)
{
    Raster* raster = RasterCreate(16, 16, 32, kRasterTypeTexture | kRasterFormat8888);
    Texture* texture = TextureCreate(raster);
    BrushSetTexture(brush_, texture);
    TextureDestroy(texture);
    const float a[2] = {0, 1}, b[2] = {1, 1}, c[2] = {1, 0}, d[2] = {0, 0};
    BrushSetUVs(brush_, a, b, c, d);
    PathOval(path_, 0, 0, 1, 1);
    TwoDDeviceSetIm3DFlags(kIm3DNoClip);
    ASSERT_TRUE(PathRender(path_, brush_));
    ASSERT_EQ(recorder_->Batches().size(), 1u);
    const Im3DBatch& batch = recorder_->Batches()[0];
    EXPECT_GT(batch.vertices.size(), 26u) << "more nodes than the 13 of the curves";
    EXPECT_EQ(batch.flags & (kIm3DTextured | kIm3DNoClip), kIm3DTextured | kIm3DNoClip);
    EXPECT_FLOAT_EQ(batch.vertices[0].v, 0.0f) << "top UV at the start";
    EXPECT_FLOAT_EQ(batch.vertices[1].v, 1.0f) << "bottom UV at the start";
    EXPECT_NEAR(batch.vertices.back().u, 1.0f, 1e-5f) << "delta reached at the end";
    EXPECT_EQ(D3D9GetTexture(0), raster);
    EXPECT_TRUE(path_->straight == 0) << "the path itself is not changed";
}
