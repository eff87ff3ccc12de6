// The interactive objects and dynamic models read from "config.xml" into a
// running framework with the sample level: each kind in its table, the lift
// gated by its switch, the door's leaves made by the first step, and the
// dynamic models' kinds, instances, grab and pull.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "framework/cameramanager.h"
#include "framework/door.h"
#include "framework/dynamicmodels.h"
#include "framework/framework.h"
#include "framework/inputmanager.h"
#include "framework/lift.h"
#include "framework/physicsworld.h"
#include "framework/sceneobject.h"
#include "framework/switch.h"
#include "framework/testing/configbuilder.h"
#include "framework/tests/frameworktesting.h"
#include "graphics/shared/skel/win/shellinput.h"
#include "physics/core/body/body.h"
#include "physics/core/context/context.h"
#include "physics/core/manager/manager.h"

namespace {

using CW = CPhysicsWorld;

class FurnitureWorld : public SoftwareFrameworkTest
{
  protected:
    /// The sample level, a free camera looking down at the origin, then `more`.
    bool StartWith(void (*more)(ConfigBuilder&))
    {
        ConfigBuilder config;
        config.Open("Config").Open("Input").Element("MouseMode", {{"Value", "1"}}).Close();
        config.Open("Worlds").Element("World",
                                      {{"filename", "world/level.bsp"}, {"name", "level"}, {"flags", "0"}});
        config.Close();
        config.Open("Camera", {{"nearClip", "0.1"}, {"farClip", "500"}, {"fov", "45"}})
            .Open("SwitchSequence")
            .Element("Mode", {{"value", "Free"}})
            .Close()
            .Element("CameraMode", {{"mode", "Free"}})
            .Open("Free")
            .Element("InitialPosition", {{"x", "0"}, {"y", "6"}, {"z", "-0.01"}})
            .Element("InitialTarget", {{"x", "0"}, {"y", "0"}, {"z", "0"}})
            .Close()
            .Close();
        more(config);
        return Start(config.Text());
    }
    static CPhysicsWorld* Worlds() { return Framework().physicsWorld; }
    static int32_t Bodies()
    {
        int32_t count = 0;
        OlpMgrForAllObjects(
            OlpContextGetMgr(Worlds()->GetContext()),
            [](OlpObj* object, void* data) {
                ++*static_cast<int32_t*>(data);
                return object;
            },
            &count);
        return count;
    }
    static void Furniture(ConfigBuilder& c)
    {
        c.Element("Switch", {{"name", "Gate"},
                             {"px", "3"},
                             {"py", "1"},
                             {"pz", "0"},
                             {"nx", "0"},
                             {"ny", "0"},
                             {"nz", "1"},
                             {"stringOn", "start"},
                             {"stringOff", "stop"}});
        c.Element("Lift", {{"p1x", "-3"},
                           {"p1y", "0.2"},
                           {"p1z", "0"},
                           {"p2x", "-3"},
                           {"p2y", "4.2"},
                           {"p2z", "0"},
                           {"pw1x", "0"},
                           {"pw1y", "0"},
                           {"pw1z", "0"},
                           {"pw2x", "0"},
                           {"pw2y", "0"},
                           {"pw2z", "0"},
                           {"switch", "Gate"}});
        c.Element("Door", {{"px", "0"},
                           {"py", "0"},
                           {"pz", "6"},
                           {"width", "0.75"},
                           {"height", "1"},
                           {"depth", "0.1"},
                           {"axis", "1"},
                           {"pw1x", "0"},
                           {"pw1y", "0"},
                           {"pw1z", "0"},
                           {"pw2x", "0"},
                           {"pw2y", "0"},
                           {"pw2z", "0"}});
        c.Element("JumpHelper",
                  {{"p1x", "0"}, {"p1y", "0"}, {"p1z", "0"}, {"p2x", "1"}, {"p2y", "0"}, {"p2z", "0"}});
        c.Element("Bumper",
                  {{"p1x", "9"}, {"p1y", "0"}, {"p1z", "0"}, {"p2x", "9"}, {"p2y", "0"}, {"p2z", "0"}});
    }
};

TEST_F(FurnitureWorld, EachKindLandsInItsTableAndTheLiftFindsItsSwitch)
{
    ASSERT_TRUE(StartWith(Furniture));
    EXPECT_TRUE(Boxes().empty()) << Boxes().front();
    for (CW::InteractiveKind kind : {CW::kSwitches, CW::kLifts, CW::kDoors, CW::kJumpHelpers, CW::kBumpers})
        EXPECT_EQ(Worlds()->GetInteractiveCount(kind), 1) << kind;
    auto* button = static_cast<CSwitch*>(Worlds()->GetInteractive(CW::kSwitches, 0));
    auto* lift = static_cast<CLift*>(Worlds()->GetInteractive(CW::kLifts, 0));
    EXPECT_EQ(lift->GetSwitch(), button);
    // The switch's lit green and plain red are in the world, the others not.
    EXPECT_TRUE(button->GetModel(CSwitch::kGreenLit)->IsRegistered());
    EXPECT_TRUE(button->GetModel(CSwitch::kRed)->IsRegistered());
    EXPECT_FALSE(button->GetModel(CSwitch::kGreen)->IsRegistered());
    EXPECT_FALSE(button->GetModel(CSwitch::kRedLit)->IsRegistered());
    // The lift's platform starts at its bottom point.
    const Matrix* pose = lift->GetBody()->base.parts[0].sourceMatrix;
    ASSERT_NE(pose, nullptr);
    EXPECT_NEAR(pose->pos.x, -3.0f, 1e-4f);
    EXPECT_NEAR(pose->pos.y, 0.2f, 1e-4f);
}

TEST_F(FurnitureWorld, DoorLeavesAppearWithTheFirstStep)
{
    ASSERT_TRUE(StartWith(Furniture));
    auto* door = static_cast<CDoor*>(Worlds()->GetInteractive(CW::kDoors, 0));
    ASSERT_NE(door, nullptr);
    EXPECT_TRUE(door->NeedsCreation());
    EXPECT_EQ(door->GetLeaf(0), nullptr);
    const int32_t before = Bodies();
    RunFrame(20);
    EXPECT_FALSE(door->NeedsCreation());
    ASSERT_NE(door->GetLeaf(0), nullptr);
    ASSERT_NE(door->GetLeaf(1), nullptr);
    EXPECT_EQ(Bodies(), before + 2);
    // Axis 1: the leaves stand along x, either side of the door, half their height up.
    EXPECT_FLOAT_EQ(door->GetLeafCentre(0).x, 0.77f);
    EXPECT_FLOAT_EQ(door->GetLeafCentre(1).x, -0.77f);
    EXPECT_FLOAT_EQ(door->GetLeafCentre(0).y, 0.5f);
    EXPECT_FLOAT_EQ(door->GetHinge(0).x, 0.75f);
    RunFrame(20);
    EXPECT_EQ(Bodies(), before + 2) << "made once";
}

TEST_F(FurnitureWorld, LiftStandsStillWhileItsSwitchIsOff)
{
    ASSERT_TRUE(StartWith(Furniture));
    auto* button = static_cast<CSwitch*>(Worlds()->GetInteractive(CW::kSwitches, 0));
    auto* lift = static_cast<CLift*>(Worlds()->GetInteractive(CW::kLifts, 0));
    RunFrame(20); // the first frame's step is 0
    RunFrame(20);
    const float moved = lift->GetTravelled();
    EXPECT_GT(moved, 0.0f);
    button->Update(1.0f);
    button->Toggle();
    ASSERT_EQ(button->GetState(), 0);
    for (int i = 0; i < 10; ++i)
        RunFrame(20);
    EXPECT_FLOAT_EQ(lift->GetTravelled(), moved);
    button->Update(1.0f);
    button->Toggle();
    RunFrame(20);
    EXPECT_GT(lift->GetTravelled(), moved);
}

void Models(ConfigBuilder& c)
{
    c.Open("Physics").Open("Models");
    c.Element("Sphere", {{"name", "Ball"}, {"clumpFilename", "models/sphere.dff"}});
    c.Element("Box", {{"name", "Crate"},
                      {"clumpFilename", "models/box.dff"},
                      {"dx", "0.5"},
                      {"dy", "0.5"},
                      {"dz", "0.5"},
                      {"mass", "20"},
                      {"slide", "1"},
                      {"bounce", "0.2"}});
    c.Close().Open("Instances");
    c.Element("Instance", {{"model", "Crate"},
                           {"px", "0"},
                           {"py", "0.5"},
                           {"pz", "0"},
                           {"ox", "0"},
                           {"oy", "1"},
                           {"oz", "0"},
                           {"angle", "0"}});
    c.Element("Instance", {{"model", "Ball"},
                           {"px", "2"},
                           {"py", "0.5"},
                           {"pz", "0"},
                           {"ox", "0"},
                           {"oy", "1"},
                           {"oz", "0"},
                           {"angle", "90"}});
    // Refused: a kind that does not exist, and an instance without its angle.
    c.Element("Instance", {{"model", "Nope"},
                           {"px", "0"},
                           {"py", "0"},
                           {"pz", "0"},
                           {"ox", "0"},
                           {"oy", "1"},
                           {"oz", "0"},
                           {"angle", "0"}});
    c.Element(
        "Instance",
        {{"model", "Crate"}, {"px", "0"}, {"py", "0"}, {"pz", "0"}, {"ox", "0"}, {"oy", "1"}, {"oz", "0"}});
    c.Close().Close();
}

TEST_F(FurnitureWorld, DynamicModelsMakeTheirInstancesAndRefuseTheMalformed)
{
    ASSERT_TRUE(StartWith(Models));
    CDynamicModels* models = CDynamicModels::Existing();
    ASSERT_NE(models, nullptr);
    EXPECT_EQ(models->GetKindCount(), 2);
    EXPECT_EQ(models->GetKind(1).definition, nullptr) << "released at the end of Instances";
    EXPECT_EQ(Bodies(), 2) << "the unknown kind and the instance without its angle make nothing";
    EXPECT_TRUE(Boxes().empty());
    // Angle 0 keeps the model's orientation; 90 degrees about y turns it.
    const OlpObj* crate = OlpMgrGetObject(OlpContextGetMgr(Worlds()->GetContext()), 0);
    const OlpObj* ball = OlpMgrGetObject(OlpContextGetMgr(Worlds()->GetContext()), 1);
    ASSERT_NE(crate, nullptr);
    ASSERT_NE(ball, nullptr);
    EXPECT_FLOAT_EQ(crate->parts[0].sourceMatrix->right.x, 1.0f);
    EXPECT_FLOAT_EQ(crate->parts[0].sourceMatrix->pos.y, 0.5f);
    EXPECT_NEAR(ball->parts[0].sourceMatrix->right.x, 0.0f, 1e-5f);
    EXPECT_NEAR(ball->parts[0].sourceMatrix->pos.x, 2.0f, 1e-5f);
}

TEST_F(FurnitureWorld, AThirtyThirdKindIsRefused)
{
    ASSERT_TRUE(StartWith([](ConfigBuilder& c) {
        c.Open("Physics").Open("Models");
        for (int i = 0; i < 33; ++i)
            c.Element("Sphere",
                      {{"name", "Ball" + std::to_string(i)}, {"clumpFilename", "models/sphere.dff"}});
        c.Close().Close();
    }));
    EXPECT_EQ(CDynamicModels::Existing()->GetKindCount(), CDynamicModels::kMaxKinds);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0], "Too much dynamic model kinds.\nPlease increase MAX_DYNAMIC_MODELS value");
}

