// Error records: the first error since the last fetch is kept, common codes
// lose their plug-in id, and errors outside the started span are not kept.

#include <gtest/gtest.h>

#include "graphics/core/error.h"
#include "graphics/core/tests/enginetesting.h"

namespace {

class ErrorTest : public ::testing::Test
{
  protected:
    void TearDown() override { EngineTestShutdown(); }

    static ErrorRecord Fetch()
    {
        ErrorRecord record{0xDEAD, 0xDEAD};
        ErrorGet(&record);
        return record;
    }
};

struct FirstErrorCase
{
    const char* name;
    std::vector<ErrorRecord> raised;
    ErrorRecord expected;
};

TEST_F(ErrorTest, FirstErrorSinceTheLastFetchIsKept)
{
    const FirstErrorCase cases[] = {
        {"nothing raised", {}, {0, kErrorNone}},
        {"one common code", {{0, kErrorOutOfMemory}}, {0, kErrorOutOfMemory}},
        {"two in a row", {{0, kErrorRead}, {0, kErrorWrite}}, {0, kErrorRead}},
        {"plain then common", {{1, 24}, {0, kErrorNullArgument}}, {1, 24}},
        {"common code drops its plug-in id", {{1, kErrorNullArgument}}, {0, kErrorNullArgument}},
        {"plain code keeps its plug-in id", {{0x404, 5}}, {0x404, 5}},
    };
    ASSERT_TRUE(EngineTestStart());
    for (const FirstErrorCase& c : cases) {
        SCOPED_TRACE(c.name);
        for (const ErrorRecord& record : c.raised) {
            EXPECT_EQ(ErrorSet(&record), &record);
        }
        ErrorRecord got = Fetch();
        EXPECT_EQ(got.pluginId, c.expected.pluginId);
        EXPECT_EQ(got.code, c.expected.code);
        ErrorRecord again = Fetch();
        EXPECT_EQ(again.pluginId, 0u);
        EXPECT_EQ(again.code, kErrorNone) << "a fetch clears the pending error";
    }
}

TEST_F(ErrorTest, ErrorRaisedBeforeStartIsLost)
{
    ASSERT_TRUE(EngineTestInit());
    ErrorRaise(0, kErrorWrongState);
    ASSERT_TRUE(EngineTestOpen());
    ErrorRaise(0, kErrorWrongState);
    ASSERT_TRUE(EngineStart());
    EXPECT_EQ(Fetch().code, kErrorNone);
}

TEST_F(ErrorTest, ErrorRaisedAfterStopIsKeptUntilClose)
{
    ASSERT_TRUE(EngineTestStart());
    ASSERT_TRUE(EngineStop());
    ErrorRaise(1, 5);
    ErrorRecord got = Fetch();
    EXPECT_EQ(got.pluginId, 1u);
    EXPECT_EQ(got.code, 5u);
    ErrorRaise(1, 5);
    ASSERT_TRUE(EngineClose());
    EXPECT_EQ(Fetch().code, kErrorNone);
}

TEST_F(ErrorTest, WithoutAnInstanceBlockNothingIsStored)
{
    ErrorRecord got = Fetch();
    EXPECT_EQ(got.pluginId, 0u);
    EXPECT_EQ(got.code, kErrorNone);
    ASSERT_TRUE(EngineTestInit());
    ErrorRaise(0, kErrorOutOfMemory);
    got = Fetch();
    EXPECT_EQ(got.pluginId, 0u);
    EXPECT_EQ(got.code, kErrorNone);
}

TEST_F(ErrorTest, RestartClearsThePendingError)
{
    ASSERT_TRUE(EngineTestStart());
    ErrorRaise(0, kErrorRead);
    ASSERT_TRUE(EngineStop());
    ASSERT_TRUE(EngineStart());
    EXPECT_EQ(Fetch().code, kErrorNone);
}

TEST_F(ErrorTest, ErrorCodeIgnoresItsDetail)
{
    EXPECT_EQ(ErrorCode(kErrorOutOfMemory, size_t(4096)), kErrorOutOfMemory);
    EXPECT_EQ(ErrorCode(kErrorBadArgument, "Invalid combination type"), kErrorBadArgument);
}

} // namespace
