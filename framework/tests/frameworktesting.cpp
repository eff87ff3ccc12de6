#include "framework/tests/frameworktesting.h"

#include <fstream>

#include "framework/animationfile.h"
#include "framework/cameramanager.h"
#include "framework/fpscounter.h"
#include "framework/framework.h"
#include "framework/inputmanager.h"
#include "graphics/core/engine.h"
#include "graphics/core/filesystem.h"
#include "graphics/core/image.h"
#include "graphics/core/tests/devicedouble.h"
#include "graphics/shared/skel/win/shellcamera.h"
#include "graphics/shared/skel/win/shellengine.h"
#include "graphics/shared/skel/win/shellstate.h"
#include "graphics/toolkit2d/charset.h"
#include "platform/d3d9/d3d9control.h"
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

void SoftwareFrameworkTest::TearDown()
{
    Stop();
    FrameworkTest::TearDown();
}

bool SoftwareFrameworkTest::Start(const std::string& config)
{
    path_ = WriteFile("config.xml", config);
    app_.~RecordingApplication();
    new (&app_) RecordingApplication(path_.c_str());
    Current() = &app_;
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    FrameworkUseRealEngine();
    window_ = Win32WindowCreate("framework test", 640, 480);
    if (!window_ || app_.OnEvent(ShellEventInitialise, nullptr) != ShellEventHandled)
        return false;
    app_.SetHWND(window_);
    return app_.OnEvent(ShellEventStartEngine, window_) == ShellEventHandled;
}

void SoftwareFrameworkTest::Stop()
{
    if (!window_)
        return;
    app_.OnEvent(ShellEventStopEngine, nullptr);
    ShellTerminate();
    Win32WindowDestroy(window_);
    window_ = nullptr;
    D3D9ResetAdapters();
    // The animation table lives as long as the process and never takes a
    // freed slot again; a program that starts many applications empties it.
    ResetAnimationRegistry();
}

void SoftwareFrameworkTest::RunFrame(uint32_t ms)
{
    Now() += ms;
    app_.OnEvent(ShellEventIdle, nullptr);
}

std::vector<uint32_t> SoftwareFrameworkTest::CameraPixels(int32_t* width, int32_t* height)
{
    std::vector<uint32_t> pixels;
    const CCameraManager* cameras = Framework().cameraManager;
    Image* image = cameras ? ShellCameraToImage(cameras->GetCamera()) : nullptr;
    if (!image)
        return pixels;
    *width = image->width;
    *height = image->height;
    for (int32_t y = 0; y < image->height; ++y) {
        const uint8_t* row = image->pixels + y * image->stride;
        for (int32_t x = 0; x < image->width; ++x) {
            const uint8_t* p = row + 4 * x;
            pixels.push_back(uint32_t(p[3]) << 24 | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]);
        }
    }
    ImageDestroy(image);
    return pixels;
}
