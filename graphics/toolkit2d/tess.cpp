// Fill tessellation by ear cutting and diagonal splitting, on two free lists.

#include "graphics/toolkit2d/tess.h"

#include <cmath>

#include "graphics/core/freelist.h"
#include "graphics/core/memory.h"
#include "graphics/core/vector.h"
#include "graphics/toolkit2d/path.h"
#include "graphics/toolkit2d/toolkit2dids.h"

namespace {

constexpr uint32_t kHint = kMemoryHintEngine | kPluginIdToolkit2D;
constexpr uint32_t kPositionsHint = kMemoryHintScratch | kPluginIdToolkit2D;

struct TessModule
{
    FreeList* nodes;
    FreeList* polygons;
    int32_t nodesInUse;
    int32_t polygonsInUse;
    int32_t nodeEntries, nodeBlocks;
    int32_t polygonEntries, polygonBlocks;
};

/// Where the triangles of the running triangulation go.
struct Output
{
    uint32_t* indices;
    int32_t count;
    int32_t capacity;
};

TessModule gTess = {nullptr, nullptr, 0, 0, 32, 1, 32, 1};

TessNode* NewNode(int32_t vertex, TessNode* next)
{
    auto* node = static_cast<TessNode*>(MemoryFreeListAlloc(gTess.nodes, kHint));
    if (node) {
        *node = {next, vertex};
        ++gTess.nodesInUse;
    }
    return node;
}

void FreeNode(TessNode* node)
{
    MemoryFreeListFree(gTess.nodes, node);
    --gTess.nodesInUse;
}

TessPolygon* NewPolygon(const V2d* positions)
{
    auto* polygon = static_cast<TessPolygon*>(MemoryFreeListAlloc(gTess.polygons, kHint));
    if (polygon) {
        *polygon = {nullptr, 0, positions, nullptr};
        ++gTess.polygonsInUse;
    }
    return polygon;
}

/// Frees a piece's ring and record (the positions are shared and stay).
void FreePolygon(TessPolygon* polygon)
{
    if (TessNode* start = polygon->ring) {
        TessNode* node = start->next;
        while (node != start) {
            TessNode* next = node->next;
            FreeNode(node);
            node = next;
        }
        FreeNode(start);
    }
    MemoryFreeListFree(gTess.polygons, polygon);
    --gTess.polygonsInUse;
}

bool SamePosition(const TessPolygon* polygon, const TessNode* a, const TessNode* b)
{
    const V2d& p = polygon->positions[a->vertex];
    const V2d& q = polygon->positions[b->vertex];
    return p.x == q.x && p.y == q.y;
}

/// Whether b is a repeat of a, or the tip of a spike a-b-c of zero area.
bool IsDegenerate(const TessPolygon* polygon, const TessNode* a, const TessNode* b, const TessNode* c)
{
    if (SamePosition(polygon, a, b)) {
        return true;
    }
    const V2d& p = polygon->positions[a->vertex];
    const V2d& q = polygon->positions[b->vertex];
    const V2d& r = polygon->positions[c->vertex];
    const float ux = q.x - p.x, uy = q.y - p.y;
    const float vx = r.x - q.x, vy = r.y - q.y;
    return ux * vy - uy * vx == 0.0f && ux * vx + uy * vy < 0.0f;
}

/// Drops repeated points and zero-area spikes, which have no orientation.
void DropDegenerate(TessPolygon* polygon)
{
    TessNode* a = polygon->ring;
    int32_t unchanged = 0;
    while (polygon->count >= 3 && unchanged < polygon->count) {
        TessNode* b = a->next;
        if (IsDegenerate(polygon, a, b, b->next)) {
            a->next = b->next;
            FreeNode(b);
            --polygon->count;
            polygon->ring = a;
            unchanged = 0;
        } else {
            a = b;
            ++unchanged;
        }
    }
}

bool Emit(Output& output, const TessNode* a)
{
    if (output.count + 3 > output.capacity) {
        return false;
    }
    output.indices[output.count++] = uint32_t(a->vertex);
    output.indices[output.count++] = uint32_t(a->next->vertex);
    output.indices[output.count++] = uint32_t(a->next->next->vertex);
    return true;
}

/// Cuts the ring along the diagonal from `from` to `to` (not neighbours):
/// a new piece takes from, the nodes after it up to to, and to; `polygon`
/// keeps to ... from. Null when out of memory (nothing changed).
TessPolygon* TessSplitPolygon(TessPolygon* polygon, TessNode* from, TessNode* to)
{
    TessNode* before = from;
    int32_t between = 0;
    while (before->next != to) {
        before = before->next;
        ++between;
    }
    TessPolygon* piece = NewPolygon(polygon->positions);
    TessNode* fromCopy = piece ? NewNode(from->vertex, from->next) : nullptr;
    TessNode* toCopy = fromCopy ? NewNode(to->vertex, fromCopy) : nullptr;
    if (!toCopy) {
        if (fromCopy) {
            FreeNode(fromCopy);
        }
        if (piece) {
            MemoryFreeListFree(gTess.polygons, piece);
            --gTess.polygonsInUse;
        }
        return nullptr;
    }
    before->next = toCopy;
    from->next = to;
    piece->ring = fromCopy;
    piece->count = between + 2;
    polygon->ring = from;
    polygon->count -= between;
    return piece;
}

/// One step on a piece: a triangle is emitted; otherwise a convex corner is
/// found and the piece split in two, both pushed (the new one on top).
/// False when out of memory or output room.
bool TessTriangulatePolygon(TessPolygon* polygon, TessPolygon** stack, Output& output)
{
    if (polygon->count == 3) {
        const bool written = Emit(output, polygon->ring);
        FreePolygon(polygon);
        return written;
    }
    TessNode* p1 = polygon->ring;
    bool convex = false;
    for (int32_t tried = 0; tried < polygon->count && !convex; ++tried) {
        convex = TessOrient(polygon, p1->next->next->vertex, p1->vertex, p1->next->vertex) > 0.0f;
        if (!convex) {
            p1 = p1->next;
        }
    }
    if (!convex || polygon->count < 3) {
        // Degenerate or clockwise remainder: nothing to fill.
        FreePolygon(polygon);
        return true;
    }
    polygon->ring = p1;
    TessNode* p2 = p1->next;
    TessNode* p3 = p2->next;
    // A vertex inside the ear, or on the diagonal P3-P1 that would close it,
    // blocks the ear; the split goes to the one deepest behind that diagonal.
    TessNode* deepest = nullptr;
    float depth = 0.0f;
    for (TessNode* q = p3->next; q != p1; q = q->next) {
        if (TessClassify(polygon, q->vertex, p1->vertex, p2->vertex) == 1 &&
            TessClassify(polygon, q->vertex, p2->vertex, p3->vertex) == 1 &&
            TessClassify(polygon, q->vertex, p3->vertex, p1->vertex) != 2) {
            const float d = TessOrient(polygon, q->vertex, p3->vertex, p1->vertex);
            if (!deepest || d > depth) {
                depth = d;
                deepest = q;
            }
        }
    }
    TessPolygon* piece = deepest ? TessSplitPolygon(polygon, p2, deepest) : TessSplitPolygon(polygon, p1, p3);
    if (!piece) {
        FreePolygon(polygon);
        return false;
    }
    polygon->below = *stack;
    piece->below = polygon;
    *stack = piece;
    return true;
}

} // namespace

