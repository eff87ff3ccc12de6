#include "bench/physics/distance_scene.h"

#include <cmath>
#include <random>

#include "physics/core/utils/vec3.h"
#include "physics/core/volume/box.h"
#include "physics/core/volume/convex.h"
#include "physics/qhull/qhullbuild.h"

using namespace olp;

namespace {

Matrix RandomPose(std::mt19937& random, float spread)
{
    std::normal_distribution<float> normal;
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    V3d axis = {normal(random), normal(random), normal(random)};
    axis = axis * (1.0f / Length(axis));
    float angle = 3.14159265f * unit(random);
    float c = std::cos(angle), s = std::sin(angle), t = 1.0f - c;
    Matrix m{};
    m.right = {t * axis.x * axis.x + c, t * axis.x * axis.y + s * axis.z, t * axis.x * axis.z - s * axis.y};
    m.up = {t * axis.x * axis.y - s * axis.z, t * axis.y * axis.y + c, t * axis.y * axis.z + s * axis.x};
    m.at = {t * axis.x * axis.z + s * axis.y, t * axis.y * axis.z - s * axis.x, t * axis.z * axis.z + c};
    m.pos = {spread * unit(random), spread * unit(random), spread * unit(random)};
    m.flags = kMatrixFlagsOrthonormal;
    return m;
}

} // namespace

DistanceScene MakeDistanceScene()
{
    DistanceScene scene;
    std::mt19937 random(31);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    for (int i = 0; i < 16; ++i) {
        std::vector<V3d> cloud(24);
        for (V3d& p : cloud) {
            p = {unit(random), 0.7f * unit(random), 0.5f * unit(random)};
        }
        OlpConvexHull* hull = OlpQHullBuildHull(24, cloud.data(), nullptr, OlpQHullDiscard());
        scene.clouds.push_back(cloud);
        scene.hulls.push_back(OlpConvexCreate(hull));
        OlpConvexHullRelease(hull);
        V3d half = {0.3f + 0.7f * std::fabs(unit(random)), 0.3f + 0.7f * std::fabs(unit(random)),
                    0.3f + 0.7f * std::fabs(unit(random))};
        scene.boxHalfExtents.push_back(half);
        scene.boxes.push_back(OlpBoxCreate(&half));
    }
    for (int i = 0; i < 2000; ++i) {
        scene.hullPairs.push_back({{static_cast<int>(random() % 16), RandomPose(random, 1.6f)},
                                   {static_cast<int>(random() % 16), RandomPose(random, 1.6f)}});
        scene.boxPairs.push_back({{static_cast<int>(random() % 16), RandomPose(random, 1.6f)},
                                  {static_cast<int>(random() % 16), RandomPose(random, 1.6f)}});
    }
    return scene;
}

void DestroyDistanceScene(DistanceScene& scene)
{
    for (OlpVolume* volume : scene.hulls) {
        OlpVolumeDestroy(volume);
    }
    for (OlpVolume* volume : scene.boxes) {
        OlpVolumeDestroy(volume);
    }
    scene = {};
}
