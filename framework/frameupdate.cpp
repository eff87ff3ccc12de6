// One frame: the step measured with the frame clock, input, camera switching,
// the game's update, the start screen, the cameras, the impact particles, the
// dynamic models and the frame counter, then the drawing through the main
// camera. Nothing here allocates.
#include <algorithm>

#include "framework/cameramanager.h"
#include "framework/dynamicmodels.h"
#include "framework/fpscounter.h"
#include "framework/framework.h"
#include "framework/hud.h"
#include "framework/impactparticles.h"
#include "framework/inputmanager.h"
#include "framework/physicsworld.h"
#include "framework/standardapplication.h"

namespace {

/// The longest step handed to the simulation: a slower frame is simulated
/// as this long, which keeps physics and animation stable after a stall.
constexpr float kMaxStep = 0.0333f;

} // namespace

void CStandardApplication::Update()
{
    FrameworkGlobals& globals = Framework();
    if (globals.halt)
        return;
    const uint32_t now = FrameworkGetClock()();
    if (m_firstFrame) {
        m_lastFrameTime = now;
        m_firstFrame = false;
    }
    // Unsigned difference: a clock wrap between two frames still gives the
    // small positive time that passed.
    const uint32_t elapsedMs = now - m_lastFrameTime;
    m_lastFrameTime = now;
    m_lastElapsed = float(double(elapsedMs) * 0.001);
    m_lastStep = m_fixedStep ? m_fixedStepValue : std::min(m_lastElapsed, kMaxStep);
    CInputManager* input = CInputManager::Instance();
    input->Update(m_lastStep);
    if (!globals.paused) {
        // "c" steps through the switch sequence, Tab through the fixed cameras.
        if (input->TakeCameraSwitch() && globals.cameraManager)
            globals.cameraManager->NextCamera();
        if (input->TakeTab() && globals.cameraManager)
            globals.cameraManager->NextFixedCamera();
        OnUpdate(m_lastStep);
    }
    if (globals.physicsWorld)
        globals.physicsWorld->Step(m_lastStep);
    if (globals.hud)
        globals.hud->Update(m_lastStep);
    if (globals.cameraManager)
        globals.cameraManager->Update(m_lastStep);
    if (!globals.paused)
        UpdateImpactParticles(m_lastStep);
    if (CDynamicModels* models = CDynamicModels::Existing(); models && !globals.paused)
        models->Update(m_lastStep);
    if (CFpsCounter* counter = CFpsCounter::Instance())
        counter->Update(m_lastElapsed);
    Render();
}

void CStandardApplication::Render()
{
    const FrameworkGlobals& globals = Framework();
    CCameraManager* cameras = globals.cameraManager;
    if (cameras)
        cameras->Clear();
    if (globals.physicsWorld)
        globals.physicsWorld->RenderWorlds();
    // Without a camera that began its update only the game's hook runs.
    const bool drawing = cameras && cameras->BeginUpdate();
    OnRender();
    if (!drawing)
        return;
    if (globals.debugLevel >= 1) {
        if (CFpsCounter* counter = CFpsCounter::Instance())
            counter->Draw(globals.font);
    }
    if (globals.debugLevel >= 2 && globals.physicsWorld)
        globals.physicsWorld->PrintStats(globals.font);
    CInputManager::Instance()->RenderPointer();
    cameras->DrawOverlays(globals.font);
    if (globals.hud)
        globals.hud->Render();
    RenderImpactParticles();
    if (CDynamicModels* models = CDynamicModels::Existing())
        models->Render();
    cameras->EndUpdate();
    cameras->ShowRaster();
}
