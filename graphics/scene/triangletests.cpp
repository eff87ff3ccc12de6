// Single triangles against a segment, a sphere and a box, in single
// precision with the margins the queries rely on.
#include <cmath>

#include "graphics/scene/intersection.h"

namespace {

V3d Sub(const V3d& a, const V3d& b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

V3d Cross(const V3d& a, const V3d& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

float Dot(const V3d& a, const V3d& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

float Axis(const V3d& v, int k)
{
    return k == 0 ? v.x : k == 1 ? v.y : v.z;
}

// Sign bit of a float: -0 counts as negative, +0 not.
bool Negative(float value)
{
    return std::signbit(value);
}

uint32_t Outcode(const V3d& p, const BBox& box)
{
    return (p.x > box.sup.x ? 1u : 0u) | (p.x < box.inf.x ? 2u : 0u) | (p.y > box.sup.y ? 4u : 0u) |
           (p.y < box.inf.y ? 8u : 0u) | (p.z > box.sup.z ? 16u : 0u) | (p.z < box.inf.z ? 32u : 0u);
}

// The edge p + D tau crosses the face of bit `bit` strictly inside the
// box's other two ranges; tested without division (every side times D[k]).
bool EdgeCrossesFace(const V3d& p, const V3d& q, uint32_t bit, const BBox& box)
{
    const int k = int(bit / 2);
    const float face = (bit % 2 == 0) ? Axis(box.sup, k) : Axis(box.inf, k);
    const V3d d = Sub(q, p);
    const float dk = Axis(d, k);
    const float numerator = face - Axis(p, k); // tau = numerator / dk
    for (int j = 0; j < 3; ++j) {
        if (j == k) {
            continue;
        }
        // inf[j] < p[j] + d[j] tau < sup[j], times dk.
        const float at = Axis(p, j) * dk + Axis(d, j) * numerator;
        const float low = Axis(box.inf, j) * dk;
        const float high = Axis(box.sup, j) * dk;
        const bool inside = dk > 0.0f ? (low < at && at < high) : (high < at && at < low);
        if (!inside) {
            return false;
        }
    }
    return true;
}

} // namespace

int32_t LineTriangleIntersect(const V3d* start, const V3d* direction, const V3d* v0, const V3d* v1,
                              const V3d* v2, float* distance)
{
    const V3d e1 = Sub(*v1, *v0);
    const V3d e2 = Sub(*v2, *v0);
    const V3d p = Cross(*direction, e2);
    const float det = Dot(p, e1);
    if (!(det > 0.00000001f)) {
        return 0;
    }
    const float lo = det * -0.00001f;
    const float hi = det - lo;
    const V3d tv = Sub(*start, *v0);
    const float u = Dot(tv, p);
    if (u < lo || u > hi) {
        return 0;
    }
    const V3d q = Cross(tv, e1);
    const float v = Dot(q, *direction);
    if (v < lo || u + v > hi) {
        return 0;
    }
    const float t = Dot(q, e2);
    if (t < lo || t > hi) {
        return 0;
    }
    *distance = t / det;
    return 1;
}

int32_t SphereTriangleIntersect(const Sphere* sphere, const V3d* v0, const V3d* v1, const V3d* v2,
                                V3d* normal, float* distance)
{
    const float r = sphere->radius;
    const V3d a[3] = {Sub(*v0, sphere->centre), Sub(*v1, sphere->centre), Sub(*v2, sphere->centre)};
    for (int k = 0; k < 3; ++k) {
        const float c0 = Axis(a[0], k);
        const float c1 = Axis(a[1], k);
        const float c2 = Axis(a[2], k);
        if (!Negative(c0) && !Negative(c1) && !Negative(c2)) {
            if (!Negative(c0 - r) && !Negative(c1 - r) && !Negative(c2 - r)) {
                return 0;
            }
        } else if (Negative(c0) && Negative(c1) && Negative(c2)) {
            if (Negative(r + c0) && Negative(r + c1) && Negative(r + c2)) {
                return 0;
            }
        }
    }
    V3d n = Cross(Sub(*v1, *v0), Sub(*v2, *v0));
    const float squared = Dot(n, n);
    *normal = n;
    if (!(squared > 0.0f)) {
        return 0;
    }
    const float scale = VectorInvSqrt(squared);
    n = {n.x * scale, n.y * scale, n.z * scale};
    *normal = n;
    const float dist = Dot(n, a[0]);
    if (dist < -r || dist > r) {
        return 0;
    }
    *distance = -dist;
    const float s[3] = {Dot(a[0], a[0]), Dot(a[1], a[1]), Dot(a[2], a[2])};
    const float r2 = r * r;
    if (s[0] <= r2 || s[1] <= r2 || s[2] <= r2) {
        return 1;
    }
    int nearest;
    if (s[1] <= s[0]) {
        nearest = s[1] <= s[2] ? 1 : 2;
    } else {
        nearest = s[2] < s[0] ? 2 : 0;
    }
    const V3d& m = a[nearest];
    const float mm = Dot(m, m);
    const V3d& other1 = a[(nearest + 1) % 3];
    const V3d& other2 = a[(nearest + 2) % 3];
    if (Dot(other1, m) > mm && Dot(other2, m) > mm) {
        return 0;
    }
    const int edges[3][3] = {{0, 1, 2}, {1, 2, 0}, {2, 0, 1}};
    for (const auto& edge : edges) {
        const V3d& p = a[edge[0]];
        const V3d e = Sub(a[edge[1]], p);
        const float ee = Dot(e, e);
        // A zero-length edge has no nearest point of its own: it rejects nothing.
        if (!(ee > 0.0f)) {
            continue;
        }
        const float tau = Dot(e, p) / ee;
        const V3d x = {p.x - e.x * tau, p.y - e.y * tau, p.z - e.z * tau};
        const float xx = Dot(x, x);
        if (r2 < xx && xx < Dot(x, a[edge[2]])) {
            return 0;
        }
    }
    return 1;
}

int32_t BoxTriangleIntersect(const BBox* box, const V3d* v0, const V3d* v1, const V3d* v2)
{
    const V3d* v[3] = {v0, v1, v2};
    uint32_t codes[3];
    for (int i = 0; i < 3; ++i) {
        codes[i] = Outcode(*v[i], *box);
        if (codes[i] == 0) {
            return 1;
        }
    }
    if (codes[0] & codes[1] & codes[2]) {
        return 0;
    }
    const int edges[3][2] = {{0, 1}, {0, 2}, {1, 2}};
    for (const auto& edge : edges) {
        const uint32_t a = codes[edge[0]];
        const uint32_t b = codes[edge[1]];
        if (a & b) {
            continue;
        }
        for (uint32_t bits = a ^ b, bit = 0; bit < 6; ++bit) {
            if ((bits & (1u << bit)) && EdgeCrossesFace(*v[edge[0]], *v[edge[1]], bit, *box)) {
                return 1;
            }
        }
    }
    // The box diagonal most aligned with the normal against the triangle.
    const V3d e1 = Sub(*v1, *v0);
    const V3d e2 = Sub(*v2, *v0);
    const V3d n = Cross(e1, e2);
    const bool flipY = Negative(n.x) != Negative(n.y);
    const bool flipZ = Negative(n.x) != Negative(n.z);
    const V3d p0 = {box->inf.x, flipY ? box->sup.y : box->inf.y, flipZ ? box->sup.z : box->inf.z};
    const V3d d = {box->sup.x - box->inf.x, flipY ? box->inf.y - box->sup.y : box->sup.y - box->inf.y,
                   flipZ ? box->inf.z - box->sup.z : box->sup.z - box->inf.z};
    const V3d w = Sub(p0, *v0);
    const float den = -Dot(d, n);
    const float num = Dot(w, n);
    const V3d m = Cross(w, d);
    const float alpha = Dot(m, e2);
    const float beta = -Dot(m, e1);
    if (den >= 0.0f) {
        return 0.0f < num && num < den && 0.0f < alpha && alpha < den && 0.0f < beta && alpha + beta < den;
    }
    return den < num && num < 0.0f && den < alpha && alpha < 0.0f && beta < 0.0f && den < alpha + beta;
}
