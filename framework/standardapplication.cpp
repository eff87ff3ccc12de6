#include "framework/standardapplication.h"

#include "framework/cameramanager.h"
#include "framework/character.h"
#include "framework/characterprofile.h"
#include "framework/dynamicmodels.h"
#include "framework/font.h"
#include "framework/fpscounter.h"
#include "framework/framework.h"
#include "framework/hud.h"
#include "framework/inputmanager.h"
#include "framework/light.h"
#include "framework/physicsworld.h"
#include "graphics/shared/skel/win/devicechooser.h"
#include "graphics/shared/skel/win/shellcamera.h"
#include "graphics/shared/skel/win/shellengine.h"
#include "graphics/shared/skel/win/shellinput.h"
#include "graphics/shared/skel/win/shellstate.h"
#include "graphics/toolkit2d/charset.h"
#include "platform/win32/debugout.h"
#include "platform/win32/messagequeue.h"
#include "platform/win32/windowclass.h"

namespace {

/// The exit code of an unattended run that an error box stopped.
constexpr int kHaltedExitCode = 1;

// After an error box no frame runs. A user closes the window when done
// reading; until then the loop sleeps rather than spinning. An unattended run
// (a frame limit) has nobody to close it and would never present the frame
// that ends it: it ends now, failing, since an error was reported.
void IdleWhileHalted()
{
    if (Win32ExitAfterFrames() > 0)
        PostQuitMessage(kHaltedExitCode);
    else
        WaitMessage();
}

} // namespace

CStandardApplication::CStandardApplication(const char* configFile) : m_configFile(configFile)
{
    FrameworkGlobals& globals = Framework();
    globals.window = nullptr;
    globals.instance = nullptr;
    globals.halt = false;
    globals.debugLevel = 0;
    globals.paused = false;
}

CStandardApplication::~CStandardApplication()
{
    // Lights read by a configuration that no Terminate followed (a reader
    // run alone, as the configuration check does).
    for (CLight* light : m_configuredLights)
        delete light;
}

bool CStandardApplication::OnXmlStartElement(const char*, const char**)
{
    return true;
}

bool CStandardApplication::OnXmlEndElement(const char*)
{
    return true;
}

ShellEventResult CStandardApplication::OnEvent(ShellEvent event, void* parameter)
{
    switch (event) {
    case ShellEventResize:
        if (CCameraManager* cameras = Framework().cameraManager) {
            const auto* r = static_cast<const ShellRect*>(parameter);
            const ShellCameraRect rect =
                r ? ShellCameraRect{r->x, r->y, r->width, r->height} : ShellCameraRect{};
            cameras->OnResize(r ? &rect : nullptr);
        }
        if (CHud* hud = Framework().hud)
            hud->OnResize();
        return ShellEventHandled;
    case ShellEventPluginsAttached:
        return ShellEventHandled;
    case ShellEventAttachPlugins:
        return AttachPlugins() ? ShellEventHandled : ShellEventFailed;
    case ShellEventStartEngine:
        if (!Initialize(static_cast<HWND>(parameter))) {
            FrameworkExitProcess(ShellStartExitCode());
            return ShellEventFailed; // reached only when the exit hook returns
        }
        OnInitialize();
        // Input events go straight to the input manager's handlers.
        ShellAttachInputDevice(ShellDeviceMouse, CInputManager::MouseHandler);
        ShellAttachInputDevice(ShellDeviceKeyboard, CInputManager::KeyboardHandler);
        ShellAttachInputDevice(ShellDevicePad, CInputManager::PadHandler);
        CInputManager::Instance()->InitPointer(Framework().hud != nullptr);
        // The camera follows the game's first character, when there is one.
        if (CCharacter* first = CCharacter::Get(0); first && Framework().cameraManager)
            Framework().cameraManager->SetTarget(first);
        return ShellEventHandled;
    case ShellEventStopEngine:
        OnTerminate();
        Terminate();
        return ShellEventHandled;
    case ShellEventInitialise:
        return OpenEngine() ? ShellEventHandled : ShellEventFailed;
    case ShellEventIdle:
        if (Framework().halt)
            IdleWhileHalted();
        else
            Update();
        return ShellEventHandled;
    case ShellEventActivate:
        Framework().active = reinterpret_cast<intptr_t>(parameter) != 0;
        return ShellEventHandled;
    default:
        return ShellEventNotHandled;
    }
}

