// escort-run: the escort scenario, headless. A VIP walks the level's route and
// stops; the escorts guard it. Prints a report per second and a summary, and
// writes a CSV trace and an SVG picture. With --team-sizes it runs the scenario
// once per team size instead and prints a table of the coverage reached. With
// --ais it reads the AI configuration and its graphs from an ".AIS" file (as
// the demo does) instead of building the graphs over the level.
// "escort-run --help" lists the options.
#include "tools/cli/tool_cli.h"
#include "tools/common/toolfiles.h"
#include "tools/escort-run/escort_scenario.h"
#include "tools/escort-run/escort_study.h"
#include <cstdio>
#include <filesystem>

namespace {

constexpr float kSettleLimit = 20.0f; // seconds after the VIP's stop that a study waits

bool WriteText(const std::string& name, const std::string& text)
{
    return ToolWriteFile(name, text.data(), text.size());
}

// "A-B" or "A" into from..to; false when it is neither.
bool ParseSizes(const std::string& text, int& from, int& to)
{
    char tail = 0;
    if (std::sscanf(text.c_str(), "%d-%d%c", &from, &to, &tail) == 2)
        return true;
    if (std::sscanf(text.c_str(), "%d%c", &from, &tail) == 1) {
        to = from;
        return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    std::string levelName = "data/escort/level.txt";
    std::string aiName = "data/escort/escort_ai.txt";
    std::string aisName;
    std::string out = "build/escort";
    std::string dataDir;
    std::string teamSizes;
    Zelk::CEscortRunOptions options;
    ToolCli::App app(
        "The escort scenario, headless: a VIP walks the level's route and stops; the escorts guard "
        "every way of access to it.",
        "escort-run");
    app.add_option("--level", levelName, "level text file")->capture_default_str();
    ToolCli::Option* ai = app.add_option("--ai", aiName, "AI configuration text")->capture_default_str();
    app.add_option("--escorts", options.escorts, "number of escorts")
        ->check(ToolCli::Range(1, Zelk::kMaxEscortCount))
        ->capture_default_str();
    app.add_option("--seconds", options.seconds, "simulated time (a study: at most this until the VIP stops)")
        ->check(ToolCli::FiniteRange(0.0, 3600.0))
        ->capture_default_str();
    app.add_option("--seed", options.seed, "seed of the project's random generator")
        ->check(ToolCli::Range(uint32_t(0), UINT32_MAX))
        ->capture_default_str();
    app.add_option("--out", out, "folder for escort-trace.csv and escort.svg")->capture_default_str();
    app.add_option("--write-data", dataDir, "also write the level's navigation data into this folder");
    ToolCli::Option* sizes =
        app.add_option("--team-sizes", teamSizes,
                       "run once per team size (\"1-16\" or \"4\") and print the coverage table instead");
    app.add_option("--ais", aisName,
                   "\".AIS\" file with the AI configuration and the graphs as raw data (in place of --ai)")
        ->excludes(ai)
        ->excludes(sizes);
    int status = 0;
    if (!ToolCli::Parse(app, argc, argv, &status))
        return status;
    int from = 0;
    int to = 0;
    if (!teamSizes.empty() &&
        (!ParseSizes(teamSizes, from, to) || from < 1 || to < from || to > Zelk::kMaxEscortCount)) {
        std::fprintf(stderr, "escort-run: --team-sizes: \"%s\" is not A-B with 1 <= A <= B <= %d\n",
                     teamSizes.c_str(), Zelk::kMaxEscortCount);
        return 2;
    }

    Zelk::CEscortLevel level;
    std::string error;
    std::string aiConfig;
    if (!Zelk::EscortLevelLoad(levelName.c_str(), level, error)) {
        std::fprintf(stderr, "escort-run: %s: %s\n", levelName.c_str(), error.c_str());
        return 1;
    }
    std::vector<uint8_t> ais;
    const bool fromAis = !aisName.empty();
    if (fromAis ? !ToolReadFile(aisName, &ais) : !ToolReadText(aiName, &aiConfig)) {
        std::fprintf(stderr, "escort-run: cannot read %s\n", (fromAis ? aisName : aiName).c_str());
        return 1;
    }
    if (!teamSizes.empty()) {
        std::vector<Zelk::CTeamSizeResult> results;
        if (!Zelk::EscortTeamSizeStudy(level, aiConfig, options, from, to, kSettleLimit, results, error)) {
            std::fprintf(stderr, "escort-run: %s\n", error.c_str());
            return 1;
        }
        std::printf("escort-run: coverage by team size on %s\n%s", levelName.c_str(),
                    Zelk::FormatTeamSizeTable(results).c_str());
        return 0;
    }

    Zelk::CEscortScenario scenario;
    if (fromAis ? !scenario.StartFromAis(level, ais, options, error)
                : !scenario.Start(level, aiConfig, options, error)) {
        std::fprintf(stderr, "escort-run: %s\n", error.c_str());
        return 1;
    }
    if (fromAis)
        std::printf("escort-run: AI configuration and graphs from %s (%d of 3 graphs built over the level)\n",
                    aisName.c_str(), scenario.GetBuiltGraphCount());
    if (!dataDir.empty()) {
        if (!scenario.WriteData(dataDir, error)) {
            std::fprintf(stderr, "escort-run: %s\n", error.c_str());
            return 1;
        }
        std::printf("escort-run: navigation data written into %s\n", dataDir.c_str());
    }
    std::string report;
    scenario.Run(&report);
    std::fputs(report.c_str(), stdout);
    std::puts(scenario.Summary().c_str());
    std::error_code ignored;
    std::filesystem::create_directories(out, ignored);
    const std::string csv = out + "/escort-trace.csv";
    const std::string svg = out + "/escort.svg";
    if (!WriteText(csv, Zelk::CEscortScenario::GetTraceHeader() + scenario.GetTrace()) ||
        !WriteText(svg, scenario.MakeSvg())) {
        std::fprintf(stderr, "escort-run: cannot write into %s\n", out.c_str());
        return 1;
    }
    std::printf("escort-run: trace %s, picture %s\n", csv.c_str(), svg.c_str());
    return 0;
}
