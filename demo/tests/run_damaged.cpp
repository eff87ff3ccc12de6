// The demo program on damaged copies of the sample data: each data root is
// the sample one with one file replaced (links to everything else), and the
// program, run headless for a few frames, must end by itself with its exit
// code and its message, without a crash or a sanitizer report.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

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
    /// A damaged file under "damaged/" (empty: none) and how many bytes of
    /// the sample file `from` it keeps.
    const char* damaged;
    const char* from;
    size_t keep;
    int exitCode;
    /// Text that the program's output must hold (empty: nothing asked).
    const char* message;
};

std::string Replace(const std::string& text, const char* pattern, const char* by)
{
    return std::regex_replace(text, std::regex(pattern), by);
}

const Damage kDamages[] = {
    {"ais-missing", [](const std::string& s) { return Replace(s, "data/wardels\\.ais", "data/none.ais"); },
     "", "", 0, 0, "Wardels: the AI data cannot be opened"},
    {"ais-cut", [](const std::string& s) { return Replace(s, "data/wardels\\.ais", "damaged/wardels.ais"); },
     "damaged/wardels.ais", "data/wardels.ais", 4096, 0, "Wardels: "},
    // A world file without its whole world chunk is skipped without a message:
    // the demo runs on an empty level.
    {"world-cut",
     [](const std::string& s) { return Replace(s, "models/wardels\\.bsp", "damaged/wardels.bsp"); },
     "damaged/wardels.bsp", "models/wardels.bsp", 3000, 0, ""},
    // Cut inside the characters: no "Application" keys, so no AI data path.
    {"config-cut", [](const std::string& s) { return s.substr(0, 2000); }, "", "", 0, 0,
     "Wardels: the AI data cannot be opened"},
    {"config-without-aimode", [](const std::string& s) { return Replace(s, "<AiMode[^>]*>", ""); }, "", "", 0,
     255, ""},
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
        WriteText(root / damage.damaged, ReadText(sample / damage.from).substr(0, damage.keep));
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
    std::vector<std::future<std::pair<int, std::string>>> runs;
    for (const Damage& damage : kDamages)
        runs.push_back(std::async(std::launch::async, [&damage] {
            std::string log;
            const int code = RunIn(MakeRoot(damage), &log);
            return std::make_pair(code, log);
        }));
    for (size_t i = 0; i < runs.size(); ++i) {
        const Damage& damage = kDamages[i];
        const auto [code, log] = runs[i].get();
        EXPECT_EQ(code, damage.exitCode) << damage.name << ":\n" << log;
        EXPECT_NE(log.find(damage.message), std::string::npos) << damage.name << ":\n" << log;
        EXPECT_EQ(log.find("Sanitizer"), std::string::npos) << damage.name << ":\n" << log;
    }
}

} // namespace
