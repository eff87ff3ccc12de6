// Paths: the module, sub-path records and their node storage, and the
// building commands with their miters and arc lengths.

#include "graphics/toolkit2d/path.h"

#include <bit>
#include <cstring>

#include "graphics/core/freelist.h"
#include "graphics/core/growarray.h"
#include "graphics/core/memory.h"
#include "graphics/core/vector.h"

namespace {

constexpr uint32_t kPathHint = kMemoryHintEngine | kChunkPath;
constexpr uint32_t kNodeHint = kMemoryHintObject | kChunkPath;
/// Smallest m . (m + n) for which a corner keeps its bent miter: below it
/// the outline turns back on itself (about 177 degrees) and the bent miter
/// would grow without bound, so the plain segment normal is used.
constexpr float kMinBend = 1e-3f;

FreeList* gPaths = nullptr;
Path* gScratch = nullptr;
int32_t gEntriesPerBlock = 32;
int32_t gPreallocate = 1;

GrowArray* Editable(const Path* sub)
{
    return static_cast<GrowArray*>(sub->nodes);
}

/// Makes one sub-path's nodes a GrowArray; false when out of memory.
bool MakeSubEditable(Path* sub)
{
    if (sub->count < 0) {
        return true;
    }
    GrowArray* array = GrowArrayCreate(sizeof(PathNode), kNodeHint);
    if (!array) {
        return false;
    }
    if (sub->count > 0) {
        void* slots = GrowArrayIncSizeBy(array, sub->count, kNodeHint);
        if (!slots) {
            GrowArrayDestroy(array);
            return false;
        }
        std::memcpy(slots, sub->nodes, sizeof(PathNode) * size_t(sub->count));
    }
    GrowArrayFreeBlock(sub->nodes);
    sub->nodes = array;
    sub->count = -1;
    return true;
}

void FreeNodes(Path* sub)
{
    if (sub->count < 0) {
        GrowArrayDestroy(Editable(sub));
    } else {
        GrowArrayFreeBlock(sub->nodes);
    }
    sub->nodes = nullptr;
    sub->count = 0;
}

Path* NewSub()
{
    auto* sub = gPaths ? static_cast<Path*>(MemoryFreeListAlloc(gPaths, kPathHint)) : nullptr;
    if (!sub) {
        return nullptr;
    }
    *sub = {};
    sub->nodes = GrowArrayCreate(sizeof(PathNode), kNodeHint);
    if (!sub->nodes) {
        MemoryFreeListFree(gPaths, sub);
        return nullptr;
    }
    sub->count = -1;
    sub->straight = 1;
    sub->current = sub;
    return sub;
}

/// Appends one node to a sub-path (made editable first); its slot or null.
PathNode* Append(Path* sub)
{
    if (!MakeSubEditable(sub)) {
        return nullptr;
    }
    return static_cast<PathNode*>(GrowArrayIncSize(Editable(sub), kNodeHint));
}

/// m = (m + n) / (m . (m + n)), the miter of a corner between a segment with
/// unit normal m and one with unit normal n; n alone where the outline turns back.
void Bend(PathNode* node, float nx, float ny)
{
    const float sx = node->mx + nx;
    const float sy = node->my + ny;
    const float bend = node->mx * sx + node->my * sy;
    if (bend > kMinBend) {
        node->mx = sx / bend;
        node->my = sy / bend;
    } else {
        node->mx = nx;
        node->my = ny;
    }
}

/// Appends a segment node to (x, y) with its miter and arc length; the
/// previous node's miter is bent to the corner. A zero-length segment
/// (duplicate points) keeps the previous miter and bends nothing.
Path* Segment(Path* path, int32_t type, float x, float y)
{
    Path* sub = path->current;
    const int32_t before = PathGetNodeCount(sub);
    if (before == 0) {
        return PathMoveTo(path, x, y);
    }
    PathNode* node = Append(sub);
    if (!node) {
        return nullptr;
    }
    PathNode* previous = node - 1;
    const float dx = x - previous->x;
    const float dy = y - previous->y;
    const float squared = dx * dx + dy * dy;
    *node = {type, x, y, previous->mx, previous->my, previous->length};
    if (squared > 0.0f) {
        const float inverse = VectorInvSqrt(squared);
        const float nx = dy * inverse;
        const float ny = -dx * inverse;
        node->mx = nx;
        node->my = ny;
        node->length = previous->length + VectorSqrt(squared);
        if (before == 1) {
            previous->mx = nx;
            previous->my = ny;
        } else {
            Bend(previous, nx, ny);
        }
    }
    return path;
}

PathNode LastNode(const Path* path)
{
    const Path* sub = path->current;
    const int32_t count = PathGetNodeCount(sub);
    return count > 0 ? PathGetNodes(sub)[count - 1] : PathNode{};
}

} // namespace

