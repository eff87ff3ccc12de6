#include "framework/closestpoint.h"

#include <cmath>

#include "framework/vectorops.h"

namespace {

float Dot(const V3d& a, const V3d& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

/// Which side of the 2-D edge a-b the point p lies on (coordinates u, v).
float EdgeFunction(const float a[2], const float b[2], const float p[2])
{
    return (b[0] - a[0]) * (p[1] - a[1]) - (b[1] - a[1]) * (p[0] - a[0]);
}

/// The two coordinates kept when the normal's dominant axis is dropped.
void Project(const V3d& p, int dropped, float out[2])
{
    const float all[3] = {p.x, p.y, p.z};
    out[0] = all[dropped == 0 ? 1 : 0];
    out[1] = all[dropped == 2 ? 1 : 2];
}

} // namespace

float ClosestPointOnTriangle(const V3d* a, const V3d* b, const V3d* c, const V3d* normal, V3d* point)
{
    const V3d p = *point;
    const V3d& n = *normal;
    const float height = Dot(V3dSub(p, *a), n);
    const V3d q = V3dSub(p, V3dScaled(n, height));

    const float ax = std::fabs(n.x), ay = std::fabs(n.y), az = std::fabs(n.z);
    const int dropped = ax >= ay && ax >= az ? 0 : ay >= az ? 1 : 2;
    const V3d* corners[3] = {a, b, c};
    float flat[3][2], q2[2];
    for (int i = 0; i < 3; ++i)
        Project(*corners[i], dropped, flat[i]);
    Project(q, dropped, q2);

    bool outside = false;
    bool found = false;
    V3d best = q;
    float bestDistance = 0.0f;
    for (int i = 0; i < 3; ++i) {
        const int j = (i + 1) % 3, k = (i + 2) % 3;
        const float side = EdgeFunction(flat[i], flat[j], q2);
        const float opposite = EdgeFunction(flat[i], flat[j], flat[k]);
        // Outside this edge: q and the opposite corner on different sides
        // (every edge of a triangle without area counts as outside).
        if (opposite != 0.0f && (side == 0.0f || (side > 0.0f) == (opposite > 0.0f)))
            continue;
        outside = true;
        const V3d edge = V3dSub(*corners[j], *corners[i]);
        const float length2 = Dot(edge, edge);
        float t = length2 > 0.0f ? Dot(V3dSub(q, *corners[i]), edge) / length2 : 0.0f;
        const bool interior = t > 0.0f && t < 1.0f;
        t = t < 0.0f ? 0.0f : t > 1.0f ? 1.0f : t;
        const V3d candidate = V3dAdd(*corners[i], V3dScaled(edge, t));
        const V3d offset = V3dSub(p, candidate);
        const float distance = Dot(offset, offset);
        if (!found || distance < bestDistance) {
            best = candidate;
            bestDistance = distance;
            found = true;
        }
        // Inside the edge's span, this is the triangle's nearest point.
        if (interior) {
            best = candidate;
            bestDistance = distance;
            break;
        }
    }
    if (!outside) {
        *point = q;
        return height * height;
    }
    *point = best;
    return bestDistance;
}
