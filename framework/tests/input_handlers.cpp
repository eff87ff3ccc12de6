// The input manager's key table, mouse and pad handlers and its "Input"
// section.
#include <gtest/gtest.h>

#include <string>

#include "framework/inputmanager.h"
#include "framework/testing/configbuilder.h"
#include "framework/tests/frameworktesting.h"
#include "graphics/shared/skel/win/shellinput.h"

namespace {

class InputTest : public FrameworkTest
{
  protected:
    static ShellEventResult Key(ShellEvent event, int32_t key)
    {
        ShellKeyRecord record{0, key};
        return CInputManager::KeyboardHandler(event, &record);
    }
    static ShellEventResult Down(int32_t key) { return Key(ShellEventKeyDown, key); }
    static ShellEventResult Up(int32_t key) { return Key(ShellEventKeyUp, key); }
    static ShellEventResult Pad(ShellEvent event, uint32_t buttons)
    {
        PadButtonRecord record{{0, 0}, buttons};
        return CInputManager::PadHandler(event, &record);
    }
    static CInputManager* Input() { return CInputManager::Instance(); }
};

TEST_F(InputTest, OpposingKeysOnOneAxis)
{
    EXPECT_EQ(Down(kShellKeyUp), ShellEventHandled);
    EXPECT_EQ(Input()->GetForward(), 1.0f);
    Down(kShellKeyDown);
    EXPECT_EQ(Input()->GetForward(), -1.0f);
    EXPECT_EQ(Up(kShellKeyUp), ShellEventHandled) << "answered although the axis stays";
    EXPECT_EQ(Input()->GetForward(), -1.0f);
    Up(kShellKeyDown);
    EXPECT_EQ(Input()->GetForward(), 0.0f);

    Down('z');
    Down('x');
    Down('z');
    Up('x');
    EXPECT_EQ(Input()->GetTurn(), 1.0f) << "releasing x while z is held";
    Down(kShellKeyLeft);
    EXPECT_EQ(Input()->GetSide(), 1.0f);
    Down(kShellKeyRight);
    EXPECT_EQ(Input()->GetSide(), -1.0f);
}

TEST_F(InputTest, PressesLatchUntilRead)
{
    EXPECT_EQ(Down(kShellKeyPad0), ShellEventHandled);
    EXPECT_EQ(Up(kShellKeyPad0), ShellEventNotHandled);
    EXPECT_TRUE(Input()->TakeKeypad0());
    EXPECT_FALSE(Input()->TakeKeypad0());

    Down('c');
    EXPECT_EQ(Up('c'), ShellEventNotHandled);
    EXPECT_TRUE(Input()->TakeCameraSwitch());
    EXPECT_FALSE(Input()->TakeCameraSwitch());

    Down(kShellKeyF1 + 11);
    EXPECT_EQ(Up(kShellKeyF1 + 11), ShellEventNotHandled);
    EXPECT_FALSE(Input()->TakeFunctionKey(1));
    EXPECT_TRUE(Input()->TakeFunctionKey(12));
    EXPECT_FALSE(Input()->TakeFunctionKey(13));

    Down(kShellKeyTab);
    EXPECT_EQ(Up(kShellKeyTab), ShellEventNotHandled);
    EXPECT_TRUE(Input()->TakeTab()) << "a tap between two frames counts once";
    EXPECT_FALSE(Input()->TakeTab());

    const struct
    {
        int32_t key;
        bool (CInputManager::*held)() const;
    } held[] = {
        {' ', &CInputManager::IsSpaceHeld},
        {kShellKeyLeftControl, &CInputManager::IsLeftControlHeld},
        {kShellKeyLeftShift, &CInputManager::IsLeftShiftHeld},
        {kShellKeyRightShift, &CInputManager::IsRightShiftHeld},
    };
    for (const auto& h : held) {
        Down(h.key);
        EXPECT_TRUE((Input()->*h.held)()) << h.key;
        Up(h.key);
        EXPECT_FALSE((Input()->*h.held)()) << h.key;
    }
    EXPECT_EQ(Down('q'), ShellEventNotHandled);
    EXPECT_EQ(CInputManager::KeyboardHandler(ShellEventMouseMove, nullptr), ShellEventNotHandled);
}

TEST_F(InputTest, MouseMovesInFirstPersonAreMeasuredFromTheCentre)
{
    const char* windowMouse[] = {"Value", "1", nullptr};
    ASSERT_TRUE(Input()->OnStart("MouseMode", windowMouse));
    Input()->SetCameraState(true, CInputManager::kCameraFps, 800, 600);
    ShellMouseRecord move{400, 300, 5, 7, 0, 0};
    EXPECT_EQ(CInputManager::MouseHandler(ShellEventMouseMove, &move), ShellEventHandled);
    float dx = 1, dy = 1, x = 0, y = 0;
    Input()->TakeMouseDelta(&dx, &dy);
    Input()->GetPointerPosition(&x, &y);
    EXPECT_EQ(dx, 0.0f);
    EXPECT_EQ(dy, 0.0f);
    EXPECT_EQ(x, 400.0f);
    EXPECT_EQ(y, 300.0f);

    Input()->SetCameraState(true, CInputManager::kCameraFree, 800, 600);
    CInputManager::MouseHandler(ShellEventMouseMove, &move);
    Input()->TakeMouseDelta(&dx, &dy);
    EXPECT_EQ(dx, 5.0f) << "other modes take the move's own delta";
    Input()->TakeMouseDelta(&dx, &dy);
    EXPECT_EQ(dx, 0.0f) << "taking clears";

    EXPECT_EQ(CInputManager::MouseHandler(ShellEventLeftButtonDown, &move), ShellEventHandled);
    EXPECT_TRUE(Input()->IsLeftButtonHeld());
    CInputManager::MouseHandler(ShellEventLeftButtonUp, &move);
    EXPECT_FALSE(Input()->IsLeftButtonHeld());
    EXPECT_EQ(CInputManager::MouseHandler(ShellEventMouseWheel, &move), ShellEventNotHandled);
}

TEST_F(InputTest, ClickLastsOneFrame)
{
    const char* windowMouse[] = {"Value", "1", nullptr};
    ASSERT_TRUE(Input()->OnStart("MouseMode", windowMouse));
    ShellMouseRecord at{10, 10, 0, 0, 0, 0};
    CInputManager::MouseHandler(ShellEventLeftButtonDown, &at);
    CInputManager::MouseHandler(ShellEventLeftButtonUp, &at);
    EXPECT_FALSE(Input()->IsClicked()) << "a click belongs to the next frame";
    Input()->Update(0.02f);
    EXPECT_TRUE(Input()->IsClicked()) << "pressed and released between two frames";
    Input()->Update(0.02f);
    EXPECT_FALSE(Input()->IsClicked());
    CInputManager::MouseHandler(ShellEventRightButtonDown, &at);
    Input()->Update(0.02f);
    EXPECT_FALSE(Input()->IsClicked()) << "only the left button clicks";
}

TEST_F(InputTest, DirectInputModeLeavesWindowMouseMessages)
{
    ShellMouseRecord move{10, 10, 1, 1, 0, 0};
    EXPECT_EQ(Input()->GetMouseMode(), 0);
    EXPECT_EQ(CInputManager::MouseHandler(ShellEventLeftButtonDown, &move), ShellEventNotHandled);
    EXPECT_FALSE(Input()->IsLeftButtonHeld());
}

TEST_F(InputTest, PadStickAndButtons)
{
    PadStickRecord stick{0.59f, -0.7f};
    EXPECT_EQ(CInputManager::PadHandler(ShellEventReserved26, &stick), ShellEventHandled);
    EXPECT_EQ(Input()->GetSide(), 0.0f);
    EXPECT_EQ(Input()->GetForward(), -0.7f);

    Input()->SetCameraState(true, CInputManager::kCameraFree, 640, 480);
    EXPECT_EQ(Pad(ShellEventPadButtonDown, 0x4 | 0x1), ShellEventHandled); // bit 2 decides
    float dx = 0, dy = 0;
    EXPECT_TRUE(Input()->IsLeftButtonHeld());
    EXPECT_EQ(Pad(ShellEventPadButtonUp, 0x4), ShellEventHandled);
    EXPECT_FALSE(Input()->IsLeftButtonHeld());
    Input()->TakeMouseDelta(&dx, &dy);
    EXPECT_EQ(dy, 0.0f);

    Input()->SetCameraState(true, 2, 640, 480);
    Pad(ShellEventPadButtonDown, 0x8);
    Input()->TakeMouseDelta(&dx, &dy);
    EXPECT_EQ(dy, -2.0f);

    Input()->SetCameraState(true, CInputManager::kCameraFps, 640, 480);
    EXPECT_EQ(Pad(ShellEventPadButtonDown, 0x40), ShellEventHandled) << "answered though nothing moves";
    EXPECT_FALSE(Input()->IsRightButtonHeld());
    Pad(ShellEventPadButtonDown, 0x400);
    EXPECT_TRUE(Input()->TakeCameraSwitch());
    EXPECT_EQ(Pad(ShellEventPadButtonDown, 0), ShellEventNotHandled);

    PadTurnRecord turn{0.5f, 1.0f};
    CInputManager::PadHandler(ShellEventPadAnalogue, &turn);
    EXPECT_EQ(Input()->GetTurn(), 0.5f);
    Input()->TakeMouseDelta(&dx, &dy);
    EXPECT_FLOAT_EQ(dy, 2.2f);
}

TEST_F(InputTest, InputSection)
{
    const char* missing[] = {"value", "1", nullptr};
    EXPECT_FALSE(Input()->OnStart("MouseMode", missing));
    EXPECT_TRUE(Boxes().empty());
    EXPECT_TRUE(Input()->OnStart("Other", missing));

    ConfigBuilder config;
    config.Open("Config")
        .Open("Input")
        .Element("MouseMode", {{"Value", "2"}})
        .Close()
        .Element("Scale", {{"value", "3"}});
    const std::string path = WriteFile("config.xml", config.Text());
    RecordingApplication app(path.c_str());
    app.LoadConfiguration();
    EXPECT_EQ(Input()->GetMouseMode(), 2);
    EXPECT_EQ(app.GetScale(), 3.0f);
}

} // namespace
