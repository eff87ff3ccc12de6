#pragma once
// Generated triangle shapes for the mesh builders: a grid, a fan, a ribbon
// and a random soup with duplicated triangles, each spread over three
// materials (two opaque, one transparent). Deterministic.

#include <cstdint>
#include <string>
#include <vector>

struct Material;
struct MeshBuildList;

struct ShapeTriangle
{
    uint16_t vertex[3];
    uint16_t material; ///< 0 and 1 opaque, 2 transparent
};

struct MeshShape
{
    std::string name;
    std::vector<ShapeTriangle> triangles;
};

/// A grid of columns x rows cells, two triangles each, counter-clockwise
/// seen from +z; materials in bands of rows.
MeshShape MeshShapeGrid(int columns, int rows);
/// A fan of `count` triangles around vertex 0.
MeshShape MeshShapeFan(int count);
/// A ribbon (one long strip) of `count` triangles.
MeshShape MeshShapeRibbon(int count);
/// `count` triangles over `vertices` vertices from a fixed seed, with every
/// tenth triangle a copy of an earlier one.
MeshShape MeshShapeSoup(int count, int vertices, uint32_t seed);
/// The shapes every builder is checked on: 8x8 grid, fan, ribbon, soup.
std::vector<MeshShape> MeshShapesStandard();

/// A build list of the shape with material i of the shape taken from
/// materials[i] (the list index is i); null when out of memory.
MeshBuildList* MeshShapeBuildList(const MeshShape& shape, Material* const materials[3]);
