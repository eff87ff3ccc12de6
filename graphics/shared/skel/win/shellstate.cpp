// The shell's process-wide state.
#include "graphics/shared/skel/win/shellstate.h"

#include "graphics/shared/skel/win/shellinput.h"
#include "platform/win32/timing.h"

namespace {

struct ShellState
{
    ShellSettings settings{"Ombrelight Application", 0, 0, 0};
    ShellWindowInfo window{};
    bool engineStarted = false;
    bool active = true;
    uint32_t timerPeriod = 0; ///< raised by ShellInitialize, 0 when none
};

ShellState& State()
{
    static ShellState state;
    return state;
}

} // namespace

ShellSettings* ShellGetSettings()
{
    return &State().settings;
}

ShellWindowInfo* ShellGetWindowInfo()
{
    return &State().window;
}

bool ShellInitialize()
{
    ShellState& s = State();
    s.settings = {"Ombrelight Application", 0, 0, 0};
    ShellResetInputDevices();
    s.window.fullScreen = 0;
    s.window.lastX = s.window.lastY = 0.0f;
    s.window.pointerKnown = 0;
    s.active = true;
    TIMECAPS caps{};
    if (s.timerPeriod == 0 && timeGetDevCaps(&caps, sizeof caps) == TIMERR_NOERROR &&
        timeBeginPeriod(caps.wPeriodMin) == TIMERR_NOERROR)
        s.timerPeriod = caps.wPeriodMin;
    return true;
}

void ShellTerminate()
{
    ShellState& s = State();
    if (s.timerPeriod) {
        timeEndPeriod(s.timerPeriod);
        s.timerPeriod = 0;
    }
}

bool ShellEngineStarted()
{
    return State().engineStarted;
}

void ShellSetEngineStarted(bool started)
{
    State().engineStarted = started;
}

bool ShellWindowActive()
{
    return State().active;
}

void ShellSetWindowActive(bool active)
{
    State().active = active;
}
