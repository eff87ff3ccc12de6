// The demo run headless on the sample data with its scripted input (Space
// closes the start screen, the VIP runs for 3 s, turns and stops), through
// wardels-probe, which reports the application's characters and escort team:
// the run ends by itself with exit code 0, the escorts follow the VIP, take
// distinct guard slots and stand on their guard points 20 s after the VIP
// stopped, every access way of the VIP's node is watched, a second run ends
// in the same state, and the last frame shows the blue VIP and red escorts.
//
// The tour (data/wardels/tour-input.txt) checks what a user sees: no
// character or graph node inside a wall or crate, bullets and bursts when the
// VIP fires, the muzzle fire at the VIP, the VIP in view in every 30th frame,
// the overlay text inside the frame with F1 off and on, every camera, the sky's
// colour on both headless drivers, the far wall filtered from mip levels, the
// level's furniture at work (a crate stack pulled with left CTRL slides and
// comes to rest, the door's leaves open as the VIP walks through and swing
// back closed, the lift goes up and down), and two runs that end alike.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
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

/// Runs the probe for `frames` frames of 33 ms on `script`; its exit code.
/// The report goes to `name`.txt, the last frame to `name`.png, the output to
/// `name`.log; `environment` comes before the program (extra variables).
int RunProbe(const std::string& name, const std::string& script = OLAI_DEMO_SCRIPT, int frames = kFrames,
             const std::string& environment = "SDL_VIDEODRIVER=offscreen")
{
    const std::string base = OLAI_TEST_OUTPUT_DIR "/" + name;
    std::remove((base + ".txt").c_str());
    std::remove((base + ".png").c_str());
    const std::string command = "cd " OLAI_DATA_DIR " && " + environment +
                                " OLAI_FRAME_MS=33 "
                                "OLAI_EXIT_AFTER_FRAMES=" +
                                std::to_string(frames) + " OLAI_SCREENSHOT=" + base +
                                ".png OLAI_PROBE_REPORT=" + base + ".txt OLAI_INPUT_SCRIPT=" + script +
                                " " OLAI_WARDELS_PROBE " > " + base + ".log 2>&1";
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

// The tour (data/wardels/tour-input.txt): what a user sees while the VIP
// turns, aims and fires up the west corridor, walks and runs, and the cameras
// are switched through.
constexpr int kTourFrames = 600;
/// Frames kept by the probe: every 30th.
constexpr int kKeepEvery = 30;
/// A frame kept while the VIP fires (bullets are in flight in it).
constexpr int kFiringFrame = 90;
/// Frames also kept while the VIP fires: its muzzle fire flickers, shown in
/// one frame of three.
constexpr int kFlashFrames[] = {91, 92, 93, 94, 95, 96};
/// The tour without shots is compared with the tour only in the frames
/// above, so its run stops soon after them.
constexpr int kStillFrames = 120;
/// Pixels of the muzzle fire's orange near the VIP (within this many pixels
/// of the box round its blue) in a frame that shows it.
constexpr int kNearTheVip = 40;
constexpr int kFirePixels = 5;
/// The overlay text: near-white pixels in the bottom band of the frame.
constexpr int kTextBandTop = 380;
constexpr int kTextPixels = 300;
constexpr int kTextWidest = 300;
/// The VIP's blue in every kept frame, and while the follow camera shows it.
constexpr int kVipSeen = 25;
constexpr int kVipFollowed = 500;
/// A body's radius (the escorts' width is 0.6 m): no graph node is closer
/// to a wall or crate.
constexpr float kBodyRadius = 0.3f;
/// How close a character's position comes to a solid box: a character running
/// into a wall presses its physical proxy up to 0.1 m into the contact before
/// it stops, so positions keep at least this far (world units).
constexpr float kBodyClearance = 0.15f;
/// The clear colour of the sky (the camera's background, 88 88 110).
constexpr uint32_t kSky = 0x58586E;
/// The fixed camera "Hall" (frame 270) sees the level's far north wall 25 to
/// 30 m away in this band of pixels (x0, y0, x1, y1). Its bricks, sampled
/// without mip levels, give a mean brightness step of about 42 between
/// neighbouring pixels; filtered from mip levels about 15.
constexpr int kHallFrame = 270;
constexpr int kFarWall[4] = {180, 100, 380, 125};
constexpr double kFarWallMostEnergy = 25.0;

struct Box
{
    float x0, z0, x1, z1;
};

/// A dynamic model of the level in one frame.
struct LevelBody
{
    std::string kind;
    float x = 0, y = 0, z = 0;
    bool asleep = false;
};

struct Tour
{
    std::vector<Box> boxes;
    /// Per frame: the dynamic models, each door leaf's turn from closed
    /// (radians), each lift's platform height, whether a CTRL drag holds a body.
    std::map<int, std::vector<LevelBody>> bodies;
    std::map<int, std::vector<float>> doors;
    std::map<int, std::vector<float>> lifts;
    std::map<int, bool> grabs;
    std::vector<std::pair<float, float>> nodes;
    /// Per frame: every character's position, the VIP first.
    std::map<int, std::vector<std::pair<float, float>>> at;
    /// Per frame: bullets in flight, grey bursts, camera mode, muzzle fire shown.
    std::map<int, std::array<int, 4>> shots;
    std::string text;
};

std::vector<Box> LevelBoxes()
{
    std::ifstream in(OLAI_ESCORT_LEVEL);
    std::vector<Box> boxes;
    std::string line, word;
    while (std::getline(in, line)) {
        std::istringstream s(line);
        Box b;
        if (s >> word && word == "box" && s >> b.x0 >> b.z0 >> b.x1 >> b.z1)
            boxes.push_back(b);
    }
    return boxes;
}

Tour ReadTour(const std::string& path)
{
    Tour tour;
    tour.boxes = LevelBoxes();
    std::ifstream in(path);
    std::string line, word;
    while (std::getline(in, line)) {
        tour.text += line + "\n";
        std::istringstream s(line);
        s >> word;
        int frame = 0;
        if (word == "node") {
            float x = 0, z = 0;
            s >> x >> z;
            tour.nodes.emplace_back(x, z);
        } else if (word == "at") {
            s >> frame;
            for (float x, z; s >> x >> z;)
                tour.at[frame].emplace_back(x, z);
        } else if (word == "shots") {
            int bullets = 0, grey = 0, red = 0, camera = 0, flash = 0;
            s >> frame >> word >> bullets >> word >> grey >> red >> word >> camera >> word >> flash;
            tour.shots[frame] = {bullets, grey, camera, flash};
        } else if (word == "bodies") {
            s >> frame;
            LevelBody b;
            for (int asleep = 0; s >> b.kind >> b.x >> b.y >> b.z >> asleep;) {
                b.asleep = asleep != 0;
                tour.bodies[frame].push_back(b);
            }
        } else if (word == "doors") {
            s >> frame;
            for (float turn; s >> turn;)
                tour.doors[frame].push_back(turn);
        } else if (word == "lifts") {
            s >> frame;
            float y = 0;
            for (int state = 0; s >> y >> state;)
                tour.lifts[frame].push_back(y);
        } else if (word == "grab") {
            int held = 0;
            s >> frame >> held;
            tour.grabs[frame] = held != 0;
        }
    }
    return tour;
}

/// The distance from (x, z) to the box (0 inside it).
float DistanceToBox(const Box& b, float x, float z)
{
    const float dx = std::max({b.x0 - x, 0.0f, x - b.x1});
    const float dz = std::max({b.z0 - z, 0.0f, z - b.z1});
    return std::hypot(dx, dz);
}

struct Picture
{
    std::vector<uint32_t> pixels;
    uint32_t width = 0, height = 0;
};

Picture ReadPicture(const std::string& path)
{
    Picture p;
    d3d9test::ReadPng(path, &p.pixels, &p.width, &p.height);
    return p;
}

int CountPixels(const Picture& p, bool (*test)(uint32_t))
{
    return int(std::count_if(p.pixels.begin(), p.pixels.end(), test));
}

/// The mean brightness step between neighbouring pixels (right and below)
/// in the band: how much high-frequency detail a region shows.
double HighFrequencyEnergy(const Picture& p, const int band[4])
{
    const auto brightness = [&p](int x, int y) {
        const uint32_t c = p.pixels[size_t(y) * p.width + size_t(x)];
        return 0.3 * double((c >> 16) & 0xFF) + 0.6 * double((c >> 8) & 0xFF) + 0.1 * double(c & 0xFF);
    };
    double energy = 0.0;
    for (int y = band[1]; y < band[3]; ++y)
        for (int x = band[0]; x < band[2]; ++x)
            energy += std::abs(brightness(x + 1, y) - brightness(x, y)) +
                      std::abs(brightness(x, y + 1) - brightness(x, y));
    return energy / double((band[2] - band[0]) * (band[3] - band[1]));
}

std::string KeptFrame(const std::string& folder, int frame)
{
    return folder + "/frame-" + std::to_string(frame) + ".png";
}

/// Runs `frames` frames of the tour with its frames kept in OLAI_TEST_OUTPUT_DIR/<name>/.
int RunTour(const std::string& name, const std::string& script, const char* driver, int frames = kTourFrames)
{
    const std::string folder = OLAI_TEST_OUTPUT_DIR "/" + name;
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    std::string keep;
    for (int frame : kFlashFrames)
        keep += (keep.empty() ? "" : ",") + std::to_string(frame);
    return RunProbe(name, script, frames,
                    std::string("SDL_VIDEODRIVER=") + driver + " OLAI_PROBE_FRAMES=" + folder +
                        " OLAI_PROBE_KEEP=" + keep);
}

/// The tour without its shots: the same script with Space held nowhere after the start screen.
std::string TourWithoutShots()
{
    std::ifstream in(OLAI_TOUR_SCRIPT);
    const std::string path = OLAI_TEST_OUTPUT_DIR "/tour-still-input.txt";
    std::ofstream out(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream s(line);
        int frame = 0;
        if (s >> frame && frame > 10 && line.find("Space") != std::string::npos)
            continue;
        out << line << "\n";
    }
    return path;
}

void ExpectNothingInsideTheSolidBoxes(const Tour& tour)
{
    ASSERT_GE(tour.boxes.size(), 10u) << "the level's walls and crates";
    ASSERT_GT(tour.nodes.size(), 100u) << "the escorts' graph";
    for (const auto& [x, z] : tour.nodes)
        for (const Box& b : tour.boxes)
            EXPECT_GE(DistanceToBox(b, x, z), kBodyRadius) << "graph node at " << x << " " << z;
    ASSERT_EQ(tour.at.size(), size_t(kTourFrames));
    int reported = 0;
    for (const auto& [frame, characters] : tour.at) {
        ASSERT_EQ(characters.size(), 5u);
        for (size_t i = 0; i < characters.size(); ++i)
            for (const Box& b : tour.boxes) {
                const float d = DistanceToBox(b, characters[i].first, characters[i].second);
                if (d < kBodyClearance && reported++ < 10)
                    ADD_FAILURE() << "character " << i << " at frame " << frame << " is " << d
                                  << " from the box " << b.x0 << " " << b.z0 << " " << b.x1 << " " << b.z1;
            }
    }
}

void ExpectShotsAndImpacts(const Tour& tour, const std::string& firing, const std::string& still)
{
    int shotFrames = 0, burstFrames = 0;
    for (const auto& [frame, s] : tour.shots) {
        // The first weapon made starts every burst at the origin: count the
        // bursts of the shots, after the start screen.
        shotFrames += s[0] > 0 ? 1 : 0;
        burstFrames += frame > 100 && frame < 140 && s[1] > 0 ? 1 : 0;
    }
    EXPECT_GT(shotFrames, 30) << "bullets fly while Space is held (frames 60 to 120)";
    EXPECT_GT(burstFrames, 30) << "grey bursts where the bullets hit the far wall";
    ASSERT_GT(tour.shots.at(kFiringFrame)[0], 0) << "bullets in flight in the kept frame";

    // The same frame without the shots: what differs is the bullets, the
    // bursts and the muzzle fire; the bullets' markers are white at 0xB0.
    const Picture a = ReadPicture(KeptFrame(firing, kFiringFrame));
    const Picture b = ReadPicture(KeptFrame(still, kFiringFrame));
    ASSERT_EQ(a.pixels.size(), size_t(640 * 480));
    ASSERT_EQ(a.pixels.size(), b.pixels.size());
    int changed = 0, tracer = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i) {
        if (a.pixels[i] == b.pixels[i])
            continue;
        ++changed;
        const int r = int((a.pixels[i] >> 16) & 0xFF), g = int((a.pixels[i] >> 8) & 0xFF),
                  bl = int(a.pixels[i] & 0xFF);
        tracer += std::min({r, g, bl}) >= 170 && std::max({r, g, bl}) - std::min({r, g, bl}) <= 60 ? 1 : 0;
    }
    EXPECT_GE(tracer, 8) << "white bullet markers";
    EXPECT_LE(changed, 20000) << "only the shots differ";
}

