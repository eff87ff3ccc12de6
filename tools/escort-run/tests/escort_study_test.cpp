// The escort team at every team size: generated levels of different shapes (two
// courtyards with entrances of several widths, an open field with pillars, a
// corridor maze) and the sample level. Adding an escort never loses a watched way,
// and with at least as many escorts as access-way clusters around the VIP every
// cluster is watched; the table the tool prints lists every size. The generated levels are
// written into the test's output folder.
#include "tools/escort-run/escort_study.h"
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>

namespace Zelk {
namespace {

std::string ReadData(const char* name)
{
    std::ifstream file(std::string(OLAI_ESCORT_DATA_DIR) + "/" + name, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string Box(float x0, float z0, float x1, float z1)
{
    std::ostringstream line;
    line << "box " << x0 << " " << z0 << " " << x1 << " " << z1 << "\n";
    return line.str();
}

// A square room of 2h metres with its outer walls, four escorts in the south-west corner.
std::string Room(float h)
{
    return "size " + std::to_string(-h) + " " + std::to_string(-h) + " " + std::to_string(h) + " " +
           std::to_string(h) + "\n" + Box(-h, -h, h, -h + 1) + Box(-h, h - 1, h, h) +
           Box(-h, -h + 1, -h + 1, h - 1) + Box(h - 1, -h + 1, h, h - 1) +
           "escort -12 -12\nescort -10 -12\nescort -12 -10\nescort -10 -10\n";
}

// A courtyard of 16 m inside the room, entered through gaps of the given widths on the
// west, north, south and east (0: a wall); the VIP walks in from the west and stops in
// the middle.
std::string Courtyard(float west, float north, float south, float east = 0.0f)
{
    const std::string eastWall = east > 0.0f ? Box(7.5f, -7.5f, 8, -east / 2) + Box(7.5f, east / 2, 8, 7.5f)
                                             : Box(7.5f, -7.5f, 8, 7.5f);
    return Room(15) + Box(-8, 7.5f, -north / 2, 8) + Box(north / 2, 7.5f, 8, 8) +
           Box(-8, -8, -south / 2, -7.5f) + Box(south / 2, -8, 8, -7.5f) + Box(-8, -7.5f, -7.5f, -west / 2) +
           Box(-8, west / 2, -7.5f, 7.5f) + eastWall + "route -11 -11\nroute -11 0\nroute -4 0\nroute 0 0\n";
}

// Pillars of 1 m every `spacing` metres; the VIP zig-zags between them to the middle.
std::string Field(int spacing)
{
    std::string text = Room(15);
    for (int x = -3 * spacing / 2; x <= 3 * spacing / 2; x += spacing)
        for (int z = -3 * spacing / 2; z <= 3 * spacing / 2; z += spacing)
            text += Box(float(x) - 0.5f, float(z) - 0.5f, float(x) + 0.5f, float(z) + 0.5f);
    return text + "route -12 -12\nroute -12 -6\nroute -6 -6\nroute -6 0\nroute 0 0\n";
}

// Corridors of 4 to 8 m between long walls; the VIP stops at a junction.
std::string Maze()
{
    return Room(15) + Box(-14, -6, 6, -5) + Box(-6, 5, 14, 6) + Box(5, -14, 6, -9) + Box(-6, -1, -5, 5) +
           Box(5, -1, 6, 1) +
           "route -11 -11\nroute -11 -8\nroute 10 -8\nroute 10 -2\nroute 0 -2\nroute 0 0\n";
}

struct StudyCase
{
    const char* name;
    std::string level;
};

// Every team size from 1 to 16: a larger team never watches fewer ways than a
// smaller one did (the four-entrance courtyard and the pillar field, where one point
// sees every way, once lost ways as escorts were added), every escort settles, and
// with at least as many escorts as clusters every cluster is watched.
TEST(EscortStudyTest, AddingAnEscortNeverWatchesFewerWays)
{
    const std::string ai = ReadData("escort_ai.txt");
    const StudyCase cases[] = {
        {"courtyard", Courtyard(5, 3, 4)},
        {"courtyard4", Courtyard(2, 3, 4, 5)},
        {"field", Field(6)},
        {"maze", Maze()},
        {"sample", ReadData("level.txt")},
    };
    for (const StudyCase& c : cases) {
        SCOPED_TRACE(c.name);
        CEscortLevel level;
        std::string error;
        ASSERT_TRUE(EscortLevelParse(c.level.data(), c.level.size(), level, error)) << error;
        // Kept, so that "escort-run --level <file> --team-sizes 1-16" can be run on it.
        std::filesystem::create_directories(OLAI_TEST_OUTPUT_DIR);
        std::ofstream(std::string(OLAI_TEST_OUTPUT_DIR) + "/" + c.name + ".txt") << c.level;
        CEscortRunOptions options;
        options.seconds = 60.0f;
        std::vector<CTeamSizeResult> results;
        ASSERT_TRUE(EscortTeamSizeStudy(level, ai, options, 1, 16, 20.0f, results, error)) << error;
        ASSERT_EQ(results.size(), 16u);
        SCOPED_TRACE(FormatTeamSizeTable(results));
        ASSERT_GE(results[0].stopSeconds, 0.0f) << "the VIP never arrived";
        const int clusters = results[0].clusters;
        ASSERT_GT(clusters, 1);
        int previous = 0;
        for (const CTeamSizeResult& r : results) {
            SCOPED_TRACE(r.escorts);
            EXPECT_EQ(r.clusters, clusters);
            EXPECT_GE(r.watched, previous);
            EXPECT_EQ(r.watched, r.assigned);
            EXPECT_GE(r.settleSeconds, 0.0f);
            EXPECT_TRUE(r.unsettled.empty());
            if (r.escorts >= clusters) {
                EXPECT_EQ(r.watched, clusters);
                EXPECT_LE(r.directions, clusters);
            }
            previous = r.watched;
        }
    }
}

TEST(EscortStudyTest, TheTableListsEverySize)
{
    const std::string ai = ReadData("escort_ai.txt");
    const std::string text = Maze();
    CEscortLevel level;
    std::string error;
    ASSERT_TRUE(EscortLevelParse(text.data(), text.size(), level, error)) << error;
    std::vector<CTeamSizeResult> results;
    ASSERT_TRUE(EscortTeamSizeStudy(level, ai, CEscortRunOptions(), 2, 4, 20.0f, results, error)) << error;
    ASSERT_EQ(results.size(), 3u);
    const std::string table = FormatTeamSizeTable(results);
    for (const char* row : {"\n      2 ", "\n      3 ", "\n      4 "})
        EXPECT_NE(table.find(row), std::string::npos) << table;
    EXPECT_FALSE(EscortTeamSizeStudy(level, ai, CEscortRunOptions(), 0, 4, 20.0f, results, error));
    EXPECT_FALSE(EscortTeamSizeStudy(level, ai, CEscortRunOptions(), 3, 2, 20.0f, results, error));
    EXPECT_FALSE(
        EscortTeamSizeStudy(level, ai, CEscortRunOptions(), 1, kMaxEscortCount + 1, 20.0f, results, error));
}

} // namespace
} // namespace Zelk
