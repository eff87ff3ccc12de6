// Paths: stroking and immediate filling. Each node of a stroke gives two
// vertices across the band; a fill zig-zags between the two ends of its
// outline. Both are drawn as triangle strips of at most one batch of vertices.

#include <algorithm>
#include <cstdint>

#include "graphics/core/raster.h"
#include "graphics/core/texture.h"
#include "graphics/d3d9/d3d9renderstate.h"
#include "graphics/d3d9/im3d.h"
#include "graphics/toolkit2d/brush.h"
#include "graphics/toolkit2d/path.h"
#include "graphics/toolkit2d/twoddevice.h"

namespace {

void* StateValue(uint32_t value)
{
    return reinterpret_cast<void*>(uintptr_t(value));
}

void SetTextureStates(const Brush* brush)
{
    const Texture* texture = brush->texture;
    if (!texture) {
        TwoDDeviceSetRenderState(kRenderStateTextureRaster, nullptr);
        return;
    }
    TwoDDeviceSetRenderState(kRenderStateTextureRaster, TextureGetRaster(texture));
    TwoDDeviceSetRenderState(kRenderStateTextureFilter, StateValue(texture->filterAddressing & 0xFF));
    const uint32_t u = (texture->filterAddressing >> 8) & 0xF;
    const uint32_t v = (texture->filterAddressing >> 12) & 0xF;
    if (u == v) {
        TwoDDeviceSetRenderState(kRenderStateTextureAddress, StateValue(u));
    } else {
        TwoDDeviceSetRenderState(kRenderStateTextureAddressU, StateValue(u));
        TwoDDeviceSetRenderState(kRenderStateTextureAddressV, StateValue(v));
    }
}

struct Stroke
{
    const Brush* brush;
    const Matrix* matrix;
    uint32_t flags;
    float z;
    Im3DVertex* vertices;
    int32_t pending;
    bool ok;
};

void Flush(Stroke& stroke)
{
    if (stroke.pending >= 4) {
        const bool drawn =
            Im3DTransform(stroke.vertices, uint32_t(stroke.pending), stroke.matrix, stroke.flags) &&
            Im3DRenderIndexedPrimitive(kIm3DTriStrip, TwoDDeviceGetIndexTable(), uint32_t(stroke.pending));
        Im3DEnd();
        stroke.ok = stroke.ok && drawn;
    }
    stroke.pending = 0;
}

void AddNode(Stroke& stroke, const PathNode& node, float a, float b, float t)
{
    const Brush* brush = stroke.brush;
    Im3DVertex* out = stroke.vertices + stroke.pending;
    out[0] = {node.x - node.mx * a, node.y - node.my * a, stroke.z, 0.0f, 0.0f, 0.0f, 0, 0.0f, 0.0f};
    out[1] = {node.x + node.mx * b, node.y + node.my * b, stroke.z, 0.0f, 0.0f, 0.0f, 0, 0.0f, 0.0f};
    if (brush->flags & kBrushGradient) {
        out[0].colour = BrushColourAt(brush, true, t);
        out[1].colour = BrushColourAt(brush, false, t);
    } else {
        out[0].colour = out[1].colour = BrushFlatColour(brush);
    }
    if (brush->flags & kBrushTextured) {
        out[0].u = brush->topUV.u + brush->topUVDelta.u * t;
        out[0].v = brush->topUV.v + brush->topUVDelta.v * t;
        out[1].u = brush->bottomUV.u + brush->bottomUVDelta.u * t;
        out[1].v = brush->bottomUV.v + brush->bottomUVDelta.v * t;
    }
    stroke.pending += 2;
}

void StrokeSub(Stroke& stroke, const Path* sub)
{
    const PathNode* nodes = PathGetNodes(sub);
    const int32_t count = PathGetNodeCount(sub);
    if (count < 2) {
        return;
    }
    const float a = sub->strokeOffset + stroke.brush->halfWidth;
    const float b = stroke.brush->halfWidth - sub->strokeOffset;
    const float total = nodes[count - 1].length;
    const float scale = total > 0.0f ? 1.0f / total : 0.0f;
    for (int32_t i = 0; i < count; ++i) {
        if (stroke.pending >= kTwoDBatchVertices - 2) {
            // Draw the batch and start the next strip one node back, so the band stays joined.
            Flush(stroke);
            AddNode(stroke, nodes[i - 1], a, b, nodes[i - 1].length * scale);
        }
        AddNode(stroke, nodes[i], a, b, nodes[i].length * scale);
    }
    Flush(stroke);
}

/// The fill colour at (u, v) of the bounds: the bottom and top edge colours
/// at u, blended by v, each channel truncated to a byte.
uint32_t FillColour(const Brush* brush, float u, float v)
{
    const BrushColour& b0 = brush->bottomColour;
    const BrushColour& bd = brush->bottomColourDelta;
    const BrushColour& t0 = brush->topColour;
    const BrushColour& td = brush->topColourDelta;
    auto channel = [u, v](float bottomBase, float bottomDelta, float topBase, float topDelta) {
        const float bottom = bottomBase + bottomDelta * u;
        const float top = topBase + topDelta * u;
        const float value = bottom + (top - bottom) * v;
        // NaN (from coordinates too far apart to blend) gives 0.
        return uint32_t(!(value > 0.0f) ? 0.0f : value >= 255.0f ? 255.0f : value);
    };
    return channel(b0.a, bd.a, t0.a, td.a) << 24 | channel(b0.r, bd.r, t0.r, td.r) << 16 |
           channel(b0.g, bd.g, t0.g, td.g) << 8 | channel(b0.b, bd.b, t0.b, td.b);
}

/// One closed straight sub-path filled as a zig-zag strip between its ends.
void FillSub(Stroke& fill, const Path* sub)
{
    const PathNode* nodes = PathGetNodes(sub);
    // The last node of a closed outline repeats the first.
    const int32_t count = PathGetNodeCount(sub) - 1;
    if (!sub->closed || count < 3) {
        return;
    }
    float minX = nodes[0].x, minY = nodes[0].y, maxX = minX, maxY = minY;
    for (int32_t i = 1; i < count; ++i) {
        minX = std::min(minX, nodes[i].x);
        maxX = std::max(maxX, nodes[i].x);
        minY = std::min(minY, nodes[i].y);
        maxY = std::max(maxY, nodes[i].y);
    }
    const float invW = maxX > minX ? 1.0f / (maxX - minX) : 0.0f;
    const float invH = maxY > minY ? 1.0f / (maxY - minY) : 0.0f;
    const Brush* brush = fill.brush;
    const uint32_t flat = BrushFlatColour(brush);
    int32_t low = 0, high = count - 1;
    for (int32_t k = 0; k < count; ++k) {
        if (fill.pending >= kTwoDBatchVertices) {
            // Continue the strip from its last two vertices.
            const Im3DVertex a = fill.vertices[fill.pending - 2], b = fill.vertices[fill.pending - 1];
            Flush(fill);
            fill.vertices[0] = a;
            fill.vertices[1] = b;
            fill.pending = 2;
        }
        const PathNode& node = nodes[k % 2 == 0 ? high-- : low++];
        const float x = node.x - node.mx * sub->strokeOffset;
        const float y = node.y - node.my * sub->strokeOffset;
        const float u = (x - minX) * invW, v = (y - minY) * invH;
        Im3DVertex& out = fill.vertices[fill.pending++];
        out = {x, y, fill.z, 0.0f, 0.0f, 0.0f, flat, 0.0f, 0.0f};
        if (brush->flags & kBrushGradient) {
            out.colour = FillColour(brush, u, v);
        }
        if (brush->flags & kBrushTextured) {
            const float bu = brush->bottomUV.u + brush->bottomUVDelta.u * u;
            const float bv = brush->bottomUV.v + brush->bottomUVDelta.v * u;
            const float tu = brush->topUV.u + brush->topUVDelta.u * u;
            const float tv = brush->topUV.v + brush->topUVDelta.v * u;
            out.u = bu + (tu - bu) * v;
            out.v = bv + (tv - bv) * v;
        }
    }
    // Strips of 3 vertices are drawn too: one triangle.
    if (fill.pending >= 3) {
        const bool drawn =
            Im3DTransform(fill.vertices, uint32_t(fill.pending), fill.matrix, fill.flags) &&
            Im3DRenderIndexedPrimitive(kIm3DTriStrip, TwoDDeviceGetIndexTable(), uint32_t(fill.pending));
        Im3DEnd();
        fill.ok = fill.ok && drawn;
    }
    fill.pending = 0;
}

using SubDrawer = void (*)(Stroke&, const Path*);

/// Draws every sub-path with `draw`, curved ones flattened first.
bool DrawPath(Path* path, const Brush* brush, SubDrawer draw)
{
    const Matrix* matrix = TwoDDeviceUpdateMatrix();
    Im3DVertex* vertices = BrushGetVertexScratch();
    if (!matrix || !vertices || !path || !brush) {
        return false;
    }
    // The matrix is copied: flattening below may rebuild the device's cache.
    const Matrix world = *matrix;
    Stroke stroke = {brush,
                     &world,
                     (brush->texture ? kIm3DTextured : 0u) | TwoDDeviceGetIm3DFlags(),
                     TwoDDeviceGetLayerDepth(),
                     vertices,
                     0,
                     true};
    SetTextureStates(brush);
    for (const Path* sub = path; sub; sub = sub->next) {
        if (sub->straight) {
            draw(stroke, sub);
            continue;
        }
        Path* scratch = PathGetScratch();
        if (!scratch || !PathFlattenInto(scratch, sub)) {
            return false;
        }
        for (const Path* flat = scratch; flat; flat = flat->next) {
            draw(stroke, flat);
        }
    }
    return stroke.ok;
}

} // namespace

bool PathRender(Path* path, const Brush* brush)
{
    return DrawPath(path, brush, StrokeSub);
}

bool PathFill(Path* path, const Brush* brush)
{
    return DrawPath(path, brush, FillSub);
}

bool PathStroke(Path* path, const Brush* brush)
{
    return PathRender(path, brush);
}