/// The bounding box (x0, y0, x1, y1) of the pixels passing `test`; x0 > x1 when none do.
std::array<int, 4> Extent(const Picture& p, bool (*test)(uint32_t), int fromRow = 0)
{
    std::array<int, 4> box = {int(p.width), int(p.height), -1, -1};
    for (int y = fromRow; y < int(p.height); ++y)
        for (int x = 0; x < int(p.width); ++x)
            if (test(p.pixels[size_t(y) * p.width + size_t(x)]))
                box = {std::min(box[0], x), std::min(box[1], y), std::max(box[2], x), std::max(box[3], y)};
    return box;
}

// The muzzle fire model is orange (255 150 30), lit; the bricks (about
// 155 70 50) hold more blue.
bool IsFireOrange(uint32_t bgra)
{
    const int b = int(bgra & 0xFF), g = int((bgra >> 8) & 0xFF), r = int((bgra >> 16) & 0xFF);
    return r >= 120 && 4 * b < r && 5 * g >= 2 * r && 5 * g <= 4 * r;
}

/// In the kept frames that the report says show the muzzle fire, orange
/// pixels that the same frame without shots lacks lie next to the VIP.
void ExpectTheMuzzleFireAtTheVip(const Tour& tour, const std::string& firing, const std::string& still)
{
    int shown = 0;
    for (int frame : kFlashFrames) {
        if (tour.shots.at(frame)[3] == 0)
            continue;
        ++shown;
        const Picture a = ReadPicture(KeptFrame(firing, frame));
        const Picture b = ReadPicture(KeptFrame(still, frame));
        ASSERT_EQ(a.pixels.size(), size_t(640 * 480)) << frame;
        ASSERT_EQ(a.pixels.size(), b.pixels.size()) << frame;
        const std::array<int, 4> vip = Extent(a, [](uint32_t c) { return IsBlue(c); });
        ASSERT_LE(vip[0], vip[2]) << "the VIP in frame " << frame;
        int fire = 0;
        for (int y = std::max(vip[1] - kNearTheVip, 0); y <= std::min(vip[3] + kNearTheVip, 479); ++y)
            for (int x = std::max(vip[0] - kNearTheVip, 0); x <= std::min(vip[2] + kNearTheVip, 639); ++x) {
                const size_t i = size_t(y) * 640 + size_t(x);
                fire += a.pixels[i] != b.pixels[i] && IsFireOrange(a.pixels[i]) ? 1 : 0;
            }
        EXPECT_GE(fire, kFirePixels) << "the muzzle fire next to the VIP in frame " << frame;
    }
    EXPECT_GE(shown, 1) << "the muzzle fire shows in one frame of three while the VIP fires";
}