bool TessModuleOpen()
{
    gTess.nodes = FreeListCreate(sizeof(TessNode), uint32_t(gTess.nodeEntries), 0, uint32_t(gTess.nodeBlocks),
                                 nullptr, kHint);
    gTess.polygons = gTess.nodes ? FreeListCreate(sizeof(TessPolygon), uint32_t(gTess.polygonEntries), 0,
                                                  uint32_t(gTess.polygonBlocks), nullptr, kHint)
                                 : nullptr;
    gTess.nodesInUse = gTess.polygonsInUse = 0;
    if (!gTess.polygons) {
        TessModuleClose();
        return false;
    }
    return true;
}

void TessModuleClose()
{
    if (gTess.polygons) {
        FreeListDestroy(gTess.polygons);
    }
    if (gTess.nodes) {
        FreeListDestroy(gTess.nodes);
    }
    gTess.polygons = nullptr;
    gTess.nodes = nullptr;
}

void TessSetNodeFreeListParams(int32_t entriesPerBlock, int32_t preallocate)
{
    gTess.nodeEntries = entriesPerBlock;
    gTess.nodeBlocks = preallocate;
}

void TessSetPolygonFreeListParams(int32_t entriesPerBlock, int32_t preallocate)
{
    gTess.polygonEntries = entriesPerBlock;
    gTess.polygonBlocks = preallocate;
}

