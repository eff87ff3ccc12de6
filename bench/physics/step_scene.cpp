#include "bench/physics/step_scene.h"

#include <random>

#include "bench/physics/contacts_scene.h"
#include "physics/core/dyn/dyn.h"
#include "physics/core/utils/vec3.h"
#include "physics/core/volume/coefficients.h"
#include "physics/core/volume/grid.h"
#include "physics/core/volume/triangle.h"

using namespace olp;

V3d StepBoxStart(int i, int columns)
{
    int perLayer = columns * columns;
    int layer = i / perLayer;
    int x = (i % perLayer) % columns;
    int z = (i % perLayer) / columns;
    return {kStepBoxPitch * static_cast<float>(x), kStepBoxBase + kStepBoxPitch * static_cast<float>(layer),
            kStepBoxPitch * static_cast<float>(z)};
}

std::unique_ptr<PipelineScene> MakeStepBoxes(int columns, int layers)
{
    const int count = columns * columns * layers;
    auto scene = std::make_unique<PipelineScene>(static_cast<uint32_t>(count));
    scene->AddPlane({0, 0, 0}, {0, 1, 0}, 0.5f, 0.0f);
    // A column of 30 needs more relaxation moves than the defaults give.
    OlpPipelineSetMaxPosIterations(scene->pipeline, kStepIterations);
    OlpPipelineSetMaxVelIterations(scene->pipeline, kStepIterations);
    for (int i = 0; i < count; ++i) {
        SceneBody* box = scene->AddBox({0.5f, 0.5f, 0.5f}, 1.0f, StepBoxStart(i, columns));
        scene->SetCoefficients(box, 0.5f, 0.0f);
    }
    return scene;
}

StepHullWorld::~StepHullWorld()
{
    for (OlpConvexHull* hull : hulls) {
        OlpConvexHullRelease(hull);
    }
}

std::unique_ptr<StepHullWorld> MakeStepHullWorld()
{
    auto world = std::make_unique<StepHullWorld>();
    const int cells = 100;
    const float cell = 0.5f;
    auto at = [&](int i, int j) {
        float x = cell * static_cast<float>(i), z = cell * static_cast<float>(j);
        return V3d{x, ContactTerrainHeight(x, z), z};
    };
    for (int j = 0; j < cells; ++j) {
        for (int i = 0; i < cells; ++i) {
            // Counter-clockwise seen from above (+y).
            V3d a = at(i, j), b = at(i + 1, j), c = at(i + 1, j + 1), d = at(i, j + 1);
            world->terrain.insert(world->terrain.end(), {a, c, b, a, d, c});
        }
    }
    std::mt19937 random(23);
    for (int h = 0; h < kStepHullShapes; ++h) {
        world->hulls.push_back(ContactRandomHull(random));
        const OlpConvexHull* hull = world->hulls.back();
        world->shapes.emplace_back(hull->vertices, hull->vertices + hull->vertexCount);
    }
    for (int k = 0; k < kStepHullSide * kStepHullSide; ++k) {
        // 2.45 m from every edge, so that no hull slides off the field.
        float x = 2.45f + 1.1f * static_cast<float>(k % kStepHullSide);
        float z = 2.45f + 1.1f * static_cast<float>(k / kStepHullSide);
        world->starts.push_back({x, ContactTerrainHeight(x, z) + 1.0f, z});
        world->shapeOf.push_back(k % kStepHullShapes);
    }
    return world;
}

std::unique_ptr<PipelineScene> MakeStepHulls(const StepHullWorld& world)
{
    auto scene = std::make_unique<PipelineScene>(static_cast<uint32_t>(world.starts.size()));
    OlpPipelineSetMaxPosIterations(scene->pipeline, kStepIterations);
    OlpPipelineSetMaxVelIterations(scene->pipeline, kStepIterations);
    const uint32_t triangles = static_cast<uint32_t>(world.terrain.size() / 3);
    OlpVolume* grid = OlpGridCreate(triangles);
    for (uint32_t t = 0; t < triangles; ++t) {
        OlpTriangleInit(OlpGridGetCell(grid, t), &world.terrain[3 * t], &world.terrain[3 * t + 1],
                        &world.terrain[3 * t + 2]);
    }
    OlpGridBuild(grid, 0.0f);
    OlpVolumeSetSlide(grid, 0.5f);
    scene->AddStaticVolume(grid);
    for (size_t i = 0; i < world.starts.size(); ++i) {
        SceneBody* body =
            scene->AddConvex(world.hulls[static_cast<size_t>(world.shapeOf[i])], 1.0f, world.starts[i]);
        scene->SetCoefficients(body, 0.5f, 0.0f);
    }
    return scene;
}

double StepRestShare(const PipelineScene& scene)
{
    int resting = 0;
    for (const auto& b : scene.bodies) {
        const OlpDyn* dyn = b->body->base.parts[0].dyn;
        resting += dyn == nullptr || Length(OlpDynGetVelocity(dyn)->linear) < 0.1f ? 1 : 0;
    }
    return scene.bodies.empty() ? 1.0
                                : static_cast<double>(resting) / static_cast<double>(scene.bodies.size());
}
