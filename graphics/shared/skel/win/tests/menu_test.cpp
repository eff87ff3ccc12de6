// The overlay's menu logic, keys, mouse, colours and text placement.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "graphics/shared/skel/win/menu.h"
#include "graphics/shared/skel/win/menuinternal.h"
#include "graphics/shared/skel/win/shellinput.h"

namespace {

class Menu : public ::testing::Test
{
  protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }
    static void Reset()
    {
        MenuFreeEntries();
        HelpClear();
        MenuGetState().mode = kMenuHidden;
        MenuGetState().modeBeforeHelp = kMenuHidden;
        MenuGetState().padTurnKey = MenuGetState().padPitchKey = 0;
        ShellResetInputDevices();
    }
    static ShellEventResult Key(int32_t key, bool down = true)
    {
        ShellKeyRecord record{0, key};
        return MenuKeyboardHandler(down ? ShellEventKeyDown : ShellEventKeyUp, &record);
    }
    static ShellEventResult Wheel(bool forward)
    {
        int32_t flag = forward ? 1 : 0;
        return MenuMouseHandler(ShellEventMouseWheel, &flag);
    }
};

TEST_F(Menu, LabelsLoseTheirShortcutEnding)
{
    int32_t a = 0, b = 0, c = 0, d = 0, e = 0;
    // Literal labels: the menu keeps its own copies and never writes into them.
    ASSERT_EQ(MenuAddToggle("RENDER MODE_M", &a, nullptr), 1);
    ASSERT_EQ(MenuAddInt("SPEEDF5", &b, nullptr, 0, 3, 1, nullptr), 1);
    ASSERT_EQ(MenuAddToggle("GRID_g", &c, nullptr), 1);
    ASSERT_EQ(MenuAddToggle("F0", &d, nullptr), 1);
    ASSERT_EQ(MenuAddToggle("X", &e, nullptr), 1);
    const struct
    {
        const char* label;
        int32_t shortcut;
    } expected[] = {{"RENDER MODE", 'M'}, {"SPEED", 0x85}, {"GRID", 'g'}, {"F0", 0}, {"X", 0}};
    ASSERT_EQ(MenuEntryCount(), 5);
    for (int32_t i = 0; i < 5; ++i) {
        EXPECT_STREQ(MenuEntryLabel(i), expected[i].label);
        EXPECT_EQ(MenuEntryShortcut(i), expected[i].shortcut);
    }
    // Shortcuts: the key is made upper case, so "M" works from m; "g" never matches.
    EXPECT_EQ(Key('m'), ShellEventHandled);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(Key(0x85), ShellEventHandled);
    EXPECT_EQ(b, 1);
    EXPECT_EQ(Key('g'), ShellEventNotHandled);
    EXPECT_EQ(c, 0);
    EXPECT_EQ(MenuCurrentEntry(), 0) << "a shortcut does not change the current entry";
}

TEST_F(Menu, AddsRefuseBadArguments)
{
    int32_t v = 0;
    float f = 0;
    const char* names[] = {"zero", nullptr, "two"};
    EXPECT_EQ(MenuAddToggle(nullptr, &v, nullptr), 0);
    EXPECT_EQ(MenuAddToggle("t", nullptr, nullptr), 0);
    EXPECT_EQ(MenuAddInt("i", &v, nullptr, 3, 2, 1, nullptr), 0);
    EXPECT_EQ(MenuAddInt("i", &v, nullptr, 0, 2, 1, names), 0) << "a missing value name";
    EXPECT_EQ(MenuAddFloat("f", &f, nullptr, 1.0f, 0.0f, 0.1f), 0);
    EXPECT_EQ(MenuAddFloat("f", &f, nullptr, NAN, 1.0f, 0.1f), 0);
    EXPECT_EQ(MenuAddText(nullptr, nullptr), 0);
    EXPECT_EQ(MenuEntryCount(), 0);
    EXPECT_EQ(MenuAddSeparator(), 1);
}

