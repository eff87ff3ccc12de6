#include "bench/physics/convexworld_scene.h"

#include <cmath>
#include <random>

#include "graphics/core/tests/enginetesting.h"
#include "graphics/scene/collision.h"
#include "graphics/scene/material.h"
#include "graphics/scene/scenelibrary.h"
#include "graphics/scene/world.h"
#include "physics/core/manager/manager.h"
#include "physics/core/pipeline/pipeline.h"
#include "physics/core/utils/vec3.h"
#include "physics/core/volume/coefficients.h"
#include "physics/core/volume/convex.h"
#include "physics/core/volume/mass.h"
#include "physics/core/volume/trilist.h"
#include "physics/qhull/qhullbuild.h"
#include "physics/refpair/refpair.h"
#include "tools/worldbuild/worldshapes.h"

using namespace olp;

bool ConvexWorldEngineStart()
{
    return EngineTestInit() && WorldLibraryAttach() && CollisionPluginAttach() && OlpRefPairRegister() == 1 &&
           OlpRefPairRegisterGeometry() == 1 && EngineTestOpen() && EngineStart();
}

float ConvexWorldHeight(float x, float z)
{
    return 2.0f * std::sin(0.05f * x) * std::cos(0.07f * z);
}

Matrix ConvexWorldStart(int k)
{
    Matrix m{};
    m.right = {1, 0, 0};
    m.up = {0, 1, 0};
    m.at = {0, 0, 1};
    const float x = 1.15f * float(k % kConvexWorldSide) - 23.6f;
    const float z = 1.15f * float(k / kConvexWorldSide) - 23.6f;
    m.pos = {x, ConvexWorldHeight(x, z) + 3.0f, z};
    m.flags = kMatrixFlagsOrthonormal;
    return m;
}

ConvexWorldScene::ConvexWorldScene()
{
    material = MaterialCreate();
    soup = WorldSoupTerrain(kConvexWorldTriangles, 200.0f, {material});
    WorldBuildLimits limits;
    limits.collisionLeaf = 4;
    world = WorldBuild(soup, limits);
    if (world == nullptr || OlpRefPairPrepareWorld(world) == nullptr) {
        return;
    }
    std::mt19937 random(17);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    for (int h = 0; h < kConvexWorldShapes; ++h) {
        std::vector<V3d> cloud(24);
        for (V3d& p : cloud) {
            p = {0.25f * unit(random), 0.2f * unit(random), 0.15f * unit(random)};
        }
        hulls.push_back(OlpQHullBuildHull(24, cloud.data(), nullptr, OlpQHullDiscard()));
        OlpVolume volume;
        OlpConvexInit(&volume, hulls.back());
        OlpVolumeSetSlide(&volume, 0.5f);
        OlpVolumeSetBounce(&volume, 0.0f);
        defs.push_back(OlpBodyDefCreate());
        OlpPartSetVolume(&defs.back()->part, &volume);
        OlpVolumeDestroyContents(&volume);
        OlpPartSetMass(&defs.back()->part, 1.0f, 0);
    }
    OlpContextParams params;
    OlpContextParamsDefault(&params);
    OlpBodyParamsReserve(&params, kConvexWorldBodies, kConvexWorldBodies);
    const float box[6] = {200, 200, 200, -200, -200, -200};
    context = OlpContextCreate(&params, 1.0f, box);
    if (context == nullptr) {
        return;
    }
    OlpBodyRegisterType(context);
    const float g[3] = {0, -10.0f, 0};
    OlpPipelineSetGravity(OlpContextGetPipeline(context), g);
    ground = OlpTrilistCreate(world, kOlpTrilistWorld);
    OlpVolumeSetSlide(ground, 0.5f);
    OlpVolumeSetBounce(ground, 0.0f);
    OlpContextAddObject(context, ground, 0);
    poses.resize(kConvexWorldBodies);
    for (int k = 0; k < kConvexWorldBodies; ++k) {
        poses[size_t(k)] = ConvexWorldStart(k);
        OlpBody* body = OlpBodyCreate(defs[size_t(k % kConvexWorldShapes)]);
        body->base.parts[0].sourceMatrix = &poses[size_t(k)];
        OlpMgrAddObject(OlpContextGetMgr(context), &body->base, kOlpMgrAnyId,
                        kOlpMgrAddAwake | kOlpMgrAddDynamic | kOlpMgrAddActivate);
        bodies.push_back(body);
    }
    ready = true;
}

ConvexWorldScene::~ConvexWorldScene()
{
    for (OlpBody* body : bodies) {
        OlpBodyDestroy(body);
    }
    if (context != nullptr) {
        OlpContextDestroy(context);
    }
    if (ground != nullptr) {
        OlpVolumeDestroy(ground);
    }
    for (OlpBodyDef* def : defs) {
        OlpBodyDefRelease(def);
    }
    for (OlpConvexHull* hull : hulls) {
        OlpConvexHullRelease(hull);
    }
    if (world != nullptr) {
        WorldDestroy(world);
    }
    MaterialRelease(material);
}

void ConvexWorldScene::Step()
{
    OlpPipelineStep(OlpContextGetPipeline(context), 1.0f / 60.0f);
}

void ConvexWorldMeasure(const ConvexWorldScene& scene, const std::vector<Matrix>& before,
                        const std::vector<Matrix>& after, float step, double* resting, float* penetration)
{
    int still = 0;
    *penetration = 0.0f;
    for (size_t k = 0; k < after.size(); ++k) {
        const Matrix& m = after[k];
        still += Length(m.pos - before[k].pos) < 0.1f * step ? 1 : 0;
        const OlpConvexHull* hull = scene.hulls[k % kConvexWorldShapes];
        for (uint32_t v = 0; v < hull->vertexCount; ++v) {
            const V3d p = hull->vertices[v];
            const V3d w = m.right * p.x + m.up * p.y + m.at * p.z + m.pos;
            *penetration = std::fmax(*penetration, WorldSoupTerrainHeight(scene.soup, w.x, w.z) - w.y);
        }
    }
    *resting = after.empty() ? 0.0 : double(still) / double(after.size());
}
