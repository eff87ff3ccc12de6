// The physics world: its "Worlds" section, world loading and drawing,
// the per-world cameras and teardown.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "framework/cameramanager.h"
#include "framework/framelookat.h"
#include "framework/framework.h"
#include "framework/inputmanager.h"
#include "framework/physicsworld.h"
#include "framework/testing/configbuilder.h"
#include "framework/tests/physicstesting.h"
#include "graphics/core/vector.h"
#include "physics/core/context/context.h"
#include "physics/core/pipeline/pipeline.h"

namespace {

TEST_F(PhysicsWorld, GlobalSettingsAreReadWithDefaultsForWhatIsMissing)
{
    StartWith([](ConfigBuilder& config) {
        config.Open("PhysicsGlobalSettings")
            .Element("Bodies", {{"maxRegistered", "50"}, {"maxActive", "25"}})
            .Element("Joints", {{"max", "7"}})
            .Element("Gravity", {{"x", "1"}, {"y", "-9.5"}, {"z", "2"}})
            .Element("SolidSlide", {{"value", "4"}})
            .Element("Stick", {{"inAir", "3"}, {"onGround", "0.5"}})
            .Close();
        // Outside the settings these names mean nothing.
        config.Element("Joints", {{"max", "99"}});
    });
    const PhysicsWorldSettings& s = Worlds()->GetSettings();
    EXPECT_EQ(s.maxRegisteredBodies, 50);
    EXPECT_EQ(s.maxActiveBodies, 25);
    EXPECT_EQ(s.maxFreeJoints, 7);
    EXPECT_FLOAT_EQ(s.gravity.y, -9.5f);
    EXPECT_FLOAT_EQ(s.gravity.z, 2.0f);
    EXPECT_FLOAT_EQ(s.solidSlide, 4.0f);
    EXPECT_FLOAT_EQ(s.stickInAir, 3.0f);
    EXPECT_FLOAT_EQ(s.stickOnGround, 0.5f);
    // No "BBox": the box spans -1000 to 1000 on each axis.
    EXPECT_FLOAT_EQ(s.boxUpper.x, 1000.0f);
    EXPECT_FLOAT_EQ(s.boxLower.z, -1000.0f);
    EXPECT_FLOAT_EQ(s.mobileSlide, 1.0f);
    EXPECT_FLOAT_EQ(s.mobileBounce, 0.0f);
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(PhysicsWorld, MalformedElementsShowTheirMessage)
{
    const struct
    {
        std::function<void(ConfigBuilder&)> worlds;
        const char* message;
    } cases[] = {
        {[](ConfigBuilder& c) {
             c.Open("PhysicsGlobalSettings").Element("Bodies", {{"maxRegistered", "50"}}).Close();
         },
         "'MaxActive' attribute not found in 'Bodies' section.\nPlease update your XML file"},
        {[](ConfigBuilder& c) {
             c.Open("PhysicsGlobalSettings").Element("BBox", {{"x1", "1"}, {"y1", "1"}, {"z2", "1"}}).Close();
         },
         "'z1' attribute not found in 'BBox' section.\nPlease update your XML file"},
        {[](ConfigBuilder& c) { c.Open("PhysicsGlobalSettings").Element("MobileBounce").Close(); },
         "'value' attribute not found in 'MobileBounce' section.\nPlease update your XML file"},
        // Only the third place is read for the flags.
        {[](ConfigBuilder& c) {
             c.Element("World", {{"filename", "world/level.bsp"}, {"flags", "0"}});
         },
         "'Flags' attribute not found in 'World' section.\nPlease update your XML file"},
        // Without a file name the element is refused without a message.
        {[](ConfigBuilder& c) {
             c.Element("World")
                 .Element("World", {{"name", "x"}})
                 .Element("World", {{"filename", "world/none.bsp"}, {"name", "x"}, {"flags", "0"}});
         },
         "Can not load world in file world/none.bsp\n please check your data"},
    };
    for (const auto& c : cases) {
        StartWith(c.worlds);
        ASSERT_EQ(Boxes().size(), 1u) << c.message;
        EXPECT_EQ(Boxes()[0], c.message);
        EXPECT_EQ(Worlds()->GetWorldCount(), 0);
        Stop();
        Boxes().clear();
        Framework().halt = false;
    }
}

// A count beyond what the physics context serves, or a gravity that throws
// every body out of the level in a frame, is refused with its element,
// attribute and value before the context is made.
TEST_F(PhysicsWorld, CountsAndGravityBeyondReasonAreRefused)
{
    const struct
    {
        const char* element;
        ConfigBuilder::Attributes attributes;
        const char* box;
    } cases[] = {
        {"Bodies",
         {{"maxRegistered", "2147483647"}, {"maxActive", "25"}},
         "element 'Bodies' attribute 'maxRegistered' value '2147483647' is not a count from 0 to 4096"},
        {"Joints",
         {{"max", "-1"}},
         "element 'Joints' attribute 'max' value '-1' is not a count from 0 to 4096"},
        {"Gravity",
         {{"x", "0"}, {"y", "-1001"}, {"z", "0"}},
         "element 'Gravity' attribute 'y' value '-1001' is not a gravity from -1000 to 1000 units per second "
         "squared"},
        {"Gravity",
         {{"x", "0"}, {"y", "-1e30"}, {"z", "0"}},
         "element 'Gravity' attribute 'y' value '-1e30' is not a finite number from -1e6 to 1e6"},
    };
    for (const auto& c : cases) {
        StartWith([&c](ConfigBuilder& config) {
            config.Open("PhysicsGlobalSettings").Element(c.element, c.attributes).Close();
        });
        ASSERT_EQ(Boxes().size(), 1u) << c.box;
        EXPECT_NE(Boxes()[0].find(std::string(": ") + c.box + ".\nPlease update your XML file"),
                  std::string::npos)
            << Boxes()[0];
        EXPECT_TRUE(Framework().halt);
        const PhysicsWorldSettings& s = Worlds()->GetSettings();
        EXPECT_LE(s.maxRegisteredBodies, 4096);
        EXPECT_GE(s.maxFreeJoints, 0);
        EXPECT_LE(std::fabs(s.gravity.y), 1000.0f);
        Stop();
        Boxes().clear();
        Framework().halt = false;
    }
}

TEST_F(PhysicsWorld, FirstValueOfAnElementStaysWhenTheSecondIsMissing)
{
    StartWith([](ConfigBuilder& c) {
        c.Open("PhysicsGlobalSettings").Element("Bodies", {{"maxRegistered", "50"}}).Close();
    });
    EXPECT_EQ(Worlds()->GetSettings().maxRegisteredBodies, 50);
    EXPECT_EQ(Worlds()->GetSettings().maxActiveBodies, 100);
}

TEST_F(PhysicsWorld, LoadedWorldIsDrawnThroughItsOwnCameraAndTornDown)
{
    StartWith([](ConfigBuilder& c) {
        c.Element("World", {{"filename", "world\\level.bsp"}, {"name", "level"}, {"flags", "2"}});
        // A file without a world chunk gives no level: an error, not an empty frame.
        c.Element("World", {{"filename", "fonts/did16.met"}, {"name", "x"}, {"flags", "0"}});
    });
    EXPECT_EQ(Boxes(), std::vector<std::string>{
                           "Can not load world in file fonts/did16.met\n it holds no whole world"});
    Framework().halt = false;
    ASSERT_EQ(Worlds()->GetWorldCount(), 1);
    ASSERT_NE(Worlds()->GetWorld(0), nullptr);
    EXPECT_EQ(Worlds()->GetRenderMode(0), CPhysicsWorld::kRenderBoth);
    EXPECT_FALSE(Worlds()->SetCamera(Framework().cameraManager)) << "one main camera";

    // Above the level (30 x 30, walls 3 high), looking down on it.
    const V3d eye = {0.5f, 25.0f, -0.5f}, centre = {0.0f, 0.0f, 0.0f};
    FrameLookAt(Framework().cameraManager->GetCameraFrame(), &eye, &centre);
    RunFrame(20);
    int32_t width = 0, height = 0;
    const std::vector<uint32_t> pixels = CameraPixels(&width, &height);
    ASSERT_EQ(pixels.size(), size_t(width) * size_t(height));
    const uint8_t* sky = Framework().cameraManager->GetBackgroundColour();
    const uint32_t background = 0xFF000000u | uint32_t(sky[0]) << 16 | uint32_t(sky[1]) << 8 | sky[2];
    size_t world = 0;
    for (uint32_t pixel : pixels)
        world += (pixel | 0xFF000000u) != background;
    EXPECT_GT(world, pixels.size() / 4) << "the level fills much of the view";

    Stop();
    EXPECT_EQ(Framework().physicsWorld, nullptr);
}

int32_t CountVolume(OlpVolume*, void* data)
{
    ++*static_cast<int32_t*>(data);
    return 1;
}

TEST_F(PhysicsWorld, FirstWorldMakesTheContextThatEachStepRuns)
{
    StartWith([](ConfigBuilder& c) {
        c.Open("PhysicsGlobalSettings").Element("Gravity", {{"x", "1"}, {"y", "-9.5"}, {"z", "2"}}).Close();
        c.Element("World", {{"filename", "world/level.bsp"}, {"name", "a"}, {"flags", "0"}});
        c.Element("World", {{"filename", "world/level.bsp"}, {"name", "b"}, {"flags", "0"}});
    });
    OlpContext* context = Worlds()->GetContext();
    ASSERT_NE(context, nullptr);
    int32_t volumes = 0;
    OlpContextForAllObjects(context, CountVolume, &volumes);
    EXPECT_EQ(volumes, 2) << "one triangle list per world";
    const OlpPipeline* pipeline = OlpContextGetPipeline(context);
    EXPECT_EQ(pipeline->gravity.x, 1.0f);
    EXPECT_EQ(pipeline->gravity.y, -9.5f);
    // A step shorter than 0.01 s is simulated as 0.01 s.
    Worlds()->Step(0.004f);
    EXPECT_FLOAT_EQ(pipeline->timeStep, 0.01f);
    Worlds()->Step(0.02f);
    EXPECT_FLOAT_EQ(pipeline->timeStep, 0.02f);
    // The frame steps the world with its own step (the first frame's is 0).
    RunFrame(25);
    RunFrame(25);
    EXPECT_FLOAT_EQ(pipeline->timeStep, 0.025f);
}

TEST_F(PhysicsWorld, RemoveCameraAnswersOnlyForTheMainCamera)
{
    StartWith([](ConfigBuilder& c) {
        c.Element("World", {{"filename", "world/level.bsp"}, {"name", "l"}, {"flags", "0"}});
    });
    CCameraManager other(1.0f);
    EXPECT_FALSE(Worlds()->RemoveCamera(&other));
    EXPECT_TRUE(Worlds()->RemoveCamera(Framework().cameraManager));
    EXPECT_FALSE(Worlds()->SetCamera(Framework().cameraManager)) << "the main camera stays recorded";
}

TEST_F(PhysicsQueries, SegmentKeepsTheNearestHitWithAnyOutput)
{
    // Through the hall's east door to the outer wall at x = 14.
    const V3d from = {0.0f, 1.5f, 0.0f}, to = {20.0f, 1.5f, 0.0f};
    float distance = -1.0f;
    V3d normal = {9.0f, 9.0f, 9.0f};
    CSceneObject* object = reinterpret_cast<CSceneObject*>(&distance);
    ASSERT_EQ(Worlds()->TestSegment(&from, &to, false, &distance, &normal, &object), 1);
    EXPECT_NEAR(distance, 14.0f / 20.0f, 1e-4f);
    EXPECT_NEAR(std::fabs(normal.x), 1.0f, 1e-4f);
    EXPECT_NEAR(normal.y, 0.0f, 1e-4f);
    EXPECT_EQ(object, nullptr) << "a world hit names no object";

    // A distance output alone (the weapon's question) gets the nearest hit too.
    distance = -1.0f;
    EXPECT_EQ(Worlds()->TestSegment(&from, &to, false, &distance, nullptr, nullptr), 1);
    EXPECT_NEAR(distance, 14.0f / 20.0f, 1e-4f);

    // Inside the floor's plane or below it, and a segment of no length.
    const V3d down = {0.5f, 1.0f, 0.5f}, below = {0.5f, -1.0f, 0.5f};
    EXPECT_EQ(Worlds()->TestSegment(&down, &below, false, nullptr, nullptr, nullptr), 1);
    const V3d onFloor = {0.5f, 0.0f, 0.5f};
    EXPECT_EQ(Worlds()->TestSegment(&onFloor, &onFloor, false, &distance, &normal, nullptr), 0);
    // Above the walls nothing is met: the kept values say so.
    const V3d high = {-20.0f, 10.0f, 0.0f}, highEnd = {20.0f, 10.0f, 0.0f};
    EXPECT_EQ(Worlds()->TestSegment(&high, &highEnd, false, &distance, &normal, nullptr), 0);
    EXPECT_EQ(distance, 100000.0f);
    EXPECT_EQ(normal.x, 0.0f);
}

TEST_F(PhysicsQueries, CorridorIsBlockedByWhatItsRingsMeet)
{
    // Out of the hall through its east door (3 m wide, in the wall at x = 5.5
    // to 6): a tube of radius 1 passes, one of radius 2 meets the door's sides.
    const V3d from = {0.0f, 1.5f, 0.0f}, to = {10.0f, 1.5f, 0.0f};
    EXPECT_FALSE(Worlds()->TestCorridor(&from, &to, 1.0f, false));
    EXPECT_TRUE(Worlds()->TestCorridor(&from, &to, 2.0f, false));
    // Into the outer wall at x = 14.
    const V3d out = {20.0f, 1.5f, 0.0f};
    EXPECT_TRUE(Worlds()->TestCorridor(&from, &out, 0.1f, false));
}

TEST_F(PhysicsQueries, CameraPickMeetsTheWorldUnderThePointer)
{
    CCameraManager* cameras = Framework().cameraManager;
    const V3d eye = {0.5f, 25.0f, -0.5f}, centre = {0.0f, 0.0f, 0.0f};
    FrameLookAt(cameras->GetCameraFrame(), &eye, &centre);
    V3d point, normal;
    // The pointer at the window's centre: the floor (or a wall top) below.
    ShellMouseRecord record{320.0f, 240.0f, 0.0f, 0.0f, 0, 0};
    CInputManager::MouseHandler(ShellEventMouseMove, &record);
    float x = 0.0f, y = 0.0f;
    CInputManager::Instance()->GetPointerPosition(&x, &y);
    ASSERT_EQ(x, 320.0f);
    ASSERT_TRUE(cameras->PickUnderPointer(&point, &normal, nullptr));
    EXPECT_NEAR(normal.y, 1.0f, 1e-3f);
    EXPECT_LT(std::fabs(point.x), 15.0f);
    EXPECT_GE(point.y, -1e-3f);
    EXPECT_LE(point.y, 3.001f);
    // Without the physics world picks meet nothing.
    Worlds()->RemoveCamera(cameras);
    delete Worlds();
    EXPECT_FALSE(cameras->PickUnderPointer(&point, &normal, nullptr));
}

} // namespace