TEST_F(Menu, StepsWrapForWholeNumbersAndClampForFractions)
{
    int32_t whole = 3;
    float fraction = 0.9f;
    int32_t changes = 0;
    static int32_t* counter = nullptr;
    counter = &changes;
    MenuAddInt(
        "WHOLE", &whole, [](int32_t query) { return query == 0 ? ++*counter : 1; }, 1, 3, 1, nullptr);
    MenuAddFloat("FRACTION", &fraction, nullptr, 0.0f, 1.0f, 0.25f);
    MenuSetMode(kMenuShown);
    EXPECT_EQ(Key(kShellKeyRight), ShellEventHandled);
    EXPECT_EQ(whole, 1) << "past the maximum wraps to the minimum";
    EXPECT_EQ(Key(kShellKeyLeft), ShellEventHandled);
    EXPECT_EQ(whole, 3);
    EXPECT_EQ(changes, 2) << "the trigger hears of each change";
    EXPECT_EQ(Key(kShellKeyDown), ShellEventHandled);
    EXPECT_EQ(MenuCurrentEntry(), 1);
    Key(kShellKeyRight);
    EXPECT_FLOAT_EQ(fraction, 1.0f) << "clamped, no wrap";
    Key(kShellKeyRight);
    EXPECT_FLOAT_EQ(fraction, 1.0f);
    Key(kShellKeyLeft);
    EXPECT_FLOAT_EQ(fraction, 0.75f);
    EXPECT_EQ(Key('q'), ShellEventNotHandled);
}

TEST_F(Menu, MovingSkipsSeparatorsAndUnavailableEntriesAndStopsAtTheEnds)
{
    int32_t a = 0, b = 0, c = 0;
    MenuAddToggle("A", &a, nullptr);
    MenuAddSeparator();
    MenuAddToggle("B", &b, [](int32_t query) { return query == 1 ? 0 : 1; }); // never available
    MenuAddToggle("C", &c, nullptr);
    MenuSetMode(kMenuShown);
    EXPECT_EQ(MenuCurrentEntry(), 0) << "the oldest entry is current";
    Key(kShellKeyDown);
    EXPECT_EQ(MenuCurrentEntry(), 3);
    Key(kShellKeyDown);
    EXPECT_EQ(MenuCurrentEntry(), 3) << "no wrap at the end";
    Key(kShellKeyUp);
    EXPECT_EQ(MenuCurrentEntry(), 0);
    Key(kShellKeyUp);
    EXPECT_EQ(MenuCurrentEntry(), 0) << "no wrap at the start";
    Wheel(false);
    EXPECT_EQ(MenuCurrentEntry(), 3) << "the wheel moves too";
    EXPECT_TRUE(MenuSelect(&a));
    EXPECT_EQ(MenuCurrentEntry(), 0);
    EXPECT_TRUE(MenuRemove(&a));
    EXPECT_EQ(MenuEntryCount(), 3);
    EXPECT_FALSE(MenuRemove(&a));
}

TEST_F(Menu, ButtonsFollowTheirKey)
{
    int32_t pressed = 0;
    MenuAddButton("FIRE_F", &pressed, nullptr);
    MenuSetMode(kMenuShown);
    Key('f');
    EXPECT_EQ(pressed, 1);
    Key('f', false);
    EXPECT_EQ(pressed, 0);
    Key(kShellKeyRight);
    EXPECT_EQ(pressed, 1);
    EXPECT_EQ(Key(kShellKeyRight, false), ShellEventHandled);
    EXPECT_EQ(pressed, 0);
}

