#include "tools/cfgcheck/configcheck.h"

#include <cstdlib>

#include "framework/cameramanager.h"
#include "framework/dynamicmodels.h"
#include "framework/framework.h"
#include "framework/hud.h"
#include "framework/physicsworld.h"
#include "framework/standardapplication.h"
#include "graphics/core/engine.h"
#include "graphics/core/filesystem.h"
#include "graphics/d3d9/d3d9device.h"
#include "graphics/shared/skel/win/shellengine.h"
#include "graphics/toolkit2d/charset.h"
#include "platform/win32/debugout.h"
#include "platform/win32/win32.h"

namespace {

std::string* gOut = nullptr;

/// A game that only writes down what its section receives.
class CheckApplication : public CStandardApplication, public CConfigObserver
{
  public:
    CheckApplication(const char* path, CConfigSection* game) : CStandardApplication(path), m_game(game)
    {
        SetConfigObserver(this);
    }

    bool OnXmlStartElement(const char* element, const char** attributes) override
    {
        *gOut += std::string("game start ") + element + "\n";
        return !m_game || m_game->OnStart(element, attributes);
    }
    bool OnXmlEndElement(const char* element) override
    {
        *gOut += std::string("game end ") + element + "\n";
        return !m_game || m_game->OnEnd(element);
    }
    bool OnInitialize() override { return true; }
    bool OnUpdate(float) override { return true; }
    void OnRender() override {}
    bool OnTerminate() override { return true; }
    const char* GetTitle() override { return "cfgcheck"; }

    void OnDispatched(const char* element, bool answer) override
    {
        *gOut += std::string("element ") + element + (answer ? "\n" : " (refused)\n");
        if (std::string(element) == "Worlds")
            sawWorlds = true;
        if (std::string(element) == "Camera")
            sawCamera = true;
    }
    void OnSectionOpened(const char* element) override { *gOut += std::string("open ") + element + "\n"; }
    void OnSectionClosed(const char* element) override { *gOut += std::string("close ") + element + "\n"; }

    bool sawWorlds = false;
    bool sawCamera = false;

  private:
    CConfigSection* m_game;
};

int WriteBox(HWND, const char* text, const char* caption, UINT)
{
    *gOut += std::string("box [") + caption + "]: " + text + "\n";
    return IDOK;
}

} // namespace

bool StartHeadlessEngine()
{
    static const bool started = [] {
        if (!std::getenv("DISPLAY"))
            setenv("SDL_VIDEODRIVER", "offscreen", 0);
        static HWND window = Win32WindowCreate("cfgcheck", 64, 64);
        if (!window)
            return false;
        EngineSetDeviceDriver(D3D9DriverGet());
        static EngineOpenParams params = {window};
        return EngineInit(nullptr, 0, 0x400000) && CStandardApplication::AttachPlugins() &&
               EngineOpen(&params) && EngineStart() && ShellRegisterImageReaders() &&
               FileSystemManagerOpen(-1) && ShellRegisterFileSystems();
    }();
    return started;
}

// The shell's events never reach this program: it runs no shell.
ShellEventResult AppEventHandler(ShellEvent, void*)
{
    return ShellEventNotHandled;
}

int ConfigCheck(const char* path, std::string* out, CConfigSection* game)
{
    gOut = out;
    if (!StartHeadlessEngine()) {
        *out += "the engine does not start\n";
        return 1;
    }
    const Win32MessageBoxSink previous = Win32SetMessageBoxSink(WriteBox);
    Framework().halt = false;
    CheckApplication application(path, game);
    application.LoadConfiguration();
    if (Charset* charset = application.GetCharset())
        CharsetDestroy(charset);
    // The sections' objects are only read here, never run.
    FrameworkGlobals& globals = Framework();
    CDynamicModels::Destroy();
    delete globals.physicsWorld; // empties the global
    delete globals.cameraManager;
    globals.cameraManager = nullptr;
    delete globals.hud;
    globals.hud = nullptr;
    // The worlds' dictionaries, which the engine keeps until it stops: the
    // engine runs on here, so each file's go with it.
    ShellGetEngine()->destroyDictionaries();
    Win32SetMessageBoxSink(previous);
    const bool halted = Framework().halt;
    if (!halted) {
        if (!application.sawWorlds)
            *out += "warning: no 'Worlds' section: no world is loaded and frames draw nothing\n";
        if (!application.sawCamera)
            *out += "warning: no 'Camera' section: there is no main camera and frames draw nothing\n";
    }
    gOut = nullptr;
    return halted ? 1 : 0;
}
