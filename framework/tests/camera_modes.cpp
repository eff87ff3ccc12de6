// The camera manager on the software device: the section's cameras, the mode
// steps with their limits, the path's hand-over, the fixed cameras, the
// frame's switch requests, the overlays, the pick's queries and the world
// camera.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "framework/cameramanager.h"
#include "framework/cameratarget.h"
#include "framework/character.h"
#include "framework/framework.h"
#include "framework/inputmanager.h"
#include "framework/testing/configbuilder.h"
#include "framework/tests/frameworktesting.h"
#include "graphics/core/camera.h"
#include "graphics/core/frame.h"
#include "graphics/core/matrix.h"
#include "graphics/core/raster.h"
#include "graphics/shared/skel/win/shellinput.h"

namespace {

using Strings = std::vector<std::string>;
using CM = CCameraManager;

/// A character stand-in: its own frame, and whether it is in the world.
class FakeTarget : public CCameraTarget
{
  public:
    FakeTarget() : frame(FrameCreate()) {}
    ~FakeTarget() override { FrameDestroy(frame); }
    Frame* GetCameraFrame() override { return frame; }
    bool IsInWorld() const override { return inWorld; }
    void SetInWorld(bool in) override { inWorld = in; }

    Frame* frame;
    bool inWorld = true;
};

class CameraModes : public SoftwareFrameworkTest
{
  protected:
    /// Starts with the window's mouse (so that tests move it with mouse
    /// events) and a "Camera" section filled by `camera`.
    void StartWith(void (*camera)(ConfigBuilder&), float scale = 1.0f)
    {
        ConfigBuilder config;
        config.Open("Config").Open("Input").Element("MouseMode", {{"Value", "1"}}).Close();
        config.Element("Scale", {{"value", std::to_string(scale)}}).Open("Worlds").Close();
        config.Open("Camera", {{"nearClip", "0.1"}, {"farClip", "500"}, {"fov", "45"}});
        if (camera)
            camera(config);
        ASSERT_TRUE(Start(config.Text()));
        ASSERT_NE(Cameras(), nullptr);
        ASSERT_NE(Cameras()->GetCamera(), nullptr);
    }
    static CCameraManager* Cameras() { return Framework().cameraManager; }
    static Matrix* CameraMatrix() { return FrameGetMatrix(Cameras()->GetCameraFrame()); }
    /// Button events and a move of (dx, dy) through the window's mouse.
    static void Button(ShellEvent event)
    {
        ShellMouseRecord record{};
        CInputManager::MouseHandler(event, &record);
    }
    static void Move(float dx, float dy)
    {
        ShellMouseRecord record{100.0f, 100.0f, dx, dy, 0, 0};
        CInputManager::MouseHandler(ShellEventMouseMove, &record);
    }
    static void MoveTo(float x, float y)
    {
        ShellMouseRecord record{x, y, 0.0f, 0.0f, 0, 0};
        CInputManager::MouseHandler(ShellEventMouseMove, &record);
    }
    static void Key(int32_t key, ShellEvent event = ShellEventKeyDown)
    {
        ShellKeyRecord record{0, key};
        CInputManager::KeyboardHandler(event, &record);
    }
};

void FixedCameras(ConfigBuilder& config)
{
    config.Open("SwitchSequence")
        .Element("Mode", {{"value", "Free"}})
        .Element("Mode", {{"value", "Fixed"}})
        .Close();
    config.Open("Fixed")
        .Element("Name", {{"value", "Gate"}})
        .Element("Position", {{"x", "0"}, {"y", "5"}, {"z", "0"}})
        .Element("Target", {{"x", "0"}, {"y", "5"}, {"z", "10"}})
        .Close();
    config.Open("Fixed")
        .Element("Position", {{"x", "3"}, {"y", "0"}, {"z", "0"}})
        .Element("Target", {{"x", "0"}, {"y", "0"}, {"z", "0"}})
        .Close();
}

TEST_F(CameraModes, StartUpGivesTheFirstCharacterAsTarget)
{
    StartWith(nullptr);
    EXPECT_EQ(Cameras()->GetTarget(), nullptr) << "no character, no target";
    Stop();

    CCharacter first, second;
    StartWith(nullptr);
    EXPECT_EQ(Cameras()->GetTarget(), &first);
    Stop(); // the camera manager goes before the characters
}

TEST_F(CameraModes, ACharacterThatGoesIsNoLongerFollowed)
{
    StartWith(nullptr);
    auto followed = std::make_unique<CCharacter>();
    ASSERT_TRUE(followed->LoadClump("models/world.dff"));
    FakeTarget other;
    Cameras()->SetTarget(followed.get());
    Cameras()->SetMode(CM::kFollow);
    Cameras()->Update(0.02f);
    EXPECT_EQ(Cameras()->GetMode(), CM::kFollow);
    followed->Unload();
    followed.reset();
    EXPECT_EQ(Cameras()->GetTarget(), nullptr);
    Cameras()->Update(0.02f); // nothing left to follow: the free camera
    EXPECT_EQ(Cameras()->GetMode(), CM::kFree);

    // Another target stays when something else goes.
    Cameras()->SetTarget(&other);
    {
        CCharacter passing;
    }
    EXPECT_EQ(Cameras()->GetTarget(), &other);
}

TEST_F(CameraModes, SectionPlacesTheFreeCameraAndNamesTheFixedOnes)
{
    StartWith([](ConfigBuilder& config) {
        FixedCameras(config);
        config.Open("Free")
            .Element("InitialPosition", {{"x", "1"}, {"y", "2"}, {"z", "3"}})
            .Element("InitialTarget", {{"x", "1"}, {"y", "2"}, {"z", "13"}})
            .Close();
    });
    EXPECT_EQ(Boxes(), Strings{});
    const Matrix* m = CameraMatrix();
    EXPECT_EQ(m->pos.x, 1.0f);
    EXPECT_EQ(m->pos.y, 2.0f);
    EXPECT_EQ(m->pos.z, 3.0f);
    EXPECT_NEAR(m->at.z, 1.0f, 1e-6f);
    EXPECT_EQ(Cameras()->GetCamera()->farPlane, 500.0f);
    ASSERT_EQ(Cameras()->GetFixedCameraCount(), 2);
    EXPECT_STREQ(Cameras()->GetFixedCameraName(0), "Gate");
    EXPECT_STREQ(Cameras()->GetFixedCameraName(1), "Camera 1");
    EXPECT_NEAR(FrameGetMatrix(Cameras()->GetFixedCameraFrame(1))->at.x, -1.0f, 1e-6f);
}

TEST_F(CameraModes, StartsWhereTheEngineExpectsIt)
{
    StartWith(nullptr);
    char text[128];
    Cameras()->FormatDebugText(text, sizeof text);
    EXPECT_STREQ(text, "Free camera at 7.46 8.72 -2.64");
    EXPECT_NEAR(CameraMatrix()->at.z, -1.0f, 1e-6f) << "turned 180 degrees about y";
}

TEST_F(CameraModes, FixedCamerasAreSteppedByTabAndCopied)
{
    StartWith(FixedCameras);
    Key(kShellKeyTab);
    Key(kShellKeyTab, ShellEventKeyUp);
    RunFrame(20);
    EXPECT_EQ(Cameras()->GetMode(), CM::kFixed) << "Tab tapped between two frames steps once";
    EXPECT_EQ(Cameras()->GetCurrentFixedCamera(), 1);
    EXPECT_NEAR(CameraMatrix()->pos.x, 3.0f, 1e-6f);
    EXPECT_NEAR(CameraMatrix()->at.x, -1.0f, 1e-6f);
    Key(kShellKeyTab);
    RunFrame(20);
    EXPECT_EQ(Cameras()->GetCurrentFixedCamera(), 0);
    EXPECT_NEAR(CameraMatrix()->pos.y, 5.0f, 1e-6f);
    Cameras()->PreviousFixedCamera();
    EXPECT_EQ(Cameras()->GetCurrentFixedCamera(), 1);

    Key('c'); // the sequence's next entry after Free is Fixed, which now exists
    RunFrame(20);
    EXPECT_EQ(Cameras()->GetMode(), CM::kFixed);
    Key('c');
    RunFrame(20);
    EXPECT_EQ(Cameras()->GetMode(), CM::kFree);

    Framework().paused = true;
    Key('c');
    RunFrame(20);
    EXPECT_EQ(Cameras()->GetMode(), CM::kFree) << "no switching while paused";
}

TEST_F(CameraModes, SeventeenthFixedCameraIsRefused)
{
    StartWith([](ConfigBuilder& config) {
        for (int i = 0; i < 17; ++i) {
            config.Open("Fixed")
                .Element("Position", {{"x", std::to_string(i)}, {"y", "0"}, {"z", "0"}})
                .Element("Target", {{"x", "0"}, {"y", "0"}, {"z", "-1"}})
                .Close();
        }
    });
    EXPECT_EQ(Boxes(), Strings{"Too much fixed cameras.\nPlease increase MAX_FIXED_CAMERAS value"});
    EXPECT_EQ(Cameras()->GetFixedCameraCount(), 16);
}

TEST_F(CameraModes, FreePitchStaysWithin89Degrees)
{
    StartWith(nullptr);
    Button(ShellEventLeftButtonDown);
    for (int i = 0; i < 10; ++i) {
        Move(0.0f, 100.0f); // 20 degrees a step
        Cameras()->Update(0.02f);
    }
    EXPECT_EQ(Cameras()->GetFreePitch(), 89.0f);
    EXPECT_NEAR(CameraMatrix()->pos.x, 7.46f, 1e-4f) << "turning keeps the position";
    for (int i = 0; i < 20; ++i) {
        Move(0.0f, -100.0f);
        Cameras()->Update(0.02f);
    }
    EXPECT_EQ(Cameras()->GetFreePitch(), -89.0f);

    // Zoom moves along the view; left CTRL makes the left button pan.
    Button(ShellEventLeftButtonUp);
    Button(ShellEventRightButtonDown);
    const V3d before = CameraMatrix()->pos;
    const V3d at = CameraMatrix()->at;
    Move(0.0f, -50.0f);
    Cameras()->Update(0.02f);
    const V3d after = CameraMatrix()->pos;
    EXPECT_NEAR(after.x - before.x, at.x * 5.0f, 1e-3f);
    EXPECT_NEAR(after.y - before.y, at.y * 5.0f, 1e-3f);
}

TEST_F(CameraModes, FollowAndFpsKeepTheirPitchLimits)
{
    StartWith([](ConfigBuilder& config) {
        config.Element(
            "Follow",
            {{"minVAngle", "-10"}, {"maxVAngle", "60"}, {"minDistance", "2"}, {"maxDistance", "20"}});
    });
    FakeTarget target;
    Cameras()->SetTarget(&target);
    Cameras()->SetMode(CM::kFollow);
    Button(ShellEventLeftButtonDown);
    Move(30.0f, 100.0f);
    Cameras()->Update(0.02f);
    EXPECT_EQ(Cameras()->GetFollowPitch(), 60.0f);
    EXPECT_EQ(Cameras()->GetFollowYaw(), -30.0f);
    Move(0.0f, -500.0f);
    Cameras()->Update(0.02f);
    EXPECT_EQ(Cameras()->GetFollowPitch(), -10.0f);
    Button(ShellEventLeftButtonUp);
    Button(ShellEventRightButtonDown);
    Move(0.0f, 1000.0f);
    Cameras()->Update(0.02f);
    EXPECT_EQ(Cameras()->GetFollowDistance(), 20.0f);
    Button(ShellEventRightButtonUp);
    // The camera sits the follow distance behind the target and the scale
    // above it, along its own axes.
    const Matrix* m = CameraMatrix();
    EXPECT_NEAR(std::sqrt(m->pos.x * m->pos.x + m->pos.y * m->pos.y + m->pos.z * m->pos.z), std::sqrt(401.0f),
                1e-3f);

    Cameras()->SetMode(CM::kFps);
    Cameras()->Update(0.02f); // entering: the view axes are reset
    EXPECT_FALSE(target.inWorld) << "seen from its eyes, the target leaves the world";
    EXPECT_NEAR(CameraMatrix()->at.z, -1.0f, 1e-5f);
    EXPECT_NEAR(CameraMatrix()->pos.y, 1.6f, 1e-5f);
    for (int i = 0; i < 5; ++i) {
        MoveTo(320.0f, 280.0f); // first person measures from the raster's centre
        Cameras()->Update(0.02f);
    }
    EXPECT_EQ(Cameras()->GetFpsPitch(), 80.0f);
    MoveTo(320.0f, -160.0f);
    Cameras()->Update(0.02f);
    EXPECT_EQ(Cameras()->GetFpsPitch(), -80.0f);

    Cameras()->SetMode(CM::kFree);
    Cameras()->Update(0.02f);
    EXPECT_TRUE(target.inWorld) << "the other modes put it back";
}

TEST_F(CameraModes, PathHandsOverAtNineTenthsAndAgainAtOnce)
{
    StartWith(nullptr);
    ASSERT_TRUE(Cameras()->HasSpline()) << "models/spindrel/spline.ols of the sample data";
    FakeTarget target;
    Cameras()->SetTarget(&target);
    Cameras()->SetMode(CM::kPath);
    int steps = 0;
    while (Cameras()->GetMode() == CM::kPath && steps < 1000) {
        Cameras()->Update(0.25f); // t grows by 0.125 a step
        ++steps;
    }
    EXPECT_EQ(steps, 8);
    EXPECT_GE(Cameras()->GetPathParameter(), 0.9f);
    EXPECT_EQ(Cameras()->GetMode(), CM::kFps);
    EXPECT_EQ(Cameras()->GetPreviousMode(), CM::kPath);

    Cameras()->SetMode(CM::kPath);
    Cameras()->Update(0.25f);
    EXPECT_EQ(Cameras()->GetMode(), CM::kFps) << "the flight plays once";
}

TEST_F(CameraModes, WithoutSplinePathFallsBackToFree)
{
    // A data root with the target picture and the font but no spline.
    const std::filesystem::path home = std::filesystem::current_path();
    std::filesystem::create_directories(folder_ / "models" / "textures");
    std::filesystem::copy(home / "models" / "textures", folder_ / "models" / "textures");
    std::filesystem::copy(home / "fonts", folder_ / "fonts");
    std::filesystem::current_path(folder_); // the engine's files are found from here
    StartWith(nullptr);
    std::filesystem::current_path(home);
    EXPECT_FALSE(Cameras()->HasSpline());
    Cameras()->SetMode(CM::kPath);
    Cameras()->Update(0.02f);
    EXPECT_EQ(Cameras()->GetMode(), CM::kFree);
    EXPECT_EQ(Cameras()->GetPreviousMode(), CM::kPath);
}

TEST_F(CameraModes, MissingTargetPictureIsReported)
{
    const std::filesystem::path home = std::filesystem::current_path();
    std::filesystem::current_path(folder_); // no pictures, no fonts
    StartWith(nullptr);
    std::filesystem::current_path(home);
    EXPECT_EQ(Boxes(), (Strings{"Texture not found : 'TARGET.BMP'",
                                "Unable to load font DID16\nPlease update your assets"}));
    EXPECT_TRUE(Framework().halt);
}

TEST_F(CameraModes, OverlaysShowTheTargetSpriteAndTheFixedName)
{
    StartWith(FixedCameras);
    FakeTarget target;
    Cameras()->SetTarget(&target);
    Cameras()->SetMode(CM::kFps);
    RunFrame(20);
    int32_t w = 0, h = 0;
    std::vector<uint32_t> pixels = CameraPixels(&w, &h);
    ASSERT_EQ(w, 640);
    // The 2 x 2 sprite of "TARGET.BMP" (red) at the raster's centre, on the background.
    EXPECT_EQ(pixels[240 * w + 320] & 0xFFFFFF, 0xFF2828u);
    EXPECT_EQ(pixels[240 * w + 324] & 0xFFFFFF, 0x58586Eu);
    const Im2DVertex* sprite = Cameras()->GetTargetSprite();
    EXPECT_EQ(sprite[0].x, 319.0f);
    EXPECT_EQ(sprite[1].y, 241.0f);
    EXPECT_FLOAT_EQ(sprite[0].recipW, 0.1f) << "near clip - 0.1 is 0, which draws nothing";

    Framework().debugLevel = 0;
    Cameras()->SetMode(CM::kFixed);
    RunFrame(20);
    pixels = CameraPixels(&w, &h);
    EXPECT_EQ(pixels[240 * w + 320] & 0xFFFFFF, 0x58586Eu) << "no sprite in the fixed camera";
    // "Gate" is printed at (0.025, 0.82), y upwards: some text pixels differ
    // from the background there.
    int text = 0;
    for (int y = int(0.18f * h) - 20; y < int(0.18f * h) + 20; ++y)
        for (int x = 0; x < 80; ++x)
            text += (pixels[y * w + x] & 0xFFFFFF) != 0x58586Eu;
    EXPECT_GT(text, 10);
}

TEST_F(CameraModes, PickGoesThroughTheWorldQueries)
{
    StartWith(nullptr);
    V3d point{}, normal{};
    EXPECT_FALSE(Cameras()->PickUnderPointer(&point, &normal, nullptr)) << "no queries: nothing is hit";
    static CSceneObject** objectSeen = nullptr;
    static V3d start{}, end{};
    const CameraPickQueries queries = {
        [](const V3d* from, const V3d* to, float* fraction, V3d* hitNormal, CSceneObject** object) {
            start = *from;
            end = *to;
            objectSeen = object;
            *fraction = 0.25f;
            *hitNormal = {0.0f, 1.0f, 0.0f};
            return true;
        },
    };
    CCameraManager::SetPickQueries(&queries);
    // The pointer at the raster's centre: the ray runs along the view from
    // the near to the far clip plane.
    ShellMouseRecord record{320.0f, 240.0f, 0.0f, 0.0f, 0, 0};
    CInputManager::MouseHandler(ShellEventMouseMove, &record);
    CSceneObject* object = nullptr;
    const bool hit = Cameras()->PickUnderPointer(&point, &normal, &object);
    CCameraManager::SetPickQueries(nullptr);
    ASSERT_TRUE(hit);
    EXPECT_EQ(objectSeen, &object);
    const Matrix* m = CameraMatrix();
    EXPECT_NEAR(end.x - start.x, m->at.x * (500.0f - 0.1f), 0.05f);
    EXPECT_NEAR(end.z - start.z, m->at.z * (500.0f - 0.1f), 0.05f);
    EXPECT_NEAR(point.x, start.x + 0.25f * (end.x - start.x), 1e-3f);
    EXPECT_NEAR(point.z, start.z + 0.25f * (end.z - start.z), 1e-3f);
    EXPECT_EQ(normal.y, 1.0f);
}

TEST_F(CameraModes, ResizeRebuildsTheRasterAndSprites)
{
    StartWith(nullptr);
    ShellRect rect{0, 0, 800, 600};
    app_.OnEvent(ShellEventResize, &rect);
    const Camera* camera = Cameras()->GetCamera();
    EXPECT_EQ(camera->frameBuffer->width, 800);
    EXPECT_EQ(camera->frameBuffer->height, 600);
    EXPECT_FLOAT_EQ(camera->viewWindow.x, 1.0f);
    EXPECT_FLOAT_EQ(camera->viewWindow.y, 0.75f);
    EXPECT_EQ(Cameras()->GetTargetSprite()[0].x, 399.0f);
    EXPECT_EQ(Cameras()->GetTargetSprite()[0].y, 299.0f);
    EXPECT_EQ(Cameras()->GetOverlayQuad()[1].x, 800.0f);
    // The input measures first-person moves from the new centre.
    Cameras()->SetMode(CM::kFps);
    MoveTo(400.0f, 300.0f);
    float dx = 1.0f, dy = 1.0f;
    CInputManager::Instance()->TakeMouseDelta(&dx, &dy);
    EXPECT_EQ(dx, 0.0f);
    EXPECT_EQ(dy, 0.0f);
}

TEST_F(CameraModes, FirstPersonRecentresTheWindowsCursor)
{
    StartWith(nullptr);
    FakeTarget target;
    Cameras()->SetTarget(&target);
    Framework().active = true;
    Cameras()->SetMode(CM::kFps);
    Cameras()->Update(0.02f);
    EXPECT_TRUE(CInputManager::Instance()->WasCursorRecentred());
}

TEST_F(CameraModes, WorldCameraSharesTheMainCamerasFrame)
{
    StartWith(nullptr);
    Cameras()->SetMode(CM::kFollow);
    CCameraManager* world = CCameraManager::CreateWorldCamera(*Cameras());
    ASSERT_NE(world, nullptr);
    EXPECT_EQ(world->GetCameraFrame(), Cameras()->GetCameraFrame());
    EXPECT_EQ(world->GetMode(), CM::kFollow);
    EXPECT_EQ(world->GetFollowDistance(), Cameras()->GetFollowDistance());
    EXPECT_EQ(world->GetFixedCameraCount(), 0);
    delete world; // the main camera keeps its frame and rasters
    EXPECT_NE(Cameras()->GetCameraFrame(), nullptr);
    RunFrame(20);
}

} // namespace
