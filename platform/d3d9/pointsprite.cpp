#include "platform/d3d9/pointsprite.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace d3d9sw {
namespace {

float AsFloat(DWORD bits)
{
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}

const InputElement* FindElement(const InputLayout& layout, BYTE usage)
{
    for (const InputElement& element : layout.elements)
        if (element.usage == usage && element.index == 0)
            return &element;
    return nullptr;
}

/// A square of `size` pixels centred on the vertex, texture coordinates
/// across it from (0, 0) at the top left to (1, 1) at the bottom right.
void RasterSprite(const PixelState& ps, const ScreenVertex& v, float size)
{
    if (!Rasterisable(v))
        return;
    size = std::min(size, kRasterLimit); // size > 0
    const float left = v.x - size * 0.5f, top = v.y - size * 0.5f;
    const int x0 = int(std::ceil(left)), y0 = int(std::ceil(top));
    const int n = std::max(1, int(size + 0.5f));
    SpanPlanes planes;
    planes.z = {v.z, 0, 0};
    planes.rhw = {v.rhw, 0, 0};
    planes.perspective = false;
    const float step = v.rhw / size;
    for (int j = 0; j < ps.usedCount; ++j) {
        const int a = ps.usedAttr[j];
        const int component = a >= kAttrTex ? (a - kAttrTex) % 4 : -1;
        if (component == 0)
            planes.attr[a] = {-left * step, step, 0};
        else if (component == 1)
            planes.attr[a] = {-top * step, 0, step};
        else
            planes.attr[a] = {v.attr[a] * v.rhw, 0, 0};
    }
    const int xa = std::max(x0, ps.clipX0), xb = std::min(x0 + n, ps.clipX1);
    for (int y = std::max(y0, ps.clipY0); y < std::min(y0 + n, ps.clipY1); ++y)
        if (xa < xb)
            ps.span(ps, planes, y, xa, xb);
}

} // namespace

std::vector<float> PointSizes(const DWORD* rs, float maxPointSize, const VertexConfig& vertex,
                              const InputLayout& layout, bool shaded, const uint8_t* const* streams,
                              const UINT* strides, UINT count)
{
    const float lowest = AsFloat(rs[D3DRS_POINTSIZE_MIN]);
    const float highest = std::min(AsFloat(rs[D3DRS_POINTSIZE_MAX]), maxPointSize);
    const bool scale = rs[D3DRS_POINTSCALEENABLE] && !layout.positionT && !shaded;
    const float a = AsFloat(rs[D3DRS_POINTSCALE_A]), b = AsFloat(rs[D3DRS_POINTSCALE_B]),
                c = AsFloat(rs[D3DRS_POINTSCALE_C]);
    const InputElement* psize = FindElement(layout, D3DDECLUSAGE_PSIZE);
    const InputElement* position = FindElement(layout, D3DDECLUSAGE_POSITION);
    std::vector<float> sizes(count, AsFloat(rs[D3DRS_POINTSIZE]));
    for (UINT i = 0; i < count; ++i) {
        float size = sizes[i];
        if (psize) {
            float value[4];
            FetchElement(psize->type,
                         streams[psize->stream] + size_t(i) * strides[psize->stream] + psize->offset, value);
            size = value[0];
        }
        if (scale && position) {
            float p[4];
            FetchElement(position->type,
                         streams[position->stream] + size_t(i) * strides[position->stream] + position->offset,
                         p);
            const auto& m = vertex.worldView;
            float eye[3];
            for (int k = 0; k < 3; ++k)
                eye[k] = p[0] * m[0][k] + p[1] * m[1][k] + p[2] * m[2][k] + m[3][k];
            const float distance = std::sqrt(eye[0] * eye[0] + eye[1] * eye[1] + eye[2] * eye[2]);
            const float denominator = a + b * distance + c * distance * distance;
            size = denominator > 0.0f ? vertex.vpH * size * std::sqrt(1.0f / denominator) : highest;
        }
        // NaN sizes take the smallest.
        sizes[i] = !(size >= lowest) ? lowest : std::min(size, highest);
    }
    return sizes;
}

namespace {

/// Points are clipped by their centre against the view volume itself, not
/// the guard band: a centre outside (or not a number) drops the whole point.
bool CentreInside(const PrimitiveSetup& setup, const VertexOut& v)
{
    if (setup.pretransformed)
        return ClipCode(setup, v) == 0;
    if (!AllFinite4(v.pos))
        return false;
    for (int plane = 0; plane < kClipPlanes; ++plane)
        if (!(ClipPlaneDistance(plane, v.pos, 1.0f, 1.0f) >= 0.0f))
            return false;
    return true;
}

} // namespace

void AssemblePointSprite(const PrimitiveSetup& setup, const VertexOut& v, float size, bool sprite)
{
    if (!CentreInside(setup, v))
        return;
    ScreenVertex s;
    ToScreen(setup, v, &s);
    if (!ScreenFinite(s))
        return; // w next to 0
    if (sprite && size > 0.0f)
        RasterSprite(*setup.pixel, s, size);
    else
        RasterPoint(*setup.pixel, s, size);
}

} // namespace d3d9sw
