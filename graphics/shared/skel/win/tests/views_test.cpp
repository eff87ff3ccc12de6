// Cameras, preset views and the help text, with the engine started on the
// software device and the file systems rooted at a scratch folder.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "graphics/core/camera.h"
#include "graphics/core/engine.h"
#include "graphics/core/filesystem.h"
#include "graphics/core/frame.h"
#include "graphics/core/image.h"
#include "graphics/core/raster.h"
#include "graphics/d3d9/d3d9device.h"
#include "graphics/shared/skel/win/menu.h"
#include "graphics/shared/skel/win/presetviews.h"
#include "graphics/shared/skel/win/shellcamera.h"
#include "graphics/shared/skel/win/shellengine.h"
#include "graphics/shared/skel/win/shellpath.h"
#include "platform/win32/win32.h"

namespace {

namespace fs = std::filesystem;

class EngineViews : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        previous_ = fs::current_path();
        folder_ =
            fs::temp_directory_path() / ("shell_views_" + std::to_string(::getpid()) + "_" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        fs::current_path(folder_);
        window_ = Win32WindowCreate("views", 160, 120);
        ASSERT_NE(window_, nullptr);
        EngineSetDeviceDriver(D3D9DriverGet());
        params_.displayId = window_;
        ASSERT_TRUE(EngineInit(nullptr, 0, 0x400000) && EngineOpen(&params_) && EngineStart());
        ASSERT_TRUE(FileSystemManagerOpen(-1));
        ASSERT_TRUE(ShellRegisterFileSystems());
        camera_ = ShellCameraCreate(160, 120, true);
        ASSERT_NE(camera_, nullptr);
    }
    void TearDown() override
    {
        PresetViewsFree();
        HelpClear();
        ShellCameraDestroy(camera_);
        FileSystemManagerClose();
        EngineStop();
        EngineClose();
        EngineTerm();
        Win32WindowDestroy(window_);
        fs::current_path(previous_);
        fs::remove_all(folder_);
    }
    void Write(const char* name, const std::string& text)
    {
        std::ofstream(folder_ / name, std::ios::binary) << text;
    }
    const Matrix* Ltm() { return FrameGetLTM(CameraGetFrame(camera_)); }

    Camera* camera_ = nullptr;
    HWND window_ = nullptr;
    EngineOpenParams params_{};
    fs::path folder_, previous_;
};

TEST_F(EngineViews, CameraHasItsRastersAndFrame)
{
    ASSERT_NE(camera_->frameBuffer, nullptr);
    ASSERT_NE(camera_->zBuffer, nullptr);
    EXPECT_EQ(camera_->frameBuffer->width, 160);
    EXPECT_NE(CameraGetFrame(camera_), nullptr);
    Image* image = ShellCameraToImage(camera_);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width, 160);
    EXPECT_EQ(image->depth, 32);
    ImageDestroy(image);
    Raster* builtin = ShellCreateBuiltinRaster();
    ASSERT_NE(builtin, nullptr);
    EXPECT_EQ(builtin->width, 16);
    RasterDestroy(builtin);
}

