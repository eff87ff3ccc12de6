// Shapes drawn immediately: the fill's zig-zag strip and its colours, the
// entries' modes, and tints that leave the brushes as they were.

#include "graphics/toolkit2d/tests/shapetesting.h"

namespace {

class ShapeDraw : public ShapeTest
{
};

} // namespace

TEST_F(ShapeDraw, FillZigZagsBetweenTheEndsOfTheOutline)
{
    Brush* brush = FlatBrush(10, 20, 30);
    Path* path = PathCreate();
    // A convex pentagon: nodes 0-4 and the closing repeat of node 0.
    PathMoveTo(path, 0, 0);
    PathLineTo(path, 2, 0);
    PathLineTo(path, 3, 1);
    PathLineTo(path, 1, 2);
    PathLineTo(path, -1, 1);
    PathClose(path);
    ASSERT_TRUE(PathFill(path, brush));
    ASSERT_EQ(recorder_->Batches().size(), 1u);
    const Im3DBatch& batch = recorder_->Batches()[0];
    EXPECT_EQ(batch.type, kIm3DTriStrip);
    ASSERT_EQ(batch.vertices.size(), 5u);
    // Last, first, next-to-last, second, middle.
    const float expected[5][2] = {{-1, 1}, {0, 0}, {1, 2}, {2, 0}, {3, 1}};
    for (int i = 0; i < 5; ++i) {
        EXPECT_FLOAT_EQ(batch.vertices[size_t(i)].x, expected[i][0]) << i;
        EXPECT_FLOAT_EQ(batch.vertices[size_t(i)].y, expected[i][1]) << i;
        EXPECT_EQ(batch.vertices[size_t(i)].colour, 0xFF0A141Eu) << i;
    }
    PathDestroy(path);
    BrushDestroy(brush);
}

TEST_F(ShapeDraw, FillColoursAreBilinearOverTheBounds)
{
    Brush* brush = BrushCreate();
    const uint8_t black[4] = {0, 0, 0, 255}, red[4] = {255, 0, 0, 255}, white[4] = {255, 255, 255, 255},
                  blue[4] = {0, 0, 255, 255};
    // Corners bottom-left, bottom-right, top-right, top-left.
    BrushSetColours(brush, black, red, white, blue);
    Path* path = Square(2, 2, 4);
    ASSERT_TRUE(PathFill(path, brush));
    ASSERT_EQ(recorder_->Batches().size(), 1u);
    for (const Im3DVertex& v : recorder_->Batches()[0].vertices) {
        const bool right = v.x > 3.0f, top = v.y > 3.0f;
        const uint32_t want = top ? (right ? 0xFFFFFFFFu : 0xFF0000FFu) : (right ? 0xFFFF0000u : 0xFF000000u);
        EXPECT_EQ(v.colour, want) << v.x << ", " << v.y;
    }
    PathDestroy(path);
    BrushDestroy(brush);
}

TEST_F(ShapeDraw, OpenOutlinesAreNotFilled)
{
    Brush* brush = FlatBrush(1, 2, 3);
    Path* path = PathCreate();
    PathMoveTo(path, 0, 0);
    PathLineTo(path, 1, 0);
    PathLineTo(path, 1, 1);
    ASSERT_TRUE(PathFill(path, brush));
    EXPECT_TRUE(recorder_->Batches().empty());
    PathDestroy(path);
    BrushDestroy(brush);
}

TEST_F(ShapeDraw, EntriesDrawByModeTintedWithoutChangingTheBrushes)
{
    Brush* brush = FlatBrush(200, 100, 50, 255);
    Object2D* shape = ShapeCreate();
    ShapeAddEntry(shape, kShapeFill, Square(0, 0, 1), brush);
    Path* line = PathCreate();
    PathMoveTo(line, 0, 0);
    PathLineTo(line, 1, 0);
    ShapeAddEntry(shape, 0, line, brush);
    EXPECT_EQ(ShapeGetEntryCount(shape), 2);
    EXPECT_EQ(brush->refCount, 3) << "ours and one per entry";
    const float half[4] = {0.5f, 0.5f, 0.5f, 1.0f}, none[4] = {0, 0, 0, 0};
    ASSERT_EQ(ShapeRenderWith(shape, half, none), shape);
    ASSERT_EQ(recorder_->Batches().size(), 2u);
    EXPECT_EQ(recorder_->Batches()[0].vertices.size(), 4u) << "the fill";
    EXPECT_EQ(recorder_->Batches()[1].vertices.size(), 4u) << "the two-node band";
    for (const Im3DBatch& batch : recorder_->Batches()) {
        for (const Im3DVertex& v : batch.vertices) {
            EXPECT_EQ(v.colour, 0xFF643219u);
        }
    }
    EXPECT_EQ(BrushFlatColour(brush), 0xFFC86432u) << "the brush is restored";
    EXPECT_FLOAT_EQ(brush->topColour.r, 200.0f);
    // Invisible shapes draw nothing.
    recorder_->Clear();
    shape->flags &= ~kObjectVisible;
    ASSERT_EQ(ShapeRender(shape), shape);
    EXPECT_TRUE(recorder_->Batches().empty());
    ShapeDestroy(shape);
    EXPECT_EQ(brush->refCount, 1);
    BrushDestroy(brush);
}
