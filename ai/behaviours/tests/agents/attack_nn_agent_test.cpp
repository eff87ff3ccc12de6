// The neural-net attack agent: the net interface and its hysteresis, the goal
// point, the headings, and an enemy that leaves the world.
#include "agents_world.h"
#include "ai/behaviours/attack_nn_agent.h"
#include "ai/navigation/neural_net.h"
#include "ai/navigation/spatial_graph.h"
#include "ai/navigation/walkable_grid.h"
#include "ai/runtime/action.h"
#include "ai/runtime/brain.h"
#include "ai/runtime/config_node.h"
#include "ai/runtime/entity.h"
#include "ai/runtime/world.h"
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace Zelk {
namespace {

using namespace AgentsTest;

TEST(AttackHeadingTest, HeadingOf)
{
    struct Case
    {
        CVec3 v;
        float heading;
    };
    const Case cases[] = {
        {CVec3(0, 0, 1), 0.0f},     {CVec3(1, 0, 1), 45.0f},   {CVec3(1, 0, 0), 90.0f},
        {CVec3(-1, 0, 0), -90.0f},  {CVec3(0, 0, -1), 180.0f}, {CVec3(1, 0, -1), 135.0f},
        {CVec3(-1, 0, -1), 225.0f}, {CVec3(-1, 0, 1), -45.0f}, {CVec3(0, 0, 0), 0.0f},
        {CVec3(0, 5, 0), 0.0f},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(CAttackNNAgent::HeadingOf(c.v), c.heading, 1e-4f) << c.v.x << " " << c.v.z;
}

TEST(AttackHysteresisTest, SideState)
{
    struct Step
    {
        float bearing;
        int32_t side;
    };
    // From the front (0): the gaps keep the previous side.
    const Step steps[] = {{0, 0},    {45, 0},   {90, 1},  {135, 1}, {170, 2}, {-170, 2}, {-140, 2},
                          {-90, 3},  {-45, 3},  {-20, 0}, {50, 0},  {60, 1},  {120, 1},  {150, 2},
                          {-150, 2}, {-120, 3}, {-60, 3}, {-30, 0}, {30, 0},  {180, 2}};
    int32_t side = 0;
    for (const Step& s : steps) {
        side = CAttackNNAgent::SideState(s.bearing, side);
        EXPECT_EQ(side, s.side) << s.bearing;
    }
}

TEST(AttackHysteresisTest, BandState)
{
    struct Step
    {
        float h;
        int32_t band;
    };
    // Contact 1, close 5, far 10, imprecision 0.5: contact below 1.5, close in [4.5, 5.5),
    // far from 9.5; the gaps keep the previous band.
    const Step steps[] = {{1.2f, 2}, {3.0f, 2}, {4.5f, 1},  {7.0f, 1},  {9.5f, 0}, {7.0f, 0},
                          {5.4f, 1}, {2.0f, 1}, {1.49f, 2}, {12.0f, 0}, {1.5f, 0}, {0.0f, 2}};
    int32_t band = 0;
    for (const Step& s : steps) {
        band = CAttackNNAgent::BandState(s.h, 1.0f, 5.0f, 10.0f, 0.5f, band);
        EXPECT_EQ(band, s.band) << s.h;
    }
}

TEST(AttackNetTest, TheStrongestScoreWinsAndTiesGoToTheLowestIndex)
{
    const float ties[] = {1, 1, 0, 0};
    const float later[] = {0, 2, 2, 1};
    const float negative[] = {-1, -3, -1};
    const float last[] = {0, 0, 0.5f};
    EXPECT_EQ(CAttackNNAgent::Strongest(ties, 4), 0);
    EXPECT_EQ(CAttackNNAgent::Strongest(later, 4), 1);
    EXPECT_EQ(CAttackNNAgent::Strongest(negative, 3), 0);
    EXPECT_EQ(CAttackNNAgent::Strongest(last, 3), 2);
}

const char kClasses[] = R"(
<Brains><Brain "Bare"><Class>CTestBrain</Class><Service>Finder</Service><Service>Perception</Service></Brain></Brains>
<Entities>
  <Entity "Bare"><Class>CKinematicEntity</Class><ActionClass>CKinematicArmedActionClass</ActionClass>
    <Brain>Bare</Brain></Entity>
  <Entity "Plain"><Class>CKinematicEntity</Class></Entity>
</Entities>)";

// Weights of a net of 7 inputs and 7 linear outputs: output j takes bias[j] plus
// gain x input j.
std::vector<float> Weights(const std::vector<float>& bias, float gain)
{
    std::vector<float> w(7 * 8, 0.0f);
    for (int j = 0; j < 7; ++j) {
        w[size_t(j) * 8] = bias[size_t(j)];
        w[size_t(j) * 8 + 1 + size_t(j)] = gain;
    }
    return w;
}

class AttackTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        m_world = StartWorld(WorldText(StandardServices() + kClasses));
        ASSERT_NE(m_world, nullptr);
        auto* graph = new CSpatialGraph;
        BuildWalkableGridGraph(*graph, CVec3(-6.0f, 0.0f, -6.0f), 13, 13, 1.0f, 0.6f);
        ASSERT_TRUE(AddGraph("Grid", graph));
        auto* nets =
            static_cast<CNeuralNetManager*>(m_world->FindGlobalService(&CNeuralNetManager::s_classRecord));
        ASSERT_NE(nets, nullptr);
        const int32_t full[2] = {7, 7}, narrow[2] = {5, 7};
        AddNet(nets, "Identity", full, Weights({0, 0, 0, 0, 0, 0, 0}, 1.0f));
        AddNet(nets, "FrontFar", full, Weights({1, 0, 0, 0, 1, 0, 0}, 0.0f));
        AddNet(nets, "Narrow", narrow, std::vector<float>(6 * 7, 0.0f));
    }

    void AddNet(CNeuralNetManager* nets, const char* name, const int32_t* sizes, std::vector<float> weights)
    {
        auto* net = new CNeuralNet(2, sizes);
        m_weights.push_back(std::make_unique<std::vector<float>>(std::move(weights)));
        net->SetWeights(m_weights.back()->data());
        ASSERT_TRUE(nets->Add(name, net));
    }

    void TearDown() override
    {
        m_agents.clear();
        StopWorld();
    }

    CAttackNNAgent* MakeAttacker(CEntity* entity, const char* net)
    {
        CAgent* agent = CAttackNNAgent::s_classRecord.GetCreator()(entity->GetBrain());
        m_agents.emplace_back(agent);
        CConfigNode config;
        AddConfigChild(&config, nullptr, "StrategyUsed", net);
        return agent->Init(&config) ? static_cast<CAttackNNAgent*>(agent) : nullptr;
    }

    CWorld* m_world = nullptr;
    std::vector<std::unique_ptr<std::vector<float>>> m_weights;
    std::vector<std::unique_ptr<CAgent>> m_agents;
};

