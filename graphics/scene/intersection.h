#pragma once
// Intersection queries: what a segment, point, sphere, box or atomic touches
// in a world (its sectors, triangles and atomics), in a geometry or in an
// atomic. The caller fills an IntersectionQuery and gets one callback per
// hit, in walk order, until a callback answers null; nothing is collected
// or sorted here. World triangle queries see only sectors with collision
// data (collision.h). Distances handed to the callbacks:
//   line: the segment parameter t of the crossing (start + t (end - start)),
//         or for atomics b / |d|^2, the parameter nearest the sphere's centre;
//   sphere, atomic: the signed plane distance / radius for triangles, the
//         centre distance / the sum of the radii for atomics;
//   box: 0; point: no triangle query, atomics as a sphere of radius 0.
// Single-threaded; the atomic walk is not re-entrant.

#include <cstdint>

#include "graphics/core/bbox.h"
#include "graphics/core/camera.h"
#include "graphics/core/vector.h"

struct Atomic;
struct Geometry;
struct World;
struct WorldSector;

enum IntersectionType : uint32_t
{
    kIntersectionLine = 1,
    kIntersectionPoint = 2,
    kIntersectionSphere = 3,
    kIntersectionBox = 4,
    kIntersectionAtomic = 5,
};

struct IntersectionLine
{
    V3d start;
    V3d end;
};

struct IntersectionQuery
{
    union {
        IntersectionLine line;
        V3d point;
        Sphere sphere;
        BBox box; ///< sup, then inf
        Atomic* atomic;
    } t;
    uint32_t type; ///< IntersectionType; anything else makes no callback
};

/// What a triangle callback receives; valid during the callback only.
struct TriangleHitInfo
{
    V3d normal; ///< unit (V1 - V0) x (V2 - V0)
    V3d point;  ///< V0
    int32_t index;
    const V3d* vertex[3];
};

using IntersectionSectorCallBack = WorldSector* (*)(IntersectionQuery* query, WorldSector* sector,
                                                    void* data);
using IntersectionWorldTriangleCallBack = WorldSector* (*)(IntersectionQuery* query, WorldSector* sector,
                                                           TriangleHitInfo* hit, float distance, void* data);
using IntersectionTriangleCallBack = TriangleHitInfo* (*)(IntersectionQuery* query, TriangleHitInfo* hit,
                                                          float distance, void* data);
using IntersectionAtomicCallBack = Atomic* (*)(IntersectionQuery* query, WorldSector* sector, Atomic* atomic,
                                               float distance, void* data);

/// One callback per atomic sector the primitive reaches. The world.
World* WorldForAllSectorIntersections(World* world, IntersectionQuery* query,
                                      IntersectionSectorCallBack callBack, void* data);
/// One callback per triangle hit in sectors with collision data. The world.
World* WorldForAllTriangleIntersections(World* world, IntersectionQuery* query,
                                        IntersectionWorldTriangleCallBack callBack, void* data);
/// Synchronises dirty frames, then one callback per atomic (flag 0x01) whose
/// world sphere the primitive touches, each at most once; nothing without
/// the collision plug-in (CollisionPluginAttach), which keeps the stamps. The world.
World* WorldForAllAtomicIntersections(World* world, IntersectionQuery* query,
                                      IntersectionAtomicCallBack callBack, void* data);
/// Triangles of morph target 0 hit by the primitive in the geometry's space. The geometry.
Geometry* GeometryForAllTriangleIntersections(Geometry* geometry, IntersectionQuery* query,
                                              IntersectionTriangleCallBack callBack, void* data);
/// Triangles of the atomic hit by a world-space line or sphere (interpolated
/// targets for a morphing geometry). The atomic.
Atomic* AtomicForAllIntersections(Atomic* atomic, IntersectionQuery* query,
                                  IntersectionTriangleCallBack callBack, void* data);

/// The world-space segment from the near to the far plane through a pixel of
/// the camera's frame buffer ({x, y} in pixels; the view centre without a
/// frame buffer or with a zero size).
void CameraCalcPixelRay(const Camera* camera, IntersectionLine* line, const V2d* pixel);
/// The atomic nearest along the segment among the first sector's hits, or null.
Atomic* WorldFindNearestAtomicOnLine(World* world, const IntersectionLine* line);

/// State of NearestAtomicCallBack.
struct NearestAtomicState
{
    Atomic* atomic;
    float distance;
    WorldSector* sector;
};
/// Keeps the nearest atomic of the first sector that yields a hit (data: NearestAtomicState).
Atomic* NearestAtomicCallBack(IntersectionQuery* query, WorldSector* sector, Atomic* atomic, float distance,
                              void* data);

/// Segment s + t d (d = end - start) against a triangle seen from its front
/// (normal (v1 - v0) x (v2 - v0) facing against d): 1 with the parameter in
/// `distance`, else 0. Edges, vertices and both ends count, within 1e-5.
int32_t LineTriangleIntersect(const V3d* start, const V3d* direction, const V3d* v0, const V3d* v1,
                              const V3d* v2, float* distance);
/// 1 with the unit normal and the centre's signed plane distance when the
/// sphere meets the triangle, else 0.
int32_t SphereTriangleIntersect(const Sphere* sphere, const V3d* v0, const V3d* v1, const V3d* v2,
                                V3d* normal, float* distance);
/// 1 when the triangle meets the box (faces included), else 0.
int32_t BoxTriangleIntersect(const BBox* box, const V3d* v0, const V3d* v1, const V3d* v2);
