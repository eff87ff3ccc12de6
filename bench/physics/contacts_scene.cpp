#include "bench/physics/contacts_scene.h"

#include <cmath>
#include <random>

#include "physics/core/utils/vec3.h"
#include "physics/core/volume/box.h"
#include "physics/core/volume/convex.h"
#include "physics/core/volume/convexhull.h"
#include "physics/core/volume/dispatch.h"
#include "physics/core/volume/gjk.h"
#include "physics/core/volume/grid.h"
#include "physics/core/volume/plane.h"
#include "physics/core/volume/triangle.h"
#include "physics/qhull/qhullbuild.h"

using namespace olp;

namespace {

Matrix Pose(V3d position)
{
    Matrix m{};
    m.right = {1, 0, 0};
    m.up = {0, 1, 0};
    m.at = {0, 0, 1};
    m.pos = position;
    m.flags = kMatrixFlagsOrthonormal;
    return m;
}

ContactBody* AddBody(ContactScene& scene, Matrix pose, int shape)
{
    scene.bodies.push_back(std::make_unique<ContactBody>());
    ContactBody& b = *scene.bodies.back();
    OlpObjInit(&b.object, 1, 0);
    b.object.partCount = 1;
    b.object.parts[0].volume = &b.volume;
    b.pose = pose;
    b.object.parts[0].sourceMatrix = &b.pose;
    b.shape = shape;
    return &b;
}

} // namespace

float ContactTerrainHeight(float x, float y)
{
    return 0.4f * std::sin(0.3f * x) * std::cos(0.25f * y) + 0.1f * std::sin(1.3f * x + 0.7f * y);
}

bool ContactSceneBox(void* object, uint32_t selector, void*, OlpBBox* out)
{
    if (selector == kOlpBarePart) {
        return OlpBatchObjectBox(object, selector, nullptr, out);
    }
    const OlpObjPart& part = static_cast<OlpObj*>(object)->parts[0];
    return OlpVolumeGetBBox(part.volume, part.sourceMatrix, 0, out) != nullptr;
}

std::unique_ptr<ContactScene> MakeStackScene()
{
    auto scene = std::make_unique<ContactScene>();
    scene->ground = OlpPlaneCreate();
    V3d half = {0.5f, 0.5f, 0.5f};
    for (int stack = 0; stack < 100; ++stack) {
        float x = 1.5f * static_cast<float>(stack % 10);
        float y = 1.5f * static_cast<float>(stack / 10);
        OlpObj* below = nullptr;
        for (int level = 0; level < 10; ++level) {
            // Each box sinks 5 mm into the one below (and the first into the plane).
            ContactBody* b =
                AddBody(*scene, Pose({x, y, 0.5f + 0.995f * static_cast<float>(level) - 0.005f}), -1);
            OlpBoxInit(&b->volume, &half);
            if (below == nullptr) {
                scene->pairs.push_back({&b->object, 0, scene->ground, kOlpBarePart, nullptr});
            } else {
                scene->pairs.push_back({&b->object, 0, below, 0, nullptr});
            }
            below = &b->object;
        }
    }
    return scene;
}

std::unique_ptr<ContactScene> MakeTerrainScene()
{
    auto scene = std::make_unique<ContactScene>();
    // 100 x 100 quads of 0.5: 20,000 triangles.
    const int n = 100;
    const float step = 0.5f;
    scene->ground = OlpGridCreate(2 * n * n);
    uint32_t cell = 0;
    for (int j = 0; j < n; ++j) {
        for (int i = 0; i < n; ++i) {
            auto at = [&](int di, int dj) {
                float x = step * static_cast<float>(i + di);
                float y = step * static_cast<float>(j + dj);
                return V3d{x, y, ContactTerrainHeight(x, y)};
            };
            V3d a = at(0, 0), b = at(1, 0), c = at(1, 1), d = at(0, 1);
            OlpTriangleInit(OlpGridGetCell(scene->ground, cell++), &a, &b, &c);
            OlpTriangleInit(OlpGridGetCell(scene->ground, cell++), &a, &c, &d);
            scene->terrainVertices.insert(scene->terrainVertices.end(), {a, b, c, a, c, d});
        }
    }
    OlpGridBuild(scene->ground, 0.0f);
    std::mt19937 random(17);
    for (int h = 0; h < 16; ++h) {
        scene->hulls.push_back(ContactRandomHull(random));
        const OlpConvexHull* hull = scene->hulls.back();
        scene->hullVertices.emplace_back(hull->vertices, hull->vertices + hull->vertexCount);
    }
    std::vector<OlpBatchEntry> near(256);
    for (int k = 0; k < 42 * 42; ++k) {
        float x = 0.8f + 1.15f * static_cast<float>(k % 42);
        float y = 0.8f + 1.15f * static_cast<float>(k / 42);
        int shape = k % 16;
        ContactBody* b = AddBody(*scene, Pose({x, y, 3.0f}), shape);
        OlpConvexInit(&b->volume, scene->hulls[static_cast<size_t>(shape)]);
        // Lowered until its surface is 2 mm above the nearest triangle under it.
        OlpBBox box;
        OlpVolumeGetBBox(&b->volume, &b->pose, 0, &box);
        box.min.z = -10.0f;
        OlpBatchList list = {near.data(), 0, static_cast<uint32_t>(near.size())};
        OlpGridQuery(scene->ground, &box, 0, &list);
        float nearest = 1e9f;
        for (uint32_t i = 0; i < list.count; ++i) {
            OlpPartPair pair = {{&b->volume, &b->pose}, {near[i].volume, nullptr}};
            OlpDistance d;
            if (OlpGjkPenetration(&pair, 1e9f, &d, 1.0f) != 0) {
                nearest = std::fmin(nearest, d.distance);
            }
        }
        b->pose.pos.z -= nearest - 0.002f;
        scene->pairs.push_back({&b->object, 0, scene->ground, kOlpBarePart, nullptr});
    }
    return scene;
}

void DestroyContactScene(ContactScene& scene)
{
    for (auto& body : scene.bodies) {
        OlpObjDeinit(&body->object);
        OlpVolumeDestroyContents(&body->volume);
    }
    scene.bodies.clear();
    for (OlpConvexHull* hull : scene.hulls) {
        OlpConvexHullRelease(hull);
    }
    scene.hulls.clear();
    if (scene.ground != nullptr) {
        OlpVolumeDestroy(scene.ground);
        scene.ground = nullptr;
    }
}

OlpConvexHull* ContactRandomHull(std::mt19937& random)
{
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    std::vector<V3d> cloud(24);
    for (V3d& p : cloud) {
        p = {0.25f * unit(random), 0.2f * unit(random), 0.15f * unit(random)};
    }
    return OlpQHullBuildHull(24, cloud.data(), nullptr, OlpQHullDiscard());
}
