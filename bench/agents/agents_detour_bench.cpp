// Comparison for the agents benchmark: the same 64 wanderers, 16 followers and
// 8 shooters on the same level, moved by Detour's crowd over a navigation mesh
// that Recast builds from the level's walls. Wanderers draw their goals from
// the same walkable grid points with the project's generator and seed;
// followers aim 1 m behind their leader; shooters stand within 10 m of their
// target and walk towards it otherwise. One iteration is one crowd update.
#include "agents_level.h"
#include "ai/runtime/random.h"
#include "frame_measure.h"
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstring>
#include <memory>
#include <recastnavigation/DetourCrowd.h>
#include <recastnavigation/DetourNavMesh.h>
#include <recastnavigation/DetourNavMeshBuilder.h>
#include <recastnavigation/DetourNavMeshQuery.h>
#include <recastnavigation/Recast.h>
#include <vector>

namespace {

using namespace AgentsBench;

// The level as triangles: the floor and every wall box.
void LevelTriangles(std::vector<float>& verts, std::vector<int>& tris)
{
    const auto quad = [&](const float a[3], const float b[3], const float c[3], const float d[3]) {
        const int base = int(verts.size() / 3);
        for (const float* p : {a, b, c, d})
            verts.insert(verts.end(), p, p + 3);
        tris.insert(tris.end(), {base, base + 2, base + 1, base, base + 3, base + 2});
    };
    const float f0[3] = {0, 0, 0}, f1[3] = {kSize, 0, 0}, f2[3] = {kSize, 0, kSize}, f3[3] = {0, 0, kSize};
    quad(f0, f1, f2, f3);
    for (const Box& b : LevelBoxes()) {
        const float x0 = b.min[0], x1 = b.max[0], y0 = 0.0f, y1 = b.max[1], z0 = b.min[2], z1 = b.max[2];
        const float c[8][3] = {{x0, y0, z0}, {x1, y0, z0}, {x1, y0, z1}, {x0, y0, z1},
                               {x0, y1, z0}, {x1, y1, z0}, {x1, y1, z1}, {x0, y1, z1}};
        quad(c[4], c[5], c[6], c[7]); // top
        quad(c[0], c[4], c[7], c[3]);
        quad(c[1], c[2], c[6], c[5]);
        quad(c[0], c[1], c[5], c[4]);
        quad(c[3], c[7], c[6], c[2]);
    }
}

struct NavMeshDeleter
{
    void operator()(dtNavMesh* mesh) const { dtFreeNavMesh(mesh); }
};
struct CrowdDeleter
{
    void operator()(dtCrowd* crowd) const { dtFreeCrowd(crowd); }
};
struct QueryDeleter
{
    void operator()(dtNavMeshQuery* query) const { dtFreeNavMeshQuery(query); }
};

std::unique_ptr<dtNavMesh, NavMeshDeleter> BuildNavMesh()
{
    std::vector<float> verts;
    std::vector<int> tris;
    LevelTriangles(verts, tris);
    const int nverts = int(verts.size() / 3), ntris = int(tris.size() / 3);
    rcConfig cfg{};
    cfg.cs = 0.25f;
    cfg.ch = 0.2f;
    cfg.walkableSlopeAngle = 45.0f;
    cfg.walkableHeight = int(std::ceil(1.8f / cfg.ch));
    cfg.walkableClimb = int(std::floor(0.4f / cfg.ch));
    cfg.walkableRadius = int(std::ceil(0.3f / cfg.cs));
    cfg.maxEdgeLen = int(12.0f / cfg.cs);
    cfg.maxSimplificationError = 1.3f;
    cfg.minRegionArea = 8 * 8;
    cfg.mergeRegionArea = 20 * 20;
    cfg.maxVertsPerPoly = 6;
    cfg.detailSampleDist = 6.0f * cfg.cs;
    cfg.detailSampleMaxError = cfg.ch;
    rcCalcBounds(verts.data(), nverts, cfg.bmin, cfg.bmax);
    rcCalcGridSize(cfg.bmin, cfg.bmax, cfg.cs, &cfg.width, &cfg.height);

    rcContext ctx(false);
    rcHeightfield* solid = rcAllocHeightfield();
    std::vector<unsigned char> areas(size_t(ntris), 0);
    rcCompactHeightfield* chf = rcAllocCompactHeightfield();
    rcContourSet* cset = rcAllocContourSet();
    rcPolyMesh* pmesh = rcAllocPolyMesh();
    rcPolyMeshDetail* dmesh = rcAllocPolyMeshDetail();
    bool ok = rcCreateHeightfield(&ctx, *solid, cfg.width, cfg.height, cfg.bmin, cfg.bmax, cfg.cs, cfg.ch);
    if (ok) {
        rcMarkWalkableTriangles(&ctx, cfg.walkableSlopeAngle, verts.data(), nverts, tris.data(), ntris,
                                areas.data());
        ok = rcRasterizeTriangles(&ctx, verts.data(), nverts, tris.data(), areas.data(), ntris, *solid,
                                  cfg.walkableClimb);
    }
    if (ok) {
        rcFilterLowHangingWalkableObstacles(&ctx, cfg.walkableClimb, *solid);
        rcFilterLedgeSpans(&ctx, cfg.walkableHeight, cfg.walkableClimb, *solid);
        rcFilterWalkableLowHeightSpans(&ctx, cfg.walkableHeight, *solid);
        ok =
            rcBuildCompactHeightfield(&ctx, cfg.walkableHeight, cfg.walkableClimb, *solid, *chf) &&
            rcErodeWalkableArea(&ctx, cfg.walkableRadius, *chf) && rcBuildDistanceField(&ctx, *chf) &&
            rcBuildRegions(&ctx, *chf, 0, cfg.minRegionArea, cfg.mergeRegionArea) &&
            rcBuildContours(&ctx, *chf, cfg.maxSimplificationError, cfg.maxEdgeLen, *cset) &&
            rcBuildPolyMesh(&ctx, *cset, cfg.maxVertsPerPoly, *pmesh) &&
            rcBuildPolyMeshDetail(&ctx, *pmesh, *chf, cfg.detailSampleDist, cfg.detailSampleMaxError, *dmesh);
    }
    std::unique_ptr<dtNavMesh, NavMeshDeleter> mesh;
    if (ok) {
        for (int i = 0; i < pmesh->npolys; ++i)
            if (pmesh->areas[i] == RC_WALKABLE_AREA) {
                pmesh->areas[i] = 0;
                pmesh->flags[i] = 1;
            }
        dtNavMeshCreateParams params{};
        params.verts = pmesh->verts;
        params.vertCount = pmesh->nverts;
        params.polys = pmesh->polys;
        params.polyAreas = pmesh->areas;
        params.polyFlags = pmesh->flags;
        params.polyCount = pmesh->npolys;
        params.nvp = pmesh->nvp;
        params.detailMeshes = dmesh->meshes;
        params.detailVerts = dmesh->verts;
        params.detailVertsCount = dmesh->nverts;
        params.detailTris = dmesh->tris;
        params.detailTriCount = dmesh->ntris;
        params.walkableHeight = 1.8f;
        params.walkableRadius = 0.3f;
        params.walkableClimb = 0.4f;
        rcVcopy(params.bmin, pmesh->bmin);
        rcVcopy(params.bmax, pmesh->bmax);
        params.cs = cfg.cs;
        params.ch = cfg.ch;
        params.buildBvTree = true;
        unsigned char* data = nullptr;
        int size = 0;
        if (dtCreateNavMeshData(&params, &data, &size)) {
            mesh.reset(dtAllocNavMesh());
            if (!mesh || dtStatusFailed(mesh->init(data, size, DT_TILE_FREE_DATA))) {
                dtFree(data);
                mesh.reset();
            }
        }
    }
    rcFreePolyMeshDetail(dmesh);
    rcFreePolyMesh(pmesh);
    rcFreeContourSet(cset);
    rcFreeCompactHeightfield(chf);
    rcFreeHeightField(solid);
    return mesh;
}

struct Crowd
{
    std::unique_ptr<dtNavMesh, NavMeshDeleter> mesh = BuildNavMesh();
    std::unique_ptr<dtNavMeshQuery, QueryDeleter> query{dtAllocNavMeshQuery()};
    std::unique_ptr<dtCrowd, CrowdDeleter> crowd{dtAllocCrowd()};
    dtQueryFilter filter;
    std::vector<float> points = WalkablePoints();
    std::vector<int> agents;
    std::vector<float> goals; // x, y, z per agent
    float time = 0.0f;
    bool ok = false;

