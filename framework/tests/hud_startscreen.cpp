// The start screen on the software device: it pauses the game and holds the
// camera in Free mode on white until Space, scrolls its text within the
// track, copes without its text picture; the colour packing of its quads.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "framework/cameramanager.h"
#include "framework/directinputmouse.h"
#include "framework/framework.h"
#include "framework/hud.h"
#include "framework/inputmanager.h"
#include "framework/screenquad.h"
#include "framework/testing/configbuilder.h"
#include "framework/tests/frameworktesting.h"
#include "graphics/shared/skel/win/shellinput.h"

namespace {

using Strings = std::vector<std::string>;
using CM = CCameraManager;

class StartScreen : public SoftwareFrameworkTest
{
  protected:
    /// A configuration with a camera in Path mode and the start screen;
    /// `mouseMode` 0 uses the DirectInput mouse.
    void StartScreenWith(int mouseMode)
    {
        ConfigBuilder config;
        config.Open("Config")
            .Open("Input")
            .Element("MouseMode", {{"Value", std::to_string(mouseMode)}})
            .Close();
        config.Open("Worlds").Close();
        config.Open("Camera", {{"nearClip", "0.1"}, {"farClip", "500"}, {"fov", "45"}})
            .Element("CameraMode", {{"mode", "Path"}})
            .Close();
        config.Open("Hud").Close();
        ASSERT_TRUE(Start(config.Text()));
        ASSERT_NE(Hud(), nullptr);
    }
    static CHud* Hud() { return Framework().hud; }
    static CCameraManager* Cameras() { return Framework().cameraManager; }
    static void Key(int32_t key, ShellEvent event)
    {
        ShellKeyRecord record{0, key};
        CInputManager::KeyboardHandler(event, &record);
    }
    /// The window's mouse: the left button held at (x, y).
    static void HoldLeftAt(float x, float y)
    {
        ShellMouseRecord record{x, y, 0.0f, 0.0f, 0, 0};
        CInputManager::MouseHandler(ShellEventMouseMove, &record);
        CInputManager::MouseHandler(ShellEventLeftButtonDown, &record);
    }
};

TEST_F(StartScreen, PausesUntilSpaceAndRestoresWhatItChanged)
{
    StartScreenWith(0);
    EXPECT_EQ(Boxes(), Strings{});
    CDirectInputMouse* mouse = CInputManager::Instance()->GetDirectInputMouse();
    ASSERT_NE(mouse, nullptr);
    EXPECT_FALSE(mouse->HasDevice()) << "the start screen switches the device on later";

    RunFrame(20);
    RunFrame(20);
    EXPECT_EQ(Hud()->GetState(), CHud::kShowing);
    EXPECT_TRUE(Framework().paused);
    EXPECT_EQ(app_.steps.size(), 1u) << "only the first frame, before the screen showed, updates the game";
    EXPECT_EQ(Cameras()->GetMode(), CM::kFree);
    const uint8_t* background = Cameras()->GetBackgroundColour();
    EXPECT_EQ((std::vector<int>{background[0], background[1], background[2], background[3]}),
              (std::vector<int>{255, 255, 255, 255}));
    int32_t w = 0, h = 0;
    std::vector<uint32_t> pixels = CameraPixels(&w, &h);
    ASSERT_EQ(w, 640);
    EXPECT_EQ(pixels[240 * w + 5], 0xFFFFFFFFu) << "the white page";
    EXPECT_EQ(pixels[160 * w + 320 + 300] & 0xFFFFFF, 0u) << "the thumb, black, at the top of the track";

    Key(' ', ShellEventKeyDown);
    RunFrame(20);
    Key(' ', ShellEventKeyUp);
    EXPECT_EQ(Hud()->GetState(), CHud::kDismissed);
    EXPECT_FALSE(Framework().paused);
    EXPECT_EQ(Cameras()->GetMode(), CM::kPath);
    background = Cameras()->GetBackgroundColour();
    EXPECT_EQ((std::vector<int>{background[0], background[1], background[2], background[3]}),
              (std::vector<int>{88, 88, 110, 0}));
    EXPECT_TRUE(mouse->HasDevice());
    RunFrame(20);
    EXPECT_EQ(app_.steps.size(), 2u);
    pixels = CameraPixels(&w, &h);
    EXPECT_EQ(pixels[240 * w + 5] & 0xFFFFFF, 0x58586Eu) << "never shown again";
}

TEST_F(StartScreen, ScrollStaysWithinTheTrack)
{
    StartScreenWith(1);
    RunFrame(20);
    ASSERT_EQ(Hud()->GetTextHeight(), 1024);
    app_.SetFixedStep(true, 0.25f);              // 25 pixels a frame
    HoldLeftAt(320.0f + 300.0f, 480.0f - 48.0f); // the down arrow
    float last = -1.0f;
    for (int i = 0; i < 100 && Hud()->GetScrollOffset() != last; ++i) {
        last = Hud()->GetScrollOffset();
        RunFrame(20);
    }
    // The thumb (328 x 328 / 1024 pixels) stops at the track's end, H - 64,
    // passing it by less than one step.
    const float thumb = 328.0f * 328.0f / 1024.0f;
    const float end = 152.0f + Hud()->GetScrollOffset() + thumb;
    EXPECT_GE(end, 416.0f);
    EXPECT_LT(end, 441.0f);
    EXPECT_LE(Hud()->GetScrollRoom(), 0);

    HoldLeftAt(320.0f + 300.0f, 136.0f); // the up arrow
    for (int i = 0; i < 8; ++i)
        RunFrame(20);
    EXPECT_EQ(Hud()->GetScrollOffset(), 0.0f) << "never below 0";
    ShellRect rect{0, 0, 640, 480};
    app_.OnEvent(ShellEventResize, &rect);
    EXPECT_EQ(Hud()->GetScrollOffset(), 0.0f);
}

TEST_F(StartScreen, WithoutTextPictureNothingScrolls)
{
    const std::filesystem::path home = std::filesystem::current_path();
    std::filesystem::create_directories(folder_ / "models");
    std::filesystem::copy(home / "models", folder_ / "models", std::filesystem::copy_options::recursive);
    std::filesystem::remove(folder_ / "models" / "textures" / "sttext.bmp");
    std::filesystem::copy(home / "fonts", folder_ / "fonts");
    std::filesystem::current_path(folder_);
    StartScreenWith(1);
    std::filesystem::current_path(home);
    EXPECT_EQ(Boxes(), Strings{"Texture 'stText.bmp' not found"});
    EXPECT_FALSE(Framework().halt) << "a missing picture leaves its quad untextured";
    EXPECT_EQ(Hud()->GetTextHeight(), 0);

    HoldLeftAt(320.0f + 300.0f, 480.0f - 48.0f);
    for (int i = 0; i < 5; ++i)
        RunFrame(100);
    EXPECT_EQ(Hud()->GetScrollOffset(), 0.0f);
    ASSERT_EQ(Hud()->GetDrawnQuadCount(), CHud::kQuadCount - 1) << "no text quad";
    for (int32_t q = 0; q < Hud()->GetDrawnQuadCount(); ++q) {
        for (int k = 0; k < 4; ++k) {
            EXPECT_TRUE(std::isfinite(Hud()->GetDrawnQuad(q)[k].x));
            EXPECT_TRUE(std::isfinite(Hud()->GetDrawnQuad(q)[k].y));
        }
    }
    const Im2DVertex* thumb = Hud()->GetDrawnQuad(10);
    EXPECT_EQ(thumb[0].y, 152.0f);
    EXPECT_EQ(thumb[1].y, 416.0f) << "the thumb fills the track";
}

TEST_F(StartScreen, QuadColoursArePackedAndFaded)
{
    const uint8_t rgba[4] = {0x11, 0x22, 0x33, 0x44};
    EXPECT_EQ(ScreenColourPack(rgba), 0x44112233u);

    StartScreenWith(1);
    RunFrame(20);
    ASSERT_EQ(Hud()->GetDrawnQuadCount(), CHud::kQuadCount);
    const Im2DVertex* fadeUp = Hud()->GetDrawnQuad(4); // above the footer: its top fades out
    EXPECT_EQ(fadeUp[0].colour, 0x00FFFFFFu);
    EXPECT_EQ(fadeUp[3].colour, 0x00FFFFFFu);
    EXPECT_EQ(fadeUp[1].colour, 0xFFFFFFFFu);
    const Im2DVertex* fadeDown = Hud()->GetDrawnQuad(5); // under the header: its bottom fades out
    EXPECT_EQ(fadeDown[1].colour, 0x00FFFFFFu);
    EXPECT_EQ(fadeDown[2].colour, 0x00FFFFFFu);
    EXPECT_EQ(fadeDown[0].colour, 0xFFFFFFFFu);
    EXPECT_EQ(Hud()->GetDrawnQuad(11)[0].colour, 0xFF000000u) << "the thumb";
    EXPECT_EQ(Hud()->GetDrawnQuad(0)[0].recipW, 0.1f) << "the camera's near clip";
}

} // namespace
