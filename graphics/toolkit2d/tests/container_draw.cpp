// Containers: draw order and re-sorting, composed tints, matrices of the
// whole tree, inline and pointer modes, and copies.

#include "graphics/core/growarray.h"
#include "graphics/toolkit2d/container.h"
#include "graphics/toolkit2d/tests/shapetesting.h"
#include "graphics/toolkit2d/twoddevice.h"

namespace {

class Containers : public ShapeTest
{
  protected:
    /// A child shape filling a unit square with one flat colour.
    Object2D* AddSquare(Object2D* container, uint8_t red)
    {
        Object2D* shape = ContainerAddShape(container);
        Brush* brush = FlatBrush(red, 0, 0);
        ShapeAddEntry(shape, kShapeFill, Square(0, 0, 1), brush);
        BrushDestroy(brush);
        return shape;
    }

    /// The red channel of each batch drawn, in order.
    std::vector<uint32_t> DrawnReds() const
    {
        std::vector<uint32_t> reds;
        for (const Im3DBatch& batch : recorder_->Batches()) {
            reds.push_back((batch.vertices[0].colour >> 16) & 0xFF);
        }
        return reds;
    }
};

} // namespace

TEST_F(Containers, ChildrenDrawInDrawOrderAfterMarkForSort)
{
    Object2D* container = ContainerCreate();
    ASSERT_NE(container, nullptr);
    EXPECT_TRUE(ObjectIsContainer(container));
    AddSquare(container, 50);
    AddSquare(container, 10);
    ASSERT_EQ(ContainerGetChildCount(container), 2);
    ASSERT_EQ(ContainerMakeInline(container), container);
    EXPECT_FALSE(container->flags & kObjectKindFlag);
    ContainerGetChild(container, 0)->drawOrder = 5;
    ContainerGetChild(container, 1)->drawOrder = 1;
    ASSERT_EQ(ContainerRender(container), container);
    EXPECT_EQ(DrawnReds(), (std::vector<uint32_t>{50, 10})) << "keys are refreshed only when marked";
    recorder_->Clear();
    ContainerMarkForSort(container);
    ASSERT_EQ(ContainerRender(container), container);
    EXPECT_EQ(DrawnReds(), (std::vector<uint32_t>{10, 50}));
    ContainerDestroy(container);
}

TEST_F(Containers, TintsComposeDownTheTreeAndLeaveBrushesUnchanged)
{
    Object2D* outer = ContainerCreate();
    Object2D* inner = ContainerAddContainer(outer);
    Object2D* shape = AddSquare(inner, 200);
    const float half[4] = {0.5f, 0.5f, 0.5f, 1.0f};
    ObjectSetColourScale(outer, half);
    const float offset[4] = {0.1f, 0.0f, 0.0f, 0.0f};
    ObjectSetColourOffset(inner, offset);
    ASSERT_EQ(ContainerRender(outer), outer);
    ASSERT_EQ(recorder_->Batches().size(), 1u);
    // 200 x 0.5 + 25.5 x 0.5 = 112.75 (rounded): the inner offset is scaled by the outer scale.
    EXPECT_EQ(DrawnReds(), (std::vector<uint32_t>{113}));
    const ShapeEntry* entry =
        static_cast<const ShapeEntry*>(GrowArrayGetRawData(ShapeGetList(shape)->entries));
    EXPECT_FLOAT_EQ(entry->brush->topColour.r, 200.0f);
    EXPECT_FLOAT_EQ(entry->brush->bottomColour.r, 200.0f);
    ContainerDestroy(outer);
}

TEST_F(Containers, UpdateMatricesComposesTheTreeAndPlacesHitRegions)
{
    Object2D* outer = ContainerCreate();
    ObjectTranslate(outer, 10, 0);
    Object2D* inner = ContainerAddContainer(outer);
    ObjectTranslate(inner, 0, 5);
    Object2D* region = ContainerAddHitRegion(inner);
    PathRect(HitRegionGetPath(region), 0, 0, 1, 1);
    ASSERT_EQ(ContainerUpdateMatrices(outer), outer);
    EXPECT_EQ(TwoDCTMGetIndex(), 0) << "the stack is left as found";
    region = ContainerGetChild(ContainerGetChild(outer, 0), 0);
    EXPECT_FLOAT_EQ(region->world.pos.x, 10.0f);
    EXPECT_FLOAT_EQ(region->world.pos.y, 5.0f);
    const V2d inside = {10.5f, 5.5f}, outside = {0.5f, 0.5f};
    EXPECT_TRUE(HitRegionContainsPoint(region, &inside));
    EXPECT_FALSE(HitRegionContainsPoint(region, &outside));
    // Moving the outer container moves everything below it.
    ObjectTranslate(outer, 1, 0);
    ASSERT_EQ(ContainerUpdateMatrices(outer), outer);
    EXPECT_FLOAT_EQ(region->world.pos.x, 11.0f);
    ContainerDestroy(outer);
}

TEST_F(Containers, CopiesAreDeepButShareShapeLists)
{
    Object2D* container = ContainerCreate();
    Object2D* shape = AddSquare(container, 70);
    ShapeList* list = ShapeGetList(shape);
    Object2D* inner = ContainerAddContainer(container);
    AddSquare(inner, 90);
    ASSERT_EQ(ContainerMakeInline(container), container);
    Object2D* copy = ObjectAssign(nullptr, container);
    ASSERT_NE(copy, nullptr);
    ASSERT_EQ(ContainerGetChildCount(copy), 2);
    EXPECT_FALSE(copy->flags & kObjectKindFlag) << "laid out as the source";
    EXPECT_EQ(ShapeGetList(ContainerGetChild(copy, 0)), list);
    EXPECT_EQ(list->refCount, 2);
    EXPECT_NE(ContainerGetChild(copy, 1), ContainerGetChild(container, 1));
    ASSERT_EQ(ContainerRender(copy), copy);
    EXPECT_EQ(recorder_->Batches().size(), 2u);
    ContainerDestroy(copy);
    EXPECT_EQ(list->refCount, 1);
    // Back to pointer mode keeps every child.
    ASSERT_EQ(ContainerMakePointers(container), container);
    EXPECT_TRUE(container->flags & kObjectKindFlag);
    EXPECT_EQ(ShapeGetList(ContainerGetChild(container, 0)), list);
    ContainerDestroy(container);
}
