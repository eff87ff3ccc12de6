#include "tools/physics-sim/scenario.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

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

bool WriteSvg(const ScenarioReport& report, const std::string& name, const std::string& path)
{
    FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        return false;
    }
    const double width = 640, height = 320, margin = 30;
    float top = 0.0f, bottom = 0.0f;
    for (const auto& row : report.heights) {
        for (float y : row) {
            top = std::max(top, y);
            bottom = std::min(bottom, y);
        }
    }
    top = top > bottom ? top : bottom + 1.0f;
    const double steps = report.heights.size() > 1 ? static_cast<double>(report.heights.size() - 1) : 1.0;
    auto px = [&](size_t n) { return margin + (width - 2 * margin) * static_cast<double>(n) / steps; };
    auto py = [&](float y) {
        return height - margin - (height - 2 * margin) * (y - bottom) / (top - bottom);
    };
    std::fprintf(file, "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\">\n", width,
                 height);
    std::fprintf(file, "<rect width=\"100%%\" height=\"100%%\" fill=\"white\"/>\n");
    std::fprintf(file,
                 "<text x=\"%.0f\" y=\"20\" font-size=\"14\">%s: height (m) over %zu steps at 60 Hz</text>\n",
                 margin, name.c_str(), report.heights.size());
    std::fprintf(file, "<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"gray\"/>\n", margin,
                 py(0.0f), width - margin, py(0.0f));
    const char* colours[] = {"#c0392b", "#2471a3", "#229954", "#7d3c98", "#b7950b", "#555555"};
    for (size_t i = 0; i < report.bodies.size(); ++i) {
        std::fprintf(file, "<polyline fill=\"none\" stroke=\"%s\" points=\"", colours[i % 6]);
        for (size_t n = 0; n < report.heights.size(); ++n) {
            std::fprintf(file, "%.1f,%.1f ", px(n), py(report.heights[n][i]));
        }
        std::fprintf(file, "\"/>\n");
    }
    std::fprintf(file, "</svg>\n");
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
        if (!WriteSvg(report, name, svgPath)) {
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
