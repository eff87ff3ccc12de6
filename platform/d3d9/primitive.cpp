// Primitive assembly: clip codes, clipping, viewport mapping, culling and
// fill modes (see primitive.h).
#include "platform/d3d9/primitive.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace d3d9sw {
namespace {

// The code of a vertex the device cannot draw: outside every plane as well.
constexpr int kUnsafeCode = kClipUnsafe | ((1 << kClipPlanes) - 1);

// Copies the position and the attribute slots in use.
void CopyVertex(const PrimitiveSetup& setup, VertexOut& to, const VertexOut& from)
{
    std::memcpy(to.pos, from.pos, sizeof(to.pos));
    std::memcpy(to.attr, from.attr, sizeof(float) * size_t(setup.attrCount));
}

// The point at `t` from `s` to `e`, position and attributes.
void Interpolate(const PrimitiveSetup& setup, const VertexOut& s, const VertexOut& e, float t, VertexOut& out)
{
    for (int k = 0; k < 4; ++k) {
        const float d = e.pos[k] - s.pos[k];
        // Ends near the largest floats on either side of 0: their difference
        // overflows, their weighted sum does not.
        out.pos[k] = d - d == 0.0f ? s.pos[k] + d * t : s.pos[k] * (1.0f - t) + e.pos[k] * t;
    }
    for (int k = 0; k < setup.attrCount; ++k)
        out.attr[k] = s.attr[k] + (e.attr[k] - s.attr[k]) * t;
}

// Maps clip-space `pos` to the viewport (x, y, z, rhw of `s`).
inline void MapToViewport(const VertexConfig& vc, const float* pos, ScreenVertex* s)
{
    float rhw = 1.0f / pos[3];
    s->x = vc.vpX + (pos[0] * rhw + 1.0f) * vc.vpW * 0.5f;
    s->y = vc.vpY + (1.0f - pos[1] * rhw) * vc.vpH * 0.5f;
    s->z = vc.vpMinZ + pos[2] * rhw * (vc.vpMaxZ - vc.vpMinZ);
    s->rhw = rhw;
}

} // namespace

PrimitiveSetup MakePrimitiveSetup(const PixelState& pixel, const VertexConfig& vertex, bool pretransformed,
                                  DWORD shadeMode, DWORD cullMode, DWORD fillMode)
{
    PrimitiveSetup setup;
    setup.pixel = &pixel;
    setup.vertex = &vertex;
    setup.pretransformed = pretransformed;
    setup.flat = shadeMode == D3DSHADE_FLAT;
    setup.cull = cullMode;
    setup.fill = fillMode;
    setup.guardX = std::max(1.0f, kGuardBandPixels / vertex.vpW);
    setup.guardY = std::max(1.0f, kGuardBandPixels / vertex.vpH);
    setup.attrCount = pixel.attrCount;
    return setup;
}

float ClipPlaneDistance(int plane, const float* v, float guardX, float guardY)
{
    switch (plane) {
    case 0:
        return v[3] * guardX + v[0];
    case 1:
        return v[3] * guardX - v[0];
    case 2:
        return v[3] * guardY + v[1];
    case 3:
        return v[3] * guardY - v[1];
    case 4:
        return v[2];
    default:
        return v[3] - v[2];
    }
}

int ClipCode(const PrimitiveSetup& setup, const float* pos)
{
    if (setup.pretransformed) {
        const bool inside = AllFinite4(pos) && std::fabs(pos[0]) < kGuardBandPixels &&
                            std::fabs(pos[1]) < kGuardBandPixels && pos[3] > 0.0f;
        return inside ? 0 : 1;
    }
    if (!AllFinite4(pos))
        return kUnsafeCode;
    int code = 0;
    for (int p = 0; p < kClipPlanes; ++p)
        if (!(ClipPlaneDistance(p, pos, setup.guardX, setup.guardY) >= 0.0f))
            code |= 1 << p;
    return code;
}

void ToScreen(const PrimitiveSetup& setup, const float* pos, const float* attr, ScreenVertex* s)
{
    if (setup.pretransformed) {
        *s = {pos[0], pos[1], pos[2], pos[3], attr};
        return;
    }
    MapToViewport(*setup.vertex, pos, s);
    s->attr = attr;
}

