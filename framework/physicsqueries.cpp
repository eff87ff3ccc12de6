// The physics world's line queries: the segment test over every world's
// triangles (the camera's pick and the demo's line of sight) and the corridor
// test, a tube of segments around an axis.
#include <cmath>

#include "framework/cameramanager.h"
#include "framework/framework.h"
#include "framework/physicsworld.h"
#include "framework/vectorops.h"
#include "graphics/scene/intersection.h"

namespace {

/// The state of one segment test, handed to the triangle callback.
struct SegmentQuery
{
    bool nearest; ///< keep the nearest hit; else stop at the first
    bool hit;
    float distance; ///< fraction of the segment of the kept hit
    V3d normal;
};

WorldSector* SegmentTriangle(IntersectionQuery*, WorldSector* sector, TriangleHitInfo* triangle,
                             float distance, void* data)
{
    auto* query = static_cast<SegmentQuery*>(data);
    query->hit = true;
    if (!query->nearest)
        return nullptr; // the first hit answers
    if (distance < query->distance) {
        query->distance = distance;
        query->normal = triangle->normal;
    }
    return sector;
}

/// The camera manager's pick: the physics world's segment test.
bool PickSegment(const V3d* start, const V3d* end, const void*, float* fraction, V3d* normal)
{
    const CPhysicsWorld* worlds = Framework().physicsWorld;
    return worlds && worlds->TestSegment(start, end, false, fraction, normal, nullptr) != 0;
}

constexpr CameraPickQueries kPickQueries = {PickSegment};

} // namespace

void CPhysicsWorld::ConnectCameraPick(bool connect)
{
    CCameraManager::SetPickQueries(connect ? &kPickQueries : nullptr);
}

int32_t CPhysicsWorld::TestSegment(const V3d* from, const V3d* to, bool skipDynamic, float* outDistance,
                                   V3d* outNormal, CSceneObject** outObject) const
{
    (void)skipDynamic; // the dynamic collision geometry joins these queries with its tables
    if (outObject)
        *outObject = nullptr;
    if (from->x == to->x && from->y == to->y && from->z == to->z)
        return 0;
    SegmentQuery state = {outDistance && outNormal, false, 100000.0f, {0.0f, 0.0f, 0.0f}};
    IntersectionQuery query = {};
    query.type = kIntersectionLine;
    query.t.line = {*from, *to};
    for (int32_t index = 0; index < m_worldCount && !(state.hit && !state.nearest); ++index)
        WorldForAllTriangleIntersections(m_worlds[index], &query, SegmentTriangle, &state);
    if (state.nearest) {
        *outDistance = state.distance;
        *outNormal = state.normal;
    }
    return state.hit ? 1 : 0;
}

bool CPhysicsWorld::TestCorridor(const V3d* from, const V3d* to, float radius, bool skipDynamic) const
{
    constexpr int32_t kRings = 6;
    constexpr int32_t kAngles = 16;
    // Two perpendiculars of the axis: one horizontal, one above it.
    const V3d along = V3dUnit(V3dSub(*to, *from));
    const V3d horizontal = V3dUnit({along.z, 0.0f, -along.x});
    const V3d side = V3dScaled(horizontal, radius);
    const V3d up = V3dScaled(V3dUnit(V3dCross(horizontal, along)), radius);
    for (int32_t ring = 1; ring <= kRings; ++ring) {
        const float fraction = float(ring) * 0.16666667f;
        for (int32_t step = 0; step < kAngles; ++step) {
            const float angle = float(step) * 0.392699f;
            const V3d offset = V3dAdd(V3dScaled(up, std::sin(angle) * fraction),
                                      V3dScaled(side, std::cos(angle) * fraction));
            const V3d start = V3dAdd(*from, offset);
            const V3d end = V3dAdd(*to, offset);
            if (TestSegment(&start, &end, skipDynamic, nullptr, nullptr, nullptr))
                return true;
        }
    }
    return false;
}