TEST_F(FurnitureWorld, ControlGrabsTheModelUnderThePointerAndReleasingItDrops)
{
    ASSERT_TRUE(StartWith(Models));
    CDynamicModels* models = CDynamicModels::Existing();
    // The pointer at the middle of the window, where the crate stands below the camera.
    ShellMouseRecord centre{320.0f, 240.0f, 0.0f, 0.0f, 0, 0};
    CInputManager::MouseHandler(ShellEventMouseMove, &centre);
    RunFrame(20);
    EXPECT_FALSE(models->IsGrabbing()) << "no CTRL, no grab";
    ShellKeyRecord control{0, kShellKeyLeftControl};
    CInputManager::KeyboardHandler(ShellEventKeyDown, &control);
    RunFrame(20);
    ASSERT_TRUE(models->IsGrabbing());
    const OlpObj* crate = OlpMgrGetObject(OlpContextGetMgr(Worlds()->GetContext()), 0);
    EXPECT_EQ(&models->GetGrabbedBody()->base, crate);
    RunFrame(20);
    EXPECT_TRUE(models->IsGrabbing());
    CInputManager::KeyboardHandler(ShellEventKeyUp, &control);
    RunFrame(20);
    EXPECT_FALSE(models->IsGrabbing());
    EXPECT_EQ(models->GetGrabbedBody(), nullptr);
}

