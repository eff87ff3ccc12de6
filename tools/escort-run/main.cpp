// escort-run: the escort scenario, headless. A VIP walks the sample level's
// route and stops; the escorts guard it. Prints a report per second and writes
// a CSV trace and an SVG picture.
//
//   escort-run [--level data/escort/level.txt] [--ai data/escort/escort_ai.txt]
//              [--escorts 4] [--seconds 40] [--seed 1] [--out build/escort]
//              [--write-data DIR]   also writes the level's navigation data into DIR
#include "tools/escort-run/escort_scenario.h"
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "tools/common/toolfiles.h"

namespace {

bool WriteText(const std::string& name, const std::string& text)
{
    return ToolWriteFile(name, text.data(), text.size());
}

} // namespace

int main(int argc, char** argv)
{
    std::string levelName = "data/escort/level.txt";
    std::string aiName = "data/escort/escort_ai.txt";
    std::string out = "build/escort";
    std::string dataDir;
    Zelk::CEscortRunOptions options;
    for (int i = 1; i + 1 < argc; i += 2) {
        const char* key = argv[i];
        const char* value = argv[i + 1];
        if (std::strcmp(key, "--level") == 0)
            levelName = value;
        else if (std::strcmp(key, "--ai") == 0)
            aiName = value;
        else if (std::strcmp(key, "--out") == 0)
            out = value;
        else if (std::strcmp(key, "--write-data") == 0)
            dataDir = value;
        else if (std::strcmp(key, "--escorts") == 0)
            options.escorts = std::atoi(value);
        else if (std::strcmp(key, "--seconds") == 0)
            options.seconds = float(std::atof(value));
        else if (std::strcmp(key, "--seed") == 0)
            options.seed = uint32_t(std::strtoul(value, nullptr, 10));
        else {
            std::fprintf(stderr, "escort-run: unknown option %s\n", key);
            return 2;
        }
    }
    Zelk::CEscortLevel level;
    std::string error;
    std::string aiConfig;
    if (!Zelk::EscortLevelLoad(levelName.c_str(), level, error)) {
        std::fprintf(stderr, "escort-run: %s: %s\n", levelName.c_str(), error.c_str());
        return 1;
    }
    if (!ToolReadText(aiName, &aiConfig)) {
        std::fprintf(stderr, "escort-run: cannot read %s\n", aiName.c_str());
        return 1;
    }
    Zelk::CEscortScenario scenario;
    if (!scenario.Start(level, aiConfig, options, error)) {
        std::fprintf(stderr, "escort-run: %s\n", error.c_str());
        return 1;
    }
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
