// What the frame draws over the scene on the software device: the frame
// counter's graph by debug level, and the DirectInput pointer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/cameramanager.h"
#include "framework/fpscounter.h"
#include "framework/framework.h"
#include "framework/inputmanager.h"
#include "framework/marker.h"
#include "framework/testing/configbuilder.h"
#include "framework/tests/frameworktesting.h"
#include "platform/dinput8/dinput8.h"

namespace {

using Strings = std::vector<std::string>;
constexpr uint32_t kBackground = 0x58586E;

class FrameOverlays : public SoftwareFrameworkTest
{
  protected:
    void StartAt(int debugLevel, int mouseMode)
    {
        ConfigBuilder config;
        config.Open("Config").Element("Debug", {{"level", std::to_string(debugLevel)}});
        config.Open("Input").Element("MouseMode", {{"Value", std::to_string(mouseMode)}}).Close();
        config.Open("Worlds").Close();
        config.Open("Camera", {{"nearClip", "0.1"}, {"farClip", "500"}, {"fov", "45"}}).Close();
        ASSERT_TRUE(Start(config.Text()));
        ASSERT_EQ(Boxes(), Strings{});
    }
    uint32_t Pixel(int x, int y)
    {
        int32_t w = 0, h = 0;
        const std::vector<uint32_t> pixels = CameraPixels(&w, &h);
        return pixels.empty() ? 0xDEADBEEF : pixels[y * w + x] & 0xFFFFFF;
    }
};

TEST_F(FrameOverlays, GraphShowsFromDebugLevelTwo)
{
    for (const int level : {0, 1, 2}) {
        SCOPED_TRACE(level);
        StartAt(level, 1);
        for (int i = 0; i < 10; ++i)
            RunFrame(10); // 10 ms: lines 20 pixels high
        // The ninth entry's line at x = W - 636 + 9 from H - 4 upwards, and the 1/30 s line.
        const bool graph = level >= 2;
        EXPECT_EQ(Pixel(640 - 636 + 9, 480 - 10), graph ? 0xFFFFFFu : kBackground);
        EXPECT_EQ(Pixel(640 - 636 + 9, 480 - 30), kBackground) << "above the line's top";
        EXPECT_EQ(Pixel(300, 413), graph ? 0x808080u : kBackground);
        Stop();
        CFpsCounter::Destroy();
    }
}

TEST_F(FrameOverlays, GraphLinesOldestFirst)
{
    CFpsCounter* counter = CFpsCounter::Instance();
    for (int i = 0; i < 700; ++i)
        counter->Update(0.001f * float(i % 50));
    const int32_t count = counter->BuildGraph(800.0f, 600.0f, 0.1f);
    ASSERT_EQ(count, 2 * 632 + 4);
    const Im2DVertex* v = counter->GetGraph();
    EXPECT_EQ(v[0].x, 800.0f - 636.0f);
    EXPECT_EQ(v[0].y, 596.0f);
    // Entry 0 is frame 68 (700 - 632): 0.018 s, 36 pixels.
    EXPECT_NEAR(v[1].y, 596.0f - 36.0f, 1e-3f);
    EXPECT_EQ(v[2 * 631].x, 800.0f - 636.0f + 631.0f);
    EXPECT_NEAR(v[2 * 632].y, 600.0f - 66.6f, 1e-4f);
    EXPECT_EQ(v[2 * 632 + 1].x, 800.0f);
    EXPECT_EQ(v[2 * 632 + 2].colour, 0xFF808080u);
    EXPECT_FLOAT_EQ(v[0].recipW, 9.9f) << "1 / near clip - 0.1";
}

TEST(Marker, TwoCrossedQuadsAlongTheDirection)
{
    Im3DVertex v[kMarkerVertices] = {};
    MarkerBuild(v, {1.0f, 2.0f, 3.0f}, {0.0f, 1.0f, 0.0f}, {1.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 1.0f}, 2.0f, 0.5f,
                0.0f);
    // Base factor 0: both quads start from the base point and open to the
    // half width at the tip.
    const float expected[kMarkerVertices][3] = {
        {1, 2, 3}, {1, 2, 3}, {1.5f, 4, 3}, {1, 2, 3}, {0.5f, 4, 3}, {1.5f, 4, 3},
        {1, 2, 3}, {1, 2, 3}, {1, 4, 3.5f}, {1, 2, 3}, {1, 4, 2.5f}, {1, 4, 3.5f},
    };
    for (int i = 0; i < kMarkerVertices; ++i) {
        EXPECT_EQ(v[i].x, expected[i][0]) << i;
        EXPECT_EQ(v[i].y, expected[i][1]) << i;
        EXPECT_EQ(v[i].z, expected[i][2]) << i;
    }
    MarkerSetColour(v, kMarkerVertices, 0xB040FF40);
    EXPECT_EQ(v[11].colour, 0xB040FF40u);
}

TEST_F(FrameOverlays, PointerFollowsTheDirectInputMouse)
{
    StartAt(0, 0);
    ASSERT_NE(CInputManager::Instance()->GetPointerTexture(), nullptr);
    DInput8FeedMotion(100, 50);
    RunFrame(20);
    EXPECT_EQ(Pixel(200, 100), 0xFFFFFFu) << "the pointer's white centre";
    EXPECT_EQ(Pixel(200 + 12, 100 + 12), kBackground) << "its black corners are transparent";
    const Im2DVertex* quad = CInputManager::Instance()->GetPointerQuad();
    EXPECT_EQ(quad[0].x, 192.0f);
    EXPECT_EQ(quad[1].y, 108.0f);

    Framework().active = true;
    CInputManager::Instance()->RecentreCursor();
    EXPECT_FALSE(CInputManager::Instance()->WasCursorRecentred()) << "the DirectInput mouse is in use";

    Framework().paused = true;
    RunFrame(20);
    EXPECT_EQ(Pixel(200, 100), kBackground) << "no pointer while paused";
    Framework().paused = false;
    Framework().cameraManager->SetMode(CCameraManager::kPath);
    RunFrame(20);
    EXPECT_EQ(Pixel(200, 100), kBackground) << "no pointer on the path camera";
}

} // namespace