bool PathModuleOpen()
{
    gPaths = FreeListCreate(sizeof(Path), uint32_t(gEntriesPerBlock), 0, uint32_t(gPreallocate), nullptr,
                            kPathHint);
    gScratch = gPaths ? PathCreate() : nullptr;
    if (!gScratch) {
        PathModuleClose();
        return false;
    }
    return true;
}

void PathModuleClose()
{
    PathDestroy(gScratch);
    gScratch = nullptr;
    if (gPaths) {
        FreeListDestroy(gPaths);
        gPaths = nullptr;
    }
}

void PathSetFreeListParams(int32_t entriesPerBlock, int32_t preallocate)
{
    gEntriesPerBlock = entriesPerBlock;
    gPreallocate = preallocate;
}

Path* PathCreate()
{
    return NewSub();
}

Path* PathDestroySub(Path* sub)
{
    Path* next = sub->next;
    FreeNodes(sub);
    MemoryFreeListFree(gPaths, sub);
    return next;
}

bool PathDestroy(Path* path)
{
    if (!path) {
        return false;
    }
    for (Path* sub = path; sub;) {
        sub = PathDestroySub(sub);
    }
    return true;
}

Path* PathReset(Path* path)
{
    for (Path* sub = path->next; sub;) {
        sub = PathDestroySub(sub);
    }
    path->next = nullptr;
    if (path->count < 0) {
        GrowArrayEmpty(Editable(path));
    } else {
        FreeNodes(path);
        if (!MakeSubEditable(path)) {
            return nullptr;
        }
    }
    path->closed = 0;
    path->straight = 1;
    path->current = path;
    return path;
}

int32_t PathGetNodeCount(const Path* sub)
{
    return sub->count < 0 ? GrowArrayGetCount(Editable(sub)) : sub->count;
}

PathNode* PathGetNodes(const Path* sub)
{
    if (sub->count < 0) {
        return static_cast<PathNode*>(GrowArrayGetData(Editable(sub)));
    }
    return sub->count > 0 ? static_cast<PathNode*>(sub->nodes) : nullptr;
}

Path* PathMoveTo(Path* path, float x, float y)
{
    Path* sub = path->current;
    if (PathGetNodeCount(sub) > 0) {
        Path* fresh = NewSub();
        if (!fresh) {
            return nullptr;
        }
        fresh->next = sub->next;
        sub->next = fresh;
        path->current = sub = fresh;
    }
    PathNode* node = Append(sub);
    if (!node) {
        return nullptr;
    }
    *node = {kPathMove, x, y, 0.0f, 0.0f, 0.0f};
    return path;
}

Path* PathLineTo(Path* path, float x, float y)
{
    return Segment(path, kPathLine, x, y);
}

Path* PathRLineTo(Path* path, float dx, float dy)
{
    const PathNode last = LastNode(path);
    return PathLineTo(path, last.x + dx, last.y + dy);
}

Path* PathCurveTo(Path* path, float x1, float y1, float x2, float y2, float x3, float y3)
{
    if (!Segment(path, kPathCurve, x1, y1) || !Segment(path, kPathCurve, x2, y2) ||
        !Segment(path, kPathCurve, x3, y3)) {
        return nullptr;
    }
    path->current->straight = 0;
    return path;
}

Path* PathRCurveTo(Path* path, float dx1, float dy1, float dx2, float dy2, float dx3, float dy3)
{
    const PathNode last = LastNode(path);
    return PathCurveTo(path, last.x + dx1, last.y + dy1, last.x + dx2, last.y + dy2, last.x + dx3,
                       last.y + dy3);
}

Path* PathClose(Path* path)
{
    Path* sub = path->current;
    int32_t count = PathGetNodeCount(sub);
    if (count == 0) {
        return path;
    }
    const PathNode first = PathGetNodes(sub)[0];
    const PathNode last = PathGetNodes(sub)[count - 1];
    if (last.x != first.x || last.y != first.y) {
        if (!PathLineTo(path, first.x, first.y)) {
            return nullptr;
        }
        ++count;
    }
    // Join the ends: both take the miter of the corner between the last
    // segment and the first.
    PathNode* nodes = PathGetNodes(sub);
    PathNode* head = &nodes[0];
    PathNode* tail = &nodes[count - 1];
    const float sx = head->mx + tail->mx;
    const float sy = head->my + tail->my;
    const float bend = head->mx * sx + head->my * sy;
    if (count > 1 && bend > kMinBend) {
        head->mx = tail->mx = sx / bend;
        head->my = tail->my = sy / bend;
    }
    sub->closed = 1;
    return path;
}

