#pragma once
// Models built in code for the tools, tests, benchmarks and fuzz seeds.
// The engine must be started with the scene library attached.

#include <cstdint>

struct Clump;
struct Geometry;

/// Three frames in a chain, two atomics sharing a quad geometry on the
/// second and third, a point light on the third.
Clump* ModelBuildSample();
/// A quad with two morph targets (the second moved up by 2).
Geometry* ModelBuildMorphing();
/// A quad with pre-lit colours, normals, two texture sets and two
/// materials, the second textured (texture "checker", no raster).
Geometry* ModelBuildPreLit();
/// A grid geometry of about `triangles` triangles over `materials`
/// materials, with normals and two texture sets (for benchmarks).
Geometry* ModelBuildGrid(int32_t triangles, int32_t materials);
/// A clump holding `geometry` on one atomic and one frame (the geometry
/// keeps the caller's reference).
Clump* ModelBuildClumpOf(Geometry* geometry);
