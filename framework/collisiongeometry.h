#pragma once
// What the dynamic collision triangles and planes share: the geometry that
// the physics world's queries see, rebuilt from the current points, its
// translucent material, and its drawing vertices.
#include <cstdint>

#include "graphics/core/vector.h"
#include "graphics/d3d9/im3d.h"

struct Geometry;
struct Material;

/// The geometry and material of one collision shape, both owned.
struct CollisionGeometry
{
    Geometry* geometry = nullptr;
    Material* material = nullptr; ///< white at alpha 128, made on first use
};

/// Replaces the geometry by one of `count` points (world space) and
/// `triangles` triangles of the vertex indices `indices` (three each), all
/// of the shape's material. False (no geometry left) when memory runs out.
bool CollisionGeometryRebuild(CollisionGeometry* shape, const V3d* points, int32_t count,
                              const uint16_t* indices, int32_t triangles);
/// Releases the geometry and the material.
void CollisionGeometryRelease(CollisionGeometry* shape);
/// Fills the positions and colour of `count` drawing vertices.
void CollisionVerticesSet(Im3DVertex* vertices, const V3d* points, int32_t count, uint32_t colour);
