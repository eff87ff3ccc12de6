// The physics viewer's menu, key, mouse and pad handling and its iteration
// display, on the view state alone (and one small context for the menu's
// iteration limits).
#include <gtest/gtest.h>

#include <string>

#include "demo/physicsviewer.h"
#include "framework/inputmanager.h"
#include "graphics/core/tests/mathstesting.h"
#include "graphics/shared/skel/win/menu.h"
#include "graphics/shared/skel/win/shellinput.h"
#include "physics/core/pipeline/pipeline.h"
#include "physics/core/pipeline/scenes/scenes.h"

namespace {

class PhysicsViewer : public ::testing::Test
{
  protected:
    void SetUp() override { PhysicsViewReset(); }
    void TearDown() override
    {
        MenuClose();
        PhysicsViewReset();
    }
    static ShellEventResult Key(int32_t key, bool down)
    {
        ShellKeyRecord record{0, key};
        return PhysicsViewKeyboardHandler(down ? ShellEventKeyDown : ShellEventKeyUp, &record);
    }
    static ShellEventResult Move(float dx, float dy)
    {
        ShellMouseRecord record{100.0f, 100.0f, dx, dy, 0, 0};
        return PhysicsViewMouseHandler(ShellEventMouseMove, &record);
    }
    static ShellEventResult MenuKey(int32_t key)
    {
        ShellKeyRecord record{0, key};
        return MenuKeyboardHandler(ShellEventKeyDown, &record);
    }
    PhysicsViewState& view = PhysicsView();
};

TEST_F(PhysicsViewer, MenuHasItsSevenEntriesAndRenderModeStopsAtItsLastName)
{
    ASSERT_EQ(PhysicsViewAddMenu(), 1);
    const char* const labels[] = {"RENDER MODE", "DRAW CONTACTS", "PAUSE",       "SINGLE STEP",
                                  "SHOW ITER",   "MAX VEL ITER",  "MAX POS ITER"};
    const int32_t shortcuts[] = {'M', 'C', 'P', 'S', 'I', 0, 0};
    ASSERT_EQ(MenuEntryCount(), 7);
    for (int32_t i = 0; i < 7; ++i) {
        EXPECT_STREQ(MenuEntryLabel(i), labels[i]);
        EXPECT_EQ(MenuEntryShortcut(i), shortcuts[i]) << labels[i];
    }
    // Four names, four values: the last one is named and one more wraps to the first.
    view.renderMode = kPhysicsViewAtomEdges;
    EXPECT_NE(MenuEntryText(0).find("ATOM-EDGES"), std::string::npos) << MenuEntryText(0);
    MenuSetMode(kMenuShown);
    ASSERT_EQ(MenuCurrentEntry(), 0);
    EXPECT_EQ(MenuKey(kShellKeyRight), ShellEventHandled);
    EXPECT_EQ(view.renderMode, kPhysicsViewFaces);
    // The toggles' shortcuts.
    MenuKey('p');
    MenuKey('c');
    EXPECT_EQ(view.pause, 1);
    EXPECT_EQ(view.drawContacts, 1);
}

class PhysicsViewerLimits : public StartedEngineTest
{
  protected:
    void TearDown() override
    {
        MenuClose();
        PhysicsViewReset();
        scene.reset();
        StartedEngineTest::TearDown();
    }
    std::unique_ptr<PipelineScene> scene;
};

TEST_F(PhysicsViewerLimits, IterationLimitsGoToThePipeline)
{
    scene = std::make_unique<PipelineScene>(2);
    ASSERT_NE(scene->context, nullptr);
    PhysicsViewReset();
    PhysicsView().context = scene->context;
    PhysicsViewReadLimits();
    EXPECT_EQ(PhysicsView().maxVelIterations, int32_t(scene->pipeline->maxVelIterations));
    EXPECT_EQ(PhysicsView().maxPosIterations, int32_t(scene->pipeline->maxPosIterations));
    ASSERT_EQ(PhysicsViewAddMenu(), 1);
    MenuSetMode(kMenuShown);
    ShellKeyRecord down{0, kShellKeyDown}, right{0, kShellKeyRight}, left{0, kShellKeyLeft};
    for (int i = 0; i < 5; ++i)
        MenuKeyboardHandler(ShellEventKeyDown, &down);
    ASSERT_EQ(MenuCurrentEntry(), 5);
    MenuKeyboardHandler(ShellEventKeyDown, &right);
    EXPECT_EQ(scene->pipeline->maxVelIterations, 320u);
    MenuKeyboardHandler(ShellEventKeyDown, &down);
    MenuKeyboardHandler(ShellEventKeyDown, &left);
    EXPECT_EQ(scene->pipeline->maxPosIterations, 80u);
    EXPECT_EQ(scene->pipeline->maxVelIterations, 320u);
}

TEST_F(PhysicsViewer, KeysToggleAndReleasePause)
{
    // "." pauses while held: down then up leaves pause as it was.
    for (int32_t before : {0, 1}) {
        view.pause = before;
        EXPECT_EQ(Key('.', true), ShellEventHandled);
        EXPECT_EQ(view.pause, !before);
        EXPECT_EQ(Key('.', false), ShellEventHandled);
        EXPECT_EQ(view.pause, before);
    }
    EXPECT_EQ(Key('=', true), ShellEventHandled);
    EXPECT_EQ(view.displayFlags[0], 0);
    view.displayFlags[2] = 0;
    EXPECT_EQ(Key('w', true), ShellEventHandled);
    EXPECT_EQ(view.displayFlags[1], 0);
    EXPECT_EQ(view.displayFlags[2], 0) << "both take the negation of the second";
    Key('w', true);
    EXPECT_EQ(view.displayFlags[1], 1);
    EXPECT_EQ(view.displayFlags[2], 1);
    // Modifiers: shift bit 0, control bit 1, either key of each.
    EXPECT_EQ(Key(kShellKeyRightShift, true), ShellEventHandled);
    EXPECT_EQ(Key(kShellKeyLeftControl, true), ShellEventHandled);
    EXPECT_EQ(view.modifiers, kPhysicsViewShift | kPhysicsViewControl);
    Key(kShellKeyLeftControl, false);
    EXPECT_EQ(view.modifiers, kPhysicsViewShift);
    // Other keys are left to others, but the key-down set records them.
    EXPECT_EQ(Key('q', true), ShellEventNotHandled);
    EXPECT_NE(view.keysDown['q' >> 5] & (1u << ('q' & 31)), 0u);
    EXPECT_EQ(Key('q', false), ShellEventNotHandled);
    EXPECT_EQ(view.keysDown['q' >> 5] & (1u << ('q' & 31)), 0u);
    EXPECT_EQ(Key('=', false), ShellEventNotHandled);
}

TEST_F(PhysicsViewer, MouseDragTurnsTheViewAndIgnoresJumps)
{
    EXPECT_EQ(Move(10.0f, 4.0f), ShellEventHandled);
    EXPECT_EQ(view.yawRate, 0.0f) << "no button, no turn";
    EXPECT_EQ(PhysicsViewMouseHandler(ShellEventLeftButtonDown, nullptr), ShellEventHandled);
    EXPECT_EQ(view.buttonMode, 1);
    const struct
    {
        float dx, dy, yaw, pitch;
    } cases[] = {{10.0f, 4.0f, -5.0f, 2.0f}, {30.0f, 40.0f, 0.0f, 0.0f}, {-29.0f, 40.0f, 14.5f, 20.0f}};
    for (const auto& c : cases) {
        Move(c.dx, c.dy);
        EXPECT_FLOAT_EQ(view.yawRate, c.yaw) << c.dx << ", " << c.dy;
        EXPECT_FLOAT_EQ(view.pitchRate, c.pitch) << c.dx << ", " << c.dy;
        EXPECT_EQ(view.rollRate, 0.0f);
    }
    // Speed: 1.0 with shift alone, 0.8 otherwise.
    const struct
    {
        int32_t modifiers;
        float factor;
    } speeds[] = {{kPhysicsViewShift, 1.0f},
                  {0, 0.8f},
                  {kPhysicsViewShift | kPhysicsViewControl, 0.8f},
                  {kPhysicsViewControl, 0.8f}};
    for (const auto& s : speeds) {
        view.modifiers = s.modifiers;
        Move(1.0f, 1.0f);
        EXPECT_FLOAT_EQ(view.speedFactor, s.factor) << s.modifiers;
    }
    PhysicsViewMouseHandler(ShellEventLeftButtonUp, nullptr);
    EXPECT_EQ(view.buttonMode, 0);
    int32_t wheel = 1;
    EXPECT_EQ(PhysicsViewMouseHandler(ShellEventMouseWheel, &wheel), ShellEventNotHandled);
}

TEST_F(PhysicsViewer, PadButtonsAndSticks)
{
    PadButtonRecord buttons{{0, 0}, kPhysicsViewPadDisplay | kPhysicsViewPadStep | 1};
    EXPECT_EQ(PhysicsViewPadHandler(ShellEventPadButtonDown, &buttons), ShellEventHandled);
    EXPECT_EQ(view.padButtons, kPhysicsViewPadDisplay | kPhysicsViewPadStep | 1u);
    EXPECT_EQ(view.displayFlags[0], 0);
    EXPECT_EQ(view.displayFlags[1], 0);
    EXPECT_EQ(view.displayFlags[2], 0);
    EXPECT_EQ(view.singleStep, 1);
    PadButtonRecord released{{0, 0}, 1};
    PhysicsViewPadHandler(ShellEventPadButtonUp, &released);
    EXPECT_EQ(view.padButtons, kPhysicsViewPadDisplay | kPhysicsViewPadStep);

    PadStickRecord left{0.5f, -0.5f};
    EXPECT_EQ(PhysicsViewPadHandler(ShellEventPadAnalogue, &left), ShellEventHandled);
    EXPECT_FLOAT_EQ(view.leftStick[0], -0.25f);
    EXPECT_FLOAT_EQ(view.leftStick[1], -0.25f);
    EXPECT_FLOAT_EQ(view.yawRate, 0.5f);
    EXPECT_FLOAT_EQ(view.pitchRate, -0.5f);
    PadStickRecord right{-1.0f, 0.5f};
    EXPECT_EQ(PhysicsViewPadHandler(ShellEventReserved26, &right), ShellEventHandled);
    EXPECT_FLOAT_EQ(view.rightStick[0], 1.0f);
    EXPECT_FLOAT_EQ(view.rightStick[1], 0.25f);
    EXPECT_EQ(PhysicsViewPadHandler(ShellEventKeyDown, &buttons), ShellEventNotHandled);
    EXPECT_EQ(PhysicsViewPadHandler(ShellEventReserved27, &buttons), ShellEventNotHandled);
}

TEST_F(PhysicsViewer, IterationMaximaArePublishedEveryEleventhFrame)
{
    // Frames 1 to 10 gather, frame 11 publishes the largest and starts again.
    for (int32_t frame = 1; frame <= 10; ++frame) {
        PhysicsViewCountIterations(frame == 4 ? 70 : 5, frame == 7 ? 30 : 2);
        EXPECT_EQ(view.published[0], 0) << frame;
    }
    PhysicsViewCountIterations(1, 1);
    EXPECT_EQ(view.published[0], 70);
    EXPECT_EQ(view.published[1], 30);
    for (int32_t frame = 1; frame <= 10; ++frame)
        PhysicsViewCountIterations(3, 4);
    EXPECT_EQ(view.published[0], 70) << "held until the next period ends";
    PhysicsViewCountIterations(3, 4);
    EXPECT_EQ(view.published[0], 3);
    EXPECT_EQ(view.published[1], 4);
}

} // namespace

// The menu's library carries the shell's dispatcher, which asks the program.
ShellEventResult AppEventHandler(ShellEvent, void*)
{
    return ShellEventNotHandled;
}
