// The physics world's dynamic collision triangles and planes, its tables of
// interactive objects, and its lights.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "framework/cameramanager.h"
#include "framework/collisionplane.h"
#include "framework/collisiontriangle.h"
#include "framework/framelookat.h"
#include "framework/inputmanager.h"
#include "framework/interactiveobject.h"
#include "framework/light.h"
#include "framework/tests/physicstesting.h"
#include "graphics/scene/light.h"
#include "physics/core/context/context.h"
#include "physics/core/volume/trilist.h"

namespace {

float Distance(const V3d& a, const V3d& b)
{
    return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z));
}

void Triangle(ConfigBuilder& c, const char* flags, float x)
{
    const std::string v = std::to_string(x);
    c.Open("CollisionTriangle");
    if (flags)
        c.Element("flags", {{"value", flags}});
    c.Element("v1", {{"x", v}, {"y", "0"}, {"z", "0"}})
        .Element("v2", {{"x", v}, {"y", "2"}, {"z", "0"}})
        .Element("v3", {{"x", v}, {"y", "0"}, {"z", "2"}})
        .Close();
}

TEST_F(PhysicsWorld, CollisionTrianglesComeWithTwinsOfTheOtherWinding)
{
    StartWith([](ConfigBuilder& c) {
        c.Open("PhysicsGlobalSettings");
        Triangle(c, "1", 5.0f);
        c.Close();
        Triangle(c, nullptr, 6.0f); // outside the settings too
    });
    EXPECT_TRUE(Boxes().empty());
    ASSERT_EQ(Worlds()->GetCollisionTriangleCount(), 4);
    const CCollisionTriangle* first = Worlds()->GetCollisionTriangle(0);
    const CCollisionTriangle* twin = Worlds()->GetCollisionTriangle(1);
    EXPECT_TRUE(first->IsDisabled());
    EXPECT_TRUE(twin->IsDisabled());
    EXPECT_FALSE(Worlds()->GetCollisionTriangle(2)->IsDisabled());
    EXPECT_EQ(twin->GetPoint(0).z, first->GetPoint(2).z);
    EXPECT_EQ(twin->GetPoint(1).y, first->GetPoint(1).y);
    EXPECT_EQ(twin->GetPoint(2).z, first->GetPoint(0).z);
    EXPECT_EQ(first->GetGeometry(), nullptr) << "geometry comes with the first update";
}

TEST_F(PhysicsWorld, CollisionElementsShowTheirMessages)
{
    const struct
    {
        std::function<void(ConfigBuilder&)> worlds;
        const char* message;
    } cases[] = {
        {[](ConfigBuilder& c) {
             c.Open("CollisionTriangle").Element("v2", {{"x", "1"}, {"z", "1"}}).Close();
         },
         "'y' attribute not found in 'v2' section.\nPlease update your XML file"},
        {[](ConfigBuilder& c) {
             c.Open("CollisionTriangle").Element("flags", {{"val", "1"}}).Close();
         },
         "'value' attribute not found in 'flags' section.\nPlease update your XML file"},
        {[](ConfigBuilder& c) {
             c.Open("CollisionPlane").Element("Right", {{"y", "1"}}).Close();
         },
         "'x' attribute not found in 'Right' section.\nPlease update your XML file"},
        {[](ConfigBuilder& c) { c.Open("CollisionPlane").Element("Width").Close(); },
         "'value' attribute not found in 'Width' section.\nPlease update your XML file"},
    };
    for (const auto& k : cases) {
        StartWith(k.worlds);
        ASSERT_EQ(Boxes().size(), 1u) << k.message;
        EXPECT_EQ(Boxes()[0], k.message);
        Stop();
        Boxes().clear();
        Framework().halt = false;
    }
}