// The overlay's letters are near white; the floor's white squares are 200 at most.
bool IsTextWhite(uint32_t bgra)
{
    const int b = int(bgra & 0xFF), g = int((bgra >> 8) & 0xFF), r = int((bgra >> 16) & 0xFF);
    return std::min({r, g, b}) >= 225 && std::max({r, g, b}) - std::min({r, g, b}) <= 10;
}

/// In every kept frame, F1 off (up to frame 380) and on, the two overlay
/// lines show whole: their letters span a wide band that ends short of the
/// frame's edges (a line run past the right edge would reach its last column).
void ExpectTheTextInsideTheFrame(const std::string& folder)
{
    for (int frame = kKeepEvery; frame <= kTourFrames; frame += kKeepEvery) {
        const Picture p = ReadPicture(KeptFrame(folder, frame));
        ASSERT_EQ(p.pixels.size(), size_t(640 * 480)) << frame;
        int letters = 0;
        for (size_t i = size_t(kTextBandTop) * p.width; i < p.pixels.size(); ++i)
            letters += IsTextWhite(p.pixels[i]) ? 1 : 0;
        EXPECT_GE(letters, kTextPixels) << "the overlay text in frame " << frame;
        const std::array<int, 4> text = Extent(p, &IsTextWhite, kTextBandTop);
        EXPECT_GE(text[2] - text[0], kTextWidest) << frame;
        EXPECT_GT(text[0], 1) << "the text's left end in frame " << frame;
        EXPECT_LT(text[2], int(p.width) - 2) << "the text's right end in frame " << frame;
        EXPECT_LT(text[3], int(p.height) - 2) << "the text's bottom in frame " << frame;
    }
}