    Crowd()
    {
        const int count = kWanderers + kFollowers + kShooters;
        if (!mesh || dtStatusFailed(query->init(mesh.get(), 2048)) || !crowd->init(count, 0.6f, mesh.get()))
            return;
        Zelk::AiSeedRandom(7);
        const size_t spots = points.size() / 2;
        goals.resize(size_t(count) * 3);
        for (int i = 0; i < count; ++i) {
            const size_t spot = i < kWanderers ? size_t(i) * 37 % spots
                                : i < kWanderers + kFollowers
                                    ? (size_t(i - kWanderers) * 37 + 5) % spots
                                    : (size_t(i - kWanderers - kFollowers) * 53 + 11) % spots;
            const float at[3] = {points[2 * spot], 0.0f, points[2 * spot + 1]};
            dtCrowdAgentParams p{};
            p.radius = 0.3f;
            p.height = 1.8f;
            p.maxAcceleration = 8.0f;
            p.maxSpeed = i < kWanderers ? 2.0f : i < kWanderers + kFollowers ? 2.5f : 0.5f;
            p.collisionQueryRange = 12.0f * p.radius;
            p.pathOptimizationRange = 30.0f * p.radius;
            p.updateFlags = DT_CROWD_ANTICIPATE_TURNS | DT_CROWD_OPTIMIZE_VIS | DT_CROWD_OPTIMIZE_TOPO;
            const int id = crowd->addAgent(at, &p);
            if (id < 0)
                return;
            agents.push_back(id);
            if (i < kWanderers)
                DrawGoal(i);
        }
        ok = true;
    }