TEST_F(EngineViews, CameraSizeFollowsTheViewWindowRule)
{
    const struct
    {
        int32_t w, h;
        float x, y;
    } cases[] = {{800, 600, 1.0f, 0.75f}, {600, 800, 0.75f, 1.0f}, {300, 300, 1.0f, 1.0f}};
    for (const auto& c : cases) {
        ShellCameraRect rect{0, 0, c.w, c.h};
        ShellCameraSize(camera_, &rect, 1.0f, 4.0f / 3.0f);
        EXPECT_FLOAT_EQ(camera_->viewWindow.x, c.x) << c.w << " x " << c.h;
        EXPECT_FLOAT_EQ(camera_->viewWindow.y, c.y) << c.w << " x " << c.h;
        EXPECT_EQ(camera_->frameBuffer->width, c.w);
        EXPECT_EQ(camera_->zBuffer->height, c.h);
    }
    ShellCameraRect empty{0, 0, 0, 600};
    ShellCameraSize(camera_, &empty, 2.0f, 1.0f);
    EXPECT_EQ(camera_->frameBuffer->width, 300) << "a zero width changes nothing";

    // A full-screen mode: the mode's size and (v, v / aspect).
    static const ShellEngine* real = ShellGetEngine();
    static ShellEngine fullScreen = *real;
    fullScreen.currentVideoMode = [] { return int32_t(0); };
    fullScreen.videoModeInfo = [](VideoMode* mode, int32_t) {
        *mode = {1024, 768, 32, kVideoModeExclusive, 60, 0};
        return mode;
    };
    ShellSetEngine(&fullScreen);
    ShellCameraRect ignored{0, 0, 10, 10};
    ShellCameraSize(camera_, &ignored, 1.0f, 4.0f / 3.0f);
    ShellSetEngine(nullptr);
    EXPECT_FLOAT_EQ(camera_->viewWindow.x, 1.0f);
    EXPECT_FLOAT_EQ(camera_->viewWindow.y, 0.75f);
    EXPECT_EQ(camera_->frameBuffer->width, 1024);
}

TEST_F(EngineViews, ViewsLoadNamesAndSkipShortLines)
{
    Write("views.txt", "1 2 3 4 5 6\n"                          // six numbers: skipped
                       "1 2 3 10 20 0.1 100\n"                  // no name: View0
                       "4 5 6 0 90 0.5 50   my  view\tname  \n" // blanks kept, tab removed
                       "1 2 3 4 5 6 nan\n"                      // not finite: skipped
                       "7 8 9 -30 -90 1 10 Last\n");
    PresetViewsLoad();
    ASSERT_EQ(PresetViewCount(), 3);
    EXPECT_EQ(PresetViewCurrent(), -1);
    EXPECT_EQ(PresetViewCurrentName(), nullptr);
    ASSERT_TRUE(PresetViewSelect(camera_, 0));
    EXPECT_STREQ(PresetViewCurrentName(), "View0");
    EXPECT_FLOAT_EQ(Ltm()->pos.x, 1.0f);
    EXPECT_FLOAT_EQ(camera_->farPlane, 100.0f);
    ASSERT_TRUE(PresetViewSelect(camera_, 1));
    EXPECT_STREQ(PresetViewCurrentName(), "my  viewname  ");
    EXPECT_FALSE(PresetViewSelect(camera_, 3));
    EXPECT_FALSE(PresetViewSelect(nullptr, 0));
    // Stepping wraps at both ends.
    ASSERT_TRUE(PresetViewSelect(camera_, 2));
    EXPECT_TRUE(PresetViewNext(camera_));
    EXPECT_EQ(PresetViewCurrent(), 0);
    EXPECT_TRUE(PresetViewPrevious(camera_));
    EXPECT_EQ(PresetViewCurrent(), 2);
    EXPECT_STREQ(PresetViewCurrentName(), "Last");
}

TEST_F(EngineViews, AzimuthAndElevationFromTheCamera)
{
    const struct
    {
        float elevation, azimuth;
    } cases[] = {{0, 90}, {0, -90}, {0, 0}, {30, 45}, {-60, 170}};
    for (const auto& c : cases) {
        char line[128];
        std::snprintf(line, sizeof line, "0 0 0 %f %f 1 10\n", double(c.elevation), double(c.azimuth));
        Write("views.txt", line);
        PresetViewsLoad();
        ASSERT_TRUE(PresetViewSelect(camera_, 0));
        V3d p{};
        float elevation = 0, azimuth = 0;
        PresetViewFromCamera(camera_, &p, &elevation, &azimuth);
        EXPECT_NEAR(elevation, c.elevation, 1e-3) << c.azimuth;
        EXPECT_NEAR(azimuth, c.azimuth, 1e-3) << c.elevation;
    }
    // The camera itself: azimuth 90 looks along +X, -90 along -X, 0 along
    // +Z; a positive elevation looks up.
    const struct
    {
        const char* line;
        float x, y, z;
    } looks[] = {{"0 0 0 0 90 1 10\n", 1, 0, 0},
                 {"0 0 0 0 -90 1 10\n", -1, 0, 0},
                 {"0 0 0 0 0 1 10\n", 0, 0, 1},
                 {"0 0 0 30 0 1 10\n", 0, 0.5f, 0.8660254f}};
    for (const auto& l : looks) {
        Write("views.txt", l.line);
        PresetViewsLoad();
        ASSERT_TRUE(PresetViewSelect(camera_, 0));
        EXPECT_NEAR(Ltm()->at.x, l.x, 1e-5) << l.line;
        EXPECT_NEAR(Ltm()->at.y, l.y, 1e-5) << l.line;
        EXPECT_NEAR(Ltm()->at.z, l.z, 1e-5) << l.line;
    }
}

