// Brushes: records, colours, texture coordinates, tints, and the module with
// the toolkit's shared vertex scratch.

#include "graphics/toolkit2d/brush.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "graphics/core/freelist.h"
#include "graphics/core/memory.h"
#include "graphics/core/texture.h"
#include "graphics/d3d9/im3d.h"
#include "graphics/scene/material.h"
#include "graphics/toolkit2d/toolkit2dids.h"
#include "graphics/toolkit2d/twoddevice.h"

namespace {

constexpr uint32_t kBrushHint = kMemoryHintEngine | 0x1A2;
constexpr uint32_t kScratchHint = kMemoryHintEngine | kPluginIdToolkit2D;

FreeList* gBrushes = nullptr;
Im3DVertex* gVertexScratch = nullptr;
int32_t gEntriesPerBlock = 8;
int32_t gPreallocate = 1;

BrushColour Colour(const uint8_t* c)
{
    return {float(c[0]), float(c[1]), float(c[2]), float(c[3])};
}

BrushColour Difference(const uint8_t* a, const uint8_t* b)
{
    return {float(a[0]) - float(b[0]), float(a[1]) - float(b[1]), float(a[2]) - float(b[2]),
            float(a[3]) - float(b[3])};
}

/// Rounded and clamped; NaN gives 0.
uint8_t ToByte(float value)
{
    if (!(value > 0.0f)) {
        return 0;
    }
    return value >= 255.0f ? 255 : uint8_t(std::nearbyint(value));
}

uint32_t Pack(float r, float g, float b, float a)
{
    return uint32_t(ToByte(a)) << 24 | uint32_t(ToByte(r)) << 16 | uint32_t(ToByte(g)) << 8 | ToByte(b);
}

BrushColour Tint(const BrushColour& c, const BrushColour& scale, const BrushColour& offset)
{
    auto channel = [](float value, float s, float o) { return std::clamp(value * s + o, 0.0f, 255.0f); };
    return {channel(c.r, scale.r, offset.r), channel(c.g, scale.g, offset.g), channel(c.b, scale.b, offset.b),
            channel(c.a, scale.a, offset.a)};
}

bool IsZero(const BrushColour& c)
{
    return c.r == 0.0f && c.g == 0.0f && c.b == 0.0f && c.a == 0.0f;
}

bool Equal(const BrushColour& a, const BrushColour& b)
{
    return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a;
}

void SetFlatColour(Brush* brush)
{
    const BrushColour& top = brush->topColour;
    const float channels[4] = {top.r, top.g, top.b, top.a};
    for (int32_t i = 0; i < 4; ++i) {
        brush->flatColour[i] = ToByte(channels[i]);
    }
}

} // namespace

void BrushUpdateGradientFlag(Brush* brush)
{
    const bool flat = IsZero(brush->topColourDelta) && IsZero(brush->bottomColourDelta) &&
                      Equal(brush->topColour, brush->bottomColour);
    brush->flags = flat ? brush->flags & ~kBrushGradient : brush->flags | kBrushGradient;
    SetFlatColour(brush);
}

bool BrushModuleOpen()
{
    gVertexScratch =
        static_cast<Im3DVertex*>(MemoryAllocate(sizeof(Im3DVertex) * kTwoDBatchVertices, kScratchHint));
    gBrushes = gVertexScratch ? FreeListCreate(sizeof(Brush), uint32_t(gEntriesPerBlock), 16,
                                               uint32_t(gPreallocate), nullptr, kBrushHint)
                              : nullptr;
    if (!gBrushes) {
        BrushModuleClose();
        return false;
    }
    return true;
}

void BrushModuleClose()
{
    if (gBrushes) {
        FreeListDestroy(gBrushes);
        gBrushes = nullptr;
    }
    MemoryFree(gVertexScratch);
    gVertexScratch = nullptr;
}

void BrushSetFreeListParams(int32_t entriesPerBlock, int32_t preallocate)
{
    gEntriesPerBlock = entriesPerBlock;
    gPreallocate = preallocate;
}

Im3DVertex* BrushGetVertexScratch()
{
    return gVertexScratch;
}

