#include "tools/physics-sim/heightplot.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace {

// The picture and the plot area inside it (pixels): room on the left for the
// height labels, below for the time labels, on the right for the legend.
constexpr double kWidth = 720, kHeight = 360;
constexpr double kLeft = 60, kRight = 600, kTop = 40, kBottom = 310;
constexpr int kWantedTicks = 6;
const char* const kColours[] = {"#c0392b", "#2471a3", "#229954", "#7d3c98", "#b7950b", "#555555"};
constexpr size_t kColourCount = sizeof kColours / sizeof kColours[0];

__attribute__((format(printf, 2, 3))) void Append(std::string& out, const char* format, ...)
{
    char line[256];
    va_list values;
    va_start(values, format);
    const int n = std::vsnprintf(line, sizeof line, format, values);
    va_end(values);
    if (n > 0)
        out.append(line, std::min(size_t(n), sizeof line - 1));
}

/// Shortest decimal text for a tick value on a grid of `step`.
void AppendTickLabel(std::string& out, double value, double step)
{
    const int decimals = step >= 1.0 ? 0 : int(std::ceil(-std::log10(step) - 1e-9));
    Append(out, "%.*f", decimals, std::abs(value) < step * 1e-6 ? 0.0 : value);
}

} // namespace

std::vector<double> PlotTicks(double low, double high, int wanted)
{
    std::vector<double> ticks;
    if (!(high > low) || !std::isfinite(low) || !std::isfinite(high) || wanted < 1)
        return ticks;
    const double rough = (high - low) / wanted;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    double step = power;
    for (double factor : {1.0, 2.0, 5.0, 10.0})
        if (factor * power >= rough) {
            step = factor * power;
            break;
        }
    for (double k = std::ceil(low / step - 1e-9); k * step <= high + step * 1e-9; k += 1.0)
        ticks.push_back(k * step);
    return ticks;
}

std::string HeightPlotSvg(const ScenarioReport& report, const std::string& name)
{
    float top = 0.0f, bottom = 0.0f;
    for (const auto& row : report.heights)
        for (float y : row) {
            top = std::max(top, y);
            bottom = std::min(bottom, y);
        }
    if (!(top > bottom))
        top = bottom + 1.0f;
    const size_t steps = report.heights.size();
    const double seconds = std::max(double(steps), 1.0) / kPlotStepsPerSecond;
    // Step n (from 1) ends at n / 60 s.
    const auto px = [&](double t) { return kLeft + (kRight - kLeft) * t / seconds; };
    const auto py = [&](double y) {
        return kBottom - (kBottom - kTop) * (y - bottom) / double(top - bottom);
    };

    std::string svg;
    Append(svg, "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\">\n", kWidth,
           kHeight);
    svg += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    Append(svg, "<text x=\"%.0f\" y=\"20\" font-size=\"14\">", kLeft);
    svg += name;
    Append(svg, ": body heights over %zu steps at 60 Hz, gravity 10 m/s&#178; downwards</text>\n", steps);

    // Grid lines and labels of both axes.
    svg += "<g font-size=\"11\" fill=\"black\" stroke=\"none\">\n";
    const std::vector<double> times = PlotTicks(0.0, seconds, kWantedTicks);
    const double timeStep = times.size() > 1 ? times[1] - times[0] : 1.0;
    for (double t : times) {
        Append(svg, "<line x1=\"%.1f\" y1=\"%.0f\" x2=\"%.1f\" y2=\"%.0f\" stroke=\"#dddddd\"/>\n", px(t),
               kTop, px(t), kBottom + 5);
        Append(svg, "<text x=\"%.1f\" y=\"%.0f\" text-anchor=\"middle\">", px(t), kBottom + 18);
        AppendTickLabel(svg, t, timeStep);
        svg += "</text>\n";
    }
    const std::vector<double> heights = PlotTicks(bottom, top, kWantedTicks);
    const double heightStep = heights.size() > 1 ? heights[1] - heights[0] : 1.0;
    for (double y : heights) {
        Append(svg, "<line x1=\"%.0f\" y1=\"%.1f\" x2=\"%.0f\" y2=\"%.1f\" stroke=\"#dddddd\"/>\n", kLeft - 5,
               py(y), kRight, py(y));
        Append(svg, "<text x=\"%.0f\" y=\"%.1f\" text-anchor=\"end\">", kLeft - 8, py(y) + 4);
        AppendTickLabel(svg, y, heightStep);
        svg += "</text>\n";
    }
    Append(svg, "<text x=\"%.0f\" y=\"%.0f\" text-anchor=\"middle\">time (s)</text>\n", (kLeft + kRight) / 2,
           kBottom + 36);
    Append(svg,
           "<text x=\"16\" y=\"%.0f\" text-anchor=\"middle\" transform=\"rotate(-90 16 %.0f)\">"
           "height (m)</text>\n",
           (kTop + kBottom) / 2, (kTop + kBottom) / 2);
    svg += "</g>\n";
    // The axes, and the ground (height 0) when the plot reaches below it.
    Append(svg, "<polyline fill=\"none\" stroke=\"black\" points=\"%.0f,%.0f %.0f,%.0f %.0f,%.0f\"/>\n",
           kLeft, kTop, kLeft, kBottom, kRight, kBottom);
    if (bottom < 0.0f)
        Append(svg, "<line x1=\"%.0f\" y1=\"%.1f\" x2=\"%.0f\" y2=\"%.1f\" stroke=\"gray\"/>\n", kLeft,
               py(0.0), kRight, py(0.0));

    for (size_t i = 0; i < report.bodies.size(); ++i) {
        const char* colour = kColours[i % kColourCount];
        Append(svg, "<polyline fill=\"none\" stroke=\"%s\" points=\"", colour);
        for (size_t n = 0; n < steps; ++n)
            if (i < report.heights[n].size())
                Append(svg, "%.1f,%.1f ", px(double(n + 1) / kPlotStepsPerSecond), py(report.heights[n][i]));
        svg += "\"/>\n";
        const double y = kTop + 16.0 * double(i);
        Append(svg,
               "<line x1=\"%.0f\" y1=\"%.0f\" x2=\"%.0f\" y2=\"%.0f\" stroke=\"%s\" stroke-width=\"2\"/>\n",
               kRight + 12, y, kRight + 32, y, colour);
        Append(svg, "<text x=\"%.0f\" y=\"%.0f\" font-size=\"11\">body %zu</text>\n", kRight + 38, y + 4, i);
    }
    svg += "</svg>\n";
    return svg;
}

bool WriteHeightPlot(const ScenarioReport& report, const std::string& name, const std::string& path)
{
    FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr)
        return false;
    const std::string svg = HeightPlotSvg(report, name);
    const bool written = std::fwrite(svg.data(), 1, svg.size(), file) == svg.size();
    return std::fclose(file) == 0 && written;
}
