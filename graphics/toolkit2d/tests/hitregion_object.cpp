// Hit regions: visibility, the matrix of the last update, copies and streams.

#include <vector>

#include "graphics/core/chunk.h"
#include "graphics/core/memory.h"
#include "graphics/core/stream.h"
#include "graphics/toolkit2d/object2d.h"
#include "graphics/toolkit2d/path.h"
#include "graphics/toolkit2d/tests/twodtesting.h"
#include "graphics/toolkit2d/twoddevice.h"

namespace {

class HitRegions : public TwoDTest
{
  protected:
    void SetUp() override
    {
        TwoDTest::SetUp();
        region_ = HitRegionCreate();
        ASSERT_NE(region_, nullptr);
        PathRect(HitRegionGetPath(region_), 0, 0, 1, 1);
    }
    void TearDown() override
    {
        HitRegionDestroy(region_);
        TwoDTest::TearDown();
    }

    bool Contains(const Object2D* object, float x, float y)
    {
        const V2d point = {x, y};
        return HitRegionContainsPoint(object, &point);
    }

    Object2D* region_ = nullptr;
};

} // namespace

TEST_F(HitRegions, InvisibleRegionsContainNothing)
{
    EXPECT_TRUE(ObjectIsHitRegion(region_));
    EXPECT_TRUE(Contains(region_, 0.5f, 0.5f));
    region_->flags &= ~kObjectVisible;
    EXPECT_FALSE(Contains(region_, 0.5f, 0.5f));
}

TEST_F(HitRegions, TranslatedRegionUsesItsLastUpdate)
{
    ObjectTranslate(region_, 2, 0);
    EXPECT_TRUE(Contains(region_, 0.5f, 0.5f)) << "not updated yet";
    ASSERT_EQ(ObjectRender(region_, nullptr, nullptr), region_);
    EXPECT_FALSE(Contains(region_, 0.5f, 0.5f));
    EXPECT_TRUE(Contains(region_, 2.5f, 0.5f));
    // Updates under a pushed CTM compose with it.
    TwoDCTMPush();
    TwoDCTMTranslate(0, 5);
    ObjectMarkDirty(region_);
    HitRegionUpdate(region_, nullptr, nullptr);
    TwoDCTMPop();
    EXPECT_TRUE(Contains(region_, 2.5f, 5.5f));
    EXPECT_EQ(TwoDCTMGetIndex(), 0);
}

TEST_F(HitRegions, StreamRoundTripAndCopy)
{
    ObjectTranslate(region_, 2, 0);
    ObjectRender(region_, nullptr, nullptr);
    Stream* out = StreamOpen(kStreamMemory, kStreamWrite, nullptr);
    ASSERT_NE(HitRegionStreamWrite(region_, out), nullptr);
    StreamMemory memory{};
    StreamClose(out, &memory);
    EXPECT_EQ(memory.length, kChunkHeaderSize + HitRegionStreamGetSize(region_));
    Stream* in = StreamOpen(kStreamMemory, kStreamRead, &memory);
    Object2D* back = HitRegionStreamRead(in);
    StreamClose(in, nullptr);
    MemoryFree(memory.block);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(PathGetNodeCount(HitRegionGetPath(back)), 5);
    EXPECT_TRUE(back->flags & kObjectRecompose) << "read objects compose at their first update";
    ObjectRender(back, nullptr, nullptr);
    EXPECT_TRUE(Contains(back, 2.5f, 0.5f));

    Object2D* copy = ObjectAssign(nullptr, region_);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(HitRegionGetPath(copy), HitRegionGetPath(region_));
    EXPECT_TRUE(Contains(copy, 2.5f, 0.5f)) << "the copy keeps the last update";
    HitRegionDestroy(copy);
    HitRegionDestroy(back);
}
