#pragma once
// Triangles handed to Bullet as a BVH mesh, and Bullet's closest-hit segment
// query on them with back faces filtered, as our segment test is one-sided.
// Shared by the benchmarks that race our queries against Bullet's.

#include <BulletCollision/CollisionShapes/btBvhTriangleMeshShape.h>
#include <BulletCollision/CollisionShapes/btTriangleIndexVertexArray.h>
#include <BulletCollision/NarrowPhaseCollision/btRaycastCallback.h>

#include <cstdint>
#include <vector>

#include "graphics/scene/intersection.h"

/// Bullet's view of `positions` (three floats a vertex, world space) and
/// `indices` (three a triangle); both must outlive it.
struct BulletTriangles : btTriangleIndexVertexArray
{
    BulletTriangles(const std::vector<float>& positions, const std::vector<int32_t>& indices)
        : btTriangleIndexVertexArray(int(indices.size() / 3), const_cast<int32_t*>(indices.data()),
                                     3 * sizeof(int32_t), int(positions.size() / 3),
                                     const_cast<float*>(positions.data()), 3 * sizeof(float))
    {
    }
};

/// Keeps the nearest front-facing hit in m_hitFraction.
struct BulletNearest : btTriangleRaycastCallback
{
    BulletNearest(const btVector3& from, const btVector3& to)
        : btTriangleRaycastCallback(from, to, kF_FilterBackfaces)
    {
    }
    btScalar reportHit(const btVector3&, btScalar hitFraction, int, int) override { return hitFraction; }
};

/// The closest hit of `segment` on `mesh` as a fraction of its length, `miss` without one.
inline float BulletClosestHit(btBvhTriangleMeshShape& mesh, const IntersectionLine& segment, float miss)
{
    const btVector3 from(segment.start.x, segment.start.y, segment.start.z);
    const btVector3 to(segment.end.x, segment.end.y, segment.end.z);
    BulletNearest callback(from, to);
    mesh.performRaycast(&callback, from, to);
    return callback.m_hitFraction < 1.0f ? callback.m_hitFraction : miss;
}
