#pragma once
// A started engine on the device double for the maths, frame, camera and
// arena tests, with the pending error cleared before each test.

#include <gtest/gtest.h>

#include "graphics/core/error.h"
#include "graphics/core/tests/enginetesting.h"

class StartedEngineTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(EngineTestStart());
        TakeError();
    }
    void TearDown() override { EngineTestShutdown(); }

    /// The pending error, cleared.
    static ErrorRecord TakeError()
    {
        ErrorRecord record;
        ErrorGet(&record);
        return record;
    }
};

inline bool operator==(const ErrorRecord& a, const ErrorRecord& b)
{
    return a.pluginId == b.pluginId && a.code == b.code;
}

inline std::ostream& operator<<(std::ostream& out, const ErrorRecord& e)
{
    return out << "{" << e.pluginId << ", 0x" << std::hex << e.code << std::dec << "}";
}

constexpr ErrorRecord kNoError = {0, kErrorNone};
