// The overlay's pad handler: pad buttons and the analogue turn become the
// keys the keyboard handler already answers, so the pad drives the menu and
// the help exactly as the keyboard does.
#include <cmath>
#include <cstdint>

#include "graphics/shared/skel/win/menu.h"
#include "graphics/shared/skel/win/menuinternal.h"
#include "graphics/shared/skel/win/shellinput.h"

namespace {

/// An analogue axis presses its key beyond this deflection.
constexpr float kPadAxisPress = 0.5f;

struct PadKey
{
    uint32_t button;
    int32_t key;
};

// In the order the framework's input gives the buttons precedence.
constexpr PadKey kPadKeys[] = {
    {kPadUp, kShellKeyUp},
    {kPadDown, kShellKeyDown},
    {kPadRight, kShellKeyRight},
    {kPadLeft, kShellKeyLeft},
    {kPadShoulderUp, kShellKeyPageUp},
    {kPadShoulderDown, kShellKeyPageDown},
    {kPadHelp, kShellKeyF1},
    {kPadSelect, ' '},
};

bool SendKey(int32_t key, bool down)
{
    ShellKeyRecord record{0, key};
    return MenuKeyboardHandler(down ? ShellEventKeyDown : ShellEventKeyUp, &record) == ShellEventHandled;
}

// Moves one axis's held key to `key` (0: none): the old one goes up, the new one down.
bool HoldKey(int32_t* held, int32_t key)
{
    if (*held == key)
        return false;
    bool used = false;
    if (*held != 0)
        used = SendKey(*held, false);
    *held = key;
    if (key != 0)
        used = SendKey(key, true) || used;
    return used;
}

int32_t AxisKey(float value, int32_t positive, int32_t negative)
{
    if (!(std::fabs(value) >= kPadAxisPress)) // NaN rests
        return 0;
    return value > 0.0f ? positive : negative;
}

} // namespace

ShellEventResult MenuPadHandler(ShellEvent event, void* param)
{
    if (param == nullptr)
        return ShellEventNotHandled;
    bool used = false;
    switch (event) {
    case ShellEventPadButtonDown:
    case ShellEventPadButtonUp: {
        const uint32_t buttons = static_cast<const PadButtonRecord*>(param)->buttons;
        for (const PadKey& p : kPadKeys)
            if (buttons & p.button)
                used = SendKey(p.key, event == ShellEventPadButtonDown) || used;
        break;
    }
    case ShellEventPadAnalogue: {
        const auto* turn = static_cast<const PadTurnRecord*>(param);
        MenuState& state = MenuGetState();
        used = HoldKey(&state.padTurnKey, AxisKey(turn->turn, kShellKeyLeft, kShellKeyRight));
        used = HoldKey(&state.padPitchKey, AxisKey(turn->pitch, kShellKeyDown, kShellKeyUp)) || used;
        break;
    }
    default:
        break;
    }
    return used ? ShellEventHandled : ShellEventNotHandled;
}
