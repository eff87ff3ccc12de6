#pragma once
// Render geometry that shows a physics volume: the convex hull of the
// volume's support points in 60 directions pushed out by its margin (smooth
// shading when it has a margin, flat faces without), one atomic per convex
// piece, aggregate and grid volumes as a frame hierarchy of their pieces.
#include <cstdint>

#include "graphics/core/vector.h"
#include "graphics/scene/scenetypes.h"

struct Atomic;
struct Geometry;
struct OlpBody;
struct OlpVolume;
struct World;

/// The directions in which a shape is sampled: at most 60 unit vectors on
/// rings about the z axis, made once. `count` receives their number.
const V3d* PhysicsShapeDirections(int32_t* count);

/// An atomic on a new frame showing `volume` in `colour`, added to `world`
/// (null: none). An aggregate's children and a grid's cells hang below it on
/// child frames (placed by their volumes' frames), the atomic itself then
/// holding no visible geometry. Null when no hull results or memory runs
/// out. PhysicsShapeGeometryDestroy frees it.
Atomic* PhysicsShapeToGeometry(const OlpVolume* volume, World* world, RGBA colour);
/// PhysicsShapeToGeometry of the body's volume in white, attached to the
/// body as its graphics link (the frame then follows the body). Null as there.
Atomic* PhysicsObjectCreateAtomic(OlpBody* body, World* world);
/// An invisible atomic (an empty geometry of bounding radius 1, its render
/// flag cleared) on a new frame, added to `world` (null: none); null when
/// memory runs out. PhysicsShapeGeometryDestroy frees it.
Atomic* AtomicCreateEmpty(World* world);
/// A square grid in the x-z plane centred on the origin: n x n vertices (n
/// odd, 3 to 255) `cellSize` apart, normal (0, 1, 0), texture coordinates 0
/// to 1 across it, two triangles per cell facing up, one material of
/// `colour` (null: (0x40, 0x60, 0x40, 0xFF)). Null for another n, a cell
/// size not above 0 or when memory runs out.
Geometry* GeometryCreateGrid(int32_t n, float cellSize, const RGBA* colour);
/// Scales the atomic's geometry by (x, y, z) about its origin; without a
/// geometry it reports "The geometry of the atomic is undefined." (debugger
/// output) and answers false.
bool AtomicScaleGeometry(Atomic* atomic, float x, float y, float z);
/// Takes every atomic of the hierarchy below the atomic's frame out of its
/// world and destroys them with their frames.
void PhysicsShapeGeometryDestroy(Atomic* atomic);
