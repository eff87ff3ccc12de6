#include "framework/tests/frameworktesting.h"

#include <fstream>

#include "framework/fpscounter.h"
#include "framework/framework.h"
#include "framework/inputmanager.h"
#include "graphics/core/engine.h"
#include "graphics/core/filesystem.h"
#include "graphics/core/tests/devicedouble.h"
#include "graphics/shared/skel/win/shellengine.h"
#include "graphics/toolkit2d/charset.h"
#include "platform/win32/debugout.h"

namespace {

void (*gOnStop)() = nullptr;

bool DoubleInit(const MemoryTable* table, uint32_t flags, uint32_t arenaSize)
{
    DeviceDoubleReset();
    EngineSetDeviceDriver(DeviceDoubleDriver());
    return EngineInit(table, flags, arenaSize);
}

bool DoubleStop()
{
    if (gOnStop)
        gOnStop();
    return EngineStop();
}

const ShellEngine kDoubleEngine = {
    DoubleInit,
    EngineOpen,
    EngineStart,
    DoubleStop,
    EngineClose,
    EngineTerm,
    [] { return CharsetBufferOpen() != 0; },
    CharsetBufferClose,
    FileSystemManagerOpen,
    FileSystemManagerClose,
    [] {},
    EngineGetNumSubSystems,
    EngineGetSubSystemInfo,
    EngineGetCurrentSubSystem,
    EngineSetSubSystem,
    EngineGetNumVideoModes,
    EngineGetVideoModeInfo,
    EngineGetCurrentVideoMode,
    EngineSetVideoMode,
};

} // namespace

ShellEventResult AppEventHandler(ShellEvent event, void* param)
{
    CStandardApplication* application = FrameworkTest::Current();
    return application ? application->OnEvent(event, param) : ShellEventNotHandled;
}

void FrameworkUseDoubleEngine(void (*onStop)())
{
    gOnStop = onStop;
    ShellSetEngine(&kDoubleEngine);
}

void FrameworkUseRealEngine()
{
    gOnStop = nullptr;
    ShellSetEngine(nullptr);
}

void FrameworkTest::SetUp()
{
    Boxes().clear();
    Now() = 0;
    Current() = nullptr;
    Framework() = FrameworkGlobals{};
    Win32SetMessageBoxSink([](HWND, const char* text, const char*, UINT) {
        Boxes().emplace_back(text);
        return IDOK;
    });
    FrameworkSetClock([] { return Now(); });
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    folder_ = std::filesystem::path(OLAI_TEST_OUTPUT_DIR) /
              (std::string(info->test_suite_name()) + "." + info->name());
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
}

void FrameworkTest::TearDown()
{
    Current() = nullptr;
    CInputManager::DestroyInstance();
    CFpsCounter::Destroy();
    Win32SetMessageBoxSink(nullptr);
    FrameworkSetClock(nullptr);
    FrameworkSetExit(nullptr);
    FrameworkSetPluginAttaches(nullptr, 0);
    FrameworkUseRealEngine();
}

std::string FrameworkTest::WriteFile(const std::string& name, const std::string& text)
{
    const std::filesystem::path path = folder_ / name;
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
}

std::vector<std::string>& FrameworkTest::Boxes()
{
    static std::vector<std::string> boxes;
    return boxes;
}

uint32_t& FrameworkTest::Now()
{
    static uint32_t now = 0;
    return now;
}

CStandardApplication*& FrameworkTest::Current()
{
    static CStandardApplication* current = nullptr;
    return current;
}
