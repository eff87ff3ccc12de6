// framework-app run headless on the sample data with its scripted input:
// the start screen closes on Space, the drag turns the free camera, "c"
// changes the mode and Tab steps the fixed cameras (the printed camera
// lines), and the free camera's picture after the drag matches a reference;
// on the sample configuration the player runs, jumps and fires; on the sample
// furniture the bumper throws it, the teleporter moves it, the lift carries it
// and it pushes the north door open. A world that cannot be loaded ends an
// unattended run with a failure.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/d3d9/testing/referenceimage.h"

namespace {

/// Runs the app with the given environment; its output goes to a file named after the
/// running test, because CTest runs the tests of one program in parallel processes.
/// The script and configuration default to the drag on framework-app's own
/// configuration.
std::string RunApp(const std::string& variables,
                   const std::string& script = OLAI_FRAMEWORK_APP_DIR "/drag.txt",
                   const std::string& config = OLAI_FRAMEWORK_APP_DIR "/config.xml")
{
    const std::string out = std::string(OLAI_TEST_OUTPUT_DIR) + "/" +
                            ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt";
    const std::string command = "cd " OLAI_DATA_DIR " && SDL_VIDEODRIVER=offscreen OLAI_FRAME_MS=33 " +
                                variables + " OLAI_INPUT_SCRIPT=" + script + " " OLAI_FRAMEWORK_APP " " +
                                config + " > " + out;
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::ifstream file(out);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

/// The line printed for `frame` (the player's with `what` "player"), or an empty string.
std::string LineOf(const std::string& text, int frame, const std::string& what = "")
{
    const std::string start = "frame " + std::to_string(frame) + ": " + what;
    const size_t at = text.find(start);
    if (at == std::string::npos)
        return "";
    return text.substr(at, text.find('\n', at) - at);
}

TEST(FrameworkApp, ScriptedDragTurnsAndKeysSwitchTheCamera)
{
    const std::string text = RunApp("OLAI_EXIT_AFTER_FRAMES=50");
    // Before the drag the camera looks from its initial position at the origin.
    EXPECT_EQ(LineOf(text, 0), "frame 0: Free camera at 0.00 12.00 -30.00 looking 0.00 -0.37 0.93") << text;
    const std::string turned = LineOf(text, 20);
    EXPECT_EQ(turned.rfind("frame 20: Free camera at 0.00 12.00 -30.00 looking ", 0), 0u) << text;
    EXPECT_NE(turned, "frame 20: Free camera at 0.00 12.00 -30.00 looking 0.00 -0.37 0.93")
        << "the drag turns it";
    EXPECT_NE(text.find("Fixed camera at 0.00 20.00 40.00"), std::string::npos)
        << "c: the first fixed camera";
    EXPECT_NE(text.find("Fixed camera at 45.00 30.00 0.00"), std::string::npos) << "Tab: the next one";
}

TEST(FrameworkApp, FreeCameraPictureMatchesTheReference)
{
    const std::string shot = std::string(OLAI_TEST_OUTPUT_DIR) + "/app.png";
    std::remove(shot.c_str());
    RunApp("OLAI_EXIT_AFTER_FRAMES=25 OLAI_SCREENSHOT=" + shot);
    std::vector<uint32_t> pixels;
    uint32_t width = 0, height = 0;
    ASSERT_TRUE(d3d9test::ReadPng(shot, &pixels, &width, &height));
    EXPECT_EQ(width, 640u);
    EXPECT_EQ(height, 480u);
    const std::string failure = d3d9test::CompareWithReferenceIn(
        OLAI_TEST_SOURCE_DIR "/reference", OLAI_TEST_OUTPUT_DIR, "framework_app_free", pixels, width, height);
    EXPECT_TRUE(failure.empty()) << failure;
}

struct V3
{
    float x, y, z;
};

/// The player's position in its line for `frame`; false without one.
bool PlayerAt(const std::string& text, int frame, float* x, float* y, float* z)
{
    const std::string line = LineOf(text, frame, "player");
    return std::sscanf(line.c_str(), "frame %*d: player at %f %f %f", x, y, z) == 3;
}

TEST(FrameworkApp, ThePlayerRunsJumpsAndFiresUnderTheFollowCamera)
{
    const std::string shot = std::string(OLAI_TEST_OUTPUT_DIR) + "/player.png";
    std::remove(shot.c_str());
    const std::string text = RunApp("OLAI_EXIT_AFTER_FRAMES=150 OLAI_SCREENSHOT=" + shot,
                                    OLAI_FRAMEWORK_APP_DIR "/player.txt", "config.xml");
    EXPECT_EQ(LineOf(text, 10).rfind("frame 10: Follow camera", 0), 0u) << text;
    float x[5], y[5], z[5];
    const int frames[5] = {10, 20, 30, 100, 140};
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(PlayerAt(text, frames[i], &x[i], &y[i], &z[i])) << text;
    EXPECT_GT(z[1] - z[0], 2.0f) << "running at 9 units a second";
    EXPECT_GT(y[2], y[0] + 1.0f) << "in the air after the jump";
    EXPECT_LT(z[4], z[3] - 1.0f) << "turned about and running back";
    std::vector<uint32_t> pixels;
    uint32_t width = 0, height = 0;
    ASSERT_TRUE(d3d9test::ReadPng(shot, &pixels, &width, &height));
    const std::string failure =
        d3d9test::CompareWithReferenceIn(OLAI_TEST_SOURCE_DIR "/reference", OLAI_TEST_OUTPUT_DIR,
                                         "framework_app_player", pixels, width, height);
    EXPECT_TRUE(failure.empty()) << failure;
}

/// The player's positions every 10 frames of a run of framework-app on the
/// sample furniture with `script` (frame n / 10 at index n / 10).
std::vector<V3> FurnitureRun(const std::string& script, int frames)
{
    const std::string text = RunApp("OLAI_EXIT_AFTER_FRAMES=" + std::to_string(frames),
                                    OLAI_FRAMEWORK_APP_DIR "/" + script, "furniture.xml");
    std::vector<V3> positions;
    for (int frame = 0; frame < frames; frame += 10) {
        V3 p{};
        if (!PlayerAt(text, frame, &p.x, &p.y, &p.z)) {
            ADD_FAILURE() << "no player line for frame " << frame << ":\n" << text;
            break;
        }
        positions.push_back(p);
    }
    return positions;
}

TEST(FrameworkApp, TheBumperThrowsThePlayerUp)
{
    const std::vector<V3> at = FurnitureRun("furniture-bumper.txt", 100);
    ASSERT_EQ(at.size(), 10u);
    EXPECT_LT(at[5].y, 0.2f) << "running on the floor, short of the bumper at x = 12";
    EXPECT_GT(at[5].x, 8.0f);
    float highest = 0.0f;
    for (size_t i = 6; i < at.size(); ++i)
        highest = std::max(highest, at[i].y);
    EXPECT_GT(highest, 2.0f) << "thrown";
}

TEST(FrameworkApp, TheTeleporterMovesThePlayerToTheOtherCorner)
{
    const std::vector<V3> at = FurnitureRun("furniture-teleporter.txt", 150);
    ASSERT_EQ(at.size(), 15u);
    // Running north up the west corridor, towards the entry at (-12, 0, 12).
    EXPECT_NEAR(at[11].x, -12.0f, 0.5f);
    EXPECT_GT(at[11].z, 9.0f);
    // Then in the north-east corner, at the exit (12, 0, 12), against the wall.
    EXPECT_NEAR(at[14].x, 12.0f, 0.1f);
    EXPECT_GT(at[14].z, 12.0f);
    EXPECT_LT(at[14].y, 0.1f);
}

TEST(FrameworkApp, ThePlayerPushesTheNorthDoorOpenAndRunsThrough)
{
    const std::vector<V3> at = FurnitureRun("furniture-door.txt", 80);
    ASSERT_EQ(at.size(), 8u);
    // The leaves fill the doorway in the wall from z 5.5 to 6: past it the
    // player has swung them open.
    EXPECT_GT(at[4].z, 9.0f) << "through the doorway without being held up";
    EXPECT_GT(at.back().z, 7.0f);
    EXPECT_NEAR(at.back().x, 0.0f, 1.0f);
    EXPECT_LT(at.back().y, 0.1f) << "on the floor";
}

TEST(FrameworkApp, TheLiftCarriesThePlayerUpAndDown)
{
    const std::vector<V3> at = FurnitureRun("furniture-lift.txt", 470);
    ASSERT_EQ(at.size(), 47u);
    // On the platform at (12, 0.1, -8) from frame 190: its top is at 0.2.
    for (size_t i = 19; i < at.size(); ++i) {
        EXPECT_NEAR(at[i].x, 12.0f, 0.6f) << "frame " << 10 * i;
        EXPECT_NEAR(at[i].z, -8.0f, 0.6f) << "frame " << 10 * i;
    }
    EXPECT_NEAR(at[20].y, 0.2f, 0.05f) << "waiting at the bottom";
    EXPECT_NEAR(at[35].y, 3.2f, 0.1f) << "waiting at the top";
    EXPECT_GT(at[31].y, at[29].y + 1.0f) << "on the way up";
    EXPECT_LT(at[44].y, at[42].y - 1.0f) << "on the way down";
}

TEST(FrameworkApp, AMissingWorldEndsAnUnattendedRunFailing)
{
    // No frame is shown after the error, so the frame limit alone would never
    // end the run; `timeout` turns a hang into status 124.
    const std::string out = OLAI_TEST_OUTPUT_DIR "/missing-world.txt";
    const std::string command = "cd " OLAI_DATA_DIR " && SDL_VIDEODRIVER=offscreen OLAI_EXIT_AFTER_FRAMES=5 "
                                "timeout 120 " OLAI_FRAMEWORK_APP " " OLAI_TEST_SOURCE_DIR
                                "/missing-world.xml > " +
                                out + " 2>&1";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status)) << command;
    EXPECT_EQ(WEXITSTATUS(status), 1) << command;
    std::ifstream file(out);
    std::stringstream text;
    text << file.rdbuf();
    EXPECT_NE(text.str().find("Can not load world in file world/missing.bsp"), std::string::npos)
        << text.str();
}

} // namespace