void ExpectTheVipInView(const Tour& tour, const std::string& folder)
{
    for (int frame = kKeepEvery; frame <= kTourFrames; frame += kKeepEvery) {
        const Picture p = ReadPicture(KeptFrame(folder, frame));
        ASSERT_EQ(p.pixels.size(), size_t(640 * 480)) << frame;
        const int blue = CountPixels(p, [](uint32_t c) { return IsBlue(c); });
        const bool followed = tour.shots.at(frame)[2] == 2;
        EXPECT_GE(blue, followed ? kVipFollowed : kVipSeen) << "the VIP in frame " << frame;
    }
}

/// The level's furniture (data/wardels/config.xml): three crates (two
/// stacked) and a ball in the east corridor, a door in the hall's east
/// doorway, a lift in the north-east corner.
constexpr size_t kCrates = 3;
constexpr float kCrateHalf = 0.5f;
/// A crate's or the ball's centre resting on the floor, less 5 cm; and
/// the lowest it may be for one frame as it lands.
constexpr float kOnTheFloor = 0.45f, kLandedDepth = 0.3f;
constexpr float kDoorwayX = 5.75f, kDoorwayZ = 0.0f;
constexpr float kLiftBottom = 0.1f, kLiftTop = 2.1f;
/// The frames of the CTRL drag (data/wardels/tour-input.txt) and a frame well after it.
constexpr int kDragStart = 264, kDragEnd = 282, kDragSettled = 420;
/// The frame the VIP sets off towards the door (nobody comes near it before).
constexpr int kTowardsTheDoor = 420;
/// A leaf pushed open by the VIP is back within this of closed (radians) ...
constexpr float kLeafClosed = 0.05f;
/// ... within this many frames of its widest turn as the VIP goes through.
constexpr int kLeafClosesWithin = 30;