TEST_F(AttackTest, TheNetSeesTheBandAndSideAndItsChoiceMakesTheGoal)
{
    // The enemy at the origin faces +z; the attacker stands 7 m in front of it (front
    // side; 7 m lies in the gap between close and far, so the band stays far).
    CEntity* enemy = MakeEntity("Plain", CVec3(), 0.0f, "Enemy");
    CEntity* self = MakeEntity("Bare", CVec3(0.0f, 0.0f, 7.0f), 180.0f, "Attacker");
    CAttackNNAgent* attack = MakeAttacker(self, "Identity");
    ASSERT_NE(attack, nullptr);
    m_world->Start();
    Frames(m_world, 2);
    ASSERT_TRUE(attack->CanRun());
    EXPECT_EQ(attack->GetEnemy(), enemy);
    ASSERT_TRUE(attack->Think());
    const float* inputs = attack->GetNet()->GetInputValues();
    const std::vector<float> expected = {1, 0, 0, 1, 0, 0, 0}; // far, front
    EXPECT_EQ(std::vector<float>(inputs, inputs + 7), expected);
    // The identity net hands the inputs back: sides (1, 0, 0, 1) choose the front (the
    // lower index of a tie), bands (0, 0, 0) the far one.
    EXPECT_EQ(attack->GetSideChoice(), 0);
    EXPECT_EQ(attack->GetBandChoice(), 0);
    EXPECT_EQ(attack->GetGoal(), CVec3(0.0f, 0.0f, 10.0f));
    EXPECT_FALSE(attack->IsInContact());
    // At contact range it fires.
    self->SetPosition(CVec3(0.0f, 0.0f, 1.2f));
    ASSERT_TRUE(attack->Think());
    EXPECT_TRUE(attack->IsInContact());
    EXPECT_TRUE(attack->IsFiring());
    EXPECT_EQ(attack->GetBandState(), 2);
}