TEST(DynamicModels, PullGrowsWithDistanceUpToItsCap)
{
    const struct
    {
        float distance;
        float force;
    } cases[] = {{2.0f, 400.0f}, {5.0f, 1000.0f}, {10.0f, 1000.0f}, {0.0f, 0.0f}};
    for (const auto& c : cases) {
        const V3d force = CDynamicModels::PullForce({1.0f, 2.0f, 3.0f}, {1.0f, 2.0f, 3.0f + c.distance});
        EXPECT_FLOAT_EQ(force.z, c.force) << c.distance;
        EXPECT_FLOAT_EQ(force.x, 0.0f);
    }
}

TEST(DynamicModels, ArrowEndsAtItsTarget)
{
    Im3DVertex arrow[CDynamicModels::kArrowVertices];
    const V3d from{1.0f, 0.0f, 0.0f}, to{1.0f, 0.0f, 4.0f};
    ASSERT_TRUE(CDynamicModels::BuildArrow(from, to, arrow));
    float farthest = 0.0f;
    for (const Im3DVertex& v : arrow) {
        EXPECT_EQ(v.colour, CDynamicModels::kArrowColour);
        EXPECT_LE(v.z, 4.0f + 1e-5f);
        EXPECT_GE(v.z, 0.0f - 1e-5f);
        farthest = std::fmax(farthest, v.z);
    }
    EXPECT_FLOAT_EQ(farthest, 4.0f);
    // The head's point (base factor 0) is the target itself.
    for (int32_t i : {12, 13, 15, 18, 19, 21}) {
        EXPECT_FLOAT_EQ(arrow[i].x, 1.0f) << i;
        EXPECT_FLOAT_EQ(arrow[i].z, 4.0f) << i;
    }
    // The shaft stops 0.3 short of the target.
    EXPECT_FLOAT_EQ(arrow[2].z, 3.7f);
    EXPECT_FALSE(CDynamicModels::BuildArrow(to, to, arrow));
}

} // namespace
