// The seed corpora of the path-way and neural-net fuzz targets are files that
// our own writers make. This test makes them again and compares; run it with
// OLAI_WRITE_SEEDS=1 in the environment to (re)write the corpus files.
#include "ai/navigation/neural_net.h"
#include "ai/navigation/path_way.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace Zelk {
namespace {

using Seeds = std::vector<std::pair<std::string, std::vector<uint8_t>>>;

Seeds PathWaySeeds()
{
    Seeds seeds;
    std::vector<uint8_t> bytes;
    CPathWay empty;
    EXPECT_TRUE(empty.WriteToMemory(bytes));
    seeds.emplace_back("empty.way", bytes);

    CPathWay patrol;
    patrol.SetName("Patrol");
    patrol.SetLooped(true);
    const char* modes[] = {"walk", "run", "jump", "crouch"};
    const char* actions[] = {"pause 2.5", "rotate -90", "orient 45", "wave at the player"};
    for (int i = 0; i < 4; ++i) {
        patrol.AddPoint(CVec3(float(i), 0.5f * float(i), -float(i)), modes[i]);
        patrol.GetPoint(i)->SetAction(actions[i]);
    }
    EXPECT_TRUE(patrol.WriteToMemory(bytes));
    seeds.emplace_back("patrol.way", bytes);
    return seeds;
}

Seeds NeuralNetSeeds()
{
    Seeds seeds;
    std::vector<uint8_t> bytes;
    const int32_t small[] = {2, 3, 1};
    CNeuralNet smallNet(3, small);
    std::vector<float> weights(size_t(smallNet.GetWeightCount()));
    for (size_t i = 0; i < weights.size(); ++i)
        weights[i] = 0.125f * float(i) - 0.5f;
    smallNet.SetWeights(weights.data());
    EXPECT_TRUE(smallNet.WriteToMemory(bytes));
    seeds.emplace_back("small.net", bytes);

    // The shape of the attack behaviour's strategy nets: 7 inputs, 7 outputs.
    const int32_t strategy[] = {7, 5, 7};
    CNeuralNet strategyNet(3, strategy);
    strategyNet.SetLinearOutput(false);
    weights.assign(size_t(strategyNet.GetWeightCount()), 0.0f);
    for (size_t i = 0; i < weights.size(); ++i)
        weights[i] = float(int(i % 7) - 3) * 0.25f;
    strategyNet.SetWeights(weights.data());
    EXPECT_TRUE(strategyNet.WriteToMemory(bytes));
    seeds.emplace_back("strategy.net", bytes);
    return seeds;
}

void CheckSeeds(const char* target, const Seeds& seeds)
{
    const std::string folder = std::string(OLAI_TEST_SOURCE_DIR) + "/../../../fuzz/" + target + "/corpus/";
    const bool write = std::getenv("OLAI_WRITE_SEEDS") != nullptr;
    for (const auto& [name, bytes] : seeds) {
        if (write)
            std::ofstream(folder + name, std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        std::ifstream in(folder + name, std::ios::binary);
        ASSERT_TRUE(in) << folder + name;
        const std::vector<uint8_t> stored((std::istreambuf_iterator<char>(in)),
                                          std::istreambuf_iterator<char>());
        EXPECT_EQ(stored, bytes) << folder + name;
    }
}

TEST(SeedCorpusTest, PathWaySeedsAreWhatTheWriterMakes)
{
    CheckSeeds("nav_pathway", PathWaySeeds());
}

TEST(SeedCorpusTest, NeuralNetSeedsAreWhatTheWriterMakes)
{
    CheckSeeds("nav_neuralnet", NeuralNetSeeds());
}

} // namespace
} // namespace Zelk