TEST_F(AttackTest, AWallShortensTheGoalByTheAgentsWidth)
{
    struct Case
    {
        float wallZ;
        float goalZ;
    };
    // The net always chooses the front at the far band (10 m); the attacker is 0.6 m wide.
    const Case cases[] = {{20.0f, 10.0f}, {4.0f, 3.4f}, {0.3f, 0.0f}};
    CEntity* enemy = MakeEntity("Plain", CVec3(), 0.0f, "Enemy");
    CEntity* self = MakeEntity("Bare", CVec3(3.0f, 0.0f, -3.0f), 0.0f, "Attacker");
    CAttackNNAgent* attack = MakeAttacker(self, "FrontFar");
    ASSERT_NE(attack, nullptr);
    m_world->Start();
    Frames(m_world, 2);
    for (const Case& c : cases) {
        Host().ClearBoxes();
        Host().AddBox(CVec3(-2.0f, -1.0f, c.wallZ), CVec3(2.0f, 3.0f, c.wallZ + 0.5f));
        ASSERT_TRUE(attack->CanRun());
        ASSERT_TRUE(attack->Think());
        EXPECT_EQ(attack->GetSideChoice(), 0);
        EXPECT_EQ(attack->GetBandChoice(), 0);
        EXPECT_NEAR(attack->GetGoal().z, c.goalZ, 1e-4f) << c.wallZ;
        EXPECT_NEAR(attack->GetGoal().x, enemy->GetPosition().x, 1e-5f);
    }
}

TEST_F(AttackTest, ANetWithFewerThanSevenInputsIsRefused)
{
    CEntity* self = MakeEntity("Bare", CVec3(), 0.0f, "Attacker");
    EXPECT_EQ(MakeAttacker(self, "Narrow"), nullptr);
    EXPECT_EQ(MakeAttacker(self, "Missing"), nullptr);
    CAttackNNAgent* attack = MakeAttacker(self, "Identity");
    ASSERT_NE(attack, nullptr);
    EXPECT_FALSE(attack->SetStrategy("Narrow"));
    EXPECT_TRUE(attack->SetStrategy("FrontFar"));
    for (const char* value : {"true", "false", "yes"}) {
        CAgent* agent = CAttackNNAgent::s_classRecord.GetCreator()(self->GetBrain());
        m_agents.emplace_back(agent);
        CConfigNode config;
        AddConfigChild(&config, nullptr, "CanWalkBackwards", value);
        EXPECT_TRUE(agent->Init(&config)) << value; // any text is accepted
    }
}

TEST_F(AttackTest, ATruncatedNetFileIsRefusedAndTheAgentWithIt)
{
    const int32_t sizes[2] = {7, 7};
    CNeuralNet net(2, sizes);
    std::vector<float> weights = Weights({1, 0, 0, 0, 1, 0, 0}, 0.5f);
    net.SetWeights(weights.data());
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(net.WriteToMemory(bytes));
    const std::string dir = std::string(OLAI_TEST_OUTPUT_DIR) + "/agents";
    std::filesystem::create_directories(dir);
    auto* nets =
        static_cast<CNeuralNetManager*>(m_world->FindGlobalService(&CNeuralNetManager::s_classRecord));
    struct Case
    {
        const char* name;
        size_t size;
        bool loads;
    };
    for (const Case& c : {Case{"Whole", bytes.size(), true}, Case{"Cut", bytes.size() - 5, false},
                          Case{"Header", 20, false}}) {
        const std::string path = dir + "/" + c.name + ".net";
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(c.size));
        CConfigNode raw;
        raw.SetKey("RawData");
        raw.SetValue(path.c_str());
        EXPECT_EQ(nets->Load(c.name, &raw), c.loads) << c.name;
        CEntity* self = MakeEntity("Bare", CVec3(), 0.0f, c.name);
        EXPECT_EQ(MakeAttacker(self, c.name) != nullptr, c.loads) << c.name;
    }
}

TEST_F(AttackTest, AnEnemyThatLeavesTheWorldIsReplaced)
{
    CEntity* first = MakeEntity("Plain", CVec3(0.0f, 0.0f, 2.0f), 0.0f, "Near");
    CEntity* second = MakeEntity("Plain", CVec3(0.0f, 0.0f, -4.0f), 0.0f, "Far");
    CEntity* self = MakeEntity("Bare", CVec3(), 0.0f, "Attacker");
    CAttackNNAgent* attack = MakeAttacker(self, "Identity");
    ASSERT_NE(attack, nullptr);
    m_world->Start();
    Frames(m_world, 2);
    ASSERT_TRUE(attack->CanRun());
    EXPECT_EQ(attack->GetEnemy(), first);
    ASSERT_TRUE(attack->Think());
    DestroyEntity(first);
    Frames(m_world, 2);
    ASSERT_TRUE(attack->CanRun());
    EXPECT_EQ(attack->GetEnemy(), second);
    EXPECT_TRUE(attack->Think());
    DestroyEntity(second);
    Frames(m_world, 2);
    EXPECT_FALSE(attack->CanRun());
}

} // namespace
} // namespace Zelk
