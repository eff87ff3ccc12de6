#pragma once
// Checks of built meshes against the triangles they were built from: the
// meshes decoded back into triangles (strips without their degenerate
// joins), compared as multisets, with the grouping rules of the builders.

#include <cstdint>
#include <string>
#include <vector>

#include "graphics/scene/meshbuild.h"
#include "tools/scenebuild/meshshapes.h"

struct Material;
struct MeshHeader;

/// A mesh builder by name: a strip builder, or (null) the list builder.
struct MeshBuilderEntry
{
    const char* name;
    MeshBuildCallBack strips; ///< null: MeshBuildLists
    bool keepsWinding;
};

/// Every builder the engine has, the six strip builders first.
inline constexpr MeshBuilderEntry kMeshBuilders[] = {
    {"StripBuild", StripBuild, true},
    {"StripBuildNoWinding", StripBuildNoWinding, false},
    {"StripBuildExhaustive", StripBuildExhaustive, true},
    {"StripBuildExhaustiveNoWinding", StripBuildExhaustiveNoWinding, false},
    {"StripBuildSearch", StripBuildSearch, true},
    {"StripBuildSearchNoWinding", StripBuildSearchNoWinding, false},
    {"MeshBuildLists", nullptr, true},
};
/// The strip builders of kMeshBuilders.
inline constexpr size_t kStripBuilderCount = 6;

struct DecodedTriangle
{
    uint16_t vertex[3];
    const Material* material;
};

/// The triangles a header draws, mesh by mesh (degenerate strip triangles dropped).
std::vector<DecodedTriangle> MeshHeaderDecode(const MeshHeader* header);

/// Empty when the header draws exactly the shape's triangles (as a multiset,
/// winding compared when `keepsWinding`), one mesh per material with the
/// transparent ones last, and (for lists) each mesh in passes of triangles
/// sharing no vertex, each later triangle blocked by the pass before it;
/// else what is wrong.
std::string MeshCheckHeader(const MeshHeader* header, const MeshShape& shape, Material* const materials[3],
                            bool keepsWinding);
