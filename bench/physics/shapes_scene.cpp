#include "bench/physics/shapes_scene.h"

#include <cmath>
#include <random>

#include "physics/core/utils/vec3.h"
#include "physics/core/volume/box.h"
#include "physics/core/volume/capsule.h"
#include "physics/core/volume/cylinder.h"
#include "physics/core/volume/sphere.h"

using namespace olp;

std::vector<ShapeCase> MakeShapeCases()
{
    V3d half = {1.0f, 0.5f, 0.75f};
    return {
        {"sphere", OlpSphereCreate(1.0f), 1.0f, 0.0f, {}},
        {"capsule", OlpCapsuleCreate(0.5f, 1.0f), 0.5f, 1.0f, {}},
        {"box", OlpBoxCreate(&half), 0.0f, 0.0f, half},
        {"cylinder", OlpCylinderCreate(0.8f, 1.0f), 0.8f, 1.0f, {}},
    };
}

void DestroyShapeCases(std::vector<ShapeCase>& cases)
{
    for (ShapeCase& c : cases) {
        OlpVolumeDestroy(c.volume);
    }
    cases.clear();
}

namespace {

V3d RandomUnit(std::mt19937& random)
{
    std::normal_distribution<float> normal;
    V3d v = {normal(random), normal(random), normal(random)};
    return v * (1.0f / Length(v));
}

} // namespace

const std::vector<V3d>& ShapeDirections()
{
    static const std::vector<V3d> directions = [] {
        std::mt19937 random(17);
        std::vector<V3d> out(1024);
        for (V3d& d : out) {
            d = RandomUnit(random);
        }
        return out;
    }();
    return directions;
}

const std::vector<ShapeSegment>& ShapeSegments()
{
    static const std::vector<ShapeSegment> segments = [] {
        std::mt19937 random(23);
        std::uniform_real_distribution<float> target(-1.5f, 1.5f);
        std::vector<ShapeSegment> out(1024);
        for (ShapeSegment& s : out) {
            s.start = RandomUnit(random) * 4.0f;
            V3d aim = {target(random), target(random), target(random)};
            s.end = s.start + (aim - s.start) * 2.0f;
        }
        return out;
    }();
    return segments;
}
