#include "demo/aiworldqueries.h"

#include <cmath>

#include "graphics/scene/intersection.h"

namespace {

struct CollisionWorlds
{
    World* worlds[kAiMaxCollisionWorlds] = {};
    int32_t count = 0;
};

CollisionWorlds& Worlds()
{
    static CollisionWorlds worlds;
    return worlds;
}

V3d ToV3d(const float* p)
{
    return V3d{p[0], p[1], p[2]};
}

bool SamePoint(const float* a, const float* b)
{
    return a[0] == b[0] && a[1] == b[1] && a[2] == b[2];
}

struct NearestHit
{
    float fraction;
    V3d normal;
};

WorldSector* KeepNearest(IntersectionQuery*, WorldSector* sector, TriangleHitInfo* hit, float distance,
                         void* data)
{
    auto* nearest = static_cast<NearestHit*>(data);
    if (distance < nearest->fraction) {
        nearest->fraction = distance;
        nearest->normal = hit->normal;
    }
    return sector;
}

WorldSector* StopAtFirst(IntersectionQuery*, WorldSector*, TriangleHitInfo*, float, void* data)
{
    *static_cast<bool*>(data) = true;
    return nullptr;
}

/// True when the query touches a triangle of any world.
bool TouchesAnyWorld(IntersectionQuery& query)
{
    const CollisionWorlds& list = Worlds();
    for (int32_t i = 0; i < list.count; ++i) {
        bool touched = false;
        WorldForAllTriangleIntersections(list.worlds[i], &query, &StopAtFirst, &touched);
        if (touched)
            return true;
    }
    return false;
}

IntersectionQuery LineQuery(const float* from, const float* to)
{
    IntersectionQuery query{};
    query.type = kIntersectionLine;
    query.t.line = IntersectionLine{ToV3d(from), ToV3d(to)};
    return query;
}

void SetNormal(float* normal, const V3d& n)
{
    normal[0] = n.x;
    normal[1] = n.y;
    normal[2] = n.z;
}

} // namespace

int32_t SetAiCollisionWorlds(World* const* worlds, int32_t count)
{
    if (count < 0 || count > kAiMaxCollisionWorlds || (count > 0 && worlds == nullptr))
        return 0;
    CollisionWorlds& list = Worlds();
    for (int32_t i = 0; i < count; ++i)
        list.worlds[i] = worlds[i];
    list.count = count;
    return 1;
}

void ClearAiCollisionWorlds()
{
    Worlds().count = 0;
}

float WorldsRayCast(const float* from, const float* to, const void*, int, float length, float* normal)
{
    const CollisionWorlds& list = Worlds();
    if (list.count == 0)
        return -1.0f;
    if (SamePoint(from, to)) {
        SetNormal(normal, V3d{0.0f, 0.0f, 0.0f});
        return 0.0f;
    }
    IntersectionQuery query = LineQuery(from, to);
    NearestHit best{1.0f, V3d{0.0f, 0.0f, 0.0f}};
    for (int32_t i = 0; i < list.count; ++i) {
        NearestHit nearest{1.0f, V3d{0.0f, 0.0f, 0.0f}};
        WorldForAllTriangleIntersections(list.worlds[i], &query, &KeepNearest, &nearest);
        if (nearest.fraction < best.fraction)
            best = nearest;
    }
    if (best.fraction >= 1.0f) {
        SetNormal(normal, V3d{0.0f, 0.0f, 0.0f});
        return length;
    }
    SetNormal(normal, best.normal);
    return best.fraction * length;
}

int WorldsSegmentClear(const float* from, const float* to, const void*, int)
{
    if (Worlds().count == 0 || SamePoint(from, to))
        return 1;
    IntersectionQuery query = LineQuery(from, to);
    return TouchesAnyWorld(query) ? 0 : 1;
}

int WorldsCanGo(const float* from, const float* to, float radius, const void* ignored, int mode)
{
    if (!(radius > 0.0f))
        return WorldsSegmentClear(from, to, ignored, mode);
    if (Worlds().count == 0)
        return 1;
    const V3d d{to[0] - from[0], to[1] - from[1], to[2] - from[2]};
    const float length = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
    const float whole = length / radius;
    // The sample count is bounded: a tiny radius over a long way spaces the
    // spheres by the way's length over the limit instead, and the segment
    // test covers the gaps between them.
    const bool capped = !(whole < float(kAiMaxCanGoSamples));
    if (capped && WorldsSegmentClear(from, to, ignored, mode) == 0)
        return 0;
    const int32_t n = capped ? kAiMaxCanGoSamples : int32_t(whole);
    if (n == 0)
        return 1;
    const float spacing = capped ? length / float(kAiMaxCanGoSamples) : radius;
    const float scale = spacing / length;
    const V3d step{d.x * scale, d.y * scale, d.z * scale};
    IntersectionQuery query{};
    query.type = kIntersectionSphere;
    for (int32_t k = 1; k <= n; ++k) {
        query.t.sphere.centre =
            V3d{from[0] + float(k) * step.x, from[1] + float(k) * step.y, from[2] + float(k) * step.z};
        query.t.sphere.radius = radius;
        if (TouchesAnyWorld(query))
            return 0;
    }
    return 1;
}