void ExpectTheFurnitureActs(const Tour& tour)
{
    ASSERT_EQ(tour.bodies.size(), size_t(kTourFrames));
    const std::vector<LevelBody>& before = tour.bodies.at(kDragStart - 1);
    ASSERT_EQ(before.size(), kCrates + 1) << "three crates and a ball";

    // Every body stays on the floor inside the outer walls, and no
    // character's position is inside a crate standing on the floor. A body
    // the drag throws may land up to a frame's fall (33 ms) into the floor;
    // its contacts push it back out by the next frame, and one that sinks
    // further or stays low has gone through.
    int reported = 0;
    for (const auto& [frame, bodies] : tour.bodies)
        for (size_t i = 0; i < bodies.size(); ++i) {
            const LevelBody& b = bodies[i];
            EXPECT_GT(b.y, kLandedDepth) << b.kind << " at frame " << frame;
            const auto next = tour.bodies.find(frame + 1);
            if (b.y <= kOnTheFloor && next != tour.bodies.end() && i < next->second.size()) {
                EXPECT_GT(next->second[i].y, kOnTheFloor)
                    << b.kind << " still low after landing in frame " << frame;
            }
            EXPECT_LT(std::max(std::abs(b.x), std::abs(b.z)), 14.0f) << b.kind << " at frame " << frame;
            if (b.kind != "Crate" || b.y > 1.0f)
                continue;
            for (const auto& [x, z] : tour.at.at(frame))
                if (std::hypot(x - b.x, z - b.z) < kCrateHalf && reported++ < 10)
                    ADD_FAILURE() << "a character at " << x << " " << z << " inside the crate at " << b.x
                                  << " " << b.z << " in frame " << frame;
        }

    // Left CTRL over the lower crate grabs it while held, and the pull drags
    // it away; some time later every body rests again.
    int held = 0;
    for (const auto& [frame, grabbing] : tour.grabs) {
        held += grabbing ? 1 : 0;
        if (grabbing) {
            EXPECT_GE(frame, kDragStart) << "a grab only while left CTRL is held";
            EXPECT_LE(frame, kDragEnd);
        }
    }
    EXPECT_GE(held, 10) << "the pointer was over a crate";
    const std::vector<LevelBody>& after = tour.bodies.at(kDragSettled);
    EXPECT_GT(std::hypot(after[0].x - before[0].x, after[0].z - before[0].z), 1.0f)
        << "the grabbed crate moved";
    for (size_t i = 0; i < after.size(); ++i) {
        EXPECT_TRUE(after[i].asleep) << after[i].kind << " " << i << " rests";
        const LevelBody& earlier = tour.bodies.at(kDragSettled - 30)[i];
        EXPECT_LT(std::hypot(after[i].x - earlier.x, after[i].z - earlier.z), 0.001f) << "body " << i;
    }

    // The door's leaves stay closed until the VIP walks into them; they open
    // as it goes through and swing back closed behind it.
    int opened = -1;
    for (const auto& [frame, turns] : tour.doors) {
        ASSERT_EQ(turns.size(), 2u) << "two leaves from the first frame";
        float widest = 0.0f;
        for (float turn : turns) {
            EXPECT_LE(std::abs(turn), 1.58f) << "a quarter turn at most, frame " << frame;
            widest = std::max(widest, std::abs(turn));
        }
        if (opened < 0 && widest > 0.3f)
            opened = frame;
        if (frame < kTowardsTheDoor) {
            EXPECT_LT(widest, 0.01f) << "closed before anyone comes, frame " << frame;
        }
    }
    ASSERT_GT(opened, 0) << "the VIP pushes a leaf open";
    const auto& [vipX, vipZ] = tour.at.at(opened).front();
    EXPECT_LT(std::hypot(vipX - kDoorwayX, vipZ - kDoorwayZ), 1.5f) << "the VIP in the doorway";
    int closed = -1;
    for (int frame = opened + 1; frame <= opened + kLeafClosesWithin && closed < 0; ++frame) {
        const std::vector<float>& turns = tour.doors.at(frame);
        if (std::abs(turns[0]) < kLeafClosed && std::abs(turns[1]) < kLeafClosed)
            closed = frame;
    }
    EXPECT_GT(closed, 0) << "the leaves close behind the VIP within " << kLeafClosesWithin
                         << " frames of frame " << opened;

    // The lift goes from the bottom to the top and back.
    float lowest = 1e9f, highest = -1e9f;
    for (const auto& [frame, heights] : tour.lifts) {
        ASSERT_EQ(heights.size(), 1u);
        lowest = std::min(lowest, heights[0]);
        highest = std::max(highest, heights[0]);
    }
    EXPECT_NEAR(lowest, kLiftBottom, 0.01f);
    EXPECT_NEAR(highest, kLiftTop, 0.06f);
}

