#include "demo/physicsviewer.h"

#include <cmath>
#include <cstdio>

#include "framework/inputmanager.h"
#include "graphics/shared/skel/win/menu.h"
#include "graphics/shared/skel/win/shellinput.h"
#include "physics/core/context/context.h"
#include "physics/core/pipeline/pipeline.h"

namespace {

PhysicsViewState gView;

// "RENDER MODE" has one name per value: the range ends at the last name.
const char* const kRenderModeNames[kPhysicsViewRenderModes] = {"FACES", "EDGES", "WORLD-EDGES", "ATOM-EDGES"};

constexpr int32_t kKeyPause = '.';
constexpr int32_t kKeyFirstDisplay = '=';
constexpr int32_t kKeyWireframe = 'w';
// Text cells: left-aligned, counted from one row below the top.
constexpr int32_t kTopLeft = 1 | 4;
// A pointer jump (a warp, a window re-entered) is not a drag.
constexpr float kLargestMouseDelta = 50.0f;
constexpr int32_t kIterationLimit = 5000;
constexpr int32_t kIterationStep = 20;

OlpPipeline* ViewPipeline()
{
    return gView.context != nullptr ? OlpContextGetPipeline(gView.context) : nullptr;
}

// Menu triggers: asked (1) they answer "available"; told (0) they pass the
// new limit on.
int32_t SetVelocityLimit(int32_t query)
{
    if (query == 0) {
        if (OlpPipeline* pipeline = ViewPipeline())
            OlpPipelineSetMaxVelIterations(pipeline, uint32_t(gView.maxVelIterations));
    }
    return 1;
}

int32_t SetPositionLimit(int32_t query)
{
    if (query == 0) {
        if (OlpPipeline* pipeline = ViewPipeline())
            OlpPipelineSetMaxPosIterations(pipeline, uint32_t(gView.maxPosIterations));
    }
    return 1;
}

void SetKeyBit(int32_t key, bool down)
{
    const uint32_t code = uint32_t(key) & 0xFF;
    const uint32_t bit = 1u << (code & 31);
    if (down)
        gView.keysDown[code >> 5] |= bit;
    else
        gView.keysDown[code >> 5] &= ~bit;
}

int32_t ModifierOf(int32_t key)
{
    if (key == kShellKeyLeftShift || key == kShellKeyRightShift)
        return kPhysicsViewShift;
    if (key == kShellKeyLeftControl || key == kShellKeyRightControl)
        return kPhysicsViewControl;
    return 0;
}

ShellEventResult KeyDown(int32_t key)
{
    switch (key) {
    case kKeyPause:
        gView.pause = !gView.pause;
        return ShellEventHandled;
    case kKeyFirstDisplay:
        gView.displayFlags[0] = !gView.displayFlags[0];
        return ShellEventHandled;
    case kKeyWireframe:
        gView.displayFlags[1] = gView.displayFlags[2] = !gView.displayFlags[1];
        return ShellEventHandled;
    default:
        break;
    }
    if (const int32_t bit = ModifierOf(key)) {
        gView.modifiers |= bit;
        return ShellEventHandled;
    }
    return ShellEventNotHandled;
}

ShellEventResult KeyUp(int32_t key)
{
    // Holding "." pauses; letting go resumes.
    if (key == kKeyPause) {
        gView.pause = !gView.pause;
        return ShellEventHandled;
    }
    if (const int32_t bit = ModifierOf(key)) {
        gView.modifiers &= ~bit;
        return ShellEventHandled;
    }
    return ShellEventNotHandled;
}

void MouseMove(float dx, float dy)
{
    if (std::sqrt(dx * dx + dy * dy) >= kLargestMouseDelta)
        dx = dy = 0.0f;
    // Only the left button ever sets the mode, so it is 0 or 1; the pan and
    // combined modes stay for buttons that may set higher bits.
    switch (gView.buttonMode) {
    case 0:
        break;
    case 1:
        gView.yawRate = dx * -0.5f;
        gView.pitchRate = dy * 0.5f;
        gView.rollRate = 0.0f;
        break;
    case 2:
        gView.pan[0] = dx * -0.1f;
        gView.pan[1] = 0.0f;
        gView.pan[2] = dy * -0.1f;
        break;
    default:
        gView.pitchRate = dy * 0.25f;
        gView.yawRate = dx * -0.25f;
        gView.pan[0] = dx * 0.1f;
        gView.pan[1] = dy * 0.1f;
        break;
    }
    gView.speedFactor = gView.modifiers == kPhysicsViewShift ? 1.0f : 0.8f;
}

// A stick axis squared, keeping its sign.
float Squared(float value)
{
    return value * std::fabs(value);
}

} // namespace

PhysicsViewState& PhysicsView()
{
    return gView;
}

void PhysicsViewReset()
{
    gView = PhysicsViewState{};
}

