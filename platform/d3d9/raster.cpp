// Rasterisation of triangles, lines and points into spans.
#include <algorithm>
#include <cmath>
#if defined(__SSE2__) && !defined(OLAI_NO_SIMD)
#include <emmintrin.h>
#endif

#include "platform/d3d9/pipeline.h"

namespace d3d9sw {
namespace {

constexpr int kSubBits = 4; // sub-pixel precision of the edge tests
constexpr float kSub = float(1 << kSubBits);

inline int64_t FloorDiv(int64_t a, int64_t b)
{ // b > 0
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}
inline int64_t CeilDiv(int64_t a, int64_t b)
{
    return -FloorDiv(-a, b);
}

// Plane through three (x, y, f) points.
Plane MakePlane(float x0, float y0, float f0, float x1, float y1, float f1, float x2, float y2, float f2,
                float invDet)
{
    float dx1 = x1 - x0, dy1 = y1 - y0, dx2 = x2 - x0, dy2 = y2 - y0;
    float df1 = f1 - f0, df2 = f2 - f0;
    Plane p;
    p.dx = (df1 * dy2 - df2 * dy1) * invDet;
    p.dy = (df2 * dx1 - df1 * dx2) * invDet;
    p.a = f0 - p.dx * x0 - p.dy * y0;
    return p;
}

// One edge of a triangle as the bound it puts on the pixels of a row: a
// pixel x of row y is inside when a * x + c(y) >= 0, with c stepping by
// `step` from row to row. Rising edges (a > 0) bound a row's first pixel,
// falling ones (a < 0) its last; the bound is kept as a quotient and
// remainder and stepped without dividing.
struct EdgeBound
{
    int64_t a, c, step;
    int64_t bound, rem; // first (a > 0) or last (a < 0) pixel inside; remainder
    int64_t boundStep, remStep;