TEST(DemoTour, WhatTheUserSeesHoldsAndTwoRunsEndAlike)
{
    const std::string still = TourWithoutShots();
    auto again =
        std::async(std::launch::async, [] { return RunTour("tour-again", OLAI_TOUR_SCRIPT, "offscreen"); });
    auto quiet = std::async(std::launch::async,
                            [&still] { return RunTour("tour-still", still, "dummy", kStillFrames); });
    EXPECT_EQ(RunTour("tour", OLAI_TOUR_SCRIPT, "offscreen"), 0);
    EXPECT_EQ(again.get(), 0);
    EXPECT_EQ(quiet.get(), 0);
    const Tour tour = ReadTour(OLAI_TEST_OUTPUT_DIR "/tour.txt");
    const Tour second = ReadTour(OLAI_TEST_OUTPUT_DIR "/tour-again.txt");
    EXPECT_EQ(tour.text, second.text) << "frame by frame";
    const std::string folder = OLAI_TEST_OUTPUT_DIR "/tour";

    ExpectNothingInsideTheSolidBoxes(tour);
    ExpectShotsAndImpacts(tour, folder, OLAI_TEST_OUTPUT_DIR "/tour-still");
    ExpectTheMuzzleFireAtTheVip(tour, folder, OLAI_TEST_OUTPUT_DIR "/tour-still");
    ExpectTheVipInView(tour, folder);
    ExpectTheTextInsideTheFrame(folder);
    ExpectTheFurnitureActs(tour);

    // Every camera is seen: follow, the fixed ones (Tab steps to the second)
    // and the free one.
    std::set<int> modes;
    for (const auto& [frame, s] : tour.shots)
        modes.insert(s[2]);
    EXPECT_EQ(modes, (std::set<int>{1, 2, 5}));
    const Picture hall = ReadPicture(KeptFrame(folder, kHallFrame));
    const Picture corridor = ReadPicture(KeptFrame(folder, 300));
    EXPECT_NE(hall.pixels, corridor.pixels) << "Tab shows the next fixed camera";
    ASSERT_EQ(tour.shots.at(kHallFrame)[2], 5);
    EXPECT_LT(HighFrequencyEnergy(hall, kFarWall), kFarWallMostEnergy)
        << "the far wall's bricks from mip levels";
    EXPECT_GT(HighFrequencyEnergy(hall, kFarWall), 1.0) << "the far wall still shows";

    // The sky clears to the camera's background, opaque, in the kept frames
    // and in the screenshots, on the offscreen and on the dummy driver; the
    // top right corner shows sky at the end of either run.
    for (const std::string& shot : {KeptFrame(folder, kTourFrames), folder + ".png",
                                    std::string(OLAI_TEST_OUTPUT_DIR "/tour-still.png")}) {
        const Picture p = ReadPicture(shot);
        ASSERT_FALSE(p.pixels.empty()) << shot;
        EXPECT_EQ(p.pixels[5 * p.width + p.width - 6], 0xFF000000u | kSky) << shot;
    }
}

} // namespace
