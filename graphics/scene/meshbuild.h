#pragma once
// Mesh building: a MeshBuildList of triangles becomes a MeshHeader with one
// mesh per material, either as triangle strips (through the replaceable
// build callback) or as plain triangle lists.
//
// Ordering (both kinds): opaque materials first, then by raster order,
// pipeline order, texture order and material. A material standing at
// several list indices is keyed by the lowest index any of its triangles
// names, so every material compares one way and the sort (stable) keeps
// its triangles together in build order. A null material is opaque.
//
// Strips: triangles join over edges shared with opposite winding (an edge
// joins at most two triangles); strips start from the triangle of fewest
// unused neighbours and grow both ways; all strips of a material are then
// joined into one with degenerate bridges. The parity-keeping builders pad
// the joins so every triangle keeps its winding; the "NoWinding" ones do
// not. Edge matching goes through a table keyed by the edge's vertices that
// yields the newest unmatched edge first, which gives the same strips as a
// search from the most recent edge backwards, in linear time.
//
// Lists: each material's triangles in sorted order, then reordered into
// passes of triangles that share no vertex within the pass.

#include <cstdint>

struct MeshBuildList;
struct MeshHeader;

/// Makes a mesh header from a build list (which it does not destroy); null on failure.
using MeshBuildCallBack = MeshHeader* (*)(MeshBuildList* list, void* data);

/// Installs the strip build callback; null restores StripBuild. 1.
int32_t MeshSetBuildCallBack(MeshBuildCallBack callBack, void* data);
/// The strip build callback and its data; either out-parameter may be null. 1.
int32_t MeshGetBuildCallBack(MeshBuildCallBack* callBack, void** data);

/// Builds the meshes of `list` and destroys the list: strips through the
/// build callback when bit 0 of `strips` is set, else MeshBuildLists; the
/// shared empty header without triangles. Null for a null list or on failure.
MeshHeader* MeshBuild(MeshBuildList* list, uint32_t strips);
/// One list mesh per material, reordered into vertex-disjoint passes; null
/// (kErrorOutOfMemory) on failure.
MeshHeader* MeshBuildLists(MeshBuildList* list);

/// Strip builders (build callbacks; `data` unused). Single trial, joins
/// keeping winding.
MeshHeader* StripBuild(MeshBuildList* list, void* data);
/// Single trial, plain joins.
MeshHeader* StripBuildNoWinding(MeshBuildList* list, void* data);
/// Each strip's start tried in its three directions, the longest kept.
MeshHeader* StripBuildExhaustive(MeshBuildList* list, void* data);
MeshHeader* StripBuildExhaustiveNoWinding(MeshBuildList* list, void* data);
/// Each strip's start chosen among all unused triangles and directions by
/// the forward strip's length against its index count (quadratic time).
MeshHeader* StripBuildSearch(MeshBuildList* list, void* data);
MeshHeader* StripBuildSearchNoWinding(MeshBuildList* list, void* data);
/// One three-index strip mesh per triangle, in build order; null above
/// 65535 triangles (kErrorBadArgument).
MeshHeader* MeshBuildOneStripPerTriangle(MeshBuildList* list, void* data);
