// The escort scenario over the sample level: the escorts reach their guard
// points once the VIP stops, share no point, cover every access way of the
// VIP's node, and the same run gives the same trace.
#include "ai/behaviours/wardel_team.h"
#include "ai/navigation/access_ways_data.h"
#include "ai/navigation/graph_manager.h"
#include "ai/navigation/spatial_graph.h"
#include "ai/runtime/attribute.h"
#include "ai/runtime/entity.h"
#include "tools/escort-run/escort_scenario.h"
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sstream>

namespace Zelk {
namespace {

std::string ReadData(const char* name)
{
    std::ifstream file(std::string(OLAI_ESCORT_DATA_DIR) + "/" + name, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

struct SampleRun
{
    CEscortLevel level;
    std::string ai;
    SampleRun()
    {
        std::string error;
        const std::string text = ReadData("level.txt");
        EXPECT_TRUE(EscortLevelParse(text.data(), text.size(), level, error)) << error;
        ai = ReadData("escort_ai.txt");
    }
};

TEST(EscortScenarioTest, EscortsReachDistinctGuardPointsCoveringEveryAccessWay)
{
    SampleRun sample;
    CEscortScenario scenario;
    CEscortRunOptions options;
    options.escorts = 4;
    std::string error;
    ASSERT_TRUE(scenario.Start(sample.level, sample.ai, options, error)) << error;
    // Walk until the VIP stops, then allow a bounded time to take positions.
    const float limit = 60.0f;
    while (scenario.GetVipStopTime() < 0.0f && scenario.GetTime() < limit)
        scenario.Frame();
    ASSERT_GE(scenario.GetVipStopTime(), 0.0f);
    const float deadline = scenario.GetVipStopTime() + 20.0f;
    bool settled = false;
    while (!settled && scenario.GetTime() < deadline) {
        scenario.Frame();
        settled = true;
        for (int i = 0; i < scenario.GetEscortCount(); ++i)
            settled = settled && scenario.IsSettled(i);
    }
    EXPECT_TRUE(settled) << "escorts still walking " << scenario.GetTime() - scenario.GetVipStopTime()
                         << " s after the VIP stopped";
    std::set<int> slots;
    for (int i = 0; i < scenario.GetEscortCount(); ++i) {
        const CEscortSample s = scenario.Sample(i);
        if (s.slot >= 0) {
            EXPECT_TRUE(slots.insert(s.slot).second) << "two escorts share slot " << s.slot;
        }
    }
    EXPECT_FALSE(slots.empty());
    ASSERT_GT(scenario.GetClusterCount(), 0);
    // Every way of access is watched by a settled escort, not only assigned to one.
    for (int e = 0; e < 60; ++e)
        if (scenario.GetTeam()->GetCurrentRecord()->clusters[e].InUse()) {
            EXPECT_TRUE(scenario.IsClusterWatched(e)) << "access-way cluster " << e;
        }
    EXPECT_EQ(scenario.CountWatchedClusters(), scenario.GetClusterCount());
    EXPECT_EQ(scenario.CountAssignedClusters(), scenario.GetClusterCount());
}

TEST(EscortScenarioTest, WalkingEscortsAreAssignedButWatchNothing)
{
    SampleRun sample;
    CEscortScenario scenario;
    std::string error;
    ASSERT_TRUE(scenario.Start(sample.level, sample.ai, CEscortRunOptions(), error)) << error;
    // One second in, the VIP still walks and the escorts hurry after their points.
    for (int f = 0; f < 30; ++f)
        scenario.Frame();
    ASSERT_GT(scenario.GetClusterCount(), 0);
    EXPECT_GT(scenario.CountAssignedClusters(), 0);
    EXPECT_LT(scenario.CountWatchedClusters(), scenario.CountAssignedClusters());
    std::string report;
    scenario.Run(&report);
    EXPECT_NE(report.find(" assigned "), std::string::npos) << report;
    EXPECT_NE(report.find(" watched "), std::string::npos) << report;
}

TEST(EscortScenarioTest, TheSameRunGivesTheSameTrace)
{
    SampleRun sample;
    std::string traces[2];
    uint64_t hashes[2] = {};
    for (int run = 0; run < 2; ++run) {
        CEscortScenario scenario;
        CEscortRunOptions options;
        options.seconds = 12.0f;
        std::string error;
        ASSERT_TRUE(scenario.Start(sample.level, sample.ai, options, error)) << error;
        scenario.Run(nullptr);
        traces[run] = scenario.GetTrace();
        hashes[run] = scenario.HashState();
    }
    EXPECT_FALSE(traces[0].empty());
    EXPECT_EQ(traces[0], traces[1]);
    // Pinned: a change that alters the escorts' behaviour changes this figure.
    EXPECT_EQ(hashes[0], 0x28bb69adf394b304ull) << std::hex << hashes[0];
}

// The demo's entities have their positions at the middle of their bodies; the scenario's
// stand there too, and so do the nodes of the graphs it builds, so that the path finder's
// distances to nodes are measured at one height.
TEST(EscortScenarioTest, EntitiesStandAtTheHeightOfTheGraphsNodes)
{
    SampleRun sample;
    CEscortScenario scenario;
    CEscortRunOptions options;
    options.seconds = 12.0f;
    std::string error;
    ASSERT_TRUE(scenario.Start(sample.level, sample.ai, options, error)) << error;
    const auto* height = scenario.GetVip()->GetAttribute<CEntityHeight>();
    ASSERT_NE(height, nullptr);
    EXPECT_FLOAT_EQ(0.5f * height->GetValue(), kEscortBodyMiddle);
    const CGraphManager* manager = CGraphManager::FindInCurrentWorld();
    ASSERT_NE(manager, nullptr);
    for (const char* name : {"DenseGraph", "MoveGraph", "AccessWaysGraph"}) {
        const CSpatialGraph* graph = manager->GetGraph(name);
        ASSERT_NE(graph, nullptr) << name;
        int elsewhere = 0;
        for (int32_t i = 0; i <= graph->GetHighestNodeIndex(); ++i)
            if (const CGraphNode* node = graph->GetNode(i))
                elsewhere += node->GetPosition().y != kEscortBodyMiddle ? 1 : 0;
        EXPECT_EQ(elsewhere, 0) << name;
    }
    // At the start and after the VIP's walk.
    for (int pass = 0; pass < 2; ++pass) {
        EXPECT_EQ(scenario.GetVip()->GetPosition().y, kEscortBodyMiddle) << "pass " << pass;
        for (int i = 0; i < scenario.GetEscortCount(); ++i)
            EXPECT_EQ(scenario.Sample(i).position.y, kEscortBodyMiddle)
                << "escort " << i << ", pass " << pass;
        scenario.Run(nullptr);
    }
}

TEST(EscortScenarioTest, WritesTheNavigationDataItBuilds)
{
    SampleRun sample;
    CEscortScenario scenario;
    std::string error;
    ASSERT_TRUE(scenario.Start(sample.level, sample.ai, CEscortRunOptions(), error)) << error;
    const std::string dir = std::string(OLAI_TEST_OUTPUT_DIR) + "/sample-data";
    ASSERT_TRUE(scenario.WriteData(dir, error)) << error;
    // The written graph and access ways read back as what the team guards with.
    CSpatialGraph graph;
    ASSERT_TRUE(graph.ReadFromFile((dir + "/AccessWaysGraph.graph").c_str()));
    CAccessWaysData written(&graph);
    ASSERT_TRUE(written.ReadFromFile((dir + "/data/generation/aw.awl").c_str()));
    const CAccessWaysData* used = scenario.GetTeam()->GetAccessWays();
    ASSERT_EQ(written.GetNodeCount(), used->GetNodeCount());
    int ways = 0;
    for (int32_t i = 0; i < used->GetNodeCount(); ++i) {
        const uint16_t* a = nullptr;
        const uint16_t* b = nullptr;
        const int32_t n = used->GetAccessWays(i, a);
        ASSERT_EQ(written.GetAccessWays(i, b), n);
        for (int32_t k = 0; k < n; ++k)
            EXPECT_EQ(a[k], b[k]);
        ways += n;
    }
    EXPECT_GT(ways, 0);
    EXPECT_FALSE(scenario.WriteData("/proc/no-such-place", error));
}

struct BadLevel
{
    const char* name;
    const char* text;
};

TEST(EscortLevelTest, MalformedLevelsAreRefused)
{
    const BadLevel cases[] = {
        {"empty", ""},
        {"no route", "size 0 0 10 10\n"},
        {"no size", "route 1 1\n"},
        {"short box", "size 0 0 10 10\nbox 1 2 3\nroute 1 1\n"},
        {"bad number", "size 0 0 10 10\nroute 1 x\n"},
        {"trailing junk", "size 0 0 10 10\nroute 1 1q\n"},
        {"unknown word", "size 0 0 10 10\nwall 1 1 2 2\nroute 1 1\n"},
        {"empty box", "size 0 0 10 10\nbox 2 2 1 3\nroute 1 1\n"},
        {"huge", "size 0 0 1e9 10\nroute 1 1\n"},
        {"not a number", "size 0 0 nan 10\nroute 1 1\n"},
        {"infinite", "size 0 0 inf 10\nroute 1 1\n"},
        {"second size", "size 0 0 10 10\nsize 0 0 20 20\nroute 1 1\n"},
        {"VIP inside a wall", "size 0 0 10 10\nbox 0 0 3 3\nroute 1 1\n"},
        {"VIP against a wall", "size 0 0 10 10\nbox 0 0 3 3\nroute 3.1 1\n"},
        {"VIP outside the level", "size 0 0 10 10\nroute 11 1\n"},
        {"escort inside a wall", "size 0 0 10 10\nbox 5 5 6 6\nroute 1 1\nescort 5.5 5.5\n"},
        {"escort outside the level", "size 0 0 10 10\nroute 1 1\nescort -1 5\n"},
        {"two escorts on one spot", "size 0 0 10 10\nroute 1 1\nescort 5 5\nescort 5 5\n"},
        {"box over the whole level", "size 0 0 10 10\nbox -1 -1 11 11\nroute 1 1\n"},
        {"route through a wall", "size 0 0 10 10\nbox 4 0 5 10\nroute 1 1\nroute 8 1\n"},
        {"door of width 0 on the route", "size 0 0 10 10\nbox 4 0 5 5\nbox 4 5 5 10\nroute 1 5\nroute 8 5\n"},
        {"route out of the level", "size 0 0 10 10\nroute 1 1\nroute 1 12\n"},
    };
    for (const BadLevel& c : cases) {
        CEscortLevel level;
        std::string error;
        EXPECT_FALSE(EscortLevelParse(c.text, std::strlen(c.text), level, error)) << c.name;
        EXPECT_FALSE(error.empty()) << c.name;
    }
    CEscortLevel level;
    std::string error;
    const char good[] = "# a room\nsize -5 -5 5 5\nbox -1 -1 1 1\r\nroute -4 -4\nroute -4 4\nescort 0 -4\n";
    ASSERT_TRUE(EscortLevelParse(good, sizeof good - 1, level, error)) << error;
    EXPECT_EQ(level.boxMin.size(), 1u);
    EXPECT_EQ(level.route.size(), 2u);
    EXPECT_EQ(level.escorts.size(), 1u);
}

} // namespace
} // namespace Zelk
