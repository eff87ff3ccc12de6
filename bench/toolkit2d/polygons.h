#pragma once
// The polygons both tessellation benchmarks cut: counter-clockwise stars of
// n vertices with alternating radii, and concave combs of n vertices.

#include <cmath>
#include <cstdint>
#include <vector>

struct BenchPoint
{
    float x, y;
};

/// A star: even vertices on radius 1, odd ones on radius 0.6.
inline std::vector<BenchPoint> BenchStar(int32_t n)
{
    std::vector<BenchPoint> points;
    for (int32_t i = 0; i < n; ++i) {
        const float angle = 6.2831853f * float(i) / float(n);
        const float r = (i % 2) ? 0.6f : 1.0f;
        points.push_back({r * std::cos(angle), r * std::sin(angle)});
    }
    return points;
}

/// A comb: a bar along the bottom with (n - 4) / 2 teeth standing on it.
inline std::vector<BenchPoint> BenchComb(int32_t n)
{
    const int32_t teeth = (n - 4) / 4;
    std::vector<BenchPoint> points = {{0, 0}, {float(2 * teeth + 1), 0}, {float(2 * teeth + 1), 1}};
    for (int32_t t = teeth - 1; t >= 0; --t) {
        const float x = float(2 * t + 1);
        points.push_back({x + 1, 1});
        points.push_back({x + 1, 3});
        points.push_back({x, 3});
        points.push_back({x, 1});
    }
    points.push_back({0, 1});
    return points;
}

/// The sizes of both kinds.
inline const std::vector<int32_t>& BenchSizes()
{
    static const std::vector<int32_t> sizes = {8, 16, 32, 64, 256, 1024};
    return sizes;
}