Brush* BrushCreate()
{
    auto* brush = gBrushes ? static_cast<Brush*>(MemoryFreeListAlloc(gBrushes, kBrushHint)) : nullptr;
    if (!brush) {
        return nullptr;
    }
    *brush = {};
    brush->topColour = brush->bottomColour = {255.0f, 255.0f, 255.0f, 255.0f};
    std::memset(brush->flatColour, 255, 4);
    brush->halfWidth = 0.5f;
    brush->refCount = 1;
    return brush;
}

bool BrushDestroy(Brush* brush)
{
    if (!brush || --brush->refCount > 0) {
        return false;
    }
    if (brush->texture) {
        TextureDestroy(brush->texture);
    }
    // The brush holds one reference to the material its first build made.
    if (brush->material) {
        MaterialRelease(brush->material);
    }
    MemoryFreeListFree(gBrushes, brush);
    return true;
}

Brush* BrushSetColours(Brush* brush, const uint8_t* c1, const uint8_t* c2, const uint8_t* c3,
                       const uint8_t* c4)
{
    brush->topColour = Colour(c4);
    brush->topColourDelta = Difference(c3, c4);
    brush->bottomColour = Colour(c1);
    brush->bottomColourDelta = Difference(c2, c1);
    BrushUpdateGradientFlag(brush);
    return brush;
}

Brush* BrushSetUVs(Brush* brush, const float* uv1, const float* uv2, const float* uv3, const float* uv4)
{
    brush->topUV = {uv4[0], uv4[1]};
    brush->topUVDelta = {uv3[0] - uv4[0], uv3[1] - uv4[1]};
    brush->bottomUV = {uv1[0], uv1[1]};
    brush->bottomUVDelta = {uv2[0] - uv1[0], uv2[1] - uv1[1]};
    const bool still = brush->topUVDelta.u == 0.0f && brush->topUVDelta.v == 0.0f &&
                       brush->bottomUVDelta.u == 0.0f && brush->bottomUVDelta.v == 0.0f;
    brush->flags = still ? brush->flags & ~kBrushTextured : brush->flags | kBrushTextured;
    return brush;
}

Brush* BrushSetTexture(Brush* brush, Texture* texture)
{
    if (texture) {
        TextureAddRef(texture);
        brush->flags |= kBrushTextured;
    } else {
        brush->flags &= ~kBrushTextured;
    }
    if (brush->texture) {
        TextureDestroy(brush->texture);
    }
    brush->texture = texture;
    return brush;
}

Brush* BrushModulateColours(Brush* out, const BrushColour* bottom, const BrushColour* bottomDelta,
                            const BrushColour* topDelta, const BrushColour* top, const BrushColour* scale,
                            const BrushColour* offset)
{
    // The four corners are tinted and clamped, and the deltas follow from
    // them: a neutral tint changes nothing, a falling gradient keeps falling.
    auto sum = [](const BrushColour& a, const BrushColour& b) {
        return BrushColour{a.r + b.r, a.g + b.g, a.b + b.b, a.a + b.a};
    };
    auto difference = [](const BrushColour& a, const BrushColour& b) {
        return BrushColour{a.r - b.r, a.g - b.g, a.b - b.b, a.a - b.a};
    };
    const BrushColour bottomLeft = Tint(*bottom, *scale, *offset);
    const BrushColour bottomRight = Tint(sum(*bottom, *bottomDelta), *scale, *offset);
    const BrushColour topLeft = Tint(*top, *scale, *offset);
    const BrushColour topRight = Tint(sum(*top, *topDelta), *scale, *offset);
    out->bottomColour = bottomLeft;
    out->bottomColourDelta = difference(bottomRight, bottomLeft);
    out->topColour = topLeft;
    out->topColourDelta = difference(topRight, topLeft);
    SetFlatColour(out);
    return out;
}

uint32_t BrushColourAt(const Brush* brush, bool top, float t)
{
    const BrushColour& base = top ? brush->topColour : brush->bottomColour;
    const BrushColour& delta = top ? brush->topColourDelta : brush->bottomColourDelta;
    return Pack(base.r + delta.r * t, base.g + delta.g * t, base.b + delta.b * t, base.a + delta.a * t);
}

uint32_t BrushFlatColour(const Brush* brush)
{
    const uint8_t* c = brush->flatColour;
    return uint32_t(c[3]) << 24 | uint32_t(c[0]) << 16 | uint32_t(c[1]) << 8 | c[2];
}
