// The interactive objects and dynamic models read from "config.xml" into a
// running framework with the sample level: each kind in its table, the lift
// gated by its switch, the door's leaves made by the first step, and the
// dynamic models' kinds, instances, grab and pull.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "framework/cameramanager.h"
#include "framework/character.h"
#include "framework/door.h"
#include "framework/dynamicmodels.h"
#include "framework/framework.h"
#include "framework/inputmanager.h"
#include "framework/lift.h"
#include "framework/physicsworld.h"
#include "framework/sceneobject.h"
#include "framework/switch.h"
#include "framework/testing/characterconfig.h"
#include "framework/testing/configbuilder.h"
#include "framework/testing/furnitureconfig.h"
#include "framework/tests/frameworktesting.h"
#include "graphics/core/frame.h"
#include "graphics/shared/skel/win/shellinput.h"
#include "physics/core/body/body.h"
#include "physics/core/context/context.h"
#include "physics/core/dyn/dyn.h"
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
        AddLift(c, {-3.0f, 0.2f, 0.0f}, {-3.0f, 4.2f, 0.0f}, "Gate");
        AddDoor(c, {0.0f, 0.0f, 6.0f}, 0.75f, 1.0f, 0.1f, 1);
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
    ASSERT_EQ(Worlds()->GetSwitchCount(), 1);
    CSwitch* button = Worlds()->GetSwitch(0);
    EXPECT_EQ(button, Worlds()->GetInteractive(CW::kSwitches, 0));
    EXPECT_EQ(Worlds()->GetSwitch(1), nullptr);
    EXPECT_EQ(Worlds()->GetSwitch(-1), nullptr);
    auto* lift = static_cast<CLift*>(Worlds()->GetInteractive(CW::kLifts, 0));
    EXPECT_EQ(lift->GetSwitch(), button);
    // The one world has its camera, made from the main one.
    ASSERT_NE(Worlds()->GetWorldCamera(0), nullptr);
    EXPECT_NE(Worlds()->GetWorldCamera(0), Framework().cameraManager);
    EXPECT_EQ(Worlds()->GetWorldCamera(1), nullptr);
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
    EXPECT_FLOAT_EQ(door->GetHinge(0).x, 1.52f) << "hinged at the outer edge";
    EXPECT_FLOAT_EQ(door->GetHinge(1).x, -1.52f);
    RunFrame(20);
    EXPECT_EQ(Bodies(), before + 2) << "made once";
}

/// A leaf's turn about its vertical hinge from closed, radians, signed.
float LeafTurn(const CDoor* door, int32_t leaf)
{
    const Matrix* pose = OlpDynGetPose(door->GetLeaf(leaf)->base.parts[0].dyn);
    return std::atan2(-pose->right.z, pose->right.x);
}