TEST_F(PhysicsWorld, PlanesAreSquaredUpAndSpanTwiceTheirSize)
{
    StartWith([](ConfigBuilder& c) {
        c.Open("PhysicsGlobalSettings")
            .Open("CollisionPlane")
            .Element("Position", {{"x", "1"}, {"y", "2"}, {"z", "3"}})
            .Element("Normal", {{"x", "0"}, {"y", "3"}, {"z", "0"}})
            .Element("Right", {{"x", "1"}, {"y", "1"}, {"z", "0"}}) // slanted
            .Element("Length", {{"value", "1"}})
            .Element("Width", {{"value", "2"}})
            .Close()
            .Open("CollisionPlane") // every default: Right along Normal
            .Close()
            .Close();
    });
    ASSERT_EQ(Worlds()->GetCollisionPlaneCount(), 4) << "two-sided: each with a copy";
    Worlds()->Step(0.02f);
    CCollisionPlane* plane = Worlds()->GetCollisionPlane(0);
    CCollisionPlane* copy = Worlds()->GetCollisionPlane(1);
    // The pair faces both ways.
    EXPECT_NEAR(plane->GetNormal().y, -1.0f, 1e-6f);
    EXPECT_NEAR(copy->GetNormal().y, 1.0f, 1e-6f);
    // Right squared up to (1, 0, 0) at full length: 2 along x, 4 across.
    EXPECT_NEAR(plane->GetRight().x, 1.0f, 1e-6f);
    EXPECT_NEAR(plane->GetRight().y, 0.0f, 1e-6f);
    EXPECT_NEAR(Distance(plane->GetCorner(0), plane->GetCorner(3)), 2.0f, 1e-5f);
    EXPECT_NEAR(Distance(plane->GetCorner(0), plane->GetCorner(1)), 4.0f, 1e-5f);
    EXPECT_NEAR(Distance(plane->GetCorner(0), plane->GetCorner(2)), std::sqrt(20.0f), 1e-5f);
    EXPECT_NEAR(plane->GetCorner(2).y, 2.0f, 1e-6f);
    ASSERT_NE(plane->GetGeometry(), nullptr);

    // The defaults make a 200 x 200 square in the x-z plane.
    const CCollisionPlane* square = Worlds()->GetCollisionPlane(3);
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(std::isfinite(square->GetCorner(i).x));
        EXPECT_EQ(square->GetCorner(i).y, 0.0f);
    }
    EXPECT_NEAR(Distance(square->GetCorner(0), square->GetCorner(2)), std::sqrt(2.0f) * 200.0f, 1e-2f);

    // The plane's copy meets a segment through it; the dynamic geometry can be skipped.
    const V3d from = {1.5f, 5.0f, 3.5f}, to = {1.5f, -5.0f, 3.5f};
    float distance = 0.0f;
    ASSERT_EQ(Worlds()->TestSegment(&from, &to, false, &distance, nullptr, nullptr), 1);
    EXPECT_NEAR(distance, 0.3f, 1e-5f);
    EXPECT_EQ(Worlds()->TestSegment(&from, &to, true, nullptr, nullptr, nullptr), 0);
    SphereQueryResult r = {};
    ASSERT_TRUE(Worlds()->SphereQuery(1.0f, 2.2f, 3.0f, 0.3f, &r));
    EXPECT_NEAR(r.distance, 0.2f, 1e-5f);
}

/// A piece of furniture that logs what the world asks of it.
class LoggingObject : public CInteractiveObject
{
  public:
    LoggingObject(std::vector<std::string>* log, std::string name) : m_log(log), m_name(std::move(name)) {}
    bool OnStart(const char*, const char**) override { return true; }
    bool OnEnd(const char*) override { return true; }
    bool Load() override { return true; }
    void Update(float) override { m_log->push_back("update " + m_name); }
    void RenderDebug() override { m_log->push_back("draw " + m_name); }
    void Shutdown() override { m_log->push_back("shutdown " + m_name); }
    bool IsNear(const V3d& point) const override
    {
        return std::fabs(point.x) < 1.0f && std::fabs(point.z) < 1.0f;
    }
    void Toggle() override { m_log->push_back("toggle " + m_name); }

  private:
    std::vector<std::string>* m_log;
    std::string m_name;
};

