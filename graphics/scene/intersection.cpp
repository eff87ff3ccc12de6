// Sector and triangle queries over worlds, geometries and atomics: the
// dispatch by primitive, the sector walks, the collision-tree walks and the
// tests of each candidate triangle.
#include "graphics/scene/intersection.h"

#include "graphics/core/frame.h"
#include "graphics/core/matrix.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/collision.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/intersectionprivate.h"
#include "graphics/scene/sceneplugins.h"
#include "graphics/scene/world.h"

namespace {

/// The fraction of a sphere's radius that gives a cube inside it.
constexpr float kInnerCube = 0.57f;

V3d Sub(const V3d& a, const V3d& b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

float Dot(const V3d& a, const V3d& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

BBox BoxAround(const V3d& c, float r)
{
    return {{c.x + r, c.y + r, c.z + r}, {c.x - r, c.y - r, c.z - r}};
}

// Squared distance from a point to a box (the point clamped into it).
float DistanceSquared(const V3d& p, const BBox& box)
{
    float sum = 0.0f;
    for (int k = 0; k < 3; ++k) {
        const float c = Axis(p, k);
        const float nearest = c < Axis(box.inf, k)   ? Axis(box.inf, k)
                              : c > Axis(box.sup, k) ? Axis(box.sup, k)
                                                     : c;
        sum += (c - nearest) * (c - nearest);
    }
    return sum;
}

// The triangles of a sector or geometry: vertex positions and index triples.
struct TriangleSet
{
    const V3d* vertices;
    const uint16_t* indices; ///< four u16 per triangle, vertices first
    const CollisionData* data;
    int32_t count;

    void At(int32_t position, int32_t* index, const V3d* v[3]) const
    {
        *index = data && data->remap ? data->remap[position] : position;
        const uint16_t* triangle = indices + 4 * *index;
        v[0] = &vertices[triangle[0]];
        v[1] = &vertices[triangle[1]];
        v[2] = &vertices[triangle[2]];
    }
};

// `offset`: the collision plug-in's data offset in sectors (looked up once
// per query), or negative without the plug-in.
TriangleSet SectorTriangles(const WorldSector* sector, int32_t offset)
{
    static_assert(sizeof(WorldSectorTriangle) == 8, "four u16 per triangle");
    return {sector->vertices, sector->triangles ? sector->triangles[0].vertex : nullptr,
            offset >= 0
                ? *reinterpret_cast<CollisionData* const*>(reinterpret_cast<const char*>(sector) + offset)
                : nullptr,
            sector->numTriangles};
}

TriangleSet GeometryTriangles(const Geometry* geometry)
{
    static_assert(sizeof(GeometryTriangle) == 8, "four u16 per triangle");
    const bool arrays = !(geometry->format & kGeometryNative) && geometry->numTriangles > 0;
    return {arrays ? geometry->morphTargets[0].vertices : nullptr,
            arrays ? geometry->triangles[0].vertex : nullptr, GeometryGetCollisionData(geometry),
            arrays ? geometry->numTriangles : 0};
}

TriangleHitInfo HitOf(int32_t index, const V3d* v[3])
{
    TriangleHitInfo hit;
    const V3d e1 = Sub(*v[1], *v[0]);
    const V3d e2 = Sub(*v[2], *v[0]);
    const V3d n = {e1.y * e2.z - e1.z * e2.y, e1.z * e2.x - e1.x * e2.z, e1.x * e2.y - e1.y * e2.x};
    const float scale = VectorInvSqrt(Dot(n, n));
    hit.normal = {n.x * scale, n.y * scale, n.z * scale};
    hit.point = *v[0];
    hit.index = index;
    hit.vertex[0] = v[0];
    hit.vertex[1] = v[1];
    hit.vertex[2] = v[2];
    return hit;
}

// A primitive as the triangle walks use it.
struct Primitive
{
    enum Kind
    {
        kNone,
        kLine,
        kSphere,
        kBox
    } kind = kNone;
    LineSetup line{};
    Sphere sphere{};
    BBox box{};
};

Primitive PrimitiveOf(const IntersectionQuery* query)
{
    Primitive primitive;
    switch (query->type) {
    case kIntersectionLine:
        primitive.kind = Primitive::kLine;
        primitive.line = LineSetupMake(query->t.line, nullptr);
        break;
    case kIntersectionSphere:
        primitive.kind = Primitive::kSphere;
        primitive.sphere = query->t.sphere;
        break;
    case kIntersectionAtomic:
        primitive.kind = Primitive::kSphere;
        primitive.sphere = *AtomicWorldBoundingSphere(query->t.atomic);
        break;
    case kIntersectionBox:
        primitive.kind = Primitive::kBox;
        primitive.box = query->t.box;
        break;
    default:
        break;
    }
    return primitive;
}

// 1 / radius, with a zero sphere reporting plane distances of 0.
float InverseRadius(float radius)
{
    return radius > 0.0f ? 1.0f / radius : 0.0f;
}

// Tests and reports positions [first, first + count) of a set; false when
// the callback ended the query. `report` gets (hit, distance).
template <typename Report>
bool TestRange(const TriangleSet& set, const Primitive& primitive, uint32_t first, uint32_t count,
               uint32_t mask, Report report)
{
    for (uint32_t p = first; p < first + count; ++p) {
        int32_t index;
        const V3d* v[3];
        set.At(int32_t(p), &index, v);
        float distance = 0.0f;
        bool hit = false;
        switch (primitive.kind) {
        case Primitive::kLine:
            hit = LineTriangleIntersect(&primitive.line.start, &primitive.line.direction, v[0], v[1], v[2],
                                        &distance) != 0;
            break;
        case Primitive::kBox:
            hit = mask == 0 || BoxTriangleIntersect(&primitive.box, v[0], v[1], v[2]);
            break;
        case Primitive::kSphere: {
            const float inverse = InverseRadius(primitive.sphere.radius);
            if (mask == 0) {
                const TriangleHitInfo info = HitOf(index, v);
                distance = Dot(Sub(primitive.sphere.centre, *v[0]), info.normal) * inverse;
                hit = true;
            } else {
                V3d normal;
                hit = SphereTriangleIntersect(&primitive.sphere, v[0], v[1], v[2], &normal, &distance) != 0;
                distance *= inverse;
            }
            break;
        }
        default:
            break;
        }
        if (hit) {
            TriangleHitInfo info = HitOf(index, v);
            if (!report(&info, distance)) {
                return false;
            }
        }
    }
    return true;
}

// The box or sphere walk of a collision tree; false when the query ended.
template <typename Report> bool TreeBoxWalk(const TriangleSet& set, const Primitive& primitive, Report report)
{
    BBox outer = primitive.box;
    BBox inner = primitive.box;
    if (primitive.kind == Primitive::kSphere) {
        const Sphere& s = primitive.sphere;
        if (DistanceSquared(s.centre, set.data->boundingBox) > s.radius * s.radius) {
            return true;
        }
        outer = BoxAround(s.centre, s.radius);
        inner = BoxAround(s.centre, kInnerCube * s.radius);
    }
    CollisionTreeBoxIterator iterator;
    CollisionTreeBoxIteratorInit(&iterator, set.data, &outer, &inner);
    while (iterator.pending > 0) {
        uint16_t first;
        uint16_t count;
        uint32_t mask;
        CollisionTreeBoxIteratorNext(&iterator, &first, &count, &mask);
        if (!TestRange(set, primitive, first, count, mask, report)) {
            return false;
        }
    }
    return true;
}

template <typename Report>
bool TreeLineWalk(const TriangleSet& set, const Primitive& primitive, CollisionTreeLineIterator& iterator,
                  Report report)
{
    while (iterator.pending > 0) {
        uint16_t first;
        uint16_t count;
        CollisionTreeLineIteratorNext(&iterator, &first, &count);
        if (!TestRange(set, primitive, first, count, 1, report)) {
            return false;
        }
    }
    return true;
}

// A geometry's triangles (tree or all) against a primitive in its space.
template <typename Report>
void GeometryWalk(const TriangleSet& set, const Primitive& primitive, Report report)
{
    if (primitive.kind == Primitive::kNone || set.count == 0) {
        return;
    }
    if (!set.data) {
        TestRange(set, primitive, 0, uint32_t(set.count), 1, report);
        return;
    }
    if (primitive.kind == Primitive::kLine) {
        CollisionTreeLineIterator iterator;
        const IntersectionLine line = {primitive.line.start,
                                       {primitive.line.start.x + primitive.line.direction.x,
                                        primitive.line.start.y + primitive.line.direction.y,
                                        primitive.line.start.z + primitive.line.direction.z}};
        CollisionTreeLineIteratorInit(&iterator, set.data, &line, &primitive.line.tolerance);
        TreeLineWalk(set, primitive, iterator, report);
        return;
    }
    TreeBoxWalk(set, primitive, report);
}

} // namespace

World* WorldForAllSectorIntersections(World* world, IntersectionQuery* query,
                                      IntersectionSectorCallBack callBack, void* data)
{
    if (query->type == kIntersectionLine) {
        WorldSectorLineIterator iterator;
        WorldSectorLineIteratorInit(&iterator, world, &query->t.line, nullptr);
        while (iterator.pending > 0) {
            if (!callBack(query, WorldSectorLineIteratorNext(&iterator), data)) {
                break;
            }
        }
        return world;
    }
    BBox box;
    Sphere sphere = {{0, 0, 0}, -1.0f};
    switch (query->type) {
    case kIntersectionPoint:
        box = {query->t.point, query->t.point};
        break;
    case kIntersectionBox:
        box = query->t.box;
        break;
    case kIntersectionSphere:
        sphere = query->t.sphere;
        box = BoxAround(sphere.centre, sphere.radius);
        break;
    case kIntersectionAtomic:
        sphere = *AtomicWorldBoundingSphere(query->t.atomic);
        box = BoxAround(sphere.centre, sphere.radius);
        break;
    default:
        return world;
    }
    WorldSectorBoxIterator iterator;
    WorldSectorBoxIteratorInit(&iterator, world, &box);
    while (iterator.pending > 0) {
        WorldSector* sector = WorldSectorBoxIteratorNext(&iterator);
        if (sphere.radius >= 0.0f &&
            DistanceSquared(sphere.centre, sector->boundingBox) > sphere.radius * sphere.radius) {
            continue;
        }
        if (!callBack(query, sector, data)) {
            break;
        }
    }
    return world;
}

World* WorldForAllTriangleIntersections(World* world, IntersectionQuery* query,
                                        IntersectionWorldTriangleCallBack callBack, void* data)
{
    const Primitive primitive = PrimitiveOf(query);
    const int32_t offset = WorldSectorGetPluginOffset(kPluginIdCollision);
    WorldSector* current = nullptr;
    auto report = [&](TriangleHitInfo* hit, float distance) {
        return callBack(query, current, hit, distance, data) != nullptr;
    };
    if (primitive.kind == Primitive::kLine) {
        WorldSectorLineIterator sectors;
        WorldSectorLineIteratorInit(&sectors, world, &query->t.line, nullptr);
        while (sectors.pending > 0) {
            current = WorldSectorLineIteratorNext(&sectors);
            const TriangleSet set = SectorTriangles(current, offset);
            if (!set.data || set.count == 0) {
                continue;
            }
            CollisionTreeLineIterator tree;
            CollisionTreeLineIteratorInitFromSector(&tree, set.data, &sectors);
            // Only the part of the sector's interval inside the tree's box
            // can hit; the hits are the same, found with fewer leaves.
            float t0 = 0.0f;
            float t1 = 1.0f;
            if (!LineClipToBox(primitive.line, set.data->boundingBox, &t0, &t1) || t0 > tree.stack[0].t1 ||
                t1 < tree.stack[0].t0) {
                continue;
            }
            tree.stack[0].t0 = t0 > tree.stack[0].t0 ? t0 : tree.stack[0].t0;
            tree.stack[0].t1 = t1 < tree.stack[0].t1 ? t1 : tree.stack[0].t1;
            if (!TreeLineWalk(set, primitive, tree, report)) {
                return world;
            }
        }
        return world;
    }
    if (primitive.kind == Primitive::kNone) {
        return world;
    }
    const BBox box = primitive.kind == Primitive::kBox
                         ? primitive.box
                         : BoxAround(primitive.sphere.centre, primitive.sphere.radius);
    WorldSectorBoxIterator sectors;
    WorldSectorBoxIteratorInit(&sectors, world, &box);
    while (sectors.pending > 0) {
        current = WorldSectorBoxIteratorNext(&sectors);
        const TriangleSet set = SectorTriangles(current, offset);
        if (set.data && set.count > 0 && !TreeBoxWalk(set, primitive, report)) {
            return world;
        }
    }
    return world;
}

Geometry* GeometryForAllTriangleIntersections(Geometry* geometry, IntersectionQuery* query,
                                              IntersectionTriangleCallBack callBack, void* data)
{
    Primitive primitive = PrimitiveOf(query);
    GeometryWalk(GeometryTriangles(geometry), primitive, [&](TriangleHitInfo* hit, float distance) {
        return callBack(query, hit, distance, data) != nullptr;
    });
    return geometry;
}

Atomic* AtomicForAllIntersections(Atomic* atomic, IntersectionQuery* query,
                                  IntersectionTriangleCallBack callBack, void* data)
{
    Geometry* geometry = atomic->geometry;
    Frame* frame = AtomicGetFrame(atomic);
    if (!geometry || !frame || (geometry->format & kGeometryNative)) {
        return atomic;
    }
    Matrix inverse;
    MatrixInvert(&inverse, FrameGetLTM(frame));
    Primitive primitive = PrimitiveOf(query);
    if (primitive.kind == Primitive::kLine) {
        IntersectionLine line;
        V3dTransformPoint(&line.start, &query->t.line.start, &inverse);
        V3dTransformPoint(&line.end, &query->t.line.end, &inverse);
        primitive.line = LineSetupMake(line, nullptr);
    } else if (primitive.kind == Primitive::kSphere) {
        V3dTransformPoint(&primitive.sphere.centre, &primitive.sphere.centre, &inverse);
        primitive.sphere.radius *= VectorSqrt(Dot(inverse.at, inverse.at));
    } else {
        return atomic;
    }
    auto report = [&](TriangleHitInfo* hit, float distance) {
        return callBack(query, hit, distance, data) != nullptr;
    };
    if (geometry->numMorphTargets <= 1) {
        GeometryWalk(GeometryTriangles(geometry), primitive, report);
        return atomic;
    }
    // Morph walk: every triangle against interpolated vertices; targets
    // outside the geometry fall back to target 0.
    const AtomicInterpolator& morph = atomic->interpolator;
    const int32_t targets = geometry->numMorphTargets;
    const bool valid = morph.startMorphTarget < targets && morph.endMorphTarget < targets;
    const MorphTarget& start = geometry->morphTargets[valid ? morph.startMorphTarget : 0];
    const MorphTarget& end = geometry->morphTargets[valid ? morph.endMorphTarget : 0];
    const float f = morph.position * morph.recipTime;
    for (int32_t t = 0; t < geometry->numTriangles; ++t) {
        const GeometryTriangle& triangle = geometry->triangles[t];
        V3d temporaries[3];
        const V3d* v[3];
        for (int i = 0; i < 3; ++i) {
            const V3d& ps = start.vertices[triangle.vertex[i]];
            if (&start == &end) {
                v[i] = &ps;
                continue;
            }
            const V3d& pe = end.vertices[triangle.vertex[i]];
            temporaries[i] = {ps.x + (pe.x - ps.x) * f, ps.y + (pe.y - ps.y) * f, ps.z + (pe.z - ps.z) * f};
            v[i] = &temporaries[i];
        }
        float distance = 0.0f;
        bool hit;
        if (primitive.kind == Primitive::kLine) {
            hit = LineTriangleIntersect(&primitive.line.start, &primitive.line.direction, v[0], v[1], v[2],
                                        &distance) != 0;
        } else {
            V3d normal;
            hit = SphereTriangleIntersect(&primitive.sphere, v[0], v[1], v[2], &normal, &distance) != 0;
            distance *= InverseRadius(primitive.sphere.radius);
        }
        if (hit) {
            TriangleHitInfo info = HitOf(t, v);
            if (!report(&info, distance)) {
                break;
            }
        }
    }
    return atomic;
}
