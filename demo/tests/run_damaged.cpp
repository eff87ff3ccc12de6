// The demo program on damaged copies of the sample data: each data root is
// the sample one with one file replaced (links to everything else), and the
// program, run headless for a few frames, must end by itself with its exit
// code and its message, without a crash or a sanitizer report.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <string>
#include <vector>

#include "testing/textpattern.h"

namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteText(const fs::path& path, const std::string& text)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

struct Damage
{
    const char* name;
    /// What replaces the sample "config.xml" (given the sample's text).
    std::string (*config)(const std::string& sample);
    /// A damaged file under "damaged/" (empty: none), made from the sample
    /// file `from` by `damage`.
    const char* damaged;
    const char* from;
    std::string (*damage)(const std::string& sample);
    int exitCode;
    /// Text that the program's output must hold (empty: nothing asked).
    const char* message;
};

std::string Replace(const std::string& text, const char* pattern, const char* by)
{
    return TextPatternReplace(text, pattern, by);
}

std::string NoDamage(const std::string& sample)
{
    return sample;
}

// What the demo needs and cannot have ends the run with exit code 1 after
// its error box, which names the file and what is wrong with it.
const Damage kDamages[] = {
    {"ais-missing", [](const std::string& s) { return Replace(s, "data/wardels\\.ais", "data/none.ais"); },
     "", "", NoDamage, 1, "Wardels: the AI data data/none.ais cannot be opened"},
    {"ais-cut", [](const std::string& s) { return Replace(s, "data/wardels\\.ais", "damaged/wardels.ais"); },
     "damaged/wardels.ais", "data/wardels.ais", [](const std::string& s) { return s.substr(0, 4096); }, 1,
     "Wardels: the AI data damaged/wardels.ais is damaged: "},
    // The tree is whole, the last raw block (the access ways) is not: the
    // graph leaves that data out, and without it there is no escort team.
    {"ais-raw-cut",
     [](const std::string& s) { return Replace(s, "data/wardels\\.ais", "damaged/wardels.ais"); },
     "damaged/wardels.ais", "data/wardels.ais",
     [](const std::string& s) { return s.substr(0, s.size() - 100); }, 1,
     "Wardels: the AI data damaged/wardels.ais makes no escort team"},
    {"ais-nan", [](const std::string& s) { return Replace(s, "data/wardels\\.ais", "damaged/wardels.ais"); },
     "damaged/wardels.ais", "data/wardels.ais",
     [](const std::string& s) {
         // The leaf's value field follows its 128-byte key field.
         std::string patched = s;
         const size_t key = patched.find("DistanceToVIP");
         if (key != std::string::npos)
             patched.replace(key + 128, 4, std::string("nan\0", 4));
         return patched;
     },
     1,
     "Wardels: the AI data damaged/wardels.ais is damaged: <DistanceToVIP> holds \"nan\", which is not a "
     "finite "
     "number at byte "},
    {"world-cut",
     [](const std::string& s) { return Replace(s, "models/wardels\\.bsp", "damaged/wardels.bsp"); },
     "damaged/wardels.bsp", "models/wardels.bsp", [](const std::string& s) { return s.substr(0, 3000); }, 1,
     "Can not load world in file damaged/wardels.bsp"},
    {"world-missing",
     [](const std::string& s) { return Replace(s, "models/wardels\\.bsp", "models/none.bsp"); }, "", "",
     NoDamage, 1, "Can not load world in file models/none.bsp"},
    // Cut inside the characters: no "Application" keys, so no AI data path.
    {"config-cut", [](const std::string& s) { return s.substr(0, 2000); }, "", "", NoDamage, 1,
     "Wardels: the configuration names no AI data (\"AiPathData\")"},
    {"config-without-aimode", [](const std::string& s) { return Replace(s, "<AiMode[^>]*>", ""); }, "", "",
     NoDamage, 255, ""},
    // Values that would run on into an empty frame or an escort team fed NaN.
    {"config-camera-nan",
     [](const std::string& s) {
         return Replace(s, "<InitialPosition x=\"0.0\" y=\"25.0\"", "<InitialPosition x=\"nan\" y=\"25.0\"");
     },
     "", "", NoDamage, 1, "element 'InitialPosition' attribute 'x' value 'nan' is not a finite number"},
    {"config-player-inf",
     [](const std::string& s) {
         return Replace(s, "x=\"-11.0\" y=\"0.0\" z=\"-6.0\"", "x=\"-11.0\" y=\"inf\" z=\"-6.0\"");
     },
     "", "", NoDamage, 1, "element 'InitialPosition' attribute 'y' value 'inf' is not a finite number"},
    {"config-bots-huge",
     [](const std::string& s) {
         return Replace(s, "<Bots number=\"[0-9]+\"", "<Bots number=\"2147483647\"");
     },
     "", "", NoDamage, 1, "element 'Bots' attribute 'number' value '2147483647'"},
    {"config-arena-zero", [](const std::string& s) { return Replace(s, "size=\"16777216\"", "size=\"0\""); },
     "", "", NoDamage, 1, "element 'RessourceArena' attribute 'size' value '0'"},
    {"config-scale-zero",
     [](const std::string& s) { return Replace(s, "<Scale value=\"1.0\"", "<Scale value=\"0\""); }, "", "",
     NoDamage, 1, "element 'Scale' attribute 'value' value '0'"},
    {"config-clip-reversed",
     [](const std::string& s) { return Replace(s, "farClip=\"200.0\"", "farClip=\"0.05\""); }, "", "",
     NoDamage, 1, "element 'Camera' attribute 'farClip' value '0.05' is not beyond the near clip"},
    {"config-gravity-huge", [](const std::string& s) { return Replace(s, "y=\"-10.0\"", "y=\"-1e30\""); }, "",
     "", NoDamage, 1, "element 'Gravity' attribute 'y' value '-1e30'"},
    {"config-word", [](const std::string& s) { return Replace(s, "heigth=\"1.8\"", "heigth=\"tall\""); }, "",
     "", NoDamage, 1, "element 'Geometry' attribute 'heigth' value 'tall' is not a finite number"},
};

