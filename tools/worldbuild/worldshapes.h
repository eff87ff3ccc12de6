#pragma once
// Triangle soups for the world builder: small rows and lanes whose trees
// the tests know by heart, and a generated terrain of any size.

#include <cstdint>

#include "tools/worldbuild/worldbuild.h"

/// `count` triangles of one metre in the plane z = 0, triangle i with
/// corners (2i, 0), (2i + 1, 0), (2i, 1) (centre x = 2i + 1/3), on material 0
/// of `materials`.
WorldSoup WorldSoupRow(int count, const std::vector<Material*>& materials);
/// Four floor quads (y = 0, normals up) of 10 x 10 m in a row along z: quad
/// i covers x 0..10, z 10i..10i + 10. With two triangles a leaf the builder
/// splits at z = 20, then 10 and 30: sectors with cells z 0-10 .. 30-40.
WorldSoup WorldSoupLane(Material* material);
/// A rolling terrain of about `triangles` triangles over a square of
/// `size` metres centred on the origin, with normals, one texture set and
/// pre-lit colours, its cells alternating over `materials`. Deterministic.
WorldSoup WorldSoupTerrain(int32_t triangles, float size, const std::vector<Material*>& materials);
/// The height of a WorldSoupTerrain soup under (x, z): the plane of its
/// triangle there (outside the square, of the nearest border cell's).
float WorldSoupTerrainHeight(const WorldSoup& terrain, float x, float z);
