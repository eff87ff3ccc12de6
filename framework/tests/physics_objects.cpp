// Scene objects in the physics world: the clumps of world files, the table of
// registered objects, and the segment test against their clumps.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "framework/cameramanager.h"
#include "framework/framelookat.h"
#include "framework/inputmanager.h"
#include "framework/sceneobject.h"
#include "framework/tests/physicstesting.h"
#include "graphics/scene/world.h"

namespace {

std::string ReadBytes(const char* path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

/// A scene object of the sample crate (1 x 1 x 1, standing on its origin) at `position`.
std::unique_ptr<CSceneObject> Crate(const V3d& position)
{
    auto crate = std::make_unique<CSceneObject>();
    EXPECT_TRUE(crate->LoadClump("world/crate.dff"));
    crate->SetScale(1.0f / CSceneObject::kScaleUnit); // model units as they are
    crate->SetPosition(position);
    crate->SetCollidable(true);
    return crate;
}

TEST_F(PhysicsWorld, WorldFileClumpsBecomeCollidableRegisteredObjects)
{
    // A world file is a sequence of chunks: the level's world, then two models.
    const std::string file =
        WriteFile("clumps.bsp",
                  ReadBytes("world/level.bsp") + ReadBytes("world/crate.dff") + ReadBytes("world/lift.dff"));
    // The world chunk alone, without clumps, adds none.
    StartWith([&](ConfigBuilder& c) {
        c.Element("World", {{"filename", file}, {"name", "a"}, {"flags", "0"}});
        c.Element("World", {{"filename", "world/level.bsp"}, {"name", "b"}, {"flags", "0"}});
    });
    EXPECT_TRUE(Boxes().empty());
    ASSERT_EQ(Worlds()->GetRegisteredCount(), 2);
    for (int32_t i = 0; i < 2; ++i) {
        const CSceneObject* object = Worlds()->GetRegistered(i);
        ASSERT_NE(object, nullptr);
        EXPECT_TRUE(object->IsCollidable());
        EXPECT_TRUE(object->IsRegistered());
        EXPECT_STREQ(object->GetName(), "Noname");
    }
    EXPECT_EQ(Worlds()->GetWorld(0)->numClumps, 2);
    EXPECT_EQ(Worlds()->GetWorld(1)->numClumps, 0) << "only the first world holds registered clumps";
    // The crate (0.5 high at the origin) is in the way of a segment through it.
    const V3d from = {-2.0f, 0.5f, 0.0f}, to = {2.0f, 0.5f, 0.0f};
    CSceneObject* hit = nullptr;
    float distance = 0.0f;
    ASSERT_EQ(Worlds()->TestSegment(&from, &to, false, &distance, nullptr, &hit), 1);
    EXPECT_NEAR(distance, 1.5f / 4.0f, 1e-4f);
    EXPECT_EQ(hit, Worlds()->GetRegistered(0));
    // The world owns them: its teardown (under ASan's leak check) frees them.
}

TEST_F(PhysicsWorld, ACutWorldIsReported)
{
    const std::string level = ReadBytes("world/level.bsp");
    const std::string file = WriteFile("cut.bsp", level.substr(0, level.size() / 2));
    StartWith([&](ConfigBuilder& c) {
        c.Element("World", {{"filename", file}, {"name", "a"}, {"flags", "0"}});
    });
    EXPECT_EQ(Boxes(),
              std::vector<std::string>{"Can not load world in file " + file + "\n it holds no whole world"});
    EXPECT_TRUE(Framework().halt);
    EXPECT_EQ(Worlds()->GetWorldCount(), 0);
}

TEST_F(PhysicsWorld, RegistrationNeedsAWorldAndReusesEmptiedEntries)
{
    StartWith([](ConfigBuilder&) {});
    CSceneObject early;
    EXPECT_FALSE(Worlds()->RegisterObject(&early));
    EXPECT_EQ(Worlds()->GetRegisteredCount(), 0);
    EXPECT_FALSE(early.IsRegistered());
    ASSERT_TRUE(Worlds()->LoadWorld("world/level.bsp", 0));

    std::vector<std::unique_ptr<CSceneObject>> objects;
    for (int i = 0; i < 65; ++i) {
        objects.push_back(Crate({float(i % 8) - 4.0f, 0.0f, float(i / 8) - 4.0f}));
        ASSERT_TRUE(Worlds()->RegisterObject(objects.back().get()));
    }
    EXPECT_EQ(Worlds()->GetRegisteredCount(), 65);
    EXPECT_EQ(Worlds()->GetRegisteredCapacity(), 128) << "grown once by 64";
    EXPECT_EQ(Worlds()->GetWorld(0)->numClumps, 65);
    // Registering again changes nothing.
    EXPECT_TRUE(Worlds()->RegisterObject(objects[3].get()));
    EXPECT_EQ(Worlds()->GetRegisteredCount(), 65);

    // An unloaded object leaves an empty entry that the next one takes.
    objects[10]->Unload();
    EXPECT_FALSE(objects[10]->IsRegistered());
    EXPECT_EQ(Worlds()->GetRegistered(10), nullptr);
    EXPECT_EQ(Worlds()->GetRegisteredCount(), 65) << "the used length stays";
    EXPECT_EQ(Worlds()->GetWorld(0)->numClumps, 64);
    auto late = Crate({9.0f, 0.0f, 9.0f});
    ASSERT_TRUE(Worlds()->RegisterObject(late.get()));
    EXPECT_EQ(Worlds()->GetRegistered(10), late.get());
    EXPECT_EQ(Worlds()->GetRegisteredCount(), 65);

    // Out of the world and back: the clump follows the flag.
    late->SetInWorld(false);
    EXPECT_FALSE(late->IsRegistered());
    EXPECT_EQ(Worlds()->GetWorld(0)->numClumps, 64);
    late->SetInWorld(true);
    EXPECT_TRUE(late->IsRegistered());
    EXPECT_EQ(Worlds()->GetWorld(0)->numClumps, 65);
    CSceneObject stranger;
    EXPECT_FALSE(Worlds()->RefreshObject(&stranger));
    EXPECT_TRUE(Worlds()->UnregisterObject(&stranger));
    EXPECT_FALSE(Worlds()->UnregisterObject(nullptr));

    // An object out of the world is still in the table: unloading it takes it out.
    objects[20]->SetInWorld(false);
    objects[20]->Unload();
    EXPECT_EQ(Worlds()->GetRegistered(20), nullptr);

    // These objects are the test's: each unregisters as it goes.
    objects.clear();
    late.reset();
    EXPECT_EQ(Worlds()->GetWorld(0)->numClumps, 0);
}

TEST_F(PhysicsQueries, SegmentNamesTheObjectItMeetsFirst)
{
    // A crate turned 30 degrees, its centre at (3, 0.5, 0), in the hall.
    auto crate = Crate({3.0f, 0.0f, 0.0f});
    crate->SetHeading(30.0f);
    ASSERT_TRUE(Worlds()->RegisterObject(crate.get()));
    const V3d from = {0.0f, 0.5f, 0.0f}, to = {20.0f, 0.5f, 0.0f};
    float distance = 0.0f;
    V3d normal = {};
    CSceneObject* object = nullptr;
    ASSERT_EQ(Worlds()->TestSegment(&from, &to, false, &distance, &normal, &object), 1);
    EXPECT_EQ(object, crate.get());
    // Its -x face, 0.5 from the centre, faces (-cos 30, 0, sin 30) in the
    // world: the normal is the world's, not the crate's own (-1, 0, 0).
    const float c = std::cos(30.0f * 3.14159265f / 180.0f);
    EXPECT_NEAR((3.0f - 0.5f / c) / 20.0f, distance, 1e-4f);
    EXPECT_NEAR(normal.x, -c, 1e-4f);
    EXPECT_NEAR(std::fabs(normal.z), 0.5f, 1e-4f);
    EXPECT_EQ(Worlds()->GetQueryStats().objects, 1);

    // Without outputs the first hit answers; from equal to to, nothing.
    EXPECT_EQ(Worlds()->TestSegment(&from, &to, false, nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(Worlds()->TestSegment(&from, &from, false, &distance, &normal, &object), 0);

    // Beyond the outer wall the wall is met first: no object.
    crate->SetPosition({16.0f, 0.0f, 0.0f});
    ASSERT_EQ(Worlds()->TestSegment(&from, &to, false, &distance, nullptr, &object), 1);
    EXPECT_NEAR(distance, 14.0f / 20.0f, 1e-4f);
    EXPECT_EQ(object, nullptr);

    // A crate that does not collide is not seen.
    crate->SetPosition({3.0f, 0.0f, 0.0f});
    crate->SetCollidable(false);
    ASSERT_EQ(Worlds()->TestSegment(&from, &to, false, &distance, nullptr, &object), 1);
    EXPECT_EQ(object, nullptr);
    crate->Unload();
}

TEST_F(PhysicsQueries, CameraPickNamesTheObjectUnderThePointer)
{
    auto crate = Crate({0.0f, 0.0f, 0.0f});
    ASSERT_TRUE(Worlds()->RegisterObject(crate.get()));
    CCameraManager* cameras = Framework().cameraManager;
    const V3d eye = {0.0f, 25.0f, -0.01f}, centre = {0.0f, 0.0f, 0.0f};
    FrameLookAt(cameras->GetCameraFrame(), &eye, &centre);
    ShellMouseRecord record{320.0f, 240.0f, 0.0f, 0.0f, 0, 0};
    CInputManager::MouseHandler(ShellEventMouseMove, &record);
    V3d point, normal;
    CSceneObject* object = nullptr;
    ASSERT_TRUE(cameras->PickUnderPointer(&point, &normal, &object));
    EXPECT_EQ(object, crate.get());
    EXPECT_NEAR(point.y, 1.0f, 1e-3f) << "the crate's top";
    EXPECT_NEAR(normal.y, 1.0f, 1e-4f);
}

} // namespace
