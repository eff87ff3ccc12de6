// The standard agents' scenarios under data/agents: each run ends with a property
// read back from its CSV trace, and a second run gives the same trace.
#include "tools/ai-run/agent_scenario.h"

#include "ai/runtime/entity_manager.h"
#include "ai/runtime/host_queries.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace Zelk {
namespace {

// One CSV row.
struct Row
{
    int frame = 0;
    float time = 0.0f;
    std::string entity;
    CVec3 position;
    float heading = 0.0f, speed = 0.0f;
    CVec3 goal;
    int state = 0;
    bool fire = false;
    CVec3 aim;
    uint32_t flags = 0;
};

// The trace's rows per entity, in frame order.
using Trace = std::map<std::string, std::vector<Row>>;

Trace ParseCsv(const std::string& csv)
{
    Trace trace;
    std::istringstream in(csv);
    std::string line;
    std::getline(in, line); // header
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::istringstream fields(line);
        for (std::string field; std::getline(fields, field, ',');)
            f.push_back(field);
        EXPECT_EQ(f.size(), 14u) << line;
        if (f.size() != 14u)
            continue;
        const auto num = [&](size_t i) { return std::strtof(f[i].c_str(), nullptr); };
        Row r;
        r.frame = std::atoi(f[0].c_str());
        r.time = num(1);
        r.entity = f[2];
        r.position = CVec3(num(3), 0.0f, num(4));
        r.heading = num(5);
        r.speed = num(6);
        r.goal = CVec3(num(7), 0.0f, num(8));
        r.state = std::atoi(f[9].c_str());
        r.fire = f[10] == "1";
        r.aim = CVec3(num(11), 0.0f, num(12));
        r.flags = uint32_t(std::atoi(f[13].c_str()));
        trace[r.entity].push_back(r);
    }
    return trace;
}

float DistanceXZ(const CVec3& a, const CVec3& b)
{
    return std::sqrt((a - b).SquaredLengthXZ());
}

// Runs a scenario twice; writes its CSV and SVG under the test output; the trace.
Trace RunTwice(const char* name)
{
    CAgentScenarioOptions options;
    options.scenarioDir = std::string(OLAI_AGENT_SCENARIO_DIR) + "/" + name;
    options.dataDir = std::string(OLAI_AGENT_DATA_DIR) + "/" + name;
    std::string csv[2];
    for (int run = 0; run < 2; ++run) {
        CTestHost host;
        CAgentScenarioResult result;
        std::string error;
        EXPECT_TRUE(RunAgentScenario(host, options, &result, error)) << error;
        csv[run] = AgentScenarioCsv(result);
        if (run == 0) {
            const std::string dir = std::string(OLAI_TEST_OUTPUT_DIR) + "/agents/" + name;
            std::filesystem::create_directories(dir);
            std::ofstream(dir + "/trajectory.csv") << csv[0];
            std::ofstream(dir + "/trajectory.svg") << AgentScenarioSvg(result);
            EXPECT_FALSE(result.report.empty());
        }
    }
    EXPECT_EQ(csv[0], csv[1]) << name << ": two runs gave different traces";
    return ParseCsv(csv[0]);
}

TEST(AgentScenarioTest, WanderersVisitSeveralNodes)
{
    const Trace trace = RunTwice("wander");
    ASSERT_EQ(trace.size(), 2u);
    for (const auto& [name, rows] : trace) {
        // A visit: the target node changes while the wanderer stands near the old one.
        int visits = 0;
        for (size_t i = 1; i < rows.size(); ++i)
            if (rows[i].state != rows[i - 1].state && DistanceXZ(rows[i].position, rows[i - 1].goal) < 1.0f)
                ++visits;
        EXPECT_GE(visits, 3) << name;
    }
}

TEST(AgentScenarioTest, TheGotoWalkerArrivesBehindTheWall)
{
    const Trace trace = RunTwice("goto");
    const std::vector<Row>& rows = trace.at("Walker");
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows.back().state, 1);
    EXPECT_LT(DistanceXZ(rows.back().position, CVec3(5.0f, 0.0f, -5.0f)), 1.0f);
    // It went round the wall's north end.
    float north = -100.0f;
    for (const Row& r : rows)
        north = std::max(north, r.position.z);
    EXPECT_GT(north, 3.0f);
}

TEST(AgentScenarioTest, TheFollowerEndsNearItsFollowPoint)
{
    const Trace trace = RunTwice("follower");
    const Row& leader = trace.at("Leader").back();
    const Row& follower = trace.at("Follower").back();
    // The leader finished with its back to the east wall (x = 7.5), less than 1 m from
    // it: the follow point is half the follower's width (0.3 m) short of the wall.
    EXPECT_EQ(leader.state, 4);
    EXPECT_NEAR(std::remainder(leader.heading + 90.0f, 360.0f), 0.0f, 3.5f);
    EXPECT_LT(7.5f - leader.position.x, 1.0f);
    EXPECT_NEAR(follower.goal.x, 7.5f - 0.3f, 0.01f);
    EXPECT_NEAR(follower.goal.z, leader.position.z, 0.05f);
    EXPECT_LT(DistanceXZ(follower.position, follower.goal), 1.0f);
    // On the way it kept up with the leader.
    const std::vector<Row>& leaders = trace.at("Leader");
    const std::vector<Row>& followers = trace.at("Follower");
    for (size_t i = leaders.size() / 4; i < leaders.size(); ++i)
        EXPECT_LT(DistanceXZ(leaders[i].position, followers[i].position), 4.0f) << leaders[i].time;
}

