// Paths: stroking. Each node gives two vertices across the band, and the
// band is drawn as triangle strips of at most one batch of vertices.

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

} // namespace

bool PathRender(Path* path, const Brush* brush)
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
            StrokeSub(stroke, sub);
            continue;
        }
        Path* scratch = PathGetScratch();
        if (!scratch || !PathFlattenInto(scratch, sub)) {
            return false;
        }
        for (const Path* flat = scratch; flat; flat = flat->next) {
            StrokeSub(stroke, flat);
        }
    }
    return stroke.ok;
}

bool PathStroke(Path* path, const Brush* brush)
{
    return PathRender(path, brush);
}
