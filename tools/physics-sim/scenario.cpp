#include "tools/physics-sim/scenario.h"

#include <cinttypes>
#include <cstdio>

#include "tools/physics-sim/heightplot.h"

namespace {

bool WriteCsv(const ScenarioReport& report, const std::string& path)
{
    FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        return false;
    }
    std::fprintf(file, "step");
    for (size_t i = 0; i < report.bodies.size(); ++i) {
        std::fprintf(file, ",y%zu", i);
    }
    std::fprintf(file, "\n");
    for (size_t n = 0; n < report.heights.size(); ++n) {
        std::fprintf(file, "%zu", n + 1);
        for (float y : report.heights[n]) {
            std::fprintf(file, ",%.6f", static_cast<double>(y));
        }
        std::fprintf(file, "\n");
    }
    return std::fclose(file) == 0;
}

} // namespace

int RunScenarioCommand(const std::string& name, const ScenarioOptions& options, const std::string& svgPath,
                       const std::string& csvPath)
{
    ScenarioReport report = RunScenario(name, options);
    if (!report.known) {
        std::fprintf(stderr, "physics-sim: unknown scenario %s\n", name.c_str());
        return 2;
    }
    return ReportScenario(name, report, svgPath, csvPath);
}

int ReportScenario(const std::string& name, const ScenarioReport& report, const std::string& svgPath,
                   const std::string& csvPath)
{
    std::printf("%s: %zu steps at 60 Hz, gravity (0, -10, 0)\n", name.c_str(), report.heights.size());
    for (size_t i = 0; i < report.bodies.size(); ++i) {
        const auto& b = report.bodies[i];
        std::printf("body %zu: position (%.4f, %.4f, %.4f), %s", i, static_cast<double>(b.position.x),
                    static_cast<double>(b.position.y), static_cast<double>(b.position.z),
                    b.asleep ? "asleep" : "awake");
        if (b.asleep) {
            std::printf(" since step %d", b.sleptAt);
        }
        std::printf("\n");
    }
    std::printf("largest penetration %.4f m\n", static_cast<double>(report.penetration));
    std::printf("iteration maxima: position pass %u, velocity pass %u\n", report.maxA, report.maxB);
    std::printf("state hash %016" PRIx64 "\n", report.hash);
    if (!svgPath.empty()) {
        if (!WriteHeightPlot(report, name, svgPath)) {
            std::fprintf(stderr, "physics-sim: cannot write %s\n", svgPath.c_str());
            return 1;
        }
        std::printf("plot written to %s\n", svgPath.c_str());
    }
    if (!csvPath.empty() && !WriteCsv(report, csvPath)) {
        std::fprintf(stderr, "physics-sim: cannot write %s\n", csvPath.c_str());
        return 1;
    }
    return 0;
}
