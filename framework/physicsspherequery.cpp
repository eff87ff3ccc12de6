// The physics world's sphere query: the triangle of the worlds and of the
// collidable registered objects that a sphere touches, chosen by the query
// mode (the character motion's ground and wall tests).
#include <cmath>

#include "framework/closestpoint.h"
#include "framework/collisionplane.h"
#include "framework/collisiontriangle.h"
#include "framework/physicsworld.h"
#include "framework/sceneobject.h"
#include "framework/vectorops.h"
#include "graphics/core/frame.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/clump.h"
#include "graphics/scene/intersection.h"

namespace {

/// The state of one sphere query, handed to the triangle callbacks.
struct SphereState
{
    IntersectionQuery sphere;
    int32_t mode;
    V3d direction;
    SphereQueryResult* result;
    const Matrix* atomicSpace; ///< the world matrix of the atomic being tested
};

bool Accepted(int32_t mode, const V3d& n, const V3d& direction)
{
    switch (mode) {
    case CPhysicsWorld::kSphereFloors:
        return n.y > 0.01f;
    case CPhysicsWorld::kSphereWalls:
        return n.y > -0.9f && n.y < 0.9f;
    case CPhysicsWorld::kSphereFacing:
        return n.y > -0.8f && n.y < 0.8f && V3dDot(n, direction) < 0.0f;
    default:
        return true;
    }
}

/// Offers the triangle v (world space) with unit normal n to the result.
void Offer(SphereState* state, const V3d v[3], const V3d& n)
{
    if (!Accepted(state->mode, n, state->direction))
        return;
    SphereQueryResult& r = *state->result;
    V3d point = state->sphere.t.sphere.centre;
    const float distance = std::sqrt(ClosestPointOnTriangle(&v[0], &v[1], &v[2], &n, &point));
    if (state->mode == CPhysicsWorld::kSphereFacing) {
        const float product = V3dDot(n, state->direction);
        if (product >= r.bestProduct)
            return;
        r.bestProduct = product;
        r.triangleCount = 1;
        for (int i = 0; i < 3; ++i)
            r.triangles[0][i] = v[i];
    } else if (r.hit && !(distance < r.distance || (distance == r.distance && n.y > r.normal.y))) {
        return;
    }
    r.distance = distance;
    r.hit = 1;
    r.normal = n;
    r.point = point;
    for (int i = 0; i < 3; ++i)
        r.triangle[i] = v[i];
}

WorldSector* WorldTriangle(IntersectionQuery*, WorldSector* sector, TriangleHitInfo* hit, float, void* data)
{
    const V3d v[3] = {*hit->vertex[0], *hit->vertex[1], *hit->vertex[2]};
    Offer(static_cast<SphereState*>(data), v, hit->normal);
    return sector;
}

TriangleHitInfo* DynamicTriangle(IntersectionQuery*, TriangleHitInfo* hit, float, void* data)
{
    const V3d v[3] = {*hit->vertex[0], *hit->vertex[1], *hit->vertex[2]};
    Offer(static_cast<SphereState*>(data), v, hit->normal);
    return hit;
}

TriangleHitInfo* ObjectTriangle(IntersectionQuery*, TriangleHitInfo* hit, float, void* data)
{
    auto* state = static_cast<SphereState*>(data);
    // The atomic's triangles are in its own space; the choice is made in the world's.
    V3d v[3];
    for (int i = 0; i < 3; ++i)
        V3dTransformPoint(&v[i], hit->vertex[i], state->atomicSpace);
    const V3d n = V3dUnit(V3dCross(V3dSub(v[1], v[0]), V3dSub(v[2], v[0])));
    Offer(state, v, n);
    return hit;
}

struct ObjectVisit
{
    SphereState* state;
    PhysicsQueryStats* stats;
};

Atomic* SphereAtomic(Atomic* atomic, void* data)
{
    auto* visit = static_cast<ObjectVisit*>(data);
    Frame* frame = AtomicGetFrame(atomic);
    if (!frame)
        return atomic;
    ++visit->stats->geometries;
    visit->state->atomicSpace = FrameGetLTM(frame);
    AtomicForAllIntersections(atomic, &visit->state->sphere, ObjectTriangle, visit->state);
    return atomic;
}

} // namespace

bool CPhysicsWorld::SphereQuery(float x, float y, float z, float radius, SphereQueryResult* result) const
{
    result->distance = 0.0f;
    result->hit = 0;
    result->bestProduct = 1.0f;
    result->triangleCount = 0;
    m_stats = {};
    SphereState state = {};
    state.sphere.type = kIntersectionSphere;
    state.sphere.t.sphere = {{x, y, z}, radius};
    state.mode = s_sphereQueryMode;
    state.direction = m_sphereQueryDirection;
    state.result = result;
    for (int32_t index = 0; index < m_worldCount; ++index)
        WorldForAllTriangleIntersections(m_worlds[index], &state.sphere, WorldTriangle, &state);

    // The dynamic collision geometry lies in world space.
    for (int32_t i = 0; i < m_planeCount; ++i) {
        if (Geometry* geometry = m_planes[i]->GetGeometry())
            GeometryForAllTriangleIntersections(geometry, &state.sphere, DynamicTriangle, &state);
    }
    for (int32_t i = 0; i < m_triangleCount; ++i) {
        Geometry* geometry = m_triangles[i]->GetGeometry();
        if (geometry && !m_triangles[i]->IsDisabled())
            GeometryForAllTriangleIntersections(geometry, &state.sphere, DynamicTriangle, &state);
    }

    ObjectVisit visit = {&state, &m_stats};
    for (CSceneObject* object : m_registered) {
        if (!object)
            continue;
        ++m_stats.objects;
        if (!object->IsCollidable() || !object->GetClump())
            continue;
        const Sphere* bound = object->GetBoundingSphere();
        if (!bound)
            continue;
        // Objects far from the query are passed over on their bounding sphere.
        const V3d offset = V3dSub(bound->centre, state.sphere.t.sphere.centre);
        if (std::sqrt(V3dDot(offset, offset)) >= bound->radius * m_scale * 4.0f)
            continue;
        ++m_stats.touched;
        ClumpVisitAtomics(object->GetClump(), SphereAtomic, &visit);
    }
    return result->hit != 0;
}
