// One frame: the step measured with the frame clock, the game's update, then
// the drawing. Nothing here allocates.
#include <algorithm>

#include "framework/fpscounter.h"
#include "framework/framework.h"
#include "framework/inputmanager.h"
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
    CInputManager::Instance()->Update(m_lastStep);
    if (!globals.paused)
        OnUpdate(m_lastStep);
    if (CFpsCounter* counter = CFpsCounter::Instance())
        counter->Update(m_lastElapsed);
    Render();
}

void CStandardApplication::Render()
{
    OnRender();
    if (Framework().debugLevel >= 1)
        CFpsCounter::Instance()->Draw(Framework().font);
}