TEST_F(Menu, ModesAndHelp)
{
    EXPECT_EQ(MenuSetMode(kMenuShown), 1);
    EXPECT_EQ(MenuGetMode(), kMenuHelp) << "the menu without entries shows the help";
    EXPECT_EQ(MenuSetMode(3), 0);
    EXPECT_EQ(MenuSetMode(-1), 0);
    MenuSetMode(kMenuHidden);
    EXPECT_EQ(Key(kShellKeyDown), ShellEventNotHandled) << "hidden: the keys are the application's";
    int32_t v = 0;
    MenuAddToggle("V", &v, nullptr);
    EXPECT_EQ(Key(' '), ShellEventHandled);
    EXPECT_EQ(MenuGetMode(), kMenuShown);
    MenuToggleHelp();
    EXPECT_EQ(MenuGetMode(), kMenuHelp);
    MenuToggleHelp();
    EXPECT_EQ(MenuGetMode(), kMenuShown) << "back to where it was";
    Key(' ');
    EXPECT_EQ(MenuGetMode(), kMenuHelp);
    Key(' ');
    EXPECT_EQ(MenuGetMode(), kMenuHidden);
}

TEST_F(Menu, HelpScrollsByKeysAndWheelNeverBelowTheTop)
{
    MenuGetState().help.assign(50, "line");
    HelpSetVisibleLines(12);
    MenuSetMode(kMenuHelp);
    Key(kShellKeyDown);
    EXPECT_EQ(HelpFirstLine(), 1);
    Key(kShellKeyPageDown);
    EXPECT_EQ(HelpFirstLine(), 11);
    Key(kShellKeyPageUp);
    Key(kShellKeyPageUp);
    EXPECT_EQ(HelpFirstLine(), 0);
    Key(kShellKeyUp);
    EXPECT_EQ(HelpFirstLine(), 0);
    Wheel(false);
    EXPECT_EQ(HelpFirstLine(), 2);
    Wheel(true);
    Wheel(true);
    EXPECT_EQ(HelpFirstLine(), 0);
    EXPECT_EQ(MenuMouseHandler(ShellEventLeftButtonDown, nullptr), ShellEventHandled);
}

TEST_F(Menu, DraggingAFraction)
{
    float f = 0.5f;
    MenuAddFloat("F", &f, nullptr, 0.0f, 2.0f, 0.1f);
    MenuSetMode(kMenuShown);
    ShellMouseRecord move{0, 0, 10, -30, 0, 0};
    EXPECT_EQ(MenuMouseHandler(ShellEventMouseMove, &move), ShellEventHandled);
    EXPECT_FLOAT_EQ(f, 0.5f) << "not dragging yet";
    ShellMouseRecord press{};
    MenuMouseHandler(ShellEventLeftButtonDown, &press);
    MenuMouseHandler(ShellEventMouseMove, &move);
    EXPECT_FLOAT_EQ(f, 0.5f + 30 * 0.002f * 2.0f) << "dy reversed is the larger";
    MenuMouseHandler(ShellEventLeftButtonUp, nullptr);
    MenuMouseHandler(ShellEventMouseMove, &move);
    EXPECT_FLOAT_EQ(f, 0.62f);
}

TEST_F(Menu, EntryTexts)
{
    int32_t on = 1, mode = 1;
    float speed = 0.5f;
    const char* names[] = {"Wire", "Solid", "Both"};
    MenuAddToggle("LIGHTS_L", &on, nullptr);
    MenuAddInt("RENDER", &mode, nullptr, 0, 2, 1, names);
    MenuAddFloat("SPEEDF5", &speed, nullptr, 0.0f, 10.0f, 0.5f);
    MenuAddText("ABOUT", nullptr);
    // Label padded to the widest one, a shortcut column of five, the value.
    EXPECT_EQ(MenuEntryText(0), "LIGHTS[L]   On   < ");
    EXPECT_EQ(MenuEntryText(1), "RENDER     Solid");
    EXPECT_EQ(MenuEntryText(2), "SPEED [F5] 0.50 ");
    EXPECT_EQ(MenuEntryText(3), "ABOUT      ");
}

