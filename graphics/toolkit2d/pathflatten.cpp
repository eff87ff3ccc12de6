// Paths: flattening of curves, bounds and the even-odd point test.

#include <algorithm>

#include "graphics/core/vector.h"
#include "graphics/toolkit2d/path.h"
#include "graphics/toolkit2d/twoddevice.h"

namespace {

V2d Mid(const V2d& a, const V2d& b)
{
    return {(a.x + b.x) * 0.5f, (a.y + b.y) * 0.5f};
}

/// Whether both control points lie within the tolerance of the chord P0-P3:
/// near its line and between its ends, so that the curve (inside the hull of
/// its points) stays within the tolerance of the line drawn for it. A curve
/// whose ends meet is flat only when its control points lie within the
/// tolerance of that point; otherwise a closed loop would collapse.
bool IsFlat(const V2d* p, float tolerance)
{
    const float dx = p[3].x - p[0].x;
    const float dy = p[3].y - p[0].y;
    const float chord = dx * dx + dy * dy;
    for (int32_t i = 1; i <= 2; ++i) {
        const float ex = p[i].x - p[0].x;
        const float ey = p[i].y - p[0].y;
        const float squared = ex * ex + ey * ey;
        if (chord == 0.0f) {
            if (squared > tolerance) {
                return false;
            }
            continue;
        }
        const float along = dx * ex + dy * ey;
        if (along < 0.0f || along > chord || along * along < (squared - tolerance) * chord) {
            return false;
        }
    }
    return true;
}

bool IsCurveAt(const PathNode* nodes, int32_t count, int32_t i)
{
    return i > 0 && i + 2 < count && nodes[i].type == kPathCurve && nodes[i + 1].type == kPathCurve &&
           nodes[i + 2].type == kPathCurve;
}

void Extend(float bounds[4], const Path* sub)
{
    const PathNode* nodes = PathGetNodes(sub);
    for (int32_t i = 0; i < PathGetNodeCount(sub); ++i) {
        bounds[0] = std::min(bounds[0], nodes[i].x);
        bounds[1] = std::min(bounds[1], nodes[i].y);
        bounds[2] = std::max(bounds[2], nodes[i].x);
        bounds[3] = std::max(bounds[3], nodes[i].y);
    }
}

} // namespace

Path* PathFlattenCurve(Path* dst, const V2d* p, int32_t depth, float tolerance)
{
    if (depth <= 0 || IsFlat(p, tolerance)) {
        return PathLineTo(dst, p[3].x, p[3].y);
    }
    // De Casteljau split at t = 0.5.
    const V2d p01 = Mid(p[0], p[1]);
    const V2d p12 = Mid(p[1], p[2]);
    const V2d p23 = Mid(p[2], p[3]);
    const V2d p012 = Mid(p01, p12);
    const V2d p123 = Mid(p12, p23);
    const V2d middle = Mid(p012, p123);
    const V2d first[4] = {p[0], p01, p012, middle};
    const V2d second[4] = {middle, p123, p23, p[3]};
    if (!PathFlattenCurve(dst, first, depth - 1, tolerance)) {
        return nullptr;
    }
    return PathFlattenCurve(dst, second, depth - 1, tolerance);
}

Path* PathFlattenInto(Path* dst, const Path* sub)
{
    const float tolerance = TwoDDeviceGetTolerance();
    const int32_t depth = TwoDDeviceGetCurveDepth();
    const PathNode* nodes = PathGetNodes(sub);
    const int32_t count = PathGetNodeCount(sub);
    for (int32_t i = 0; i < count; ++i) {
        const PathNode& node = nodes[i];
        Path* done;
        if (i == 0 || node.type == kPathMove) {
            done = PathMoveTo(dst, node.x, node.y);
        } else if (IsCurveAt(nodes, count, i)) {
            const V2d points[4] = {{nodes[i - 1].x, nodes[i - 1].y},
                                   {node.x, node.y},
                                   {nodes[i + 1].x, nodes[i + 1].y},
                                   {nodes[i + 2].x, nodes[i + 2].y}};
            done = PathFlattenCurve(dst, points, depth, tolerance);
            i += 2;
        } else {
            done = PathLineTo(dst, node.x, node.y);
        }
        if (!done) {
            return nullptr;
        }
    }
    return sub->closed && count > 0 ? PathClose(dst) : dst;
}

Path* PathFlatten(Path* path)
{
    for (Path* sub = path; sub; sub = sub->next) {
        if (sub->straight) {
            continue;
        }
        Path* scratch = PathGetScratch();
        if (!scratch || !PathFlattenInto(scratch, sub) || !PathCopy(sub, scratch)) {
            return nullptr;
        }
    }
    return path;
}

Path* PathGetBounds(Path* path, float rect[4])
{
    float bounds[4] = {1e30f, 1e30f, -1e30f, -1e30f};
    for (const Path* sub = path; sub; sub = sub->next) {
        if (sub->straight) {
            Extend(bounds, sub);
            continue;
        }
        Path* scratch = PathGetScratch();
        if (!scratch || !PathFlattenInto(scratch, sub)) {
            return nullptr;
        }
        for (const Path* flat = scratch; flat; flat = flat->next) {
            Extend(bounds, flat);
        }
    }
    if (bounds[0] > bounds[2]) {
        std::fill(rect, rect + 4, 0.0f);
        return path;
    }
    rect[0] = bounds[0];
    rect[1] = bounds[1];
    rect[2] = bounds[2] - bounds[0];
    rect[3] = bounds[3] - bounds[1];
    return path;
}

bool PathSubContainsPoint(const V2d* point, const Path* sub)
{
    const PathNode* nodes = PathGetNodes(sub);
    const int32_t count = PathGetNodeCount(sub);
    bool inside = false;
    for (int32_t i = 0; i + 1 < count; ++i) {
        const PathNode& a = nodes[i];
        const PathNode& b = nodes[i + 1];
        // Half-open in y: a horizontal segment never counts, and a point on a
        // bottom edge lies outside it.
        if (std::min(a.y, b.y) >= point->y || std::max(a.y, b.y) < point->y ||
            std::max(a.x, b.x) < point->x) {
            continue;
        }
        if (a.x == b.x || a.x + (b.x - a.x) * (point->y - a.y) / (b.y - a.y) >= point->x) {
            inside = !inside;
        }
    }
    return inside;
}