/// A data root in the test's output folder: the sample's entries linked, the
/// damage applied.
fs::path MakeRoot(const Damage& damage)
{
    const fs::path sample = OLAI_DATA_DIR;
    const fs::path root = fs::path(OLAI_TEST_OUTPUT_DIR) / (std::string("damaged-") + damage.name);
    fs::remove_all(root);
    fs::create_directories(root);
    for (const fs::directory_entry& entry : fs::directory_iterator(sample))
        if (entry.path().filename() != "config.xml")
            fs::create_symlink(entry.path(), root / entry.path().filename());
    WriteText(root / "config.xml", damage.config(ReadText(sample / "config.xml")));
    if (*damage.damaged != '\0')
        WriteText(root / damage.damaged, damage.damage(ReadText(sample / damage.from)));
    return root;
}

/// Runs the demo in `root` for 20 frames; its exit code, its output in `log`.
int RunIn(const fs::path& root, std::string* log)
{
    const fs::path out = root / "run.log";
    const std::string command = "cd " + root.string() +
                                " && SDL_VIDEODRIVER=offscreen OLAI_FRAME_MS=33 OLAI_EXIT_AFTER_FRAMES=20 " +
                                OLAI_WARDELS " > " + out.string() + " 2>&1";
    const int status = std::system(command.c_str());
    *log = ReadText(out);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(DemoDamagedData, EachDamageEndsTheRunWithItsExitCodeAndMessage)
{
    // A few runs at a time: each is a whole program under the sanitizers.
    constexpr size_t kAtOnce = 4;
    const size_t count = std::size(kDamages);
    for (size_t first = 0; first < count; first += kAtOnce) {
        std::vector<std::future<std::pair<int, std::string>>> runs;
        for (size_t i = first; i < std::min(count, first + kAtOnce); ++i)
            runs.push_back(std::async(std::launch::async, [i] {
                std::string log;
                const int code = RunIn(MakeRoot(kDamages[i]), &log);
                return std::make_pair(code, log);
            }));
        for (size_t i = first; i < first + runs.size(); ++i) {
            const Damage& damage = kDamages[i];
            const auto [code, log] = runs[i - first].get();
            EXPECT_EQ(code, damage.exitCode) << damage.name << ":\n" << log;
            EXPECT_NE(log.find(damage.message), std::string::npos) << damage.name << ":\n" << log;
            EXPECT_EQ(log.find("Sanitizer"), std::string::npos) << damage.name << ":\n" << log;
        }
    }
}

} // namespace