// A pad script played through the shell's pad device: buttons and the
// analogue turn drive the menu and the help as the keys they stand for.
TEST_F(Menu, PadScriptDrivesTheMenuAndTheHelp)
{
    int32_t toggle = 0, whole = 1, fire = 0, lights = 0;
    MenuAddToggle("TOGGLE", &toggle, nullptr);
    MenuAddInt("WHOLE", &whole, nullptr, 1, 3, 1, nullptr);
    MenuAddButton("FIRE", &fire, nullptr);
    MenuAddToggle("LIGHTSF1", &lights, nullptr);
    MenuGetState().help.assign(50, "line");
    HelpSetVisibleLines(12);
    ASSERT_EQ(ShellAttachInputDevice(ShellDevicePad, MenuPadHandler), 1);

    enum Kind
    {
        kDown,
        kUp,
        kAxes
    };
    struct Step
    {
        const char* what;
        Kind kind;
        uint32_t buttons;
        float turn, pitch;
        ShellEventResult answer;
        int32_t mode, current, toggle, whole, fire, lights, helpLine;
    };
    const Step script[] = {
        {"hidden: the pad is the game's", kDown, kPadDown, 0, 0, ShellEventNotHandled, kMenuHidden, 0, 0, 1,
         0, 0, 0},
        {"select shows the menu", kDown, kPadSelect, 0, 0, ShellEventHandled, kMenuShown, 0, 0, 1, 0, 0, 0},
        {"its release is unused", kUp, kPadSelect, 0, 0, ShellEventNotHandled, kMenuShown, 0, 0, 1, 0, 0, 0},
        {"right changes the toggle", kDown, kPadRight, 0, 0, ShellEventHandled, kMenuShown, 0, 1, 1, 0, 0, 0},
        {"down moves on", kDown, kPadDown, 0, 0, ShellEventHandled, kMenuShown, 1, 1, 1, 0, 0, 0},
        {"stick pushed down: one more", kAxes, 0, 0, 0.8f, ShellEventHandled, kMenuShown, 2, 1, 1, 0, 0, 0},
        {"held down: no repeat", kAxes, 0, 0, 0.9f, ShellEventNotHandled, kMenuShown, 2, 1, 1, 0, 0, 0},
        {"back in the rest zone", kAxes, 0, 0, 0.3f, ShellEventNotHandled, kMenuShown, 2, 1, 1, 0, 0, 0},
        {"stick up", kAxes, 0, 0.1f, -0.6f, ShellEventHandled, kMenuShown, 1, 1, 1, 0, 0, 0},
        {"turned left: whole 1 wraps to 3", kAxes, 0, 0.7f, 0, ShellEventHandled, kMenuShown, 1, 1, 3, 0, 0,
         0},
        {"swapped to the right: 3 wraps to 1", kAxes, 0, -0.7f, 0, ShellEventHandled, kMenuShown, 1, 1, 1, 0,
         0, 0},
        {"rest", kAxes, 0, 0, 0, ShellEventNotHandled, kMenuShown, 1, 1, 1, 0, 0, 0},
        {"down and right together", kDown, kPadDown | kPadRight, 0, 0, ShellEventHandled, kMenuShown, 2, 1, 1,
         1, 0, 0},
        {"released: the button lets go", kUp, kPadDown | kPadRight, 0, 0, ShellEventHandled, kMenuShown, 2, 1,
         1, 0, 0, 0},
        {"help button is F1, a shortcut", kDown, kPadHelp, 0, 0, ShellEventHandled, kMenuShown, 2, 1, 1, 0, 1,
         0},
        {"select: on to the help", kDown, kPadSelect, 0, 0, ShellEventHandled, kMenuHelp, 2, 1, 1, 0, 1, 0},
        {"shoulder down pages", kDown, kPadShoulderDown, 0, 0, ShellEventHandled, kMenuHelp, 2, 1, 1, 0, 1,
         10},
        {"stick down scrolls a line", kAxes, 0, 0, 1.0f, ShellEventHandled, kMenuHelp, 2, 1, 1, 0, 1, 11},
        {"shoulder up pages back", kDown, kPadShoulderUp, 0, 0, ShellEventHandled, kMenuHelp, 2, 1, 1, 0, 1,
         1},
        {"no button", kDown, 0, 0, 0, ShellEventNotHandled, kMenuHelp, 2, 1, 1, 0, 1, 1},
        {"a dead axis rests", kAxes, 0, NAN, NAN, ShellEventHandled, kMenuHelp, 2, 1, 1, 0, 1, 1},
    };
    for (const Step& step : script) {
        SCOPED_TRACE(step.what);
        PadButtonRecord buttons{{0, 0}, step.buttons};
        PadTurnRecord axes{step.turn, step.pitch};
        const ShellEventResult answer =
            step.kind == kAxes
                ? ShellSendPadEvent(ShellEventPadAnalogue, &axes)
                : ShellSendPadEvent(step.kind == kDown ? ShellEventPadButtonDown : ShellEventPadButtonUp,
                                    &buttons);
        EXPECT_EQ(answer, step.answer);
        EXPECT_EQ(MenuGetMode(), step.mode);
        EXPECT_EQ(MenuCurrentEntry(), step.current);
        EXPECT_EQ(toggle, step.toggle);
        EXPECT_EQ(whole, step.whole);
        EXPECT_EQ(fire, step.fire);
        EXPECT_EQ(lights, step.lights);
        EXPECT_EQ(HelpFirstLine(), step.helpLine);
    }
    EXPECT_EQ(MenuPadHandler(ShellEventPadAnalogue, nullptr), ShellEventNotHandled);
    EXPECT_EQ(MenuPadHandler(ShellEventKeyDown, &whole), ShellEventNotHandled) << "not a pad event";
}

