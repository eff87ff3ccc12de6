#include "tools/physics-sim/hull.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

#include "physics/core/volume/convex.h"
#include "physics/core/volume/dispatch.h"
#include "physics/qhull/qhullbuild.h"

std::vector<V3d> RandomCloud(uint32_t count, uint32_t seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    std::vector<V3d> points(count);
    for (V3d& p : points) {
        p = {2.0f * unit(random), unit(random), 1.5f * unit(random)};
    }
    return points;
}

int RunHull(uint32_t count)
{
    std::vector<V3d> points = RandomCloud(count, 1);
    OlpConvexHull* hull = OlpQHullBuildHull(count, points.data(), nullptr, OlpQHullDiscard());
    if (hull == nullptr) {
        std::printf("hull of %u points: none (too few or flat)\n", count);
        return 1;
    }
    std::printf("hull of %u points: %u vertices, %u faces, %u half-edges, %s (2(n + k) = %u, m + 4 = %u)\n",
                count, hull->vertexCount, hull->faceCount, hull->edgeCount,
                OlpConvexHullIsValid(hull) ? "valid" : "INVALID", 2u * (hull->vertexCount + hull->faceCount),
                hull->edgeCount + 4u);
    OlpVolume* convex = OlpConvexCreate(hull);
    OlpConvexHullRelease(hull);
    OlpMassProperties mass;
    V3d centre;
    float volume = OlpVolumeGetMassProperties(convex, &mass, &centre);
    std::printf(
        "volume %.6g, centre (%.4g, %.4g, %.4g), inertia per unit mass (%.6g, %.6g, %.6g), thickness %.4g\n",
        volume, centre.x, centre.y, centre.z, mass.moments.x, mass.moments.y, mass.moments.z,
        convex->descriptor->getCoreThickness(convex));
    OlpVolumeDestroy(convex);
    return 0;
}

namespace {

bool WritePoints(const std::string& path, const std::vector<V3d>& points)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    bool ok = true;
    for (const V3d& p : points) {
        for (float value : {p.x, p.y, p.z}) {
            uint32_t bits;
            std::memcpy(&bits, &value, 4);
            const unsigned char bytes[4] = {
                static_cast<unsigned char>(bits), static_cast<unsigned char>(bits >> 8),
                static_cast<unsigned char>(bits >> 16), static_cast<unsigned char>(bits >> 24)};
            ok = std::fwrite(bytes, 1, 4, file) == 4 && ok;
        }
    }
    return std::fclose(file) == 0 && ok;
}

} // namespace

int WriteHullCorpus(const std::string& folder)
{
    std::vector<V3d> cube;
    for (int i = 0; i < 8; ++i) {
        cube.push_back({i & 1 ? 1.0f : -1.0f, i & 2 ? 1.0f : -1.0f, i & 4 ? 1.0f : -1.0f});
    }
    std::vector<V3d> flat = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {0.3f, 0.6f, 0}};
    std::vector<V3d> collinear = {{0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {3, 3, 3}, {-1, -1, -1}};
    std::vector<V3d> sphere;
    for (int i = 0; i < 64; ++i) {
        float z = 1.0f - (2.0f * static_cast<float>(i) + 1.0f) / 64.0f;
        float r = std::sqrt(1.0f - z * z);
        float angle = 2.3999632f * static_cast<float>(i);
        sphere.push_back({r * std::cos(angle), r * std::sin(angle), z});
    }
    std::vector<V3d> duplicates = cube;
    duplicates.insert(duplicates.end(), cube.begin(), cube.end());
    std::vector<V3d> nonFinite = cube;
    nonFinite.push_back({NAN, 0, 0});
    nonFinite.push_back({0, INFINITY, 0});
    nonFinite.push_back({0, 0, -INFINITY});
    const struct
    {
        const char* name;
        std::vector<V3d> points;
    } seeds[] = {
        {"cube.bin", cube},
        {"flat.bin", flat},
        {"collinear.bin", collinear},
        {"sphere.bin", sphere},
        {"random-50.bin", RandomCloud(50, 2)},
        {"random-300.bin", RandomCloud(300, 3)},
        {"duplicates.bin", duplicates},
        {"non-finite.bin", nonFinite},
    };
    for (const auto& seed : seeds) {
        std::string path = folder + "/" + seed.name;
        if (!WritePoints(path, seed.points)) {
            std::fprintf(stderr, "physics-sim: cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("wrote %s (%zu points)\n", path.c_str(), seed.points.size());
    }
    return 0;
}