void ClipAndMapVertices(const PrimitiveSetup& setup, const VertexStore& verts, size_t count, uint8_t* codes,
                        ScreenVertex* screen)
{
    if (setup.pretransformed) {
        for (size_t i = 0; i < count; ++i) {
            codes[i] = uint8_t(ClipCode(setup, verts.Pos(i)));
            if (codes[i] == 0)
                ToScreen(setup, verts.Pos(i), verts.Attr(i), &screen[i]);
        }
        return;
    }
    // Eight vertices at a time, one array per component, so that the tests
    // and the divisions run as vector code.
    constexpr int kLanes = 8;
    float pos[4][kLanes] = {}, mapped[4][kLanes];
    int code[kLanes];
    for (size_t first = 0; first < count; first += kLanes) {
        const int n = int(std::min<size_t>(kLanes, count - first));
        for (int l = 0; l < n; ++l)
            for (int c = 0; c < 4; ++c)
                pos[c][l] = verts.Pos(first + size_t(l))[c];
        for (int l = 0; l < kLanes; ++l) {
            const float v[4] = {pos[0][l], pos[1][l], pos[2][l], pos[3][l]};
            int bits = 0;
            for (int p = 0; p < kClipPlanes; ++p)
                bits |= ClipPlaneDistance(p, v, setup.guardX, setup.guardY) >= 0.0f ? 0 : 1 << p;
            ScreenVertex s;
            MapToViewport(*setup.vertex, v, &s);
            // A NaN fails every plane test above; an infinity or a w next to
            // 0 may pass them all and still map to no screen position.
            const bool finite = AllFinite4(v) && ScreenFinite(s);
            code[l] = finite ? bits : kUnsafeCode;
            mapped[0][l] = s.x;
            mapped[1][l] = s.y;
            mapped[2][l] = s.z;
            mapped[3][l] = s.rhw;
        }
        for (int l = 0; l < n; ++l) {
            const size_t i = first + size_t(l);
            codes[i] = uint8_t(code[l]);
            if (code[l] == 0)
                screen[i] = {mapped[0][l], mapped[1][l], mapped[2][l], mapped[3][l], verts.Attr(i)};
        }
    }
}

int ClipPolygon(const PrimitiveSetup& setup, int planes, VertexOut (&buffers)[2][kMaxClipPolygon], int* count)
{
    int n = *count, cur = 0;
    for (int p = 0; p < kClipPlanes && n > 0; ++p) {
        if (!(planes & (1 << p)))
            continue;
        const VertexOut* in = buffers[cur];
        VertexOut* out = buffers[cur ^ 1];
        int m = 0;
        for (int i = 0; i < n; ++i) {
            const VertexOut& s = in[i];
            const VertexOut& e = in[(i + 1) % n];
            float ds = ClipPlaneDistance(p, s.pos, setup.guardX, setup.guardY),
                  de = ClipPlaneDistance(p, e.pos, setup.guardX, setup.guardY);
            if (ds >= 0.0f)
                CopyVertex(setup, out[m++], s);
            if ((ds >= 0.0f) != (de >= 0.0f) && m < kMaxClipPolygon)
                Interpolate(setup, s, e, ds / (ds - de), out[m++]);
        }
        n = m;
        cur ^= 1;
    }
    *count = n;
    return cur;
}

float ScreenArea(const ScreenVertex* sv, int n)
{
    float area = 0.0f;
    for (int i = 0; i < n; ++i) {
        const ScreenVertex &a = sv[i], &b = sv[(i + 1) % n];
        area += a.x * b.y - b.x * a.y;
    }
    return area;
}

bool CullsArea(DWORD cull, float area)
{
    if (area == 0.0f)
        return true;
    if (cull == D3DCULL_CCW)
        return area < 0.0f;
    if (cull == D3DCULL_CW)
        return area > 0.0f;
    return false;
}

namespace {

// A polygon that culling kept, drawn by the fill mode.
void DrawKeptPolygon(const PrimitiveSetup& setup, const ScreenVertex* sv, int n, const float* flat)
{
    const PixelState& ps = *setup.pixel;
    if (setup.fill == D3DFILL_POINT) {
        for (int i = 0; i < n; ++i)
            RasterPoint(ps, sv[i], 1.0f);
    } else if (setup.fill == D3DFILL_WIREFRAME) {
        for (int i = 0; i < n; ++i)
            RasterLine(ps, sv[i], sv[(i + 1) % n], flat);
    } else {
        for (int i = 1; i + 1 < n; ++i)
            RasterTriangle(ps, sv[0], sv[i], sv[i + 1], flat);
    }
}

} // namespace