TEST_F(FurnitureWorld, DoorLeavesSwingOpenAboutTheirHingesAndTheirSpringClosesThem)
{
    // The sample's door in the hall's 3 m north doorway (x -1.5 to 1.5, in
    // the wall from z 5.5 to 6). Gravity is along the hinges, so a leaf
    // pushed open turns about its hinge (at the hinge's old place, in the
    // leaf's middle, it hit the wall end after a few degrees) and its
    // closing spring, a soft limit at angle 0, brings it back.
    ASSERT_TRUE(StartWith([](ConfigBuilder& c) { AddDoor(c, {0.0f, 0.65f, 5.75f}, 0.7f, 1.25f, 0.05f, 1); }));
    auto* door = static_cast<CDoor*>(Worlds()->GetInteractive(CW::kDoors, 0));
    RunFrame(20);
    // Each leaf pushed 1.2 rad open, its own way, and let go.
    const float opened[CDoor::kLeaves] = {1.2f, -1.2f};
    for (int32_t i = 0; i < CDoor::kLeaves; ++i) {
        ASSERT_NE(door->GetLeaf(i), nullptr);
        OlpDyn* dyn = door->GetLeaf(i)->base.parts[0].dyn;
        Matrix* pose = OlpDynGetPose(dyn);
        const float c = std::cos(opened[i]), s = std::sin(opened[i]);
        auto turn = [c, s](const V3d& v) { return V3d{v.x * c + v.z * s, v.y, v.z * c - v.x * s}; };
        const V3d& hinge = door->GetHinge(i);
        const V3d arm = turn({pose->pos.x - hinge.x, 0.0f, pose->pos.z - hinge.z});
        pose->right = turn(pose->right);
        pose->up = turn(pose->up);
        pose->at = turn(pose->at);
        pose->pos = {hinge.x + arm.x, pose->pos.y, hinge.z + arm.z};
        const V3d still{0.0f, 0.0f, 0.0f};
        OlpDynSetVelocity(dyn, &still, &still);
        EXPECT_NEAR(LeafTurn(door, i), opened[i], 1e-4f);
    }
    // The spring (200 against a leaf of 0.23 kg m2 about its hinge, damped
    // by 0.1 and by its implicit step) swings the leaf once past closed,
    // less than 20 degrees, then settles it: within 6 degrees after 0.5 s,
    // closed to 1 degree within 1 s and staying closed.
    float through[CDoor::kLeaves] = {}, late[CDoor::kLeaves] = {};
    int closedAt[CDoor::kLeaves] = {-1, -1};
    for (int frame = 1; frame <= 100; ++frame) {
        RunFrame(20);
        for (int32_t i = 0; i < CDoor::kLeaves; ++i) {
            const float turn = LeafTurn(door, i) * (opened[i] > 0.0f ? 1.0f : -1.0f);
            through[i] = std::fmax(through[i], -turn);
            late[i] = frame >= 25 ? std::fmax(late[i], std::fabs(turn)) : 0.0f;
            closedAt[i] = std::fabs(turn) < 0.0175f ? (closedAt[i] < 0 ? frame : closedAt[i]) : -1;
            // The hinge stays where it was: the centre is a half width from
            // it (give or take the snap of the first frames, at 30 rad/s).
            const Matrix* pose = OlpDynGetPose(door->GetLeaf(i)->base.parts[0].dyn);
            const V3d& hinge = door->GetHinge(i);
            const float dx = pose->pos.x - hinge.x, dz = pose->pos.z - hinge.z;
            ASSERT_NEAR(std::sqrt(dx * dx + dz * dz), 0.7f, frame > 10 ? 0.02f : 0.08f)
                << "leaf " << i << ", frame " << frame;
            ASSERT_NEAR(pose->pos.y, 1.275f, 0.02f) << "leaf " << i << ", frame " << frame;
        }
    }
    for (int32_t i = 0; i < CDoor::kLeaves; ++i) {
        EXPECT_LT(through[i], 0.35f) << "leaf " << i << " swung far through the frame";
        EXPECT_LT(late[i], 0.1f) << "leaf " << i << " still swinging after 0.5 s";
        EXPECT_GT(closedAt[i], 0) << "leaf " << i << " closed and stayed closed";
        EXPECT_LE(closedAt[i], 50) << "leaf " << i << " closed within 1 s";
    }
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

/// An ungated lift from (-3, 0.2, 0) to `top` and the profile "BlueSoldier".
void LiftAndSoldier(ConfigBuilder& c, const V3d& top)
{
    AddLift(c, {-3.0f, 0.2f, 0.0f}, top);
    AddCharacterProfile(c, "BlueSoldier", "models/bluesoldier.dff");
}

/// Where a body's frame is.
V3d BodyPosition(const OlpBody* body)
{
    return body->base.parts[0].sourceMatrix->pos;
}

TEST_F(FurnitureWorld, ACharacterOnAMovingLiftRidesWithIt)
{
    const struct
    {
        void (*config)(ConfigBuilder&);
        const char* name;
    } lifts[] = {{[](ConfigBuilder& c) {
                      LiftAndSoldier(c, {-3.0f, 4.2f, 0.0f});
                  },
                  "up from 0.2 to 4.2"},
                 {[](ConfigBuilder& c) {
                      LiftAndSoldier(c, {1.0f, 0.2f, 0.0f});
                  },
                  "along x from -3 to 1"}};
    for (const auto& kind : lifts) {
        SCOPED_TRACE(kind.name);
        ASSERT_TRUE(StartWith(kind.config));
        auto* lift = static_cast<CLift*>(Worlds()->GetInteractive(CW::kLifts, 0));
        ASSERT_NE(lift, nullptr);
        {
            CCharacter rider;
            rider.SetPlayerControlled(false);
            // Standing on the platform (its top at 0.3), the body's centre 0.4 above it.
            ASSERT_TRUE(rider.ApplyProfile("BlueSoldier", {-3.0f, 0.72f, 0.0f}));
            const auto step = [&rider] {
                rider.Update(0.02f);
                Worlds()->Step(0.02f);
            };
            step();
            ASSERT_TRUE(rider.GetMotion().IsOnGround()) << "the platform is ground";
            // Along the way the body takes the platform's velocity.
            for (int i = 0; i < 50; ++i)
                step();
            ASSERT_EQ(lift->GetState(), CLift::kMovingUp);
            rider.Update(0.02f);
            V3d direction;
            lift->GetMoveDirection(&direction);
            const OlpBody* body = rider.GetMotion().GetBody();
            const OlpDyn* dyn = body->base.parts[0].dyn;
            ASSERT_NE(dyn, nullptr);
            const V3d velocity = dyn->arrays->velocity[dyn->index].linear;
            EXPECT_NEAR(velocity.x, CLift::kSpeed * direction.x, 1e-4f);
            EXPECT_NEAR(velocity.y, CLift::kSpeed * direction.y, 1e-4f);
            Worlds()->Step(0.02f);
            // There and back again (2 s each way, 3 s at the far end), the
            // rider stays on the platform, well inside its 2 x 2 top.
            const struct
            {
                int steps;
                CLift::State state;
            } checks[] = {
                {60, CLift::kWaitingAtTop}, {190, CLift::kMovingDown}, {100, CLift::kWaitingAtBottom}};
            for (const auto& check : checks) {
                for (int i = 0; i < check.steps; ++i)
                    step();
                EXPECT_EQ(lift->GetState(), check.state);
                const V3d platform = BodyPosition(lift->GetBody());
                const V3d feet = FrameGetMatrix(rider.GetFrame())->pos;
                EXPECT_LT(std::hypot(feet.x - platform.x, feet.z - platform.z), 0.75f) << check.state;
                EXPECT_NEAR(feet.y, platform.y + 0.1f, 0.1f) << check.state;
            }
            rider.Unload();
        }
        Stop();
    }
}

void Models(ConfigBuilder& c)
{
    c.Open("Physics");
    AddBallAndCrateModels(c);
    c.Open("Instances");
    AddInstance(c, "Crate", {0.0f, 0.5f, 0.0f}, 0.0f);
    AddInstance(c, "Ball", {2.0f, 0.5f, 0.0f}, 90.0f);
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
