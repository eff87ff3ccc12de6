// Growable arrays: growth steps, appends, removal, detaching, and failed
// growth leaving the array as it was.

#include <gtest/gtest.h>

#include <vector>

#include "graphics/core/error.h"
#include "graphics/core/growarray.h"
#include "graphics/core/tests/enginetesting.h"

namespace {

class GrowArrayTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        CountingMemory::Reset();
        ASSERT_TRUE(EngineTestStart(CountingMemory::Table()));
        liveAtStart = CountingMemory::live;
    }
    void TearDown() override
    {
        EXPECT_EQ(CountingMemory::live, liveAtStart) << "arrays leaked";
        EngineTestShutdown();
    }
    int64_t liveAtStart = 0;
};

TEST_F(GrowArrayTest, CapacityGrowsByAQuarter)
{
    GrowArray* array = GrowArrayCreate(sizeof(int32_t), 0x30000);
    ASSERT_NE(array, nullptr);
    EXPECT_EQ(array->capacity, 20);
    std::vector<int32_t> capacities = {array->capacity};
    for (int32_t i = 0; i < 40; ++i) {
        auto* slot = static_cast<int32_t*>(GrowArrayIncSize(array, 0x30000));
        ASSERT_NE(slot, nullptr);
        *slot = i;
        if (array->capacity != capacities.back()) {
            capacities.push_back(array->capacity);
        }
    }
    EXPECT_EQ(capacities, (std::vector<int32_t>{20, 25, 31, 38, 47}));
    EXPECT_EQ(GrowArrayGetCount(array), 40);
    for (int32_t i = 0; i < 40; ++i) {
        EXPECT_EQ(*static_cast<int32_t*>(GrowArrayGetElement(array, i)), i);
    }
    EXPECT_EQ(static_cast<int32_t*>(GrowArrayGetEnd(array)),
              static_cast<int32_t*>(GrowArrayGetData(array)) + 40);
    GrowArrayDestroy(array);
}

TEST_F(GrowArrayTest, IncSizeByGrowsWhenTheCountReachesTheCapacity)
{
    GrowArray* array = GrowArrayCreate(8, 0);
    ASSERT_NE(GrowArrayIncSizeBy(array, 15, 0), nullptr);
    EXPECT_EQ(array->capacity, 20);
    char* fifth = static_cast<char*>(GrowArrayIncSizeBy(array, 5, 0));
    ASSERT_NE(fifth, nullptr);
    EXPECT_EQ(array->capacity, 30);
    EXPECT_EQ(fifth, static_cast<char*>(GrowArrayGetRawData(array)) + 15 * 8);
    EXPECT_EQ(GrowArrayGetCount(array), 20);
    EXPECT_EQ(GrowArrayIncSizeBy(array, -1, 0), nullptr);
    GrowArrayDestroy(array);
}

TEST_F(GrowArrayTest, RemoveAtMovesLaterElementsDown)
{
    GrowArray* array = GrowArrayCreate(sizeof(int32_t), 0);
    for (int32_t i = 0; i < 5; ++i) {
        *static_cast<int32_t*>(GrowArrayIncSize(array, 0)) = i;
    }
    EXPECT_TRUE(GrowArrayRemoveAt(array, 1));
    EXPECT_TRUE(GrowArrayRemoveAt(array, 3));
    EXPECT_FALSE(GrowArrayRemoveAt(array, 3));
    EXPECT_FALSE(GrowArrayRemoveAt(array, -1));
    auto* data = static_cast<int32_t*>(GrowArrayGetData(array));
    EXPECT_EQ(std::vector<int32_t>(data, data + GrowArrayGetCount(array)), (std::vector<int32_t>{0, 2, 3}));
    GrowArrayEmpty(array);
    EXPECT_EQ(GrowArrayGetData(array), nullptr);
    EXPECT_NE(GrowArrayGetRawData(array), nullptr);
    GrowArrayDestroy(array);
}

TEST_F(GrowArrayTest, DetachHandsOverTheElements)
{
    GrowArray* empty = GrowArrayCreate(4, 0);
    EXPECT_EQ(GrowArrayDetach(empty), nullptr);
    GrowArray* array = GrowArrayCreate(4, 0);
    *static_cast<int32_t*>(GrowArrayIncSize(array, 0)) = 42;
    auto* data = static_cast<int32_t*>(GrowArrayDetach(array));
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data[0], 42);
    EXPECT_TRUE(GrowArrayFreeBlock(data));
}

TEST_F(GrowArrayTest, FailedGrowthLeavesTheArrayAndRecordsOutOfMemory)
{
    GrowArray* array = GrowArrayCreate(4, 0);
    ASSERT_NE(GrowArrayIncSizeBy(array, 19, 0), nullptr);
    void* data = GrowArrayGetRawData(array);
    CountingMemory::failAfter = 0;
    EXPECT_EQ(GrowArrayIncSize(array, 0), data == nullptr ? nullptr : static_cast<char*>(data) + 19 * 4)
        << "room for one more without growing";
    EXPECT_EQ(GrowArrayIncSize(array, 0), nullptr);
    CountingMemory::failAfter = -1;
    EXPECT_EQ(GrowArrayGetCount(array), 20);
    EXPECT_EQ(array->capacity, 20);
    EXPECT_EQ(GrowArrayGetRawData(array), data);
    ErrorRecord error;
    ErrorGet(&error);
    EXPECT_EQ(error.code, kErrorOutOfMemory);
    GrowArrayDestroy(array);
}

TEST_F(GrowArrayTest, FailedCreateFreesWhatItMade)
{
    CountingMemory::failAfter = 1;
    EXPECT_EQ(GrowArrayCreate(4, 0), nullptr);
    CountingMemory::failAfter = -1;
    EXPECT_EQ(GrowArrayCreate(0, 0), nullptr);
}

} // namespace