void DrawScreenPolygon(const PrimitiveSetup& setup, const ScreenVertex* sv, int n, const float* flat)
{
    if (!CullsArea(setup.cull, ScreenArea(sv, n)))
        DrawKeptPolygon(setup, sv, n, flat);
}

namespace {

// The part of a triangle inside the planes of `planes`, drawn. Kept out of
// AssembleTriangle so that the common, unclipped triangle does not pay for
// its buffers.
[[gnu::noinline]] void AssembleClippedTriangle(const PrimitiveSetup& setup, const VertexStore& verts,
                                               int planes, UINT ia, UINT ib, UINT ic, const float* flat)
{
    VertexOut clipped[2][kMaxClipPolygon];
    verts.Get(ia, &clipped[0][0]);
    verts.Get(ib, &clipped[0][1]);
    verts.Get(ic, &clipped[0][2]);
    int n = 3;
    const int result = ClipPolygon(setup, planes, clipped, &n);
    if (n < 3)
        return;
    ScreenVertex sv[kMaxClipPolygon];
    for (int i = 0; i < n; ++i) {
        ToScreen(setup, clipped[result][i], &sv[i]);
        // Finite ends near the largest floats can cut to an infinite point.
        if (!ScreenFinite(sv[i]))
            return;
    }
    DrawScreenPolygon(setup, sv, n, flat);
}

} // namespace

void AssembleTriangle(const PrimitiveSetup& setup, const VertexStore& verts, const uint8_t* codes,
                      const ScreenVertex* screen, UINT ia, UINT ib, UINT ic)
{
    const float* flat = setup.flat ? verts.Attr(ia) : nullptr;
    const int ca = codes[ia], cb = codes[ib], cc = codes[ic];
    if ((ca & cb & cc) || ((ca | cb | cc) & kClipUnsafe))
        return;
    if ((ca | cb | cc) == 0) {
        const ScreenVertex sv[3] = {screen[ia], screen[ib], screen[ic]};
        // The rasteriser reads the attributes after culling and snapping.
        __builtin_prefetch(sv[0].attr);
        __builtin_prefetch(sv[1].attr);
        __builtin_prefetch(sv[2].attr);
        if (!CullsArea(setup.cull, ScreenArea(sv[0], sv[1], sv[2])))
            DrawKeptPolygon(setup, sv, 3, flat);
        return;
    }
    if (setup.pretransformed)
        return; // beyond the guard band: dropped
    AssembleClippedTriangle(setup, verts, ca | cb | cc, ia, ib, ic, flat);
}

void AssembleLine(const PrimitiveSetup& setup, const VertexOut& a, const VertexOut& b)
{
    const int ca = ClipCode(setup, a), cb = ClipCode(setup, b);
    if ((ca & cb) || ((ca | cb) & kClipUnsafe))
        return;
    VertexOut ends[2];
    const VertexOut* pa = &a;
    const VertexOut* pb = &b;
    if ((ca | cb) && setup.pretransformed)
        return;
    if (ca | cb) {
        // Parametric clipping: the part of the line inside every plane.
        float t0 = 0.0f, t1 = 1.0f;
        for (int p = 0; p < kClipPlanes; ++p) {
            float da = ClipPlaneDistance(p, a.pos, setup.guardX, setup.guardY),
                  db = ClipPlaneDistance(p, b.pos, setup.guardX, setup.guardY);
            if (da < 0 && db < 0)
                return;
            if (da < 0)
                t0 = std::max(t0, da / (da - db));
            if (db < 0)
                t1 = std::min(t1, da / (da - db));
        }
        if (t0 >= t1)
            return;
        Interpolate(setup, a, b, t0, ends[0]);
        Interpolate(setup, a, b, t1, ends[1]);
        pa = &ends[0];
        pb = &ends[1];
    }
    ScreenVertex sa, sb;
    ToScreen(setup, *pa, &sa);
    ToScreen(setup, *pb, &sb);
    if (!ScreenFinite(sa) || !ScreenFinite(sb))
        return;
    RasterLine(*setup.pixel, sa, sb, setup.flat ? a.attr : nullptr);
}

void AssemblePoint(const PrimitiveSetup& setup, const VertexOut& v)
{
    if (ClipCode(setup, v) != 0)
        return;
    ScreenVertex s;
    ToScreen(setup, v, &s);
    if (ScreenFinite(s))
        RasterPoint(*setup.pixel, s, setup.vertex->pointSize);
}

} // namespace d3d9sw
