// The engine lifecycle: every transition from every state, module unwinding,
// device failures at each step, the instance block and the device queries.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "graphics/core/engine.h"
#include "graphics/core/error.h"
#include "graphics/core/freelist.h"
#include "graphics/core/tests/enginetesting.h"

namespace {

class EngineLifecycle : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        CountingMemory::Reset();
        DeviceDoubleReset();
        EngineSetDeviceDriver(DeviceDoubleDriver());
    }
    void TearDown() override
    {
        EngineTestShutdown();
        EngineSetDeviceDriver(nullptr);
    }
};

enum class Op
{
    Init,
    Open,
    Start,
    Stop,
    Close,
    Term
};

bool Apply(Op op)
{
    switch (op) {
    case Op::Init:
        return EngineInit(nullptr, 0, 0x400000);
    case Op::Open:
        return EngineTestOpen();
    case Op::Start:
        return EngineStart();
    case Op::Stop:
        return EngineStop();
    case Op::Close:
        return EngineClose();
    case Op::Term:
        return EngineTerm();
    }
    return false;
}

void BringTo(EngineState state)
{
    const Op path[] = {Op::Init, Op::Open, Op::Start};
    for (uint32_t i = 0; i < state; ++i) {
        ASSERT_TRUE(Apply(path[i]));
    }
    ASSERT_EQ(EngineGetState(), state);
}

struct Transition
{
    EngineState from;
    Op op;
    bool result;
    EngineState to;
};

const Transition kTransitions[] = {
    {kEngineStateNone, Op::Init, true, kEngineStateInitialised},
    {kEngineStateNone, Op::Open, false, kEngineStateNone},
    {kEngineStateNone, Op::Start, false, kEngineStateNone},
    {kEngineStateNone, Op::Stop, false, kEngineStateNone},
    {kEngineStateNone, Op::Close, false, kEngineStateNone},
    {kEngineStateNone, Op::Term, false, kEngineStateNone},
    {kEngineStateInitialised, Op::Init, false, kEngineStateInitialised},
    {kEngineStateInitialised, Op::Open, true, kEngineStateOpened},
    {kEngineStateInitialised, Op::Start, false, kEngineStateInitialised},
    {kEngineStateInitialised, Op::Stop, false, kEngineStateInitialised},
    {kEngineStateInitialised, Op::Close, false, kEngineStateInitialised},
    {kEngineStateInitialised, Op::Term, true, kEngineStateNone},
    {kEngineStateOpened, Op::Init, false, kEngineStateOpened},
    {kEngineStateOpened, Op::Open, false, kEngineStateOpened},
    {kEngineStateOpened, Op::Start, true, kEngineStateStarted},
    {kEngineStateOpened, Op::Stop, false, kEngineStateOpened},
    {kEngineStateOpened, Op::Close, true, kEngineStateInitialised},
    {kEngineStateOpened, Op::Term, false, kEngineStateOpened},
    {kEngineStateStarted, Op::Init, false, kEngineStateStarted},
    {kEngineStateStarted, Op::Open, false, kEngineStateStarted},
    {kEngineStateStarted, Op::Start, false, kEngineStateStarted},
    {kEngineStateStarted, Op::Stop, true, kEngineStateOpened},
    {kEngineStateStarted, Op::Close, false, kEngineStateStarted},
    {kEngineStateStarted, Op::Term, false, kEngineStateStarted},
};

TEST_F(EngineLifecycle, EveryTransitionFromEveryState)
{
    for (const Transition& t : kTransitions) {
        SCOPED_TRACE("from state " + std::to_string(t.from) + " op " + std::to_string(int(t.op)));
        BringTo(t.from);
        EXPECT_EQ(Apply(t.op), t.result);
        EXPECT_EQ(EngineGetState(), t.to);
        EXPECT_EQ(EngineGetOpenCount(), t.to >= kEngineStateOpened ? 1 : 0);
        EngineTestShutdown();
        ASSERT_EQ(EngineGetState(), kEngineStateNone);
    }
}

