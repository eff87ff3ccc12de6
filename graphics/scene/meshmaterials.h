#pragma once
// Meshes of an object whose triangles name materials by their index in a
// material list (geometries, world sectors): the builder's order tables of
// textures, rasters and pipelines filled in order of first appearance.

#include <cstdint>

struct MaterialList;
struct MeshHeader;

/// A triangle's vertices and its index in the material list (an index
/// outside the list, kGeometryNoMaterial among them, means no material).
struct MeshSourceTriangle
{
    uint16_t vertex[3];
    int32_t material;
};

/// Triangle `index` of the caller's `source`.
using MeshTriangleAt = MeshSourceTriangle (*)(const void* source, int32_t index);

/// Builds the meshes of `count` triangles (strips when bit 0 of `strips` is
/// set); triangles of no material form their own mesh. Null on failure.
MeshHeader* MeshBuildFromMaterialList(const void* source, MeshTriangleAt at, int32_t count,
                                      const MaterialList* materials, uint32_t strips);
