#pragma once
// The collision-tree builder: splits a set of triangles by their centres
// until a leaf holds at most `leafTriangles` (near the root at the cheapest
// of a few planes per axis by surface area, deeper at the median of the
// longest axis); each node keeps the largest coordinate of its left
// triangles and the smallest of its right ones. Leaves are laid out
// left to right over consecutive positions, the remap giving each
// position's triangle. The engine must be started (with CollisionPluginAttach
// for the Build...Collision functions).

#include <cstdint>

#include "graphics/core/vector.h"

struct CollisionData;
struct Geometry;
struct World;

/// Leaf size of the trees the tools write: small leaves keep segment tests few.
constexpr uint32_t kCollisionBuildLeaf = 4;

/// A tree over `count` triangles given as four u16 each (three vertex
/// indices, a material); null for no triangles, leaves above 254 or a
/// failed allocation.
CollisionData* CollisionBuild(const V3d* vertices, const uint16_t* triangles, int32_t count,
                              uint32_t leafTriangles);
/// Gives every sector with triangles (the geometry) a new tree, replacing
/// an old one; false when one could not be built or the collision plug-in
/// is not attached.
bool WorldBuildCollision(World* world, uint32_t leafTriangles);
bool GeometryBuildCollision(Geometry* geometry, uint32_t leafTriangles);
