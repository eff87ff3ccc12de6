#pragma once
// The physics viewer's controls: one view state over a physics context of
// its own, the overlay menu's entries on it, the keyboard, mouse and pad
// handlers that toggle options and set the view's turn and pan rates, and
// the display of the solver's iteration counts. Nothing in the demo's
// start-up installs them; the physics-viewer program does.
//
// Usage: PhysicsViewReset, set PhysicsView().context, MenuOpen then
// PhysicsViewAddMenu, attach the three handlers (after the menu's own), and
// each frame: step unless paused (a single step clears its request), apply
// and clear the rates, PrintIterations.
#include <cstdint>

#include "graphics/shared/skel/win/shellevent.h"

struct OlpContext;
struct Raster;

/// What the view draws ("RENDER MODE" values).
enum PhysicsViewRenderMode : int32_t
{
    kPhysicsViewFaces = 0,      ///< the models only
    kPhysicsViewEdges = 1,      ///< the models and every volume's edges
    kPhysicsViewWorldEdges = 2, ///< the models and the context's static volumes
    kPhysicsViewAtomEdges = 3,  ///< the models and the objects' volumes
    kPhysicsViewRenderModes = 4,
};

/// Modifier bits of the view state.
constexpr int32_t kPhysicsViewShift = 1;
constexpr int32_t kPhysicsViewControl = 2;
/// Pad buttons the viewer reads.
constexpr uint32_t kPhysicsViewPadDisplay = 0x100;
constexpr uint32_t kPhysicsViewPadStep = 0x200;
/// Frames over which the iteration maxima are gathered before they are shown.
constexpr int32_t kPhysicsViewIterationPeriod = 11;

struct PhysicsViewState
{
    OlpContext* context = nullptr;
    int32_t renderMode = kPhysicsViewFaces;
    int32_t drawContacts = 0;   ///< toggle
    int32_t pause = 0;          ///< toggle
    int32_t singleStep = 0;     ///< one step while paused; cleared by the step
    int32_t showIterations = 0; ///< toggle
    int32_t maxVelIterations = 300;
    int32_t maxPosIterations = 100;
    uint32_t keysDown[8] = {}; ///< one bit per key code
    /// 0: the sky dome is drawn, 1: the world's model, 2: the objects' models.
    int32_t displayFlags[3] = {1, 1, 1};
    int32_t modifiers = 0;  ///< kPhysicsViewShift, kPhysicsViewControl
    int32_t buttonMode = 0; ///< bit 0: left button held
    uint32_t padButtons = 0;
    float leftStick[2] = {}; ///< squared with their signs
    float rightStick[2] = {};
    float yawRate = 0.0f, pitchRate = 0.0f, rollRate = 0.0f; ///< degrees per frame
    float pan[3] = {};                                       ///< units per frame
    float speedFactor = 1.0f;
    // The iteration display: the largest per-frame counts of the running
    // period (velocity, position) and the last published ones.
    int32_t iterationFrame = 0;
    int32_t periodMax[2] = {};
    int32_t published[2] = {};
};

/// The viewer's one state.
PhysicsViewState& PhysicsView();
/// Every value back to its default (no context).
void PhysicsViewReset();

/// The seven menu entries on the state; 1 when all were added.
int32_t PhysicsViewAddMenu();
/// Takes the solver's iteration limits from the context's pipeline into the
/// menu's values (after the context is set).
void PhysicsViewReadLimits();

/// Keyboard events 19 and 20: 1 for the keys the viewer uses, else 2.
ShellEventResult PhysicsViewKeyboardHandler(ShellEvent event, void* param);
/// Mouse events 5, 6 and 7 (others: 2): the left button and the view rates.
ShellEventResult PhysicsViewMouseHandler(ShellEvent event, void* param);
/// Pad events 22 to 26 (others: 2): buttons and the two sticks.
ShellEventResult PhysicsViewPadHandler(ShellEvent event, void* param);

/// One frame's iteration counts (velocity and position pass) into the
/// running maxima; every kPhysicsViewIterationPeriod-th frame publishes
/// them and starts a new period.
void PhysicsViewCountIterations(int32_t velocity, int32_t position);
/// Counts the context pipeline's last step and prints "VELI: %3d" and
/// "POSI: %3d" on text rows 1 and 2 with `charset` (nothing printed
/// without one).
void PrintIterations(Raster* charset);
