// The engine start sequence against a fake engine, the device choice and the
// camera sizing rule.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "graphics/shared/skel/win/devicechooser.h"
#include "graphics/shared/skel/win/shellcamera.h"
#include "graphics/shared/skel/win/shellengine.h"
#include "graphics/shared/skel/win/shellstate.h"
#include "graphics/shared/skel/win/tests/shelltesting.h"
#include "platform/win32/commandline.h"
#include "platform/win32/debugout.h"

namespace {

// A fake engine: records its calls, fails the one it is told to fail.
struct FakeEngine
{
    std::vector<std::string> calls;
    std::string failing;
    int32_t subSystems = 1;
    int32_t currentSub = 0;
    int32_t currentMode = 0;
    std::vector<VideoMode> modes{{640, 480, 32, 0, 60, 0}, {1024, 768, 32, kVideoModeExclusive, 60, 0}};
};

FakeEngine& Fake()
{
    static FakeEngine fake;
    return fake;
}

bool Call(const char* name)
{
    Fake().calls.emplace_back(name);
    return Fake().failing != name;
}

const ShellEngine kFake = {
    [](const MemoryTable* table, uint32_t, uint32_t arena) {
        EXPECT_NE(table->allocate, nullptr) << "event 30 filled the table first";
        EXPECT_EQ(arena, 0x400000u);
        return Call("init");
    },
    [](const EngineOpenParams*) { return Call("open"); },
    [] { return Call("start"); },
    [] { return Call("stop"); },
    [] { return Call("close"); },
    [] { return Call("term"); },
    [] { return Call("printOpen"); },
    [] { Call("printClose"); },
    [](int32_t maximum) {
        EXPECT_EQ(maximum, -1);
        return Call("fsOpen");
    },
    [] { Call("fsClose"); },
    [] { Call("dictionaries"); },
    [] { return Fake().subSystems; },
    [](SubSystemInfo* info, int32_t index) {
        std::snprintf(info->name, sizeof info->name, "Device %d", index);
        return info;
    },
    [] { return Fake().currentSub; },
    [](int32_t index) {
        Fake().calls.push_back("setSub " + std::to_string(index));
        Fake().currentSub = index;
        return index < Fake().subSystems;
    },
    [] { return int32_t(Fake().modes.size()); },
    [](VideoMode* mode, int32_t index) -> VideoMode* {
        if (index < 0 || index >= int32_t(Fake().modes.size()))
            return nullptr;
        *mode = Fake().modes[size_t(index)];
        return mode;
    },
    [] { return Fake().currentMode; },
    [](int32_t index) {
        Fake().calls.push_back("setMode " + std::to_string(index));
        Fake().currentMode = index;
        return index < int32_t(Fake().modes.size());
    },
};

class StartSequence : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        Fake() = FakeEngine{};
        Recorder().Clear();
        ShellTestReset({"prog"});
        ShellSetEngine(&kFake);
        ShellInitialize();
    }
    void TearDown() override
    {
        ShellSetEngine(nullptr);
        ShellSetDeviceChooser(nullptr);
        ShellTerminate();
    }
    /// Engine calls, without the device queries.
    std::vector<std::string> EngineCalls() const
    {
        std::vector<std::string> out;
        for (const std::string& c : Fake().calls)
            if (c.rfind("set", 0) != 0)
                out.push_back(c);
        return out;
    }
};

using Calls = std::vector<std::string>;

