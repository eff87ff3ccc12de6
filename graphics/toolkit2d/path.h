#pragma once
// Paths: the toolkit's vector outlines. A path is a chain of sub-path
// records, each a list of nodes made by move-to, line-to, curve-to (cubic
// Bezier: three nodes, two control points and the end point) and close.
// Every node carries the unit miter of the outline at that point (a vector
// whose projection on the normals of both adjoining segments is 1) and its
// arc length from the sub-path's first node, so that a path is stroked as a
// band of constant width and coloured along its length without further
// work. Paths are flattened within the device flatness, stroked through
// immediate-mode 3-D, filled through the tessellator and saved as chunk 0x1A1.
//
// A sub-path is editable (nodes in a GrowArray, count -1) after creation and
// PathMakeEditable; a read path and PathFinish leave plain arrays. Adding
// nodes makes a sub-path editable again. Every sub-path starts with a move-to.

#include <cstdint>

struct Brush;
struct GrowArray;
struct Stream;
struct V2d;

/// Chunk type of a saved path.
constexpr uint32_t kChunkPath = 0x1A1;

enum PathNodeType : int32_t
{
    kPathMove = 0,
    kPathLine = 1,
    kPathCurve = 2, ///< a curve-to adds three of them
};

/// 24 bytes, as stored.
struct PathNode
{
    int32_t type; ///< PathNodeType
    float x, y;
    float mx, my; ///< miter
    float length; ///< arc length from the sub-path's first node
};

struct Path
{
    void* nodes;        ///< GrowArray* while count is -1, else PathNode[count]
    int32_t count;      ///< -1 while editable
    int32_t closed;     ///< 1 after a close
    int32_t straight;   ///< 1 while the sub-path holds no curve nodes
    float strokeOffset; ///< sideways shift of the stroke band
    Path* next;         ///< next sub-path
    Path* current;      ///< in the first record: the sub-path that receives nodes
};

/// Opens the path module (free list and scratch path); false when out of memory.
bool PathModuleOpen();
void PathModuleClose();
/// Block parameters used by the next open (defaults 32 entries, 1 block).
void PathSetFreeListParams(int32_t entriesPerBlock, int32_t preallocate);

/// A new empty editable path; null when out of memory.
Path* PathCreate();
/// Frees every sub-path along the chain; false for null.
bool PathDestroy(Path* path);
/// Frees one sub-path record and its nodes; returns its next.
Path* PathDestroySub(Path* sub);
/// Leaves one empty editable sub-path.
Path* PathReset(Path* path);

/// Number of nodes of one sub-path, and its nodes (null when empty).
int32_t PathGetNodeCount(const Path* sub);
PathNode* PathGetNodes(const Path* sub);

/// Building; each answers the path, or null when out of memory. Line-to,
/// curve-to and close need a node in the current sub-path (a move-to first).
Path* PathMoveTo(Path* path, float x, float y);
Path* PathLineTo(Path* path, float x, float y);
Path* PathRLineTo(Path* path, float dx, float dy);
Path* PathCurveTo(Path* path, float x1, float y1, float x2, float y2, float x3, float y3);
Path* PathRCurveTo(Path* path, float dx1, float dy1, float dx2, float dy2, float dx3, float dy3);
/// Closes the current sub-path (a line back to its first node unless the
/// last node is already there) and joins the miters of its ends.
Path* PathClose(Path* path);
/// A closed rectangle: move-to (x, y) and counter-clockwise line-tos.
Path* PathRect(Path* path, float x, float y, float w, float h);
/// The ellipse inscribed in the rectangle, from four cubic quarter arcs.
Path* PathOval(Path* path, float x, float y, float w, float h);
/// Sets the stroke offset of every sub-path.
Path* PathSetStrokeOffset(Path* path, float offset);
/// Replaces the nodes of the sub-path `dst` by a copy of those of `src`,
/// with its closed and straight flags. Null when out of memory.
Path* PathCopy(Path* dst, const Path* src);
/// Sub-path by sub-path: dst = from + (to - from) x t for every node's
/// position, miter and length (t 0 and 1 copy). Null when the three paths
/// differ in structure or memory runs out.
Path* PathInterpolate(Path* dst, const Path* from, const Path* to, float t);
/// Every sub-path editable / every sub-path a plain array. Null when out of memory.
Path* PathMakeEditable(Path* path);
Path* PathFinish(Path* path);
/// Removes every sub-path of exactly one node; returns the new first record
/// (null when nothing is left).
Path* PathTrimEnd(Path* path);

/// Bounds of every node, curves flattened: rect = (min x, min y, w, h).
Path* PathGetBounds(Path* path, float rect[4]);
/// Even-odd test of a point against one straight sub-path.
bool PathSubContainsPoint(const V2d* point, const Path* sub);
/// The module's scratch path, emptied.
Path* PathGetScratch();

/// Appends a straight version of the sub-path `sub` to `dst` (curves
/// subdivided within the current tolerance, at most the curve depth deep).
/// Null when out of memory.
Path* PathFlattenInto(Path* dst, const Path* sub);
/// Appends line-tos approximating the cubic points[0..3] (points[0] is
/// where `dst` already stands) within `tolerance` (a squared distance),
/// subdividing at most `depth` times.
Path* PathFlattenCurve(Path* dst, const V2d* points, int32_t depth, float tolerance);
/// Replaces every curved sub-path by its flattened form.
Path* PathFlatten(Path* path);

/// Strokes the path with the brush (its half width, colours along the arc
/// length, texture) onto the target camera. False without a camera or when
/// drawing fails.
bool PathRender(Path* path, const Brush* brush);
/// The same operation.
bool PathStroke(Path* path, const Brush* brush);

/// Fills every closed sub-path as a zig-zag strip between its ends (right
/// for convex outlines only), coloured and textured bilinearly over each
/// outline's bounds; open sub-paths are skipped. False as PathRender.
bool PathFill(Path* path, const Brush* brush);
/// Body bytes of the chunk of `path` and every sub-path after it.
uint32_t PathStreamGetSize(const Path* path);
/// Writes the chain as nested chunks 0x1A1; null on a stream failure.
const Path* PathStreamWrite(const Path* path, Stream* stream);
/// Finds the next chunk 0x1A1 and reads the chain it holds into a new path
/// (plain node arrays). Null, with nothing left allocated, for a missing or
/// short chunk, a format version other than 1, counts the chunk cannot
/// hold, a node type other than 0-2 or a coordinate that is not finite.
Path* PathStreamRead(Stream* stream);
/// PathStreamRead of a chunk the caller has found: its body of `size` bytes.
/// The stream stands after the chunk whether the read succeeds or not.
Path* PathStreamReadBody(Stream* stream, uint32_t size);
/// PathStreamRead whose result replaces the contents of `path`; on failure
/// `path` is left as it was, the chunk skipped, and null returned.
Path* PathStreamReadInto(Path* path, Stream* stream);