TEST(AgentScenarioTest, ThePathWayWalkerReachesItsPointsInOrder)
{
    const Trace trace = RunTwice("pathway");
    const std::vector<Row>& rows = trace.at("Walker");
    std::vector<int> steps;
    for (size_t i = 1; i < rows.size(); ++i)
        if (rows[i].state != rows[i - 1].state) {
            steps.push_back(rows[i - 1].state);
            // The step is left only once the walker stands at its point.
            EXPECT_LT(DistanceXZ(rows[i].position, rows[i - 1].goal), 1.0f) << rows[i].time;
        }
    EXPECT_EQ(steps, (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(rows.back().state, 5); // finished: the index rests on the step count
    // The walker turned to heading -170 at the fourth point.
    for (size_t i = 1; i < rows.size(); ++i) {
        if (rows[i - 1].state == 3 && rows[i].state == 4) {
            EXPECT_NEAR(std::remainder(rows[i].heading + 170.0f, 360.0f), 0.0f, 3.5f);
        }
    }
}

TEST(AgentScenarioTest, ShotsOnlyWithAClearCone)
{
    // A shooter decides to fire when it aims (every 0.2 s here) and keeps that decision
    // until its next aim: a shot may follow a clear aim by at most that long.
    constexpr float kAimInterval = 0.2f;
    const Trace trace = RunTwice("shooter");
    int shots = 0, held = 0;
    const std::map<std::string, std::string> targets = {{"Blue", "Sentry"}, {"Red", "Blue"}};
    for (const auto& [shooter, target] : targets) {
        const std::vector<Row>& rows = trace.at(shooter);
        float lastClear = -1.0f;
        for (size_t i = 0; i < rows.size(); ++i) {
            bool blocked = false;
            for (const auto& [name, others] : trace)
                if (name != shooter && name != target && (others[i].flags & kEntityFlagDangerTest) != 0 &&
                    IsInVisionCone(others[i].position, rows[i].position, rows[i].aim, 10.0f, 12.0f))
                    blocked = true;
            if (!blocked)
                lastClear = rows[i].time;
            if (rows[i].fire) {
                ++shots;
                EXPECT_LE(rows[i].time - lastClear, kAimInterval + 0.05f)
                    << shooter << " at " << rows[i].time;
                EXPECT_EQ(rows[i].speed, 0.0f) << shooter << " fired walking at " << rows[i].time;
            } else if (blocked) {
                ++held;
            }
        }
    }
    EXPECT_GT(shots, 100);
    EXPECT_GT(held, 0);
}

TEST(AgentScenarioTest, TheHiderEndsOutOfTheGuardsSight)
{
    const Trace trace = RunTwice("hide");
    const std::vector<Row>& rows = trace.at("Hider");
    ASSERT_GT(rows.size(), 60u);
    // Seen now and then while the guards walk; unseen for the last two seconds.
    bool seen = false;
    for (const Row& r : rows)
        seen = seen || r.state == 1;
    EXPECT_TRUE(seen);
    for (size_t i = rows.size() - 60; i < rows.size(); ++i)
        EXPECT_EQ(rows[i].state, 0) << rows[i].time;
    EXPECT_LT(DistanceXZ(rows.back().position, rows.back().goal), 1.0f);
}

TEST(AgentScenarioTest, TheFleerGetsFartherFromTheHunter)
{
    const Trace trace = RunTwice("flee");
    const std::vector<Row>& fleer = trace.at("Fleer");
    const std::vector<Row>& hunter = trace.at("Hunter");
    const float start = DistanceXZ(fleer.front().position, hunter.front().position);
    const float end = DistanceXZ(fleer.back().position, hunter.back().position);
    EXPECT_GT(end, start + 2.0f);
    // The hunter walks through the fleer's start: the fleer was never caught.
    for (size_t i = 0; i < fleer.size(); ++i)
        EXPECT_GT(DistanceXZ(fleer[i].position, hunter[i].position), 1.0f) << fleer[i].time;
}

TEST(AgentScenarioTest, TheAttackersSettleBehindTheSentryAtContact)
{
    const Trace trace = RunTwice("attack");
    for (const char* name : {"Left", "Right"}) {
        const std::vector<Row>& rows = trace.at(name);
        ASSERT_FALSE(rows.empty());
        // Side 2 (back), band 2 (contact), for the last two seconds, firing.
        for (size_t i = rows.size() - 60; i < rows.size(); ++i)
            EXPECT_EQ(rows[i].state, 22) << name << " " << rows[i].time;
        EXPECT_TRUE(rows.back().fire) << name;
        EXPECT_LT(rows.back().position.z, -0.5f) << name; // behind the sentry, which faces +z
        // On the way they flanked: some time at a side of the sentry.
        bool flanked = false;
        for (const Row& r : rows)
            flanked = flanked || r.state / 10 == 1 || r.state / 10 == 3;
        EXPECT_TRUE(flanked) << name;
    }
}

} // namespace
} // namespace Zelk