TEST_F(StartSequence, EachFailureUndoesExactlyTheEngineStepsBeforeIt)
{
    // Image readers and file systems are the application's here, so that the
    // fake engine's steps are all that runs.
    Recorder().answer = [](ShellEvent e, void*) {
        return (e == ShellEventRegisterImageReaders) ? ShellEventHandled : ShellEventNotHandled;
    };
    const struct
    {
        const char* failing;
        Calls calls;
    } cases[] = {
        {"init", {"init"}},
        {"open", {"init", "open", "term"}},
        {"start", {"init", "open", "start", "close", "term"}},
        {"printOpen", {"init", "open", "start", "printOpen", "stop", "close", "term"}},
        {"fsOpen", {"init", "open", "start", "printOpen", "fsOpen"}}, // nothing undone
    };
    for (const auto& c : cases) {
        Fake() = FakeEngine{};
        Fake().failing = c.failing;
        EXPECT_FALSE(ShellStartEngine(nullptr)) << c.failing;
        EXPECT_EQ(EngineCalls(), c.calls) << "failing " << c.failing;
    }
}

TEST_F(StartSequence, FailedEventsStopTheStart)
{
    const struct
    {
        ShellEvent failing;
        Calls calls;
    } cases[] = {
        {ShellEventMemoryFunctions, {}},
        {ShellEventAttachPlugins, {"init", "term"}},
        {ShellEventPluginsAttached, {"init", "term"}},
        {ShellEventSelectDevice, {"init", "open", "close", "term"}},
    };
    for (const auto& c : cases) {
        Fake() = FakeEngine{};
        const ShellEvent failing = c.failing;
        Recorder().answer = [failing](ShellEvent e, void*) {
            return e == failing ? ShellEventFailed : ShellEventNotHandled;
        };
        EXPECT_FALSE(ShellStartEngine(nullptr)) << ShellEventName(failing);
        EXPECT_EQ(EngineCalls(), c.calls) << ShellEventName(failing);
    }
}

TEST_F(StartSequence, EventsInOrderAndTheDialogWhenNobodyChooses)
{
    Recorder().answer = [](ShellEvent e, void*) {
        return (e == ShellEventRegisterImageReaders) ? ShellEventHandled : ShellEventNotHandled;
    };
    Fake().failing = "fsOpen"; // stop before the real file systems
    ShellStartEngine(nullptr);
    EXPECT_EQ(Recorder().Codes(),
              (std::vector<ShellEvent>{ShellEventMemoryFunctions, ShellEventEngineInitialised,
                                       ShellEventAttachPlugins, ShellEventPluginsAttached,
                                       ShellEventSelectDevice, ShellEventRegisterImageReaders}));
    EXPECT_NE(std::find(Fake().calls.begin(), Fake().calls.end(), "setMode 0"), Fake().calls.end())
        << "the device selection ran";
}

TEST_F(StartSequence, StopUndoesEverythingInReverse)
{
    ShellStopEngine();
    EXPECT_EQ(EngineCalls(), (Calls{"printClose", "dictionaries", "fsClose", "stop", "close", "term"}));
}

int32_t gOffered = 0;

TEST_F(StartSequence, TwentySubsystemsAreOfferedAsSixteen)
{
    Fake().subSystems = 20;
    ShellSetDeviceChooser([](const ShellDeviceChoices* choices, int32_t* sub, int32_t* mode) {
        gOffered = choices->count;
        EXPECT_STREQ(choices->subSystems[15].name, "Device 15");
        *sub = 15;
        *mode = 0;
        return int32_t(1);
    });
    EXPECT_TRUE(DeviceSelectDialog());
    EXPECT_EQ(gOffered, 16);
    EXPECT_EQ(Fake().currentSub, 15);
}

TEST_F(StartSequence, ExitEndsTheSelection)
{
    ShellSetDeviceChooser([](const ShellDeviceChoices*, int32_t*, int32_t*) { return int32_t(0); });
    EXPECT_FALSE(DeviceSelectDialog());
    EXPECT_TRUE(Fake().calls.empty()) << "nothing set";
    Fake().subSystems = 0;
    ShellSetDeviceChooser(nullptr);
    EXPECT_FALSE(DeviceSelectDialog()) << "no subsystem at all";
}

