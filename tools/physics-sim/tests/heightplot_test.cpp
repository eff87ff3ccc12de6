// The height plot's axes: tick steps of 1, 2 or 5 times a power of ten inside
// the range, labels in seconds and metres, and every traced point inside the
// axes' box.
#include "testing/textpattern.h"
#include "tools/physics-sim/heightplot.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

TEST(HeightPlot, TicksAreRoundStepsInsideTheRange)
{
    struct Case
    {
        double low, high;
        std::vector<double> ticks;
    };
    const Case cases[] = {
        {0.0, 5.0, {0, 1, 2, 3, 4, 5}},          {0.0, 10.0, {0, 2, 4, 6, 8, 10}},
        {-0.013, 2.6, {0, 0.5, 1, 1.5, 2, 2.5}}, {0.0, 0.03, {0, 0.005, 0.01, 0.015, 0.02, 0.025, 0.03}},
        {-40.0, 170.0, {0, 50, 100, 150}},
    };
    for (const Case& c : cases) {
        const std::vector<double> ticks = PlotTicks(c.low, c.high, 6);
        ASSERT_EQ(ticks.size(), c.ticks.size()) << c.low << " " << c.high;
        for (size_t i = 0; i < ticks.size(); ++i)
            EXPECT_NEAR(ticks[i], c.ticks[i], 1e-9) << c.low << " " << c.high;
    }
    EXPECT_TRUE(PlotTicks(1.0, 1.0, 6).empty());
    EXPECT_TRUE(PlotTicks(0.0, NAN, 6).empty());
    EXPECT_TRUE(PlotTicks(0.0, INFINITY, 6).empty());
}

/// Three bodies falling from 2.5, 1.5 and 0.5 m to rest at 1.5, 1 and 0.5 m
/// over 300 steps, one dipping 1 cm below the ground on the way.
ScenarioReport ThreeBodies()
{
    ScenarioReport report;
    report.bodies.resize(3);
    for (int n = 0; n < 300; ++n) {
        const float f = float(n) / 299.0f;
        report.heights.push_back({2.5f - f, 1.5f - 0.5f * f, n == 100 ? -0.01f : 0.5f});
    }
    return report;
}

TEST(HeightPlot, HasLabelledAxesInSecondsAndMetresAndALegend)
{
    const std::string svg = HeightPlotSvg(ThreeBodies(), "stack3");
    EXPECT_NE(svg.find("time (s)"), std::string::npos);
    EXPECT_NE(svg.find("(m)</text>"), std::string::npos);
    EXPECT_NE(svg.find("stack3: "), std::string::npos);
    for (const char* label : {">body 0<", ">body 1<", ">body 2<"})
        EXPECT_NE(svg.find(label), std::string::npos) << label;
    // 300 steps at 60 Hz: 5 s, a label each second; heights -0.01 to 2.5 m.
    for (const char* label : {">0<", ">1<", ">2<", ">3<", ">4<", ">5<", ">0.5<", ">1.5<", ">2.5<"})
        EXPECT_NE(svg.find(label), std::string::npos) << label;
    EXPECT_EQ(svg.find(">6<"), std::string::npos) << "no tick past the end";
}

TEST(HeightPlot, TracesStayInsideTheAxes)
{
    const std::string svg = HeightPlotSvg(ThreeBodies(), "stack3");
    // The axes: a polyline from the top of the height axis down to the origin
    // and along the time axis.
    const auto found =
        TextPatternMatches(svg, "stroke=\"black\" points=\"([0-9.]+),([0-9.]+) [0-9.]+,([0-9.]+) "
                                "([0-9.]+),[0-9.]+\"");
    ASSERT_FALSE(found.empty());
    const std::vector<std::string>& axes = found[0];
    const double left = std::stod(axes[1]), top = std::stod(axes[2]), bottom = std::stod(axes[3]),
                 right = std::stod(axes[4]);
    int traces = 0;
    for (const auto& trace : TextPatternMatches(svg, "stroke=\"#[0-9a-f]{6}\" points=\"([^\"]*)\"")) {
        ++traces;
        int count = 0;
        for (const auto& point : TextPatternMatches(trace[1], "([0-9.-]+),([0-9.-]+)")) {
            ++count;
            const double x = std::stod(point[1]), y = std::stod(point[2]);
            EXPECT_GE(x, left);
            EXPECT_LE(x, right + 0.05);
            EXPECT_GE(y, top - 0.05);
            EXPECT_LE(y, bottom + 0.05);
        }
        EXPECT_EQ(count, 300);
    }
    EXPECT_EQ(traces, 3);
}

} // namespace
