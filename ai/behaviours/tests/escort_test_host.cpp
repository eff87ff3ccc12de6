#include "escort_test_host.h"
#include "ai/behaviours/access_ways_generate.h"
#include "ai/runtime/config_node.h"
#include "ai/runtime/runtime.h"
#include "ai/runtime/text_config.h"
#include "ai/runtime/world.h"
#include <filesystem>
#include <gtest/gtest.h>

namespace Zelk::EscortTest {

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

CTestHost& Host()
{
    static CTestHost host;
    return host;
}

std::string WorldText(const std::string& extra)
{
    return "<World "
           "\"escort\"><MaxEntity>64</MaxEntity><MaxTeam>4</MaxTeam><OneMeter>1</OneMeter><Tpf>20</Tpf>" +
           extra + "</World>";
}

CWorld* StartWorld(const std::string& configText)
{
    StopWorld();
    Host().ClearBoxes();
    Host().ClearGround();
    Host().ClearDrawing();
    Host().SetRayCastOverride(nullptr);
    Host().SetTime(0.0f);
    AiHostInterface host{};
    Host().Fill(host, 64);
    AiEngineInitialize(&host);
    const std::string text = configText.empty() ? WorldText() : configText;
    WorldState& state = State();
    state.root = AiNewConfigNode();
    CConfigError error;
    EXPECT_TRUE(ParseConfigText(text.c_str(), text.size(), state.root, &error))
        << error.line << ": " << error.message;
    state.world = AiCreateWorldWithSource(state.root, &state.source, 0);
    EXPECT_NE(state.world, nullptr);
    return state.world;
}

void StopWorld()
{
    WorldState& state = State();
    if (state.world != nullptr)
        AiDestroyWorld(state.world);
    state.world = nullptr;
    AiDeleteConfigNode(state.root);
    state.root = nullptr;
    if (AiIsInitialized())
        AiEngineTerminate();
}

CStar MakeStar(const CVec3& centre, const std::vector<CVec3>& ways)
{
    CStar star;
    star.graph = std::make_unique<CSpatialGraph>();
    CGraphNode* hub = AddNodeAtPosition(*star.graph, centre);
    std::vector<std::vector<uint16_t>> lists(ways.size() + 1);
    for (const CVec3& way : ways) {
        CGraphNode* end = AddNodeAtPosition(*star.graph, way);
        CGraphArcData arc;
        lists[0].push_back(uint16_t(star.graph->AddArc(arc, hub, end)));
    }
    star.data = std::make_unique<CAccessWaysData>(star.graph.get());
    EXPECT_TRUE(AccessWaysDataFromLists(*star.data, lists));
    return star;
}

std::vector<CVec3> WaysAtHeadings(const CVec3& centre, float r, const std::vector<float>& headings)
{
    std::vector<CVec3> ways;
    for (float h : headings)
        ways.push_back(centre + CVec3(SinDeg(h) * r, 0.0f, CosDeg(h) * r));
    return ways;
}

std::string OutputPath(const char* name)
{
    std::filesystem::create_directories(OLAI_TEST_OUTPUT_DIR);
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string prefix =
        test != nullptr ? std::string(test->test_suite_name()) + "." + test->name() + "." : "";
    return std::string(OLAI_TEST_OUTPUT_DIR) + "/" + prefix + name;
}

} // namespace Zelk::EscortTest