TEST_F(StartSequence, FullScreenModeSetsTheSizeAndTheFlag)
{
    ShellTestReset({"prog", "-mode", "1"});
    EXPECT_TRUE(DeviceSelectDialog());
    EXPECT_EQ(ShellGetSettings()->width, 1024);
    EXPECT_EQ(ShellGetSettings()->height, 768);
    EXPECT_EQ(ShellGetWindowInfo()->fullScreen, 1);
    ShellGetWindowInfo()->fullScreen = 0;
}

TEST_F(StartSequence, ChooserListsDevicesAndModes)
{
    ShellTestReset({"prog", "-list-devices"});
    Fake().subSystems = 2;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(DeviceSelectDialog()) << "listing ends the program";
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("device 0: Device 0 (current)"), std::string::npos) << out;
    EXPECT_NE(out.find("device 1: Device 1"), std::string::npos) << out;
    EXPECT_NE(out.find("mode 1: 1024 x 768 x 32 (Fullscreen)"), std::string::npos) << out;
    EXPECT_NE(out.find("mode 0: 640 x 480 x 32  (current)"), std::string::npos) << out;
    EXPECT_EQ(Fake().currentSub, 0) << "the current subsystem is set back";
}

TEST(DeviceRequest, BadValuesAreRefusedWithAMessage)
{
    const struct
    {
        const char* line;
        const char* envDevice;
        const char* error;
    } cases[] = {
        {"p -device abc", nullptr, "-device abc: not a whole number from 0"},
        {"p -device -1", nullptr, "-device -1: not a whole number from 0"},
        {"p -mode 1e3", nullptr, "-mode 1e3: not a whole number from 0"},
        {"p -mode", nullptr, "-mode needs a value"},
        {"p -device 99999999", nullptr, "-device 99999999: not a whole number from 0"},
        {"p", "two", "OLAI_DEVICE two: not a whole number from 0"},
    };
    for (const auto& c : cases) {
        ShellDeviceRequest request;
        EXPECT_FALSE(ShellParseDeviceRequest(c.line, c.envDevice, nullptr, &request)) << c.line;
        EXPECT_EQ(request.error, c.error) << c.line;
    }
    ShellDeviceRequest request;
    ASSERT_TRUE(ShellParseDeviceRequest("p -device 2 -mode 3", "7", "9", &request));
    EXPECT_EQ(request.subSystem, 2) << "the command line wins over the environment";
    EXPECT_EQ(request.mode, 3);
    ASSERT_TRUE(ShellParseDeviceRequest("p", "1", "4", &request));
    EXPECT_EQ(request.subSystem, 1);
    EXPECT_EQ(request.mode, 4);
    ASSERT_TRUE(ShellParseDeviceRequest("p -device exit", nullptr, nullptr, &request));
    EXPECT_TRUE(request.exit);
}

TEST_F(StartSequence, OutOfRangeChoicesAreRefusedWithAMessage)
{
    static std::string message;
    Win32SetMessageBoxSink([](HWND, const char* text, const char* caption, UINT) {
        message = std::string(caption) + ": " + text;
        return IDOK;
    });
    for (const char* arg : {"3", "1"}) {
        ShellTestReset({"prog", arg[0] == '3' ? "-device" : "-mode", arg[0] == '3' ? "3" : "5"});
        message.clear();
        EXPECT_FALSE(DeviceSelectDialog());
        EXPECT_NE(message.find("Device Selection: -"), std::string::npos) << message;
        EXPECT_EQ(ShellStartExitCode(), 2) << "a refused choice ends the program failing";
    }
    // Ending on request is no failure; the listing is such a request.
    ShellTestReset({"prog", "-device", "exit"});
    EXPECT_FALSE(DeviceSelectDialog());
    EXPECT_EQ(ShellStartExitCode(), 0);
    Win32SetMessageBoxSink(nullptr);
    EXPECT_EQ(ShellVideoModeText({800, 600, 16, 0, 0, 0}), "800 x 600 x 16 ");
}

} // namespace