Path* PathRect(Path* path, float x, float y, float w, float h)
{
    if (!PathMoveTo(path, x, y) || !PathLineTo(path, x + w, y) || !PathLineTo(path, x + w, y + h) ||
        !PathLineTo(path, x, y + h)) {
        return nullptr;
    }
    return PathClose(path);
}

Path* PathOval(Path* path, float x, float y, float w, float h)
{
    // Control-point distances of a quarter arc, as fractions of the box.
    const float k1 = std::bit_cast<float>(0x3E8D6289u);
    const float k2 = std::bit_cast<float>(0x3F46B144u);
    const float cx = x + w / 2;
    const float cy = y + h / 2;
    if (!PathMoveTo(path, cx, y) || !PathCurveTo(path, x + k2 * w, y, x + w, cy - k1 * h, x + w, cy) ||
        !PathCurveTo(path, x + w, y + k2 * h, x + k2 * w, y + h, cx, y + h) ||
        !PathCurveTo(path, cx - k1 * w, y + h, x, y + k2 * h, x, cy) ||
        !PathCurveTo(path, x, cy - k1 * h, cx - k1 * w, y, cx, y)) {
        return nullptr;
    }
    return PathClose(path);
}

Path* PathSetStrokeOffset(Path* path, float offset)
{
    for (Path* sub = path; sub; sub = sub->next) {
        sub->strokeOffset = offset;
    }
    return path;
}

Path* PathCopy(Path* dst, const Path* src)
{
    if (dst == src) {
        return dst;
    }
    if (!MakeSubEditable(dst)) {
        return nullptr;
    }
    GrowArray* array = Editable(dst);
    GrowArrayEmpty(array);
    const int32_t count = PathGetNodeCount(src);
    if (count > 0) {
        void* slots = GrowArrayIncSizeBy(array, count, kNodeHint);
        if (!slots) {
            return nullptr;
        }
        std::memcpy(slots, PathGetNodes(src), sizeof(PathNode) * size_t(count));
    }
    dst->closed = src->closed;
    dst->straight = src->straight;
    return dst;
}

Path* PathInterpolate(Path* dst, const Path* from, const Path* to, float t)
{
    Path* d = dst;
    const Path* a = from;
    const Path* b = to;
    for (; d && a && b; d = d->next, a = a->next, b = b->next) {
        const int32_t count = PathGetNodeCount(d);
        if (PathGetNodeCount(a) != count || PathGetNodeCount(b) != count) {
            return nullptr;
        }
        if (t == 1.0f || t == 0.0f) {
            if (!PathCopy(d, t == 1.0f ? b : a)) {
                return nullptr;
            }
            continue;
        }
        PathNode* out = PathGetNodes(d);
        const PathNode* p = PathGetNodes(a);
        const PathNode* q = PathGetNodes(b);
        for (int32_t i = 0; i < count; ++i) {
            out[i].x = p[i].x + (q[i].x - p[i].x) * t;
            out[i].y = p[i].y + (q[i].y - p[i].y) * t;
            out[i].mx = p[i].mx + (q[i].mx - p[i].mx) * t;
            out[i].my = p[i].my + (q[i].my - p[i].my) * t;
            out[i].length = p[i].length + (q[i].length - p[i].length) * t;
        }
    }
    return d || a || b ? nullptr : dst;
}

Path* PathMakeEditable(Path* path)
{
    for (Path* sub = path; sub; sub = sub->next) {
        if (!MakeSubEditable(sub)) {
            return nullptr;
        }
    }
    return path;
}

Path* PathFinish(Path* path)
{
    for (Path* sub = path; sub; sub = sub->next) {
        if (sub->count < 0) {
            const int32_t count = GrowArrayGetCount(Editable(sub));
            sub->nodes = GrowArrayDetach(Editable(sub));
            sub->count = count;
        }
    }
    return path;
}

Path* PathTrimEnd(Path* path)
{
    Path* first = nullptr;
    Path* last = nullptr;
    for (Path* sub = path; sub;) {
        if (PathGetNodeCount(sub) == 1) {
            sub = PathDestroySub(sub);
            continue;
        }
        if (last) {
            last->next = sub;
        } else {
            first = sub;
        }
        last = sub;
        sub = sub->next;
    }
    if (last) {
        last->next = nullptr;
        first->current = last;
    }
    return first;
}

Path* PathGetScratch()
{
    return PathReset(gScratch);
}