TEST_F(PhysicsQueries, InteractiveObjectsUpdateInTheirOrderUntilTheWorldEnds)
{
    std::vector<std::string> log;
    // Added in reverse order of their updates.
    const struct
    {
        bool (CPhysicsWorld::*add)(CInteractiveObject*);
        const char* name;
    } kinds[] = {
        {&CPhysicsWorld::AddDoor, "door"},         {&CPhysicsWorld::AddBumper, "bumper"},
        {&CPhysicsWorld::AddLift, "lift"},         {&CPhysicsWorld::AddTeleporter, "teleporter"},
        {&CPhysicsWorld::AddLaserBeam, "laser"},   {&CPhysicsWorld::AddSwitch, "switch"},
        {&CPhysicsWorld::AddJumpHelper, "helper"},
    };
    for (const auto& kind : kinds)
        ASSERT_TRUE((Worlds()->*kind.add)(new LoggingObject(&log, kind.name)));
    Worlds()->Step(0.02f);
    EXPECT_EQ(log,
              (std::vector<std::string>{"update helper", "update switch", "update laser", "update teleporter",
                                        "update lift", "update bumper", "update door"}));

    // A click on the floor under the switch toggles it.
    log.clear();
    CCameraManager* cameras = Framework().cameraManager;
    const V3d eye = {0.0f, 10.0f, -0.01f}, centre = {0.0f, 0.0f, 0.0f};
    FrameLookAt(cameras->GetCameraFrame(), &eye, &centre);
    ShellMouseRecord record{320.0f, 240.0f, 0.0f, 0.0f, 0, 0};
    CInputManager::MouseHandler(ShellEventMouseMove, &record);
    CInputManager::MouseHandler(ShellEventLeftButtonDown, &record);
    CInputManager::Instance()->Update(0.0f);
    ASSERT_TRUE(CInputManager::Instance()->IsClicked());
    Worlds()->Step(0.02f);
    EXPECT_EQ(log[2], "toggle switch");

    // The sixteenth door is taken, the seventeenth refused with its message.
    for (int i = 1; i < 16; ++i)
        ASSERT_TRUE(Worlds()->AddDoor(new LoggingObject(&log, "door")));
    LoggingObject refused(&log, "refused");
    EXPECT_FALSE(Worlds()->AddDoor(&refused));
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0], "Too much doors.\nPlease increase MAX_DOORS value");
    EXPECT_EQ(Worlds()->GetInteractiveCount(CPhysicsWorld::kDoors), 16);

    log.clear();
    delete Worlds(); // shut down and deleted (ASan's leak check watches)
    EXPECT_EQ(log.front(), "shutdown helper");
    EXPECT_EQ(log.size(), 22u);
}

TEST_F(PhysicsQueries, DynamicTrianglesFeedTheSimulationUntilTheListIsFull)
{
    EXPECT_EQ(Worlds()->GetDynamicTriangleVolume(), nullptr);
    for (int i = 0; i < 5; ++i) {
        auto* triangle = new CCollisionTriangle;
        triangle->SetPoint(0, {float(i), 0.0f, 0.0f});
        triangle->SetPoint(1, {float(i), 1.0f, 0.0f});
        triangle->SetPoint(2, {float(i), 0.0f, 1.0f});
        triangle->SetDisabled(i == 1);
        ASSERT_TRUE(Worlds()->AddCollisionTriangle(triangle));
    }
    ASSERT_EQ(Worlds()->GetCollisionTriangleCount(), 10);
    Worlds()->Step(0.02f);
    OlpVolume* list = Worlds()->GetDynamicTriangleVolume();
    ASSERT_NE(list, nullptr);
    int32_t volumes = 0;
    OlpContextForAllObjects(
        Worlds()->GetContext(),
        [](OlpVolume*, void* count) {
            ++*static_cast<int32_t*>(count);
            return 1;
        },
        &volumes);
    EXPECT_EQ(volumes, 2) << "the world's triangles and the dynamic list";
    EXPECT_EQ(list->slide, 10.0f);

    OlpTriangleData records[3];
    OlpTrilistQuery query = {records, 99, 3, 7, nullptr};
    ASSERT_EQ(OlpTrilistGetCallback(list)(list, nullptr, nullptr, 0, &query), &query);
    EXPECT_EQ(query.count, 3u) << "the list holds three";
    EXPECT_EQ(query.flags, 0u);
    // Table order: the first triangle, its twin, then the third (the second
    // and its twin are disabled).
    EXPECT_EQ(records[0].a.x, 0.0f);
    EXPECT_EQ(records[1].c.x, 0.0f);
    EXPECT_EQ(records[2].a.x, 2.0f);
    for (const OlpTriangleData& r : records) {
        EXPECT_EQ(r.edgeFlags, 14u);
        EXPECT_EQ(r.source, nullptr);
        EXPECT_NEAR(std::fabs(r.normal.x), 1.0f, 1e-6f);
    }
    EXPECT_EQ(records[0].normal.x, -records[1].normal.x) << "twins face opposite ways";

    // 64 pairs fill the table; the next triangle is refused.
    for (int i = 5; i < 64; ++i)
        ASSERT_TRUE(Worlds()->AddCollisionTriangle(new CCollisionTriangle));
    EXPECT_EQ(Worlds()->GetCollisionTriangleCount(), 128);
    CCollisionTriangle refused;
    EXPECT_FALSE(Worlds()->AddCollisionTriangle(&refused));
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0],
              "Too much dynamic collision triangles.\nPlease increase MAX_COLLISION_TRIANGLES value");
}

