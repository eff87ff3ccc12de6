#include "tools/physics-sim/contacts.h"

#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "physics/core/contact/batch.h"
#include "physics/core/object/object.h"
#include "physics/core/utils/memory.h"
#include "physics/core/utils/vec3.h"
#include "physics/core/volume/box.h"
#include "physics/core/volume/convex.h"
#include "physics/core/volume/convexhull.h"
#include "physics/core/volume/dispatch.h"
#include "physics/core/volume/gjk.h"
#include "physics/core/volume/plane.h"
#include "physics/core/volume/sphere.h"
#include "physics/qhull/qhullbuild.h"
#include "tools/physics-sim/hull.h"

using namespace olp;

namespace {

Matrix Pose(V3d position, float degreesAboutZ = 0.0f)
{
    float r = degreesAboutZ * 3.14159265f / 180.0f;
    Matrix m{};
    m.right = {std::cos(r), std::sin(r), 0};
    m.up = {-std::sin(r), std::cos(r), 0};
    m.at = {0, 0, 1};
    m.pos = position;
    m.flags = kMatrixFlagsOrthonormal;
    return m;
}

/// A one-part object over a volume and its pose.
struct Body
{
    OlpObj object;
    OlpVolume volume;
    Matrix pose;
};

/// The volumes of a scene: bodies (side A of every pair) and one bare
/// volume under them all (side B).
struct Scene
{
    std::vector<std::unique_ptr<Body>> bodies;
    OlpVolume* ground = nullptr;
    std::vector<OlpConvexHull*> hulls;
    ~Scene()
    {
        for (auto& body : bodies) {
            OlpObjDeinit(&body->object);
            OlpVolumeDestroyContents(&body->volume);
        }
        for (OlpConvexHull* hull : hulls) {
            OlpConvexHullRelease(hull);
        }
        if (ground != nullptr) {
            OlpVolumeDestroy(ground);
        }
    }
    OlpVolume* Add(Matrix pose)
    {
        bodies.push_back(std::make_unique<Body>());
        Body& b = *bodies.back();
        OlpObjInit(&b.object, 1, 0);
        b.object.partCount = 1;
        b.object.parts[0].volume = &b.volume;
        b.pose = pose;
        b.object.parts[0].sourceMatrix = &b.pose;
        return &b.volume;
    }
};

bool BodyBox(void* object, uint32_t selector, void*, OlpBBox* out)
{
    if (selector == kOlpBarePart) {
        return OlpBatchObjectBox(object, selector, nullptr, out);
    }
    const OlpObjPart& part = static_cast<OlpObj*>(object)->parts[0];
    return OlpVolumeGetBBox(part.volume, part.sourceMatrix, 0, out) != nullptr;
}

float Height(float x, float y)
{
    return 0.3f * std::sin(0.7f * x) * std::cos(0.5f * y);
}

/// A grid of triangle volumes over the height field, `n` x `n` quads of
/// size `step` from the origin.
OlpVolume* Terrain(int n, float step)
{
    OlpVolume* grid = OlpGridCreate(static_cast<uint32_t>(2 * n * n));
    uint32_t cell = 0;
    for (int j = 0; j < n; ++j) {
        for (int i = 0; i < n; ++i) {
            auto at = [&](int di, int dj) {
                float x = step * static_cast<float>(i + di);
                float y = step * static_cast<float>(j + dj);
                return V3d{x, y, Height(x, y)};
            };
            V3d a = at(0, 0), b = at(1, 0), c = at(1, 1), d = at(0, 1);
            OlpTriangleInit(OlpGridGetCell(grid, cell++), &a, &b, &c);
            OlpTriangleInit(OlpGridGetCell(grid, cell++), &a, &c, &d);
        }
    }
    OlpGridBuild(grid, 0.0f);
    return grid;
}

/// Moves `pose` down (or up) so that the volume's surface lies `gap` above
/// the nearest cell of the ground grid.
void LowerOnto(const OlpVolume* volume, Matrix* pose, const OlpVolume* ground, float gap)
{
    float nearest = 1e9f;
    for (uint32_t i = 0; i < OlpGridGetCellCount(ground); ++i) {
        const OlpVolume* cell = OlpGridGetCell(const_cast<OlpVolume*>(ground), i);
        OlpPartPair pair = {{volume, pose}, {cell, nullptr}};
        OlpDistance d;
        if (OlpGjkPenetration(&pair, 1e9f, &d, 1.0f) != 0 && d.distance < nearest) {
            nearest = d.distance;
        }
    }
    pose->pos.z -= nearest - gap;
}

bool Build(const std::string& name, Scene* scene)
{
    if (name == "box-on-plane") {
        V3d half = {0.5f, 0.4f, 0.3f};
        OlpBoxInit(scene->Add(Pose({0, 0, 0.31f}, 20.0f)), &half);
        scene->ground = OlpPlaneCreate();
    } else if (name == "box-on-box") {
        V3d half = {0.5f, 0.5f, 0.25f};
        OlpBoxInit(scene->Add(Pose({0, 0, 0.49f}, 45.0f)), &half);
        scene->ground = OlpBoxCreate(&half);
    } else if (name == "sphere-on-mesh") {
        OlpSphereInit(scene->Add(Pose({2.0f, 2.0f, Height(2.0f, 2.0f) + 0.49f})), 0.5f);
        scene->ground = Terrain(8, 0.5f);
    } else if (name == "hulls-on-terrain") {
        scene->ground = Terrain(10, 1.0f);
        for (int k = 0; k < 9; ++k) {
            std::vector<V3d> cloud = RandomCloud(24, 40 + k);
            for (V3d& p : cloud) {
                p = p * 0.25f;
            }
            OlpConvexHull* hull = OlpQHullBuildHull(24, cloud.data(), nullptr, OlpQHullDiscard());
            if (hull == nullptr) {
                return false;
            }
            scene->hulls.push_back(hull);
            float x = 2.0f + 3.0f * static_cast<float>(k % 3);
            float y = 2.0f + 3.0f * static_cast<float>(k / 3);
            OlpVolume* v = scene->Add(Pose({x, y, 2.0f}));
            OlpConvexInit(v, hull);
            LowerOnto(v, &scene->bodies.back()->pose, scene->ground, 0.01f);
        }
    } else {
        return false;
    }
    return true;
}

const char* KindName(uint8_t kind)
{
    return kind == kOlpFeatureVertex ? "vertex" : kind == kOlpFeatureEdge ? "edge" : "face";
}

bool WriteSideView(const std::string& path, const Scene& scene, const OlpContact* contacts, uint32_t count)
{
    FILE* svg = std::fopen(path.c_str(), "w");
    if (svg == nullptr) {
        return false;
    }
    // x across, z up; the view frames every body box.
    OlpBBox all{};
    for (size_t i = 0; i < scene.bodies.size(); ++i) {
        OlpBBox box;
        OlpVolumeGetBBox(&scene.bodies[i]->volume, &scene.bodies[i]->pose, 1, &box);
        i == 0 ? (void)(all = box) : (void)OlpBBoxMerge(&all, &all, &box);
    }
    float x0 = all.min.x - 0.5f, x1 = all.max.x + 0.5f, z0 = all.min.z - 0.5f, z1 = all.max.z + 0.5f;
    float scale = 600.0f / std::fmax(x1 - x0, z1 - z0);
    auto X = [&](float x) { return 20.0f + (x - x0) * scale; };
    auto Z = [&](float z) { return 20.0f + (z1 - z) * scale; };
    std::fprintf(svg, "<svg xmlns='http://www.w3.org/2000/svg' width='%g' height='%g'>\n", X(x1) + 20,
                 Z(z0) + 20);
    for (const auto& body : scene.bodies) {
        OlpBBox box;
        OlpVolumeGetBBox(&body->volume, &body->pose, 1, &box);
        std::fprintf(svg, "<rect x='%g' y='%g' width='%g' height='%g' fill='none' stroke='#406080'/>\n",
                     X(box.min.x), Z(box.max.z), (box.max.x - box.min.x) * scale,
                     (box.max.z - box.min.z) * scale);
    }
    for (uint32_t k = 0; k < count; ++k) {
        for (uint32_t i = 0; i < contacts[k].count; ++i) {
            V3d p = contacts[k].points[i].position;
            V3d tip = p + contacts[k].normal * 0.3f;
            std::fprintf(svg, "<circle cx='%g' cy='%g' r='3' fill='#c00000'/>\n", X(p.x), Z(p.z));
            std::fprintf(svg, "<line x1='%g' y1='%g' x2='%g' y2='%g' stroke='#008000'/>\n", X(p.x), Z(p.z),
                         X(tip.x), Z(tip.z));
        }
    }
    std::fprintf(svg, "</svg>\n");
    return std::fclose(svg) == 0;
}

} // namespace

