#include "nav_test_host.h"

#include "ai/runtime/config_node.h"
#include "ai/runtime/runtime.h"
#include "ai/runtime/text_config.h"
#include "ai/runtime/world.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace Zelk::NavTest {

CTestHost& Host()
{
    static CTestHost host;
    return host;
}

void StartRuntime()
{
    StopRuntime();
    Host().ClearBoxes();
    Host().ClearGround();
    Host().ClearDrawing();
    Host().SetTime(0.0f);
    Host().SetClockStep(0.0f);
    AiHostInterface host{};
    Host().Fill(host, 64);
    AiEngineInitialize(&host);
}

void StopRuntime()
{
    if (AiIsInitialized())
        AiEngineTerminate();
}

namespace {

struct WorldState
{
    CConfigNode* root = nullptr;
    CTextConfigSource source;
    CWorld* world = nullptr;
};

WorldState& State()
{
    static WorldState state;
    return state;
}

} // namespace

CWorld* StartWorld(const std::string& configText)
{
    StopWorld();
    StartRuntime();
    WorldState& state = State();
    state.root = AiNewConfigNode();
    CConfigError error;
    EXPECT_TRUE(ParseConfigText(configText.c_str(), configText.size(), state.root, &error))
        << error.line << ": " << error.message;
    state.world = AiCreateWorldWithSource(state.root, &state.source, 0);
    EXPECT_NE(state.world, nullptr);
    return state.world;
}

std::string WorldText(float oneMeter, const std::string& extra)
{
    return "<World \"test\"><MaxEntity>16</MaxEntity><OneMeter>" + std::to_string(oneMeter) +
           "</OneMeter><Tpf>20</Tpf>" + extra + "</World>";
}

void StopWorld()
{
    WorldState& state = State();
    if (state.world != nullptr)
        AiDestroyWorld(state.world);
    state.world = nullptr;
    AiDeleteConfigNode(state.root);
    state.root = nullptr;
    StopRuntime();
}

std::string OutputPath(const char* name)
{
    std::filesystem::create_directories(OLAI_TEST_OUTPUT_DIR);
    // CTest runs the tests of one program in parallel processes: each test
    // gets files of its own.
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string prefix =
        test != nullptr ? std::string(test->test_suite_name()) + "." + test->name() + "." : "";
    return std::string(OLAI_TEST_OUTPUT_DIR) + "/" + prefix + name;
}

void MakeRandomGraph(CSpatialGraph& graph, int n, float size, int arcsPerNode, uint32_t seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> coordinate(0.0f, size);
    std::uniform_int_distribution<int> pick(0, n - 1);
    for (int i = 0; i < n; ++i) {
        CGraphNodeData record;
        record.position = CVec3(coordinate(random), coordinate(random), coordinate(random));
        graph.AddNode(record);
    }
    for (int i = 0; i < n; ++i)
        for (int k = 0; k < arcsPerNode; ++k) {
            CGraphNode* from = graph.GetNode(i);
            CGraphNode* to = graph.GetNode(pick(random));
            CGraphArcData arc;
            arc.length = arc.cost = std::sqrt(CVec3::SquaredDistance(from->GetPosition(), to->GetPosition()));
            graph.AddArc(arc, from, to);
        }
}

} // namespace Zelk::NavTest
