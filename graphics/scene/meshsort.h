#pragma once
// The ordering both mesh builders share (private): build triangles sorted
// into material groups, and the assembly of a header from per-group index
// runs.

#include <cstdint>

struct Material;
struct MeshBuildList;
struct MeshBuildTriangle;
struct MeshHeader;

/// A run of sorted triangles of one material.
struct MeshGroup
{
    uint32_t first;
    uint32_t count;
    Material* material;
};

/// The triangles of a build list in mesh order, split into groups.
struct MeshSortedTriangles
{
    const MeshBuildTriangle** triangles; ///< list.count entries
    MeshGroup* groups;
    uint32_t groupCount;
};

/// Sorts and groups the list's triangles; false (kErrorOutOfMemory) on failure.
bool MeshSortTriangles(const MeshBuildList* list, MeshSortedTriangles* sorted);
void MeshSortedTrianglesFree(MeshSortedTriangles* sorted);

/// A header of `flags` with one mesh per group: group g's indices are
/// indices[offsets[g] .. offsets[g + 1]). Null (kErrorOutOfMemory,
/// kErrorBadArgument for more than 65535 meshes) on failure.
MeshHeader* MeshHeaderAssemble(uint32_t flags, const MeshGroup* groups, uint32_t groupCount,
                               const uint16_t* indices, const uint32_t* offsets);