TEST_F(EngineLifecycle, OpenWhileStartedLeavesWrongStatePending)
{
    BringTo(kEngineStateStarted);
    EXPECT_FALSE(EngineTestOpen());
    ErrorRecord error;
    ErrorGet(&error);
    EXPECT_EQ(error.pluginId, 0u);
    EXPECT_EQ(error.code, kErrorWrongState);
}

TEST_F(EngineLifecycle, FullCycleSendsDeviceRequestsInOrder)
{
    BringTo(kEngineStateStarted);
    ASSERT_TRUE(EngineStop());
    ASSERT_TRUE(EngineClose());
    ASSERT_TRUE(EngineTerm());
    const std::vector<int32_t> expected = {
        kDeviceRequestRegister,   kDeviceRequestOpen,       kDeviceRequestEntryPoints, kDeviceRequestStart,
        kDeviceRequestAfterStart, kDeviceRequestBeforeStop, kDeviceRequestStop,        kDeviceRequestClose};
    EXPECT_EQ(DeviceDoubleGet().requests, expected);
    EXPECT_TRUE(DeviceDoubleGet().attached);
    EXPECT_EQ(EngineGetVersion(), 0x37002u);
    EXPECT_EQ(DeviceDoubleGet().window, EngineTestOpenParams()->displayId);
}

// Records the order in which test modules open and close.
std::vector<std::string> gModuleLog;
int32_t gFailingModule = -1;

template <int32_t N> void* LoggedOpen(void* instance, int32_t, int32_t)
{
    gModuleLog.push_back("open " + std::to_string(N));
    return N == gFailingModule ? nullptr : instance;
}

template <int32_t N> void* LoggedClose(void* instance, int32_t, int32_t)
{
    gModuleLog.push_back("close " + std::to_string(N));
    return instance;
}

void AttachLoggedModules()
{
    gModuleLog.clear();
    ASSERT_GE(EngineAttachPlugin(4, 0x7001, LoggedOpen<1>, LoggedClose<1>), 0);
    ASSERT_GE(EngineAttachPlugin(4, 0x7002, LoggedOpen<2>, LoggedClose<2>), 0);
    ASSERT_GE(EngineAttachPlugin(4, 0x7003, LoggedOpen<3>, LoggedClose<3>), 0);
    ASSERT_GE(EngineAttachPlugin(4, 0x7004, LoggedOpen<4>, LoggedClose<4>), 0);
}

TEST_F(EngineLifecycle, ModulesOpenInOrderAndCloseInReverse)
{
    gFailingModule = -1;
    BringTo(kEngineStateInitialised);
    AttachLoggedModules();
    ASSERT_TRUE(EngineTestOpen());
    ASSERT_TRUE(EngineStart());
    ASSERT_TRUE(EngineStop());
    const std::vector<std::string> expected = {"open 1",  "open 2",  "open 3",  "open 4",
                                               "close 4", "close 3", "close 2", "close 1"};
    EXPECT_EQ(gModuleLog, expected);
}

TEST_F(EngineLifecycle, ModuleFailingToOpenUnwindsThoseBeforeIt)
{
    gFailingModule = 3;
    BringTo(kEngineStateInitialised);
    AttachLoggedModules();
    ASSERT_TRUE(EngineTestOpen());
    DeviceDoubleGet().requests.clear();
    EXPECT_FALSE(EngineStart());
    const std::vector<std::string> expected = {"open 1", "open 2", "open 3", "close 2", "close 1"};
    EXPECT_EQ(gModuleLog, expected);
    EXPECT_EQ(EngineGetState(), kEngineStateOpened);
    const std::vector<int32_t> requests = {kDeviceRequestStart, kDeviceRequestStop};
    EXPECT_EQ(DeviceDoubleGet().requests, requests);
    gFailingModule = -1;
}