TEST_F(PhysicsWorld, StepWithoutAWorldSimulatesNothing)
{
    StartWith([](ConfigBuilder&) {});
    Worlds()->AddCollisionTriangle(new CCollisionTriangle);
    Worlds()->Step(0.02f);
    EXPECT_EQ(Worlds()->GetContext(), nullptr);
    EXPECT_EQ(Worlds()->GetDynamicTriangleVolume(), nullptr);
    ASSERT_TRUE(Worlds()->LoadWorld("world/level.bsp", 0));
    Worlds()->Step(0.02f);
    EXPECT_NE(Worlds()->GetDynamicTriangleVolume(), nullptr) << "made once there is a context";
}

TEST_F(PhysicsWorld, DefaultLightsOnlyWithoutConfiguredOnes)
{
    StartWith([](ConfigBuilder& c) {
        c.Element("World", {{"filename", "world/level.bsp"}, {"name", "a"}, {"flags", "0"}});
        c.Element("World", {{"filename", "world/level.bsp"}, {"name", "b"}, {"flags", "0"}});
    });
    ASSERT_NE(app_.GetDefaultLight(0), nullptr);
    ASSERT_EQ(Worlds()->GetLightCount(), 2);
    const CLight* ambient = Worlds()->GetWorldLight(0, 1);
    ASSERT_NE(ambient, nullptr);
    EXPECT_EQ(ambient->GetKind(), CLight::kAmbient);
    EXPECT_EQ(ambient->GetLight()->colour.red, 0.45f);
    const CLight* sun = Worlds()->GetWorldLight(1, 0);
    EXPECT_EQ(sun->GetKind(), CLight::kDirectional);
    EXPECT_NE(sun->GetLight(), app_.GetDefaultLight(1)->GetLight()) << "a light of each world's own";
    // A description without light is refused; an unknown one cannot be removed.
    CLight none;
    EXPECT_FALSE(Worlds()->AddLight(&none));
    EXPECT_FALSE(Worlds()->RemoveLight(&none));
    EXPECT_TRUE(Worlds()->RemoveLight(app_.GetDefaultLight(0)));
    EXPECT_EQ(Worlds()->GetLightCount(), 1);
    Stop();

    // One configured light: no default one.
    ConfigBuilder config;
    config.Open("Config").Open("Worlds");
    config.Element("World", {{"filename", "world/level.bsp"}, {"name", "a"}, {"flags", "0"}});
    config.Close()
        .Open("Light", {{"type", "Ambient"}})
        .Element("Color", {{"r", "0.2"}, {"g", "0.3"}, {"b", "0.4"}});
    config.Close();
    ASSERT_TRUE(Start(config.Text()));
    EXPECT_EQ(app_.GetDefaultLight(0), nullptr);
    EXPECT_EQ(app_.GetDefaultLight(1), nullptr);
    ASSERT_EQ(Worlds()->GetLightCount(), 1);
    EXPECT_NEAR(Worlds()->GetWorldLight(0, 0)->GetLight()->colour.green, 0.3f, 1e-6f);
}

} // namespace
