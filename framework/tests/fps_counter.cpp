// The frame counter: its rate over blocks of 200 frames, its text, and the
// history of the last 632 frame times; the frame feeds it the measured time.
#include <gtest/gtest.h>

#include <string>

#include "framework/fpscounter.h"
#include "framework/framework.h"
#include "framework/tests/frameworktesting.h"

namespace {

using FpsCounter = FrameworkTest;

std::string Text(const CFpsCounter& counter)
{
    char text[64];
    counter.FormatText(text, sizeof text);
    return text;
}

TEST_F(FpsCounter, WaitsFor200FramesThenPrintsTheRate)
{
    CFpsCounter* counter = CFpsCounter::Instance();
    for (int i = 0; i < 200; ++i) {
        counter->Update(0.01f);
        EXPECT_EQ(Text(*counter), "FPS : [wait]") << i;
    }
    counter->Update(0.01f);
    EXPECT_EQ(Text(*counter), "FPS : 100.00");
}

TEST_F(FpsCounter, BlockWithoutMeasurableTimeKeepsTheRate)
{
    CFpsCounter* counter = CFpsCounter::Instance();
    for (int i = 0; i < 200; ++i)
        counter->Update(0.02f);
    counter->Update(0.0f); // ends the first block, starts an empty one
    const float rate = counter->GetFramesPerSecond();
    ASSERT_NEAR(rate, 50.0f, 1e-3f);
    for (int i = 0; i < 200; ++i)
        counter->Update(0.0f);
    EXPECT_EQ(counter->GetFramesPerSecond(), rate);
    EXPECT_EQ(Text(*counter), "FPS : 50.00");
}

TEST_F(FpsCounter, HistoryHoldsTheLatest632OldestFirst)
{
    CFpsCounter* counter = CFpsCounter::Instance();
    for (int i = 0; i < 10; ++i)
        counter->Update(float(i));
    ASSERT_EQ(counter->GetHistoryCount(), 10);
    EXPECT_EQ(counter->GetHistory(0), 0.0f);
    EXPECT_EQ(counter->GetHistory(9), 9.0f);
    for (int i = 10; i < 700; ++i)
        counter->Update(float(i));
    ASSERT_EQ(counter->GetHistoryCount(), 632);
    for (int i = 0; i < 632; ++i)
        ASSERT_EQ(counter->GetHistory(i), float(700 - 632 + i)) << i;
}

TEST_F(FpsCounter, FramesFeedTheMeasuredTime)
{
    RecordingApplication app("config.xml");
    Now() = 1000;
    app.Update();
    Now() = 1500; // a stall: the game gets the capped step, the counter the whole time
    app.Update();
    CFpsCounter* counter = CFpsCounter::Instance();
    ASSERT_EQ(counter->GetHistoryCount(), 2);
    EXPECT_FLOAT_EQ(counter->GetHistory(1), 0.5f);
    EXPECT_FLOAT_EQ(app.steps.back(), 0.0333f);
}

} // namespace