TEST_F(EngineLifecycle, DeviceRefusingStartOpensNoModule)
{
    gFailingModule = -1;
    BringTo(kEngineStateInitialised);
    AttachLoggedModules();
    ASSERT_TRUE(EngineTestOpen());
    DeviceDoubleGet().refused.insert(kDeviceRequestStart);
    EXPECT_FALSE(EngineStart());
    EXPECT_TRUE(gModuleLog.empty());
    EXPECT_EQ(EngineGetState(), kEngineStateOpened);
}

TEST_F(EngineLifecycle, FailedStopLeavesOpenedSoModulesCloseOnce)
{
    gFailingModule = -1;
    BringTo(kEngineStateInitialised);
    AttachLoggedModules();
    ASSERT_TRUE(EngineTestOpen());
    ASSERT_TRUE(EngineStart());
    DeviceDoubleGet().refused.insert(kDeviceRequestStop);
    gModuleLog.clear();
    EXPECT_FALSE(EngineStop());
    EXPECT_EQ(EngineGetState(), kEngineStateOpened);
    EXPECT_FALSE(EngineStop());
    EXPECT_EQ(gModuleLog.size(), 4u) << "each module closed exactly once";
    DeviceDoubleGet().refused.clear();
    EXPECT_TRUE(EngineClose());
}

TEST_F(EngineLifecycle, DeviceRefusingOpenKeepsStaticBlockAndFreesTheNewOne)
{
    ASSERT_TRUE(EngineInit(CountingMemory::Table(), 0, 0));
    EngineInstance* staticBlock = EngineGetInstance();
    int64_t liveBefore = CountingMemory::live;
    DeviceDoubleGet().refused.insert(kDeviceRequestOpen);
    EXPECT_FALSE(EngineTestOpen());
    EXPECT_EQ(EngineGetState(), kEngineStateInitialised);
    EXPECT_EQ(EngineGetInstance(), staticBlock);
    EXPECT_EQ(CountingMemory::live, liveBefore);
    EXPECT_EQ(EngineGetOpenCount(), 0);
    // The device block delivered before the refusal survives in the static block.
    EXPECT_NE(staticBlock->device.systemHandler, nullptr);
}

TEST_F(EngineLifecycle, OpenFailsWithoutParamsDeviceOrMemory)
{
    BringTo(kEngineStateInitialised);
    EXPECT_FALSE(EngineOpen(nullptr));
    EXPECT_EQ(EngineGetState(), kEngineStateInitialised);
    DeviceDoubleGet().noDevice = true;
    EXPECT_FALSE(EngineTestOpen());
    EXPECT_EQ(EngineGetState(), kEngineStateInitialised);
    EXPECT_TRUE(DeviceDoubleGet().requests.empty());
    EngineTestShutdown();

    ASSERT_TRUE(EngineTestInit(CountingMemory::Table()));
    CountingMemory::failAfter = 0;
    EXPECT_FALSE(EngineTestOpen());
    CountingMemory::failAfter = -1;
    EXPECT_EQ(EngineGetState(), kEngineStateInitialised);
    EXPECT_TRUE(EngineTestOpen());
}

TEST_F(EngineLifecycle, DeviceRefusingCloseChangesNothing)
{
    BringTo(kEngineStateOpened);
    EngineInstance* block = EngineGetInstance();
    DeviceDoubleGet().refused.insert(kDeviceRequestClose);
    EXPECT_FALSE(EngineClose());
    EXPECT_EQ(EngineGetState(), kEngineStateOpened);
    EXPECT_EQ(EngineGetInstance(), block);
}

TEST_F(EngineLifecycle, FailedInitReleasesEverythingAndCanBeRetried)
{
    DeviceDoubleGet().refuseAttach = true;
    EXPECT_FALSE(EngineInit(CountingMemory::Table(), 0, 0));
    EXPECT_EQ(EngineGetState(), kEngineStateNone);
    EXPECT_EQ(CountingMemory::live, 0);
    EXPECT_EQ(EngineGetPluginOffset(0x40F), -1);
    DeviceDoubleGet().refuseAttach = false;
    EXPECT_TRUE(EngineInit(CountingMemory::Table(), 0, 0));
}

