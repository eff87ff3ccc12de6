// The physics world's line queries: the segment test over every world's
// triangles and the collidable registered objects (the camera's pick and the
// demo's line of sight) and the corridor test, a tube of segments around an
// axis.
#include <cmath>

#include "framework/cameramanager.h"
#include "framework/collisionplane.h"
#include "framework/collisiontriangle.h"
#include "framework/framework.h"
#include "framework/physicsworld.h"
#include "framework/sceneobject.h"
#include "framework/vectorops.h"
#include "graphics/core/frame.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/clump.h"
#include "graphics/scene/intersection.h"

namespace {

/// The state of one segment test, handed to the triangle callbacks.
struct SegmentQuery
{
    IntersectionQuery line;
    bool nearest; ///< keep the nearest hit; else stop at the first
    bool hit;
    float distance; ///< fraction of the segment of the kept hit
    V3d normal;     ///< world space
    CSceneObject* object;
    CSceneObject* current;     ///< the registered object being tested
    const Matrix* atomicSpace; ///< its atomic's world matrix
};

/// Keeps a hit; true when the enumeration goes on.
bool Offer(SegmentQuery* query, float distance, const V3d& normal, CSceneObject* object)
{
    query->hit = true;
    if (!query->nearest)
        return false; // the first hit answers
    if (distance < query->distance) {
        query->distance = distance;
        query->normal = normal;
        query->object = object;
    }
    return true;
}

WorldSector* WorldTriangle(IntersectionQuery*, WorldSector* sector, TriangleHitInfo* triangle, float distance,
                           void* data)
{
    return Offer(static_cast<SegmentQuery*>(data), distance, triangle->normal, nullptr) ? sector : nullptr;
}

TriangleHitInfo* DynamicTriangle(IntersectionQuery*, TriangleHitInfo* triangle, float distance, void* data)
{
    return Offer(static_cast<SegmentQuery*>(data), distance, triangle->normal, nullptr) ? triangle : nullptr;
}

TriangleHitInfo* ObjectTriangle(IntersectionQuery*, TriangleHitInfo* triangle, float distance, void* data)
{
    auto* query = static_cast<SegmentQuery*>(data);
    // The atomic's triangles are in its own space: the normal is turned
    // into world space (and made unit again under a scaled frame).
    V3d normal;
    V3dTransformVector(&normal, &triangle->normal, query->atomicSpace);
    return Offer(query, distance, V3dUnit(normal), query->current) ? triangle : nullptr;
}

Atomic* SegmentAtomic(Atomic* atomic, void* data)
{
    auto* query = static_cast<SegmentQuery*>(data);
    Frame* frame = AtomicGetFrame(atomic);
    if (!frame)
        return atomic;
    query->atomicSpace = FrameGetLTM(frame);
    AtomicForAllIntersections(atomic, &query->line, ObjectTriangle, query);
    return query->hit && !query->nearest ? nullptr : atomic;
}

/// Objects picked alone lie within this distance of the origin along x.
constexpr float kPickableExtent = 1000.0f;

/// The camera manager's pick: the physics world's segment test.
bool PickSegment(const V3d* start, const V3d* end, float* fraction, V3d* normal, CSceneObject** object)
{
    const CPhysicsWorld* worlds = Framework().physicsWorld;
    return worlds && worlds->TestSegment(start, end, false, fraction, normal, object) != 0;
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
    if (outObject)
        *outObject = nullptr;
    if (from->x == to->x && from->y == to->y && from->z == to->z)
        return 0;
    m_stats = {};
    SegmentQuery state = {};
    state.line.type = kIntersectionLine;
    state.line.t.line = {*from, *to};
    // Any output asks for the nearest hit (a distance output alone is the
    // weapon's question); the distance starts beyond every hit.
    state.nearest = outDistance || outNormal || outObject;
    state.distance = 100000.0f;
    const auto stopped = [&state] { return state.hit && !state.nearest; };
    for (int32_t index = 0; index < m_worldCount && !stopped(); ++index)
        WorldForAllTriangleIntersections(m_worlds[index], &state.line, WorldTriangle, &state);
    // The dynamic collision geometry lies in world space.
    for (int32_t i = 0; i < m_planeCount && !skipDynamic && !stopped(); ++i) {
        if (Geometry* geometry = m_planes[i]->GetGeometry())
            GeometryForAllTriangleIntersections(geometry, &state.line, DynamicTriangle, &state);
    }
    for (int32_t i = 0; i < m_triangleCount && !skipDynamic && !stopped(); ++i) {
        if (Geometry* geometry = m_triangles[i]->GetGeometry())
            GeometryForAllTriangleIntersections(geometry, &state.line, DynamicTriangle, &state);
    }
    for (CSceneObject* object : m_registered) {
        if (!object || stopped())
            continue;
        ++m_stats.objects;
        if (!object->IsCollidable() || !object->GetClump())
            continue;
        state.current = object;
        ClumpVisitAtomics(object->GetClump(), SegmentAtomic, &state);
    }
    if (outDistance)
        *outDistance = state.distance;
    if (outNormal)
        *outNormal = state.normal;
    if (outObject)
        *outObject = state.object;
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

bool CPhysicsWorld::RayPickObject(CSceneObject* object, const V3d* from, const V3d* to, float* outDistance,
                                  V3d* outNormal) const
{
    if (!object || !object->IsCollidable() || !object->GetClump())
        return false;
    if (from->x == to->x && from->y == to->y && from->z == to->z)
        return false;
    // Objects far outside the level are not picked.
    const float x = FrameGetLTM(object->GetFrame())->pos.x;
    if (!(x > -kPickableExtent && x < kPickableExtent))
        return false;
    SegmentQuery state = {};
    state.line.type = kIntersectionLine;
    state.line.t.line = {*from, *to};
    state.nearest = true;
    state.distance = 100000.0f;
    state.current = object;
    ClumpVisitAtomics(object->GetClump(), SegmentAtomic, &state);
    if (state.hit) {
        if (outDistance)
            *outDistance = state.distance;
        if (outNormal)
            *outNormal = state.normal;
    }
    return state.hit;
}
