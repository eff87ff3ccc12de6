#pragma once
// The world builder: a triangle soup becomes a sector tree and is written as
// a world (chunk 0x0B) through WorldStreamWrite. Splits halve the longest
// axis of a node's box at the median of its triangles' centres until a leaf
// holds at most `leafTriangles` triangles; each triangle goes to the side of
// its centre. A plane's left value is the larger of the split value and the
// largest coordinate of its left triangles, its right value the smaller of
// the split value and the smallest of its right ones, so the cells the
// reader derives cover the world box with no gap and hold their triangles.
// The engine must be started with the scene library attached.

#include <cstdint>
#include <vector>

#include "graphics/core/vector.h"
#include "graphics/scene/scenetypes.h"

struct Material;
struct World;

struct WorldSoupTriangle
{
    uint32_t vertex[3];
    uint16_t material; ///< index in WorldSoup::materials
};

/// Vertices with the arrays the format asks for, triangles and materials.
struct WorldSoup
{
    /// kGeometryNormals, kGeometryPreLit, kGeometryTextured, kGeometryTriStrip,
    /// kGeometryLight, kGeometryModulateMaterialColor.
    uint32_t format = 0;
    std::vector<V3d> positions;
    std::vector<V3d> normals;  ///< with kGeometryNormals (unit vectors)
    std::vector<RGBA> preLit;  ///< with kGeometryPreLit
    std::vector<TexCoords> uv; ///< with kGeometryTextured (one set)
    std::vector<WorldSoupTriangle> triangles;
    std::vector<Material*> materials; ///< the caller keeps its references
};

struct WorldBuildLimits
{
    uint32_t leafTriangles = 1024; ///< split while a node holds more
    uint32_t maxVertices = 65535;  ///< per sector
    uint32_t maxTriangles = 65535; ///< per sector
    int32_t maxDepth = 64;         ///< plane sectors on a path
    /// Leaf size of the collision tree written with every sector that has
    /// triangles; 0 writes none (trees need the collision plug-in attached).
    uint32_t collisionLeaf = 0;
};

/// The world's chunk 0x0B (header included), without meshes (the reader
/// builds them); empty when the soup is empty, an index is outside its
/// array, a leaf at the depth limit exceeds a count limit, a tree cannot be
/// built or a write fails.
std::vector<uint8_t> WorldBuildBytes(const WorldSoup& soup, const WorldBuildLimits& limits);
/// Reads a world from chunk bytes (WorldStreamRead); null on failure.
World* WorldReadBytes(const std::vector<uint8_t>& bytes);
/// WorldBuildBytes, then WorldReadBytes.
World* WorldBuild(const WorldSoup& soup, const WorldBuildLimits& limits);