TEST_F(EngineLifecycle, TermReleasesEveryAllocation)
{
    ASSERT_TRUE(EngineInit(CountingMemory::Table(), 0, 0));
    ASSERT_GE(EngineAttachPlugin(16, 0x7100, nullptr, nullptr), 0);
    ASSERT_TRUE(FreeListCreateSimple(24, 8, 0, 0));
    ASSERT_TRUE(EngineTestOpen());
    ASSERT_TRUE(EngineStart());
    ASSERT_TRUE(EngineStop());
    ASSERT_TRUE(EngineClose());
    ASSERT_TRUE(EngineTerm());
    EXPECT_EQ(CountingMemory::live, 0);
    EXPECT_EQ(EngineGetPluginOffset(0x7100), -1);
}

TEST_F(EngineLifecycle, AttachOrderGivesAlignedConsecutiveOffsets)
{
    BringTo(kEngineStateInitialised);
    int32_t first = EngineAttachPlugin(6, 0x7201, nullptr, nullptr);
    int32_t second = EngineAttachPlugin(4, 0x7202, nullptr, nullptr);
    int32_t third = EngineAttachPlugin(sizeof(void*), 0x7203, nullptr, nullptr);
    ASSERT_GE(first, int32_t(sizeof(EngineInstance)));
    EXPECT_EQ(first % 8, 0);
    EXPECT_EQ(second, first + 8);
    EXPECT_EQ(third, second + 8);
    EXPECT_EQ(EngineGetRegistry()->objectSize, third + 8);
    EXPECT_EQ(EngineGetPluginOffset(0x7202), second);
    EXPECT_EQ(EngineGetPluginOffset(0x7999), -1);
    // Core modules registered first, so they come before.
    EXPECT_LT(EngineGetPluginOffset(0x40F), first);
    EXPECT_LT(EngineGetPluginOffset(0x40F), EngineGetPluginOffset(0x40D));
    ASSERT_TRUE(EngineTestOpen());
    ASSERT_TRUE(EngineStart());
    // Module data lies inside the allocated block.
    auto* data = static_cast<void**>(EngineGetModuleData(third));
    *data = data;
    EXPECT_EQ(reinterpret_cast<char*>(data), reinterpret_cast<char*>(EngineGetInstance()) + third);
}

TEST_F(EngineLifecycle, AttachIsRefusedOnceOpen)
{
    BringTo(kEngineStateStarted);
    EXPECT_EQ(EngineAttachPlugin(4, 0x7300, nullptr, nullptr), -1);
    ErrorRecord error;
    ErrorGet(&error);
    EXPECT_EQ(error.code, kErrorPluginRefused);
    EngineTestShutdown();
    EXPECT_EQ(EngineAttachPlugin(4, 0x7300, nullptr, nullptr), -1) << "registries closed";
}

TEST_F(EngineLifecycle, ReopenKeepsTheFixedSlots)
{
    BringTo(kEngineStateOpened);
    EngineInstance first = *EngineGetInstance();
    ASSERT_TRUE(EngineClose());
    ASSERT_TRUE(EngineTestOpen());
    const EngineInstance* second = EngineGetInstance();
    EXPECT_EQ(std::memcmp(&first.memoryFunctions, &second->memoryFunctions, sizeof(MemoryFunctions)), 0);
    EXPECT_EQ(std::memcmp(&first.stringFunctions, &second->stringFunctions, sizeof(StringFunctions)), 0);
    EXPECT_EQ(std::memcmp(&first.device, &second->device, sizeof(DeviceBlock)), 0);
    EXPECT_EQ(second->arenaSize, 0x400000u);
}

