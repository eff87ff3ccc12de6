// The event dispatcher: chain order, the quit flag and the defaults.
#include <gtest/gtest.h>

#include <cstring>

#include "graphics/core/memory.h"
#include "graphics/shared/skel/win/shellstate.h"
#include "graphics/shared/skel/win/tests/shelltesting.h"

namespace {

class Dispatcher : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        Recorder().Clear();
        ShellGetSettings()->quit = 0;
    }
};

TEST_F(Dispatcher, ArgumentBecomesLoadFileWithTheSameTextAndAnswersHandled)
{
    char arg[] = "models/ship.dff";
    EXPECT_EQ(ShellEventHandler(ShellEventArgument, arg), ShellEventHandled)
        << "handled although nobody answered event 2";
    ASSERT_EQ(Recorder().Codes(), (std::vector<ShellEvent>{ShellEventArgument, ShellEventLoadFile}));
    EXPECT_EQ(Recorder().events[1].text, "models/ship.dff");
}

TEST_F(Dispatcher, QuitSetsTheFlagEvenWhenTheApplicationHandlesIt)
{
    Recorder().answer = [](ShellEvent, void*) { return ShellEventHandled; };
    EXPECT_EQ(ShellEventHandler(ShellEventQuit, nullptr), ShellEventHandled);
    EXPECT_EQ(ShellGetSettings()->quit, 1);
}

TEST_F(Dispatcher, ApplicationAnswerWinsOverTheDefault)
{
    Recorder().answer = [](ShellEvent e, void*) {
        return e == ShellEventArgument ? ShellEventFailed : ShellEventNotHandled;
    };
    char arg[] = "x";
    EXPECT_EQ(ShellEventHandler(ShellEventArgument, arg), ShellEventFailed);
    EXPECT_EQ(Recorder().Count(ShellEventLoadFile), 0);
}

TEST_F(Dispatcher, EarlyArgumentRecognisesOnlyVms)
{
    const struct
    {
        const char* arg;
        ShellEventResult expected;
    } cases[] = {
        {"-vms", ShellEventHandled}, {"-VMS", ShellEventFailed}, {"-vmsx", ShellEventFailed},
        {"-vm", ShellEventFailed},   {"", ShellEventFailed},     {"vms", ShellEventFailed},
    };
    for (const auto& c : cases) {
        std::string arg = c.arg;
        EXPECT_EQ(ShellEventHandler(ShellEventEarlyArgument, arg.data()), c.expected) << '"' << c.arg << '"';
    }
}

TEST_F(Dispatcher, EventsWithoutDefaultsAnswerNotHandled)
{
    for (ShellEvent e : {ShellEventReserved25, ShellEventIdle, ShellEventPadButtonDown, ShellEventActivate,
                         ShellEventResize, ShellEventMemoryFunctions})
        EXPECT_EQ(ShellEventHandler(e, nullptr), ShellEventNotHandled) << ShellEventName(e);
    EXPECT_EQ(ShellEventHandler(ShellEventEngineInitialised, nullptr), ShellEventHandled);
}

TEST_F(Dispatcher, MemoryFunctionsAreFilledAndStillAskTheApplication)
{
    MemoryTable table{};
    EXPECT_EQ(PlatformEventHandler(ShellEventMemoryFunctions, &table), ShellEventNotHandled);
    ASSERT_TRUE(table.allocate && table.free && table.reallocate && table.allocateZeroed);
    auto* zeroed = static_cast<uint8_t*>(table.allocateZeroed(4, 8, 0));
    ASSERT_NE(zeroed, nullptr);
    for (int i = 0; i < 32; ++i)
        EXPECT_EQ(zeroed[i], 0);
    void* grown = table.reallocate(zeroed, 4096, 0);
    ASSERT_NE(grown, nullptr);
    table.free(grown);
    table.free(table.allocate(16, 0));

    MemoryTable viaChain{};
    EXPECT_EQ(ShellEventHandler(ShellEventMemoryFunctions, &viaChain), ShellEventNotHandled);
    EXPECT_EQ(Recorder().Count(ShellEventMemoryFunctions), 1) << "the application was asked too";
    EXPECT_NE(viaChain.allocate, nullptr);
}

TEST(ShellEventNames, ComeFromTheEventList)
{
    EXPECT_STREQ(ShellEventName(0), "Resize");
    EXPECT_STREQ(ShellEventName(21), "Quit");
    EXPECT_STREQ(ShellEventName(30), "MemoryFunctions");
    EXPECT_STREQ(ShellEventName(31), "?");
}

} // namespace
