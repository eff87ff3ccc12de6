// The path-finding scenario: the walker arrives, and the trajectory it writes
// crosses none of the walls.
#include "tools/ai-run/scenario.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace Zelk {
namespace {

std::string OutputPath(const char* name)
{
    std::filesystem::create_directories(OLAI_TEST_OUTPUT_DIR);
    return std::string(OLAI_TEST_OUTPUT_DIR) + "/scenario_test." + name;
}

std::vector<CVec3> ReadCsv(const std::string& path)
{
    std::vector<CVec3> points;
    std::ifstream in(path);
    std::string line;
    std::getline(in, line); // header
    while (std::getline(in, line)) {
        int frame = 0;
        float x = 0.0f, y = 0.0f, z = 0.0f;
        if (std::sscanf(line.c_str(), "%d,%f,%f,%f", &frame, &x, &y, &z) == 4)
            points.emplace_back(x, y, z);
    }
    return points;
}

TEST(PathScenarioTest, WalkerArrivesWithoutCrossingAWall)
{
    CTestHost host;
    ScenarioResult result;
    ASSERT_TRUE(RunPathScenario(host, 3000, 1.0f / 30.0f, &result));
    ASSERT_GT(result.arrivedFrame, 0);
    const CVec3 end = result.trajectory.back();
    EXPECT_LT(std::sqrt((end - result.goal).SquaredLengthXZ()), 1.0f);
    ASSERT_EQ(result.walls.size(), 3u);

    const std::string csv = OutputPath("trajectory.csv");
    const std::string svg = OutputPath("trajectory.svg");
    ASSERT_TRUE(WriteScenarioCsv(result, csv));
    ASSERT_TRUE(WriteScenarioSvg(result, svg));

    // The written trajectory, step by step, against the walls (a fresh box world).
    const std::vector<CVec3> trail = ReadCsv(csv);
    ASSERT_EQ(trail.size(), result.trajectory.size());
    CTestHost walls;
    for (const CTestBox& wall : result.walls)
        walls.AddBox(wall.min, wall.max);
    for (size_t i = 1; i < trail.size(); ++i) {
        float t;
        CVec3 n;
        EXPECT_FALSE(trail[i - 1] != trail[i] && walls.Intersect(trail[i - 1], trail[i], false, 0.0f, &t, &n))
            << "step " << i;
    }
    // The zigzag is far longer than the straight line.
    float length = 0.0f;
    for (size_t i = 1; i < trail.size(); ++i)
        length += (trail[i] - trail[i - 1]).Length();
    EXPECT_GT(length, 40.0f);

    std::ifstream in(svg);
    std::stringstream text;
    text << in.rdbuf();
    const std::string picture = text.str();
    EXPECT_NE(picture.find("class=\"trajectory\""), std::string::npos);
    size_t walls_drawn = 0;
    for (size_t at = picture.find("class=\"wall\""); at != std::string::npos;
         at = picture.find("class=\"wall\"", at + 1))
        ++walls_drawn;
    EXPECT_EQ(walls_drawn, 3u);
}

TEST(PathScenarioTest, RunsAreIdentical)
{
    CTestHost host;
    ScenarioResult first, second;
    ASSERT_TRUE(RunPathScenario(host, 600, 1.0f / 30.0f, &first));
    ASSERT_TRUE(RunPathScenario(host, 600, 1.0f / 30.0f, &second));
    ASSERT_EQ(first.trajectory.size(), second.trajectory.size());
    for (size_t i = 0; i < first.trajectory.size(); ++i)
        EXPECT_EQ(first.trajectory[i], second.trajectory[i]) << i;
    // Pinned: a change that alters the walk changes this figure.
    EXPECT_EQ(HashScenarioResult(first), 0x86e70b6752915b38ull) << std::hex << HashScenarioResult(first);
}

} // namespace
} // namespace Zelk
