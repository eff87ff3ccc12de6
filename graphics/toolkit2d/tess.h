#pragma once
// Fill tessellation: one simple polygon (no holes, no self-intersections,
// counter-clockwise) cut into triangles by diagonal splitting. At a convex
// corner the ear is cut off when no other vertex lies inside it; otherwise
// the polygon is split along the diagonal from the corner to the vertex
// inside the ear that lies deepest. Pieces wait on an explicit stack, so the
// depth of the work never grows with the vertex count. Triangles come out
// counter-clockwise, as index triples into the sub-path's nodes.

#include <cstdint>

struct Path;
struct V2d;

/// A node of a polygon's ring: the next node and a vertex index.
struct TessNode
{
    TessNode* next;
    int32_t vertex;
};

/// A polygon (or a piece of one): its ring, vertex count and the vertex
/// positions shared by every piece of one polygon.
struct TessPolygon
{
    TessNode* ring; ///< a node of the ring; its successor is the first vertex
    int32_t count;
    const V2d* positions;
    TessPolygon* below; ///< the piece under this one on the stack of pieces to do
};

/// Creates / destroys the free lists of ring nodes and polygon records.
bool TessModuleOpen();
void TessModuleClose();
/// Block parameters used by the next open (defaults 32 entries, 1 block each).
void TessSetNodeFreeListParams(int32_t entriesPerBlock, int32_t preallocate);
void TessSetPolygonFreeListParams(int32_t entriesPerBlock, int32_t preallocate);

/// Triangulates the closed, flattened sub-path `sub` (its last node repeats
/// the first, so n nodes give n - 1 vertices). `indices` must hold
/// 3 x (n - 3) entries; *triangleCount receives the triangles written.
/// Repeated points and zero-area spikes are dropped first. Null when out of
/// memory (the count is then 0).
const Path* TessTriangulateSubPath(const Path* sub, int32_t* triangleCount, uint32_t* indices);
/// Signed distance of vertex p from the directed line a to b: positive on
/// its left (counter-clockwise side), 0 when a and b coincide.
float TessOrient(const TessPolygon* polygon, int32_t p, int32_t a, int32_t b);
/// 1 when TessOrient is positive, 2 when negative, 4 when zero.
int32_t TessClassify(const TessPolygon* polygon, int32_t p, int32_t a, int32_t b);
/// Node and polygon records in use (both 0 between triangulations).
int32_t TessGetNodesInUse();
int32_t TessGetPolygonsInUse();