TEST_F(EngineViews, LookingStraightDownHasAzimuthZero)
{
    Write("views.txt", "0 10 0 -90 0 1 10\n");
    PresetViewsLoad();
    ASSERT_TRUE(PresetViewSelect(camera_, 0));
    V3d p{};
    float elevation = 0, azimuth = 123;
    PresetViewFromCamera(camera_, &p, &elevation, &azimuth);
    EXPECT_NEAR(elevation, -90.0f, 1e-3);
    EXPECT_EQ(azimuth, 0.0f);
    EXPECT_FALSE(std::isnan(azimuth));
}

TEST_F(EngineViews, SaveAndLoadRoundTripToSixDecimals)
{
    Write("views.txt", "1 1 1 0 0 1 10 First\n");
    PresetViewsLoad();
    ASSERT_TRUE(PresetViewSelect(camera_, 0));
    const V3d axis{0, 1, 0};
    Frame* frame = CameraGetFrame(camera_);
    FrameRotate(frame, &axis, 33.0f, kCombineReplace);
    const V3d where{1.25f, -2.5f, 3.125f};
    FrameTranslate(frame, &where, kCombinePostConcat);
    CameraSetNearClipPlane(camera_, 0.25f);
    CameraSetFarClipPlane(camera_, 250.0f);
    PresetViewsSave(camera_);
    ASSERT_EQ(PresetViewCount(), 2);
    EXPECT_EQ(PresetViewCurrent(), 1);
    EXPECT_STREQ(PresetViewCurrentName(), "View1") << "named after the views that existed before";
    ASSERT_TRUE(PresetViewSelect(camera_, 1));
    V3d p{};
    float elevation = 0, azimuth = 0;
    PresetViewFromCamera(camera_, &p, &elevation, &azimuth);
    EXPECT_NEAR(p.x, 1.25f, 1e-6);
    EXPECT_NEAR(p.z, 3.125f, 1e-6);
    EXPECT_NEAR(azimuth, 33.0f, 1e-4);
    EXPECT_NEAR(elevation, 0.0f, 1e-4);
    EXPECT_FLOAT_EQ(camera_->nearPlane, 0.25f);
    EXPECT_FLOAT_EQ(camera_->farPlane, 250.0f);
    std::ifstream in(folder_ / "views.txt");
    std::string first, second;
    std::getline(in, first);
    std::getline(in, second);
    EXPECT_EQ(second.substr(0, 30), "1.250000 -2.500000 3.125000  0");
}

TEST_F(EngineViews, SaveWithoutAFileReportsAndStops)
{
    fs::create_directories(folder_ / "views.txt"); // a folder of that name cannot be opened as a file
    testing::internal::CaptureStderr();
    PresetViewsSave(camera_);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: Cannot open preset view file\n");
    EXPECT_EQ(PresetViewCount(), 0);
}