void CStandardApplication::SetHWND(HWND window)
{
    Framework().window = window;
    // A 32-bit window long cannot hold a 64-bit handle: the window's
    // instance is the program's own module.
    Framework().instance = window ? GetModuleHandleA(nullptr) : nullptr;
}

void CStandardApplication::SetFixedStep(bool fixed, float step)
{
    m_fixedStep = fixed;
    m_fixedStepValue = step;
}

bool CStandardApplication::OpenEngine()
{
    if (!ShellInitialize())
        return false;
    ShellSettings* settings = ShellGetSettings();
    if (settings->width == 0)
        settings->width = 640;
    if (settings->height == 0)
        settings->height = 480;
    settings->applicationName = GetTitle();
    return true;
}

bool CStandardApplication::AttachPlugins()
{
    size_t count = 0;
    const FrameworkPluginAttach* attaches = FrameworkGetPluginAttaches(&count);
    for (size_t i = 0; i < count; ++i) {
        if (!attaches[i].attach())
            return false;
    }
    return true;
}

bool CStandardApplication::Initialize(HWND window)
{
    if (!ShellStartEngine(window)) {
        ShellReportError("Error initializing Ombrelight.");
        return false;
    }
    LoadConfiguration();

    // No light in the configuration: an ambient and a directional light in
    // every world.
    CPhysicsWorld* worlds = Framework().physicsWorld;
    if (!worlds || worlds->GetLightCount() == 0) {
        static const float kAmbientColour[4] = {0.45f, 0.45f, 0.45f, 0.0f};
        static const float kDirectionalColour[4] = {0.5f, 0.5f, 0.5f, 0.0f};
        static const V3d kOrigin = {0.0f, 0.0f, 0.0f};
        static const V3d kFrom = {-174.0173f, 21.1665f, 247.2818f};
        static const V3d kTowards = {66.6262f, -11.3181f, -8.2992f};
        m_defaultLight1 = new CLight();
        m_defaultLight1->Create(CLight::kAmbient, &kOrigin, &kOrigin);
        m_defaultLight1->SetColour(kAmbientColour);
        m_defaultLight2 = new CLight();
        m_defaultLight2->Create(CLight::kDirectional, &kFrom, &kTowards);
        m_defaultLight2->SetColour(kDirectionalColour);
        if (worlds) {
            worlds->AddLight(m_defaultLight1);
            worlds->AddLight(m_defaultLight2);
        }
    }

    // The font is loaded on the main camera; without a "Camera" section there
    // is none and the font stays empty, printing nothing.
    Framework().font = new CFont();
    if (CCameraManager* cameras = Framework().cameraManager)
        Framework().font->Load(cameras->GetCamera());
    if (worlds && Framework().cameraManager)
        worlds->SetCamera(Framework().cameraManager);
    return true;
}

bool CStandardApplication::Terminate()
{
    FrameworkGlobals& globals = Framework();
    // The grab refers to a model of the physics world: it goes first.
    CDynamicModels::Destroy();
    if (globals.physicsWorld) {
        // The worlds' cameras are copies of the main camera, and the default
        // lights are the application's: they go first.
        globals.physicsWorld->RemoveCamera(globals.cameraManager);
        globals.physicsWorld->RemoveLight(m_defaultLight1);
        globals.physicsWorld->RemoveLight(m_defaultLight2);
        delete globals.physicsWorld; // empties the global
    }
    delete globals.cameraManager; // releases its camera
    globals.cameraManager = nullptr;
    delete m_defaultLight1;
    m_defaultLight1 = nullptr;
    delete m_defaultLight2;
    m_defaultLight2 = nullptr;
    for (CLight* light : m_configuredLights)
        delete light;
    m_configuredLights.clear();
    delete globals.font;
    globals.font = nullptr;
    delete globals.hud;
    globals.hud = nullptr;
    DestroyCharacterProfiles(); // releases their animations
    if (m_charset) {
        CharsetDestroy(m_charset);
        m_charset = nullptr;
    }
    CInputManager::Instance()->ReleasePointer();
    CInputManager::DestroyInstance();
    CFpsCounter::Destroy();
    ShellStopEngine();
    return true;
}
