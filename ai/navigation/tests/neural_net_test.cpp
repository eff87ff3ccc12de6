#include "ai/navigation/nav_bytes.h"
#include "ai/navigation/nav_error.h"
#include "ai/navigation/neural_net.h"
#include "ai/runtime/world.h"
#include "nav_test_host.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

namespace Zelk {
namespace {

// Sizes 2, 3, 1: for each upper neuron the bias weight, then one weight per lower neuron.
constexpr int32_t kSizes[] = {2, 3, 1};
float g_weights[13] = {0.1f,  0.4f, -0.2f,        // hidden 1: 0.1 + 0.4 x 0.5 - 0.2 x 0.25 = 0.25
                       -0.5f, 1.0f, 0.0f,         // hidden 2: -0.5 + 0.5 = 0
                       0.3f,  1.0f, 2.0f,         // hidden 3: 0.3 + 0.5 + 0.5 = 1.3, clamped to 1
                       0.2f,  2.0f, 5.0f,  1.0f}; // output: 0.2 + 2 x 0.25 + 5 x 0 + 1 x 1 = 1.7

// A net file with the given fields, as the reader expects them.
std::vector<uint8_t> NetFile(const std::vector<int32_t>& sizes, int32_t weightCount, size_t weightsStored,
                             uint32_t version = 1)
{
    CNavByteWriter writer;
    writer.WriteBytes(CNeuralNet::kMagic, CNeuralNet::kMagicLength);
    writer.WriteU32(version);
    const uint8_t linear = 1;
    writer.WriteBytes(&linear, 1);
    writer.WriteU32(uint32_t(sizes.size()));
    for (int32_t n : sizes)
        writer.WriteU32(uint32_t(n));
    writer.WriteU32(uint32_t(weightCount));
    for (size_t i = 0; i < weightsStored; ++i)
        writer.WriteF32(0.25f * float(i));
    return writer.Bytes();
}

// A header announcing that many layers and nothing after it.
std::vector<uint8_t> LayerCountOnly(uint32_t layers)
{
    std::vector<uint8_t> bytes = NetFile({}, 0, 0);
    bytes.resize(CNeuralNet::kMagicLength + 5);
    CNavByteWriter count;
    count.WriteU32(layers);
    bytes.insert(bytes.end(), count.Bytes().begin(), count.Bytes().end());
    return bytes;
}

class NeuralNetTest : public ::testing::Test
{
  protected:
    void SetUp() override { NavTest::StartRuntime(); }
    void TearDown() override { NavTest::StopWorld(); }
};

TEST_F(NeuralNetTest, HandWeightedNetGivesHandComputedValues)
{
    CNeuralNet net(3, kSizes);
    EXPECT_EQ(net.GetWeightCount(), 13);
    EXPECT_EQ(net.GetInputCount(), 2);
    EXPECT_EQ(net.GetOutputCount(), 1);
    net.SetWeights(g_weights);
    net.GetInputValues()[0] = 0.5f;
    net.GetInputValues()[1] = 0.25f;
    net.Evaluate();
    const float* hidden = &net.GetLayer(1)->values[1];
    EXPECT_NEAR(hidden[0], 0.25f, 1e-6f);
    EXPECT_EQ(hidden[1], 0.0f);
    EXPECT_EQ(hidden[2], 1.0f);
    EXPECT_NEAR(net.GetOutputValues()[0], 1.7f, 1e-6f); // linear output: the raw sum
    net.SetLinearOutput(false);
    net.Evaluate();
    EXPECT_EQ(net.GetOutputValues()[0], 1.0f);
    EXPECT_EQ(net.GetWeights(), g_weights); // used as given
}

TEST_F(NeuralNetTest, Activation)
{
    CNeuralNet net;
    const std::pair<float, float> cases[] = {{1.0f, 1.0f}, {-0.2f, 0.0f},
                                             {0.3f, 0.3f}, {0.0f, 0.0f},
                                             {7.0f, 1.0f}, {std::numeric_limits<float>::quiet_NaN(), 0.0f}};
    for (const auto& [x, y] : cases)
        EXPECT_EQ(net.Activate(x), y) << x;
    EXPECT_EQ(net.GetInputValues(), nullptr);
    EXPECT_EQ(net.GetOutputCount(), 0);
    EXPECT_EQ(net.GetWeightCount(), 0);

    // One layer: nothing to compute, the outputs are the inputs.
    const int32_t one = 3;
    CNeuralNet single(1, &one);
    EXPECT_EQ(single.GetWeightCount(), 0);
    EXPECT_EQ(single.GetInputValues(), single.GetOutputValues());
    single.Evaluate();
}

TEST_F(NeuralNetTest, FileRoundTripsThroughTheManager)
{
    CNeuralNet net(3, kSizes);
    net.SetWeights(g_weights);
    net.SetLinearOutput(false);
    const std::string file = NavTest::OutputPath("strategy.net");
    ASSERT_TRUE(net.WriteToFile(file.c_str()));
    CWorld* world = NavTest::StartWorld(NavTest::WorldText(
        1.0f, "<GlobalServices><Service>Nets</Service></GlobalServices><Services><Service \"Nets\">"
              "<Class>CNeuralNetManager</Class><NeuralNet \"Strategy\"><RawData>" +
                  file + "</RawData></NeuralNet></Service></Services>"));
    ASSERT_NE(world, nullptr);
    auto* nets = static_cast<CNeuralNetManager*>(world->FindGlobalService(&CNeuralNetManager::s_classRecord));
    ASSERT_NE(nets, nullptr);
    CNeuralNet* loaded = nets->GetNeuralNet("Strategy");
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(nets->GetNeuralNet("strategy"), nullptr);
    EXPECT_FALSE(loaded->HasLinearOutput());
    ASSERT_EQ(loaded->GetLayerCount(), 3);
    ASSERT_EQ(loaded->GetWeightCount(), 13);
    for (int i = 0; i < 13; ++i)
        EXPECT_EQ(loaded->GetWeights()[i], g_weights[i]) << i;
    EXPECT_EQ(loaded->GetParameter(0), 0.5f);
    EXPECT_EQ(loaded->GetParameter(1), 0.1f);
    EXPECT_EQ(loaded->GetParameter(2), 1.0f);
    loaded->GetInputValues()[0] = 0.5f;
    loaded->GetInputValues()[1] = 0.25f;
    loaded->Evaluate();
    EXPECT_EQ(loaded->GetOutputValues()[0], 1.0f);

    // Through the host's files directly, and as text.
    CNeuralNet again;
    ASSERT_TRUE(again.ReadFromFile(file.c_str()));
    EXPECT_EQ(again.GetWeightCount(), 13);
    const std::string text = NavTest::OutputPath("strategy.txt");
    ASSERT_TRUE(net.WriteTextFile(text.c_str()));
    CNeuralNet fromText;
    ASSERT_TRUE(fromText.ReadTextFile(text.c_str()));
    ASSERT_EQ(fromText.GetWeightCount(), 13);
    for (int i = 0; i < 13; ++i)
        EXPECT_NEAR(fromText.GetWeights()[i], g_weights[i], 5e-7f) << i;
    EXPECT_FALSE(fromText.HasLinearOutput());

    // A net without weights cannot be written.
    CNeuralNet empty(3, kSizes);
    EXPECT_FALSE(empty.WriteToFile(NavTest::OutputPath("empty.net").c_str()));
}

TEST_F(NeuralNetTest, RefusesFilesWhoseSizesDoNotMatch)
{
    struct Case
    {
        const char* what;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {"version 2", NetFile({2, 3, 1}, 13, 13, 2)},
        {"no layer", NetFile({}, 1, 1)},
        {"one layer", NetFile({4}, 1, 1)},
        {"empty layer", NetFile({2, 0, 1}, 3, 3)},
        {"negative layer", NetFile({2, -3, 1}, 13, 13)},
        {"too few weights", NetFile({2, 3, 1}, 12, 12)},
        {"too many weights", NetFile({2, 3, 1}, 14, 14)},
        {"no weight", NetFile({2, 3, 1}, 0, 0)},
        {"weights missing", NetFile({2, 3, 1}, 13, 12)},
        {"huge layer", NetFile({2, 0x7fffffff, 1}, 13, 13)},
        {"layer count beyond the data", LayerCountOnly(0x10000000)},
    };
    CNeuralNet net;
    for (const Case& c : cases)
        EXPECT_FALSE(net.ReadFromMemory(c.bytes.data(), c.bytes.size())) << c.what;

    // Every cut of a good file is refused.
    const std::vector<uint8_t> good = NetFile({2, 3, 1}, 13, 13);
    ASSERT_TRUE(net.ReadFromMemory(good.data(), good.size()));
    for (size_t size = 0; size < good.size(); ++size)
        EXPECT_FALSE(net.ReadFromMemory(good.data(), size)) << size;

    // A malformed line in the text form.
    const std::string text = NavTest::OutputPath("bad.txt");
    std::ofstream(text) << "1\n3\n2\n3\n1\n13\n0.5\nzero\n";
    EXPECT_FALSE(net.ReadTextFile(text.c_str()));
    std::ofstream(text) << "1\n3\n2\n3\n1\n12\n";
    EXPECT_FALSE(net.ReadTextFile(text.c_str()));
}

} // namespace
} // namespace Zelk