TEST_F(EngineViews, OverlongLinesAreSkippedWhole)
{
    std::string longName(1500, 'x');
    Write("views.txt", "1 2 3 4 5 6 7 " + longName + "\n9 9 9 9 9 9 9 Fine\n");
    PresetViewsLoad();
    ASSERT_EQ(PresetViewCount(), 1);
    ASSERT_TRUE(PresetViewSelect(camera_, 0));
    EXPECT_STREQ(PresetViewCurrentName(), "Fine");
}

TEST_F(EngineViews, CameraHelpersMoveAndTurnAboutTheirOwnAxes)
{
    Frame* frame = CameraGetFrame(camera_);
    const V3d yAxis{0, 1, 0};
    FrameRotate(frame, &yAxis, 90.0f, kCombineReplace); // at = +X... right = -Z
    const V3d forward{0, 0, 2};
    ShellCameraMove(camera_, &forward);
    EXPECT_NEAR(Ltm()->pos.x, 2.0f, 1e-5);
    EXPECT_NEAR(Ltm()->pos.z, 0.0f, 1e-5);
    ShellCameraPan(camera_, nullptr, -90.0f);
    EXPECT_NEAR(Ltm()->at.z, 1.0f, 1e-5) << "panned back to +Z";
    EXPECT_NEAR(Ltm()->pos.x, 2.0f, 1e-5) << "about its own position";
    const V3d origin{0, 0, 0};
    ShellCameraPan(camera_, &origin, 180.0f);
    EXPECT_NEAR(Ltm()->pos.x, -2.0f, 1e-5) << "about a point";
    ShellCameraRoll(camera_, nullptr, 90.0f);
    EXPECT_NEAR(std::fabs(Ltm()->up.x), 1.0f, 1e-5);
    ShellCameraTilt(camera_, nullptr, 90.0f); // about right, which the roll turned onto Y
    EXPECT_NEAR(std::fabs(Ltm()->at.x), 1.0f, 1e-5);
    EXPECT_NEAR(Ltm()->pos.x, -2.0f, 1e-5);
}

TEST_F(EngineViews, HelpReadsReadmeElseWin)
{
    EXPECT_EQ(HelpLoad(), 0);
    ASSERT_EQ(HelpLineCount(), 1);
    EXPECT_STREQ(HelpLine(0), "Cannot open help file");
    Write("win.txt", "from win\n");
    EXPECT_EQ(HelpLoad(), 1);
    EXPECT_STREQ(HelpLine(0), "from win");
    Write("readme.txt", "line\tone\r\n" + std::string(100, 'a') + "\n\x01\xff end\n");
    EXPECT_EQ(HelpLoad(), 1);
    ASSERT_EQ(HelpLineCount(), 4);
    EXPECT_STREQ(HelpLine(0), "line one");
    EXPECT_EQ(std::string(HelpLine(1)), std::string(77, 'a')) << "at most 77 characters a line";
    EXPECT_EQ(std::string(HelpLine(2)), std::string(23, 'a'));
    EXPECT_STREQ(HelpLine(3), "   end");
}

TEST(ShellPaths, ImagePathTable)
{
    const struct
    {
        const char* file;
        const char* path;
    } cases[] = {
        {"models/ship.dff", "models/ship/;models/textures/"},
        {"ship.dff", "ship/;textures/"},
        {"models\\ship.dff", "models/ship/;models/textures/"},
        {"./Models/World", "./Models/World/;./Models/textures/"},
        {"a.b/c", "a.b/c/;a.b/textures/"},
        {"/abs/x.y.bsp", "/abs/x.y/;/abs/textures/"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ShellImagePathForFile(c.file), c.path) << c.file;
    EXPECT_EQ(ShellImagePathForFile(nullptr), "");
    char* native = ShellMakeNativePath("data\\models\\a.dff");
    ASSERT_NE(native, nullptr);
    EXPECT_STREQ(native, "data/models/a.dff");
    ShellFreePath(native);
    ShellFreePath(nullptr);
    EXPECT_EQ(ShellMakeNativePath(nullptr), nullptr);
    EXPECT_EQ(ShellGetPathSeparator(), '/');
}

} // namespace