    bool MoveTo(int i, const float target[3])
    {
        const float extents[3] = {2.0f, 4.0f, 2.0f};
        dtPolyRef ref = 0;
        float nearest[3];
        if (dtStatusFailed(query->findNearestPoly(target, extents, &filter, &ref, nearest)) || ref == 0)
            return false;
        std::memcpy(&goals[size_t(i) * 3], nearest, sizeof nearest);
        return crowd->requestMoveTarget(agents[size_t(i)], ref, nearest);
    }

    void DrawGoal(int i)
    {
        const size_t spot = size_t(Zelk::AiRandom()) % (points.size() / 2);
        const float target[3] = {points[2 * spot], 0.0f, points[2 * spot + 1]};
        MoveTo(i, target);
    }

    static float Distance2(const float* a, const float* b)
    {
        return (a[0] - b[0]) * (a[0] - b[0]) + (a[2] - b[2]) * (a[2] - b[2]);
    }

    void Frame()
    {
        time += kStep;
        for (int i = 0; i < kWanderers; ++i)
            if (Distance2(crowd->getAgent(agents[size_t(i)])->npos, &goals[size_t(i) * 3]) < 0.75f * 0.75f)
                DrawGoal(i);
        for (int i = 0; i < kFollowers; ++i) {
            // 1 m behind the leader, along its velocity; the goal moves when the leader does.
            const dtCrowdAgent* leader = crowd->getAgent(agents[size_t(i)]);
            const float* v = leader->vel;
            const float speed = std::sqrt(v[0] * v[0] + v[2] * v[2]);
            float target[3] = {leader->npos[0], leader->npos[1], leader->npos[2]};
            if (speed > 0.01f) {
                target[0] -= v[0] / speed;
                target[2] -= v[2] / speed;
            }
            const int k = kWanderers + i;
            if (Distance2(target, &goals[size_t(k) * 3]) > 0.1f * 0.1f)
                MoveTo(k, target);
        }
        for (int i = 0; i < kShooters; ++i) {
            const int k = kWanderers + kFollowers + i;
            const float* target = crowd->getAgent(agents[size_t(kFollowers + i)])->npos;
            const float* self = crowd->getAgent(agents[size_t(k)])->npos;
            if (Distance2(self, target) < 10.0f * 10.0f)
                crowd->resetMoveTarget(agents[size_t(k)]);
            else if (Distance2(target, &goals[size_t(k) * 3]) > 0.5f * 0.5f)
                MoveTo(k, target);
        }
        crowd->update(kStep, nullptr);
    }
};

void BM_DetourCrowdFrame(benchmark::State& state)
{
    Crowd crowd;
    if (!crowd.ok) {
        state.SkipWithError("Recast or Detour refused the level");
        return;
    }
    MeasureFrames(state, crowd);
}
BENCHMARK(BM_DetourCrowdFrame)->Unit(benchmark::kMillisecond)->Iterations(900);

} // namespace