float TessOrient(const TessPolygon* polygon, int32_t p, int32_t a, int32_t b)
{
    const V2d& pp = polygon->positions[p];
    const V2d& pa = polygon->positions[a];
    const V2d& pb = polygon->positions[b];
    const float ex = pb.x - pa.x;
    const float ey = pb.y - pa.y;
    // Measured without normalising a zero edge, so coincident points leave no error behind.
    const float length = std::sqrt(ex * ex + ey * ey);
    return length > 0.0f ? (ex * (pp.y - pa.y) - ey * (pp.x - pa.x)) / length : 0.0f;
}

int32_t TessClassify(const TessPolygon* polygon, int32_t p, int32_t a, int32_t b)
{
    const float orient = TessOrient(polygon, p, a, b);
    return orient > 0.0f ? 1 : orient < 0.0f ? 2 : 4;
}

const Path* TessTriangulateSubPath(const Path* sub, int32_t* triangleCount, uint32_t* indices)
{
    *triangleCount = 0;
    const int32_t vertices = PathGetNodeCount(sub) - 1;
    if (vertices < 3 || !gTess.nodes) {
        return sub;
    }
    auto* positions = static_cast<V2d*>(MemoryAllocate(sizeof(V2d) * size_t(vertices), kPositionsHint));
    TessPolygon* polygon = positions ? NewPolygon(positions) : nullptr;
    if (!polygon) {
        MemoryFree(positions);
        return nullptr;
    }
    // Build the ring in node order: each new node goes after the last.
    const PathNode* nodes = PathGetNodes(sub);
    bool ok = true;
    TessNode* last = nullptr;
    for (int32_t i = 0; i < vertices && ok; ++i) {
        positions[i] = {nodes[i].x, nodes[i].y};
        TessNode* node = NewNode(i, last ? last->next : nullptr);
        ok = node != nullptr;
        if (!ok) {
            break;
        }
        if (last) {
            last->next = node;
        } else {
            node->next = node;
        }
        last = node;
        polygon->ring = node;
        ++polygon->count;
    }
    Output output = {indices, 0, 3 * (vertices - 2)};
    if (ok) {
        DropDegenerate(polygon);
        TessPolygon* stack = polygon;
        while (stack && ok) {
            TessPolygon* piece = stack;
            stack = piece->below;
            ok =
                piece->count < 3 ? (FreePolygon(piece), true) : TessTriangulatePolygon(piece, &stack, output);
        }
        while (stack) {
            TessPolygon* piece = stack;
            stack = piece->below;
            FreePolygon(piece);
        }
    } else {
        FreePolygon(polygon);
    }
    MemoryFree(positions);
    *triangleCount = ok ? output.count / 3 : 0;
    return ok ? sub : nullptr;
}

int32_t TessGetNodesInUse()
{
    return gTess.nodesInUse;
}

int32_t TessGetPolygonsInUse()
{
    return gTess.polygonsInUse;
}
