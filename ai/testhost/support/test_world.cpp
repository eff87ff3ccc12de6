#include "test_world.h"
#include "ai/runtime/config_node.h"
#include "ai/runtime/runtime.h"
#include "ai/runtime/text_config.h"
#include "ai/runtime/world.h"
#include <filesystem>
#include <gtest/gtest.h>

namespace Zelk::TestWorld {

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

bool StartRuntime(CTestHost& host, uint32_t maxEntity)
{
    StopRuntime();
    host.ClearBoxes();
    host.ClearGround();
    host.ClearDrawing();
    host.SetRayCastOverride(nullptr);
    host.SetTime(0.0f);
    host.SetClockStep(0.0f);
    AiHostInterface callbacks{};
    host.Fill(callbacks, maxEntity);
    return AiEngineInitialize(&callbacks) == 1;
}

void StopRuntime()
{
    if (AiIsInitialized())
        AiEngineTerminate();
}

CWorld* Start(CTestHost& host, const std::string& configText, uint32_t maxEntity)
{
    Stop();
    EXPECT_TRUE(StartRuntime(host, maxEntity));
    WorldState& state = State();
    state.root = AiNewConfigNode();
    CConfigError error;
    EXPECT_TRUE(ParseConfigText(configText.c_str(), configText.size(), state.root, &error))
        << error.line << ": " << error.message;
    state.world = AiCreateWorldWithSource(state.root, &state.source, 0);
    EXPECT_NE(state.world, nullptr);
    return state.world;
}

CWorld* Current()
{
    return State().world;
}

void Stop()
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
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string prefix =
        test != nullptr ? std::string(test->test_suite_name()) + "." + test->name() + "." : "";
    return std::string(OLAI_TEST_OUTPUT_DIR) + "/" + prefix + name;
}

} // namespace Zelk::TestWorld
