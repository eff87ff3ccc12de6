// The demo run headless on the sample data with its scripted input (Space
// closes the start screen, the VIP runs for 3 s, turns and stops), through
// wardels-probe, which reports the application's characters and escort team:
// the run ends by itself with exit code 0, the escorts follow the VIP, take
// distinct guard slots and stand on their guard points 20 s after the VIP
// stopped, every access way of the VIP's node is watched, a second run ends
// in the same state, and the last frame shows the blue VIP and red escorts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <future>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/d3d9/testing/referenceimage.h"

namespace {

constexpr int kFrames = 800;
constexpr float kFrameSeconds = 0.033f;
/// Seconds the escorts are given after the VIP's last move.
constexpr float kSettleSeconds = 20.0f;
/// A VIP moving less than this in a frame stands (world units).
constexpr float kStill = 0.001f;
/// An escort standing on its guard point: within the goal distance and this slack.
constexpr float kSettleSlack = 0.05f;
/// What the escorts promise while the VIP runs, from the demo's AI data
/// (data/wardels/wardels_ai.txt, metres): an escort heads for a guard point
/// that stands between half and twice the team's "DistanceToVIP" (3) from the
/// VIP, and its path finder counts a goal within "DistGoal" (at most
/// "OneMeter", 1) as reached. The VIP and the escorts share one run speed
/// (the profiles' "forwardRun" in data/wardels/config.xml), so an escort's lag
/// grows at most by the VIP's run: its distance to the VIP stays within the
/// farthest guard point and the goal distance, plus the length the VIP has
/// run so far.
constexpr float kGuardDistance = 3.0f;
constexpr float kGoalDistance = 1.0f;
constexpr float kFollowDistance = 2.0f * kGuardDistance + kGoalDistance;

struct Frame
{
    int frame = 0;
    float vipX = 0.0f, vipZ = 0.0f;
    std::vector<float> escortDistances;
};

struct Escort
{
    float x = 0.0f, z = 0.0f, targetX = 0.0f, targetZ = 0.0f, goal = 0.0f;
    int slot = -1;
    bool holding = false;
    std::set<int> watched;
};

struct Report
{
    std::vector<Frame> frames;
    std::vector<Escort> escorts;
    std::map<int, int> slotOfCluster;
    std::string hash;
    std::string text;
};

Report ReadReport(const std::string& path)
{
    std::ifstream in(path);
    Report report;
    std::string line, word;
    while (std::getline(in, line)) {
        report.text += line + "\n";
        std::istringstream s(line);
        s >> word;
        if (word == "frame") {
            Frame f;
            s >> f.frame >> word >> f.vipX >> f.vipZ >> word;
            for (float d; s >> d;)
                f.escortDistances.push_back(d);
            report.frames.push_back(f);
        } else if (word == "escort") {
            Escort e;
            int index = 0, holding = 0;
            s >> index >> word >> e.x >> e.z >> word >> e.targetX >> e.targetZ >> word >> e.goal >> word >>
                e.slot >> word >> holding >> word;
            e.holding = holding != 0;
            for (int c; s >> c;)
                e.watched.insert(c);
            report.escorts.push_back(e);
        } else if (word == "cluster") {
            int cluster = 0, slot = 0;
            s >> cluster >> word >> slot;
            report.slotOfCluster[cluster] = slot;
        } else if (word == "hash") {
            s >> report.hash;
        }
    }
    return report;
}

/// Runs the probe for kFrames frames of 33 ms; its exit code. The report goes
/// to `name`.txt, the last frame to `name`.png, the output to `name`.log.
int RunProbe(const std::string& name)
{
    const std::string base = OLAI_TEST_OUTPUT_DIR "/" + name;
    std::remove((base + ".txt").c_str());
    std::remove((base + ".png").c_str());
    const std::string command =
        "cd " OLAI_DATA_DIR " && SDL_VIDEODRIVER=offscreen OLAI_FRAME_MS=33 "
        "OLAI_EXIT_AFTER_FRAMES=" +
        std::to_string(kFrames) + " OLAI_SCREENSHOT=" + base + ".png OLAI_PROBE_REPORT=" + base +
        ".txt OLAI_INPUT_SCRIPT=" OLAI_DEMO_SCRIPT " " OLAI_WARDELS_PROBE " > " + base + ".log 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The soldiers are solid blue and solid red: lit, one channel stays alone
// (the level's bricks and the debug lines mix the others in).
bool IsBlue(uint32_t bgra)
{
    const int b = int(bgra & 0xFF), g = int((bgra >> 8) & 0xFF), r = int((bgra >> 16) & 0xFF);
    return b > 80 && r < 30 && g < 30;
}

bool IsRed(uint32_t bgra)
{
    const int b = int(bgra & 0xFF), g = int((bgra >> 8) & 0xFF), r = int((bgra >> 16) & 0xFF);
    return r > 80 && g < 30 && b < 30;
}

/// Separate groups of pixels that pass `test` (4-connected) of at least `least` pixels.
int Blobs(const std::vector<uint32_t>& pixels, uint32_t width, uint32_t height, bool (*test)(uint32_t),
          int least)
{
    std::vector<uint8_t> seen(pixels.size(), 0);
    int blobs = 0;
    std::vector<size_t> stack;
    for (size_t start = 0; start < pixels.size(); ++start) {
        if (seen[start] || !test(pixels[start]))
            continue;
        int size = 0;
        stack.push_back(start);
        seen[start] = 1;
        while (!stack.empty()) {
            const size_t at = stack.back();
            stack.pop_back();
            ++size;
            const size_t x = at % width, y = at / width;
            const size_t next[4] = {x > 0 ? at - 1 : at, x + 1 < width ? at + 1 : at, y > 0 ? at - width : at,
                                    y + 1 < height ? at + width : at};
            for (size_t n : next)
                if (!seen[n] && test(pixels[n])) {
                    seen[n] = 1;
                    stack.push_back(n);
                }
        }
        blobs += size >= least;
    }
    return blobs;
}

/// The last frame in which the VIP moved; -1 when it never did.
int VipStopFrame(const Report& report)
{
    int stop = -1;
    for (size_t i = 1; i < report.frames.size(); ++i) {
        const Frame &a = report.frames[i - 1], &b = report.frames[i];
        if (std::hypot(b.vipX - a.vipX, b.vipZ - a.vipZ) > kStill)
            stop = b.frame;
    }
    return stop;
}

void ExpectEscortsFollowTheRunningVip(const Report& report, int stop)
{
    const Frame& start = report.frames.front();
    const Frame& end = report.frames[size_t(stop) - 1];
    EXPECT_GT(std::hypot(end.vipX - start.vipX, end.vipZ - start.vipZ), 6.0f) << "the VIP runs about 3 s";
    float run = 0.0f; // the VIP's path so far
    for (size_t k = 0; k < report.frames.size() && report.frames[k].frame <= stop; ++k) {
        const Frame& f = report.frames[k];
        if (k > 0)
            run += std::hypot(f.vipX - report.frames[k - 1].vipX, f.vipZ - report.frames[k - 1].vipZ);
        for (size_t i = 0; i < f.escortDistances.size(); ++i)
            EXPECT_LE(f.escortDistances[i], kFollowDistance + run)
                << "escort " << i << " at frame " << f.frame << ", the VIP " << run << " m along";
    }
}

void ExpectEscortsGuardFromDistinctSlots(const Report& report)
{
    std::set<int> slots;
    for (size_t i = 0; i < report.escorts.size(); ++i) {
        const Escort& e = report.escorts[i];
        EXPECT_GE(e.slot, 0) << "escort " << i << " has a guard slot";
        EXPECT_TRUE(slots.insert(e.slot).second) << "escort " << i << " shares slot " << e.slot;
        // An escort whose guard point lies behind a wall holds close to the VIP instead.
        if (!e.holding) {
            EXPECT_LE(std::hypot(e.targetX - e.x, e.targetZ - e.z), e.goal + kSettleSlack)
                << "escort " << i << " stands on its guard point";
        }
    }
    ASSERT_FALSE(report.slotOfCluster.empty()) << "the VIP's node has access ways";
    for (const auto& [cluster, slot] : report.slotOfCluster) {
        bool watched = false;
        for (const Escort& e : report.escorts)
            watched = watched || (e.slot == slot && e.watched.count(cluster) > 0);
        EXPECT_TRUE(watched) << "access way " << cluster << " (slot " << slot << ") is watched";
    }
}

void ExpectTheVipAmongItsEscorts(const std::string& png)
{
    std::vector<uint32_t> pixels;
    uint32_t width = 0, height = 0;
    ASSERT_TRUE(d3d9test::ReadPng(png, &pixels, &width, &height));
    EXPECT_EQ(width, 640u);
    EXPECT_EQ(height, 480u);
    EXPECT_GE(Blobs(pixels, width, height, &IsBlue, 10), 1) << "the VIP";
    EXPECT_GE(Blobs(pixels, width, height, &IsRed, 5), 3) << "the escorts";
}

// One test for the two runs (each takes minutes under the sanitizers).
TEST(DemoRun, EscortsGuardTheVipAndTwoRunsEndAlike)
{
    auto again = std::async(std::launch::async, [] { return RunProbe("wardels-again"); });
    EXPECT_EQ(RunProbe("wardels"), 0);
    EXPECT_EQ(again.get(), 0);
    const Report first = ReadReport(OLAI_TEST_OUTPUT_DIR "/wardels.txt");
    const Report second = ReadReport(OLAI_TEST_OUTPUT_DIR "/wardels-again.txt");
    ASSERT_EQ(first.frames.size(), size_t(kFrames));
    ASSERT_EQ(first.escorts.size(), 4u);

    const int stop = VipStopFrame(first);
    ASSERT_GT(stop, 0) << "the script makes the VIP run";
    ASSERT_GE(float(kFrames - stop) * kFrameSeconds, kSettleSeconds) << "the VIP stopped at frame " << stop;
    ExpectEscortsFollowTheRunningVip(first, stop);
    ExpectEscortsGuardFromDistinctSlots(first);

    EXPECT_FALSE(first.hash.empty());
    EXPECT_EQ(first.hash, second.hash);
    EXPECT_EQ(first.text, second.text) << "frame by frame";

    ExpectTheVipAmongItsEscorts(OLAI_TEST_OUTPUT_DIR "/wardels.png");
}

} // namespace