TEST(MenuColours, HsvRoundTripAndBlackIsGrey)
{
    float h, s, v;
    RgbToHsv(0, 0, 0, &h, &s, &v); // no division by the largest component, which is 0
    EXPECT_EQ(h, -1.0f);
    EXPECT_EQ(s, 0.0f);
    EXPECT_EQ(v, 0.0f);
    const float colours[][3] = {
        {1, 0, 0}, {0, 1, 1}, {0.2f, 0.4f, 0.8f}, {0.9f, 0.6f, 0.1f}, {0.5f, 0.1f, 0.7f}};
    for (const auto& c : colours) {
        RgbToHsv(c[0], c[1], c[2], &h, &s, &v);
        float r, g, b;
        HsvToRgb(h, s, v, &r, &g, &b);
        EXPECT_NEAR(r, c[0], 1e-3);
        EXPECT_NEAR(g, c[1], 1e-3);
        EXPECT_NEAR(b, c[2], 1e-3);
    }
    RgbToHsv(0.5f, 0.52f, 0.5f, &h, &s, &v);
    EXPECT_EQ(h, -1.0f) << "low contrast is grey";
    const uint8_t fg[4] = {0, 255, 255, 255}, bg[4] = {0, 0, 50, 0};
    uint8_t out[4];
    MenuBlendColour(fg, bg, 0.5f, out);
    EXPECT_EQ(out[3], 255);
    // Cyan's hue, saturation 0.6, value halfway between 50/255 and 1.
    EXPECT_EQ(out[0], 61);
    EXPECT_EQ(out[1], 152);
    EXPECT_EQ(out[2], 152);
}

TEST(MenuText, AlignedPositions)
{
    int32_t x = 0, y = 0;
    ShellAlignedPosition(8, 8, 640, 480, 3, 0, 0, 0, &x, &y);
    EXPECT_EQ(x, 308);
    EXPECT_EQ(y, 236);
    ShellAlignedPosition(8, 14, 640, 480, 3, 0, 0, 1, &x, &y);
    EXPECT_EQ(x, 8);
    ShellAlignedPosition(8, 14, 640, 480, 3, 0, 0, 2, &x, &y);
    EXPECT_EQ(x, 640 - 4 * 8);
    ShellAlignedPosition(8, 14, 640, 480, 3, 0, 1, 4, &x, &y);
    EXPECT_EQ(y, 28);
    ShellAlignedPosition(8, 14, 640, 480, 3, 0, 0, 8, &x, &y);
    EXPECT_EQ(y, 480 - 28);
    ShellAlignedPosition(8, 14, 640, 480, 3, 0, 2, 16, &x, &y);
    EXPECT_EQ(y, 28);
}

} // namespace