    void Start()
    {
        if (a > 0) {
            // bound = ceil(-c / a), rem = bound * a + c in [0, a).
            bound = CeilDiv(-c, a);
            rem = bound * a + c;
            boundStep = FloorDiv(-step, a);
            remStep = -step - boundStep * a; // -step = boundStep * a + remStep, 0 <= remStep < a
        } else if (a < 0) {
            // bound = floor(c / -a), rem = c - bound * -a in [0, -a).
            bound = FloorDiv(c, -a);
            rem = c + bound * a;
            boundStep = FloorDiv(step, -a);
            remStep = step + boundStep * a;
        }
    }
    void Next()
    {
        c += step;
        if (a > 0) {
            bound += boundStep;
            rem -= remStep;
            if (rem < 0) {
                ++bound;
                rem += a;
            }
        } else if (a < 0) {
            bound += boundStep;
            rem += remStep;
            if (rem >= -a) {
                ++bound;
                rem += a;
            }
        }
    }
};

// Triangles at most this many pixels wide find their spans by testing each
// pixel centre, wider ones by stepping their edge bounds.
constexpr int kNarrowTriangle = 8;

// Planes of four neighbouring attribute slots (a colour, a coordinate set),
// each as MakePlane makes it, side by side in vector registers.
void MakePlanes4(const float* f0, const float* f1, const float* f2, float r0, float r1, float r2, float x0,
                 float y0, float x1, float y1, float x2, float y2, float invDet, Plane* out)
{
    alignas(16) float pa[4], pdx[4], pdy[4];
#if defined(__SSE2__) && !defined(OLAI_NO_SIMD)
    const __m128 g0 = _mm_mul_ps(_mm_loadu_ps(f0), _mm_set1_ps(r0));
    const __m128 g1 = _mm_mul_ps(_mm_loadu_ps(f1), _mm_set1_ps(r1));
    const __m128 g2 = _mm_mul_ps(_mm_loadu_ps(f2), _mm_set1_ps(r2));
    const __m128 dx1 = _mm_set1_ps(x1 - x0), dy1 = _mm_set1_ps(y1 - y0);
    const __m128 dx2 = _mm_set1_ps(x2 - x0), dy2 = _mm_set1_ps(y2 - y0);
    const __m128 df1 = _mm_sub_ps(g1, g0), df2 = _mm_sub_ps(g2, g0), inv = _mm_set1_ps(invDet);
    const __m128 dx = _mm_mul_ps(_mm_sub_ps(_mm_mul_ps(df1, dy2), _mm_mul_ps(df2, dy1)), inv);
    const __m128 dy = _mm_mul_ps(_mm_sub_ps(_mm_mul_ps(df2, dx1), _mm_mul_ps(df1, dx2)), inv);
    const __m128 a =
        _mm_sub_ps(_mm_sub_ps(g0, _mm_mul_ps(dx, _mm_set1_ps(x0))), _mm_mul_ps(dy, _mm_set1_ps(y0)));
    _mm_store_ps(pa, a);
    _mm_store_ps(pdx, dx);
    _mm_store_ps(pdy, dy);
#else
    for (int c = 0; c < 4; ++c) {
        const Plane p = MakePlane(x0, y0, f0[c] * r0, x1, y1, f1[c] * r1, x2, y2, f2[c] * r2, invDet);
        pa[c] = p.a;
        pdx[c] = p.dx;
        pdy[c] = p.dy;
    }
#endif
    for (int c = 0; c < 4; ++c)
        out[c] = {pa[c], pdx[c], pdy[c]};
}

// Attribute planes of a triangle (values divided by w; flat shading takes
// the colours of the first vertex of the primitive). False when the
// triangle cannot be interpolated (degenerate, or 1/w not positive).
bool MakePlanes(const PixelState& ps, const ScreenVertex* const* v, const float* flat, SpanPlanes* planes)
{
    const float fx0 = v[0]->x, fy0 = v[0]->y, fx1 = v[1]->x, fy1 = v[1]->y, fx2 = v[2]->x, fy2 = v[2]->y;
    float det = (fx1 - fx0) * (fy2 - fy0) - (fx2 - fx0) * (fy1 - fy0);
    if (!(det != 0.0f) || !std::isfinite(det))
        return false;
    const float invDet = 1.0f / det;
    planes->z = MakePlane(fx0, fy0, v[0]->z, fx1, fy1, v[1]->z, fx2, fy2, v[2]->z, invDet);
    const float r0 = v[0]->rhw, r1 = v[1]->rhw, r2 = v[2]->rhw;
    if (!(r0 > 0.0f && r1 > 0.0f && r2 > 0.0f) || !std::isfinite(r0 + r1 + r2))
        return false;
    planes->rhw = MakePlane(fx0, fy0, r0, fx1, fy1, r1, fx2, fy2, r2, invDet);
    planes->perspective = !(r0 == r1 && r1 == r2);
    const float* a0 = v[0]->attr;
    const float* a1 = v[1]->attr;
    const float* a2 = v[2]->attr;
    for (int j = 0; j < ps.usedCount;) {
        const int k = ps.usedAttr[j];
        if (j + 3 < ps.usedCount && ps.usedAttr[j + 3] == k + 3 && !(flat && k < kAttrFog)) {
            MakePlanes4(a0 + k, a1 + k, a2 + k, r0, r1, r2, fx0, fy0, fx1, fy1, fx2, fy2, invDet,
                        planes->attr + k);
            j += 4;
            continue;
        }
        float f0 = a0[k], f1 = a1[k], f2 = a2[k];
        if (flat && k < kAttrFog)
            f0 = f1 = f2 = flat[k];
        planes->attr[k] = MakePlane(fx0, fy0, f0 * r0, fx1, fy1, f1 * r1, fx2, fy2, f2 * r2, invDet);
        ++j;
    }
    return true;
}

} // namespace

void RasterTriangle(const PixelState& ps, const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c,
                    const float* flat)
{
    if (!Rasterisable(a) || !Rasterisable(b) || !Rasterisable(c))
        return;
    const ScreenVertex* v[3] = {&a, &b, &c};
    int64_t X[3], Y[3];
    for (int i = 0; i < 3; ++i) {
        // Snap to the sub-pixel grid (coordinates are within kRasterLimit).
        float fx = v[i]->x * kSub, fy = v[i]->y * kSub;
        X[i] = int64_t(fx + (fx >= 0.0f ? 0.5f : -0.5f));
        Y[i] = int64_t(fy + (fy >= 0.0f ? 0.5f : -0.5f));
    }
    int64_t area = (X[1] - X[0]) * (Y[2] - Y[0]) - (X[2] - X[0]) * (Y[1] - Y[0]);
    if (area == 0)
        return;
    if (area < 0) {
        std::swap(v[1], v[2]);
        std::swap(X[1], X[2]);
        std::swap(Y[1], Y[2]);
    }
    // Rows whose pixel centres may be covered, clipped to the clip rectangle.
    int64_t ymin = std::min({Y[0], Y[1], Y[2]}), ymax = std::max({Y[0], Y[1], Y[2]});
    int y0 = int(std::max<int64_t>(CeilDiv(ymin, 1 << kSubBits), ps.clipY0));
    int y1 = int(std::min<int64_t>(FloorDiv(ymax, 1 << kSubBits), ps.clipY1 - 1));
    if (y0 > y1)
        return;
    int64_t xmin = std::min({X[0], X[1], X[2]}), xmax = std::max({X[0], X[1], X[2]});
    int xlo = int(std::max<int64_t>(CeilDiv(xmin, 1 << kSubBits), ps.clipX0));
    int xhi = int(std::min<int64_t>(FloorDiv(xmax, 1 << kSubBits), ps.clipX1 - 1));
    if (xlo > xhi)
        return;

    // Edge functions E(p) = dx * (py - ya) - dy * (px - xa), positive inside;
    // pixels exactly on an edge belong to it only for top and left edges. In
    // pixel units of x at row y0: E = a * x + c with a = -dy * 16.
    EdgeBound e[3];
    const int64_t py0 = int64_t(y0) << kSubBits;
    for (int i = 0; i < 3; ++i) {
        int j = (i + 1) % 3;
        int64_t dx = X[j] - X[i], dy = Y[j] - Y[i];
        bool topLeft = dy < 0 || (dy == 0 && dx > 0);
        e[i].a = -dy * (1 << kSubBits);
        e[i].c = dx * (py0 - Y[i]) + dy * X[i] - (topLeft ? 0 : 1);
        e[i].step = dx * (1 << kSubBits);
    }

    // The planes are made with the first span: most tiny triangles cover no
    // pixel centre at all.
    SpanPlanes planes;
    bool planesMade = false;
    auto emit = [&](int y, int lo, int hi) {
        if (!planesMade) {
            if (!MakePlanes(ps, v, flat, &planes))
                return false;
            planesMade = true;
        }
        ps.span(ps, planes, y, lo, hi + 1);
        return true;
    };

    if (xhi - xlo < kNarrowTriangle) {
        auto inside = [&](int x) {
            return e[0].a * x + e[0].c >= 0 && e[1].a * x + e[1].c >= 0 && e[2].a * x + e[2].c >= 0;
        };
        for (int y = y0; y <= y1; ++y) {
            int lo = xlo;
            while (lo <= xhi && !inside(lo))
                ++lo;
            if (lo <= xhi) {
                int hi = lo; // a triangle covers one run of a row
                while (hi < xhi && inside(hi + 1))
                    ++hi;
                if (!emit(y, lo, hi))
                    return;
            }
            for (EdgeBound& ed : e)
                ed.c += ed.step;
        }
        return;
    }

    for (EdgeBound& ed : e)
        ed.Start();
    for (int y = y0; y <= y1; ++y) {
        int64_t lo = xlo, hi = xhi;
        bool empty = false;
        for (const EdgeBound& ed : e) {
            if (ed.a > 0)
                lo = std::max(lo, ed.bound);
            else if (ed.a < 0)
                hi = std::min(hi, ed.bound);
            else if (ed.c < 0)
                empty = true;
        }
        if (!empty && lo <= hi && !emit(y, int(lo), int(hi)))
            return;
        for (EdgeBound& ed : e)
            ed.Next();
    }
}

void RasterLine(const PixelState& ps, const ScreenVertex& a, const ScreenVertex& b, const float* flat)
{
    if (!Rasterisable(a) || !Rasterisable(b))
        return;
    float dx = b.x - a.x, dy = b.y - a.y;
    const bool xMajor = std::fabs(dx) >= std::fabs(dy);
    float major0 = xMajor ? a.x : a.y, major1 = xMajor ? b.x : b.y;
    float len = major1 - major0;
    if (len == 0.0f)
        return;
    // Pixels whose centre lies in [start, end) along the major axis; the last
    // pixel is left out so that strips do not draw shared ends twice.
    int p0 = int(std::floor(std::min(major0, major1) + 0.5f));
    int p1 = int(std::floor(std::max(major0, major1) + 0.5f));
    if (major1 < major0) { // drawing backwards: skip the end at the lower side
        ++p0;
        ++p1;
    }
    // Only the pixels inside the clip rectangle along the major axis.
    p0 = std::max(p0, xMajor ? ps.clipX0 : ps.clipY0);
    p1 = std::min(p1, xMajor ? ps.clipX1 : ps.clipY1);
    if (p0 >= p1)
        return;
    // Planes along the major axis only.
    SpanPlanes planes;
    auto plane = [&](float fa, float fb) {
        Plane p;
        float g = (fb - fa) / len;
        p.dx = xMajor ? g : 0.0f;
        p.dy = xMajor ? 0.0f : g;
        p.a = fa - g * major0;
        return p;
    };
    planes.z = plane(a.z, b.z);
    planes.rhw = plane(a.rhw, b.rhw);
    planes.perspective = a.rhw != b.rhw;
    for (int j = 0; j < ps.usedCount; ++j) {
        const int k = ps.usedAttr[j];
        bool f = flat && k < kAttrFog;
        planes.attr[k] = plane((f ? flat[k] : a.attr[k]) * a.rhw, (f ? flat[k] : b.attr[k]) * b.rhw);
    }
    const float slope = xMajor ? dy / dx : dx / dy;
    const float minor0 = xMajor ? a.y : a.x;
    for (int p = p0; p < p1; ++p) {
        float minor = minor0 + (float(p) - major0) * slope;
        int m = int(std::floor(minor + 0.5f));
        int x = xMajor ? p : m, y = xMajor ? m : p;
        if (x < ps.clipX0 || x >= ps.clipX1 || y < ps.clipY0 || y >= ps.clipY1)
            continue;
        ps.span(ps, planes, y, x, x + 1);
    }
}

void RasterPoint(const PixelState& ps, const ScreenVertex& v, float size)
{
    if (!Rasterisable(v))
        return;
    size = size >= 1.0f ? std::min(size, kRasterLimit) : 1.0f;
    // Pixels whose centres lie in [x - size/2, x + size/2).
    int x0 = int(std::ceil(v.x - size * 0.5f));
    int y0 = int(std::ceil(v.y - size * 0.5f));
    int n = std::max(1, int(size + 0.5f));
    SpanPlanes planes;
    planes.z = {v.z, 0, 0};
    planes.rhw = {v.rhw, 0, 0};
    planes.perspective = false;
    for (int j = 0; j < ps.usedCount; ++j)
        planes.attr[ps.usedAttr[j]] = {v.attr[ps.usedAttr[j]] * v.rhw, 0, 0};
    int xa = std::max(x0, ps.clipX0), xb = std::min(x0 + n, ps.clipX1);
    for (int y = std::max(y0, ps.clipY0); y < std::min(y0 + n, ps.clipY1); ++y)
        if (xa < xb)
            ps.span(ps, planes, y, xa, xb);
}

} // namespace d3d9sw