int32_t PhysicsViewAddMenu()
{
    int32_t added = 1;
    added &= MenuAddInt("RENDER MODE_M", &gView.renderMode, nullptr, 0, kPhysicsViewRenderModes - 1, 1,
                        kRenderModeNames);
    added &= MenuAddToggle("DRAW CONTACTS_C", &gView.drawContacts, nullptr);
    added &= MenuAddToggle("PAUSE_P", &gView.pause, nullptr);
    added &= MenuAddToggle("SINGLE STEP_S", &gView.singleStep, nullptr);
    added &= MenuAddToggle("SHOW ITER_I", &gView.showIterations, nullptr);
    added &= MenuAddInt("MAX VEL ITER", &gView.maxVelIterations, SetVelocityLimit, 0, kIterationLimit,
                        kIterationStep, nullptr);
    added &= MenuAddInt("MAX POS ITER", &gView.maxPosIterations, SetPositionLimit, 0, kIterationLimit,
                        kIterationStep, nullptr);
    return added;
}

void PhysicsViewReadLimits()
{
    if (const OlpPipeline* pipeline = ViewPipeline()) {
        gView.maxVelIterations = int32_t(pipeline->maxVelIterations);
        gView.maxPosIterations = int32_t(pipeline->maxPosIterations);
    }
}

ShellEventResult PhysicsViewKeyboardHandler(ShellEvent event, void* param)
{
    const auto* record = static_cast<const ShellKeyRecord*>(param);
    if (record == nullptr || (event != ShellEventKeyDown && event != ShellEventKeyUp))
        return ShellEventNotHandled;
    const bool down = event == ShellEventKeyDown;
    SetKeyBit(record->key, down);
    return down ? KeyDown(record->key) : KeyUp(record->key);
}

ShellEventResult PhysicsViewMouseHandler(ShellEvent event, void* param)
{
    switch (event) {
    case ShellEventLeftButtonDown:
        gView.buttonMode |= 1;
        return ShellEventHandled;
    case ShellEventLeftButtonUp:
        gView.buttonMode &= ~1;
        return ShellEventHandled;
    case ShellEventMouseMove: {
        const auto* mouse = static_cast<const ShellMouseRecord*>(param);
        if (mouse != nullptr)
            MouseMove(mouse->dx, mouse->dy);
        return ShellEventHandled;
    }
    default:
        return ShellEventNotHandled;
    }
}

ShellEventResult PhysicsViewPadHandler(ShellEvent event, void* param)
{
    if (event < ShellEventPadButtonDown || event > ShellEventReserved26)
        return ShellEventNotHandled;
    if (param == nullptr)
        return ShellEventNotHandled;
    switch (event) {
    case ShellEventPadButtonDown: {
        const uint32_t buttons = static_cast<const PadButtonRecord*>(param)->buttons;
        gView.padButtons |= buttons;
        if (buttons & kPhysicsViewPadDisplay)
            gView.displayFlags[1] = gView.displayFlags[2] = gView.displayFlags[0] = !gView.displayFlags[1];
        if (buttons & kPhysicsViewPadStep)
            gView.singleStep = 1;
        break;
    }
    case ShellEventPadButtonUp:
        gView.padButtons &= ~static_cast<const PadButtonRecord*>(param)->buttons;
        break;
    case ShellEventPadAnalogue: {
        const auto* stick = static_cast<const PadStickRecord*>(param);
        gView.leftStick[0] = -Squared(stick->x);
        gView.leftStick[1] = Squared(stick->y);
        gView.yawRate = -2.0f * gView.leftStick[0];
        gView.pitchRate = 2.0f * gView.leftStick[1];
        break;
    }
    case ShellEventReserved26: {
        const auto* stick = static_cast<const PadStickRecord*>(param);
        gView.rightStick[0] = -Squared(stick->x);
        gView.rightStick[1] = Squared(stick->y);
        break;
    }
    default:
        break;
    }
    return ShellEventHandled;
}

void PhysicsViewCountIterations(int32_t velocity, int32_t position)
{
    gView.periodMax[0] = velocity > gView.periodMax[0] ? velocity : gView.periodMax[0];
    gView.periodMax[1] = position > gView.periodMax[1] ? position : gView.periodMax[1];
    if (++gView.iterationFrame < kPhysicsViewIterationPeriod)
        return;
    gView.published[0] = gView.periodMax[0];
    gView.published[1] = gView.periodMax[1];
    gView.periodMax[0] = gView.periodMax[1] = 0;
    gView.iterationFrame = 0;
}

void PrintIterations(Raster* charset)
{
    if (const OlpPipeline* pipeline = ViewPipeline())
        PhysicsViewCountIterations(int32_t(OlpPipelineGetStatisticMaxB(pipeline)),
                                   int32_t(OlpPipelineGetStatisticMaxA(pipeline)));
    if (charset == nullptr)
        return;
    char line[32];
    std::snprintf(line, sizeof line, "VELI: %3d", gView.published[0]);
    ShellPrintAligned(charset, line, 0, 1, kTopLeft);
    std::snprintf(line, sizeof line, "POSI: %3d", gView.published[1]);
    ShellPrintAligned(charset, line, 0, 2, kTopLeft);
}