TEST_F(EngineLifecycle, UnpooledInitInstallsUnpooledFreeListFunctions)
{
    ASSERT_TRUE(EngineInit(nullptr, kEngineInitUnpooled, 0));
    EXPECT_EQ(EngineGetInstance()->memoryFunctions.freeListAlloc, FreeListAllocUnpooled);
    EXPECT_EQ(EngineGetInstance()->memoryFunctions.freeListFree, FreeListFreeUnpooled);
    EngineTestShutdown();
    ASSERT_TRUE(EngineInit(nullptr, 0, 0));
    EXPECT_EQ(EngineGetInstance()->memoryFunctions.freeListAlloc, FreeListAlloc);
}

TEST_F(EngineLifecycle, EntryPointsAreDeliveredAtOpen)
{
    BringTo(kEngineStateOpened);
    const EngineInstance* instance = EngineGetInstance();
    EXPECT_EQ(instance->deviceFunctions[0], nullptr);
    EXPECT_EQ(instance->deviceFunctions[22], nullptr);
    ASSERT_NE(instance->deviceFunctions[kDeviceFnRasterLock], nullptr);
    EXPECT_NE(instance->deviceFunctions[kDeviceFnRasterLock](nullptr, nullptr, 0), 0);
    EXPECT_EQ(DeviceDoubleGet().functionCalls, std::vector<int32_t>{kDeviceFnRasterLock});
    EXPECT_EQ(instance->device.gamma, 1.0f);
    EXPECT_EQ(instance->device.zBufferFar, 1.0f);
}

TEST_F(EngineLifecycle, SubSystemQueriesFallBackWhenTheDeviceDoesNotAnswer)
{
    BringTo(kEngineStateStarted);
    SubSystemInfo info;
    EXPECT_EQ(EngineGetNumSubSystems(), 1);
    ASSERT_EQ(EngineGetSubSystemInfo(&info, 0), &info);
    EXPECT_STREQ(info.name, "Only rendering sub system");
    EXPECT_EQ(EngineGetSubSystemInfo(&info, 1), nullptr);
    EXPECT_EQ(EngineGetCurrentSubSystem(), 0);
    EXPECT_TRUE(EngineSetSubSystem(0));
    EXPECT_FALSE(EngineSetSubSystem(1));
    ErrorRecord error;
    ErrorGet(&error);
    EXPECT_EQ(error.code, kErrorNone) << "the fallbacks raise nothing";
}

TEST_F(EngineLifecycle, SubSystemNameIsCutTo79Characters)
{
    BringTo(kEngineStateStarted);
    DeviceDoubleGet().answerSubSystems = true;
    DeviceDoubleGet().subSystemName = std::string(200, 'x');
    SubSystemInfo info;
    std::memset(&info, 'y', sizeof(info));
    ASSERT_EQ(EngineGetSubSystemInfo(&info, 0), &info);
    EXPECT_EQ(std::strlen(info.name), 79u);
}

TEST_F(EngineLifecycle, VideoModeAndDeviceQueries)
{
    BringTo(kEngineStateStarted);
    EXPECT_EQ(EngineGetNumVideoModes(), 2);
    VideoMode mode;
    ASSERT_EQ(EngineGetVideoModeInfo(&mode, 1), &mode);
    EXPECT_EQ(mode.width, 1024);
    EXPECT_EQ(mode.flags & kVideoModeExclusive, kVideoModeExclusive);
    EXPECT_EQ(EngineGetVideoModeInfo(&mode, 2), nullptr);
    EXPECT_TRUE(EngineSetVideoMode(1));
    EXPECT_EQ(EngineGetCurrentVideoMode(), 1);
    EXPECT_EQ(EngineGetMaxTextureSize(), 2048);
    EXPECT_EQ(EngineGetTextureMemorySize(), 64 << 20);
    EXPECT_TRUE(EngineFocus(true));

    DeviceDoubleGet().refused.insert(kDeviceRequestNumVideoModes);
    EXPECT_EQ(EngineGetNumVideoModes(), -1);
    ErrorRecord error;
    ErrorGet(&error);
    EXPECT_EQ(error.pluginId, 1u);
    EXPECT_EQ(error.code, kErrorCoreDeviceRequest);
}

} // namespace