int RunContacts(const std::string& name, const std::string& svgPath)
{
    Scene scene;
    if (!Build(name, &scene)) {
        std::fprintf(stderr,
                     "physics-sim: unknown scene \"%s\" (box-on-plane, box-on-box, sphere-on-mesh, "
                     "hulls-on-terrain)\n",
                     name.c_str());
        return 1;
    }
    OlpContextParams params;
    OlpContextParamsDefault(&params);
    void* memory = OlpAlignedAlloc(OlpBatchAreaSize(&params), 16, kOlpMemoryHint);
    OlpBatchArea area;
    OlpBatchAreaInit(&area, memory, &params);
    area.contactDistance = 0.05f;
    std::vector<OlpBatchPair> pairs;
    for (auto& body : scene.bodies) {
        pairs.push_back({&body->object, 0, scene.ground, kOlpBarePart, nullptr});
    }
    std::vector<OlpContact> contacts(params.words[kOlpParamContacts]);
    uint32_t count = OlpBatchContactPass(&area, pairs.data(), static_cast<uint32_t>(pairs.size()), BodyBox,
                                         nullptr, contacts.data(), static_cast<uint32_t>(contacts.size()));
    std::printf("%s: %u contact record%s\n", name.c_str(), count, count == 1 ? "" : "s");
    for (uint32_t k = 0; k < count; ++k) {
        const OlpContact& c = contacts[k];
        std::printf("record %u: normal (%.4f, %.4f, %.4f), %u points, %s on %s\n", k, c.normal.x, c.normal.y,
                    c.normal.z, c.count, KindName(c.kindA), KindName(c.kindB));
        for (uint32_t i = 0; i < c.count; ++i) {
            const OlpContactPoint& p = c.points[i];
            std::printf("  (%8.4f, %8.4f, %8.4f) separation %.5f\n", p.position.x, p.position.y, p.position.z,
                        p.separation);
        }
    }
    OlpAlignedFree(memory);
    if (!svgPath.empty() && !WriteSideView(svgPath, scene, contacts.data(), count)) {
        std::fprintf(stderr, "physics-sim: cannot write %s\n", svgPath.c_str());
        return 1;
    }
    return 0;
}
