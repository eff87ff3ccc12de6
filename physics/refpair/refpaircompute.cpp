// Computing the edge data: each triangle against the triangles near its
// incircle, clearing the edges shared at flat or convex creases and the
// faces hidden behind a neighbour.
#include <algorithm>

#include "graphics/scene/geometry.h"
#include "graphics/scene/intersection.h"
#include "graphics/scene/world.h"
#include "physics/core/utils/maths.h"
#include "physics/core/utils/vec3.h"
#include "physics/refpair/refpair.h"

using namespace olp;

namespace {

/// One triangle being computed and where its bits live.
struct Subject
{
    const V3d* v[3];
    V3d normal;
    float tolerance;
    const void* sector; ///< the sector of a world triangle (to skip itself); null for geometries
    uint32_t index;
    uint32_t* words;
};

void ClearBit(uint32_t* words, uint32_t bit)
{
    words[bit / 32] &= ~(1u << (bit % 32));
}

bool BitSet(const uint32_t* words, uint32_t bit)
{
    return (words[bit / 32] >> (bit % 32) & 1u) != 0;
}

bool Near(const V3d& a, const V3d& b, float tolerance)
{
    return LengthSq(a - b) <= tolerance * tolerance;
}

V3d UnitNormal(const V3d* const v[3])
{
    V3d normal = Cross(*v[1] - *v[0], *v[2] - *v[0]);
    OlpVecNormalize(&normal, &normal);
    return normal;
}

/// Compares the subject with one neighbour T.
void Neighbour(Subject& s, const V3d* const t[3])
{
    const V3d nT = UnitNormal(t);
    // k = e . (nS x nT) is positive where the crease turns away from the
    // subject's front (a convex ridge) with the scene's outward normals
    // (V1 - V0) x (V2 - V0) and edges running round them.
    const V3d c = Cross(s.normal, nT);
    const float d = Dot(s.normal, nT);
    const uint32_t base = 4 * s.index;
    for (uint32_t i = 0; i < 3; ++i) {
        const V3d& p0 = *s.v[i];
        const V3d& p1 = *s.v[(i + 1) % 3];
        bool shared = false;
        for (uint32_t j = 0; j < 3 && !shared; ++j) {
            const V3d& q0 = *t[j];
            const V3d& q1 = *t[(j + 1) % 3];
            shared = (Near(p0, q0, s.tolerance) && Near(p1, q1, s.tolerance)) ||
                     (Near(p0, q1, s.tolerance) && Near(p1, q0, s.tolerance));
        }
        if (!shared) {
            continue;
        }
        V3d e = p1 - p0;
        OlpVecNormalize(&e, &e);
        const float k = Dot(e, c);
        if (k > 0.0f || (k > -0.2f && d > 0.5f)) {
            ClearBit(s.words, base + 1 + i);
        } else if (k < 0.0f && d < -0.2f) {
            ClearBit(s.words, base);
        }
        if (d > -0.99f) {
            break;
        }
    }
    // A neighbour facing the other way with the subject in front of it hides the face.
    if (d < -0.99f && BitSet(s.words, base) && Dot(*t[0] - *s.v[0], s.normal) <= 0.0f) {
        ClearBit(s.words, base);
    }
}

/// The query sphere of the subject: its incircle, grown.
Sphere QuerySphere(Subject& s)
{
    OlpSphere incircle;
    const float longest = OlpMathTriangleIncircle(&incircle, s.v[0], s.v[1], s.v[2]);
    s.normal = UnitNormal(s.v);
    s.tolerance = 0.1f * incircle.radius;
    return {incircle.centre, std::max(1.2f * incircle.radius, 0.05f * longest)};
}

WorldSector* WorldNeighbour(IntersectionQuery*, WorldSector* sector, TriangleHitInfo* hit, float, void* data)
{
    auto* s = static_cast<Subject*>(data);
    if (sector != s->sector || uint32_t(hit->index) != s->index) {
        Neighbour(*s, hit->vertex);
    }
    return sector;
}

TriangleHitInfo* GeometryNeighbour(IntersectionQuery*, TriangleHitInfo* hit, float, void* data)
{
    auto* s = static_cast<Subject*>(data);
    if (uint32_t(hit->index) != s->index) {
        Neighbour(*s, hit->vertex);
    }
    return hit;
}

WorldSector* CreateBlock(WorldSector* sector, void* data)
{
    if (OlpRefPairCreateSector(sector) == nullptr) {
        *static_cast<bool*>(data) = false;
        return nullptr;
    }
    return sector;
}

WorldSector* ComputeBlock(WorldSector* sector, void* data)
{
    if (OlpRefPairComputeA(sector) == nullptr) {
        *static_cast<bool*>(data) = false;
        return nullptr;
    }
    return sector;
}

} // namespace

WorldSector* OlpRefPairComputeA(WorldSector* sector)
{
    OlpRefPair* block = OlpRefPairGetA(sector);
    if (block == nullptr) {
        return nullptr;
    }
    World* world = WorldSectorGetWorld(sector);
    for (uint32_t t = 0; t < sector->numTriangles && world != nullptr; ++t) {
        const WorldSectorTriangle& triangle = sector->triangles[t];
        Subject s = {{&sector->vertices[triangle.vertex[0]], &sector->vertices[triangle.vertex[1]],
                      &sector->vertices[triangle.vertex[2]]},
                     {},
                     0.0f,
                     sector,
                     t,
                     block->words};
        IntersectionQuery query{};
        query.type = kIntersectionSphere;
        query.t.sphere = QuerySphere(s);
        WorldForAllTriangleIntersections(world, &query, WorldNeighbour, &s);
    }
    return sector;
}

Geometry* OlpRefPairComputeB(Geometry* geometry)
{
    OlpRefPair* block = OlpRefPairGetB(geometry);
    if (block == nullptr || geometry->numMorphTargets < 1) {
        return nullptr;
    }
    const V3d* vertices = geometry->morphTargets[0].vertices;
    for (int32_t t = 0; t < geometry->numTriangles; ++t) {
        const GeometryTriangle& triangle = geometry->triangles[t];
        Subject s = {
            {&vertices[triangle.vertex[0]], &vertices[triangle.vertex[1]], &vertices[triangle.vertex[2]]},
            {},
            0.0f,
            nullptr,
            uint32_t(t),
            block->words};
        IntersectionQuery query{};
        query.type = kIntersectionSphere;
        query.t.sphere = QuerySphere(s);
        GeometryForAllTriangleIntersections(geometry, &query, GeometryNeighbour, &s);
    }
    return geometry;
}

Geometry* OlpRefPairComputeGeometry(Geometry* geometry)
{
    return OlpRefPairCreateGeometry(geometry) != nullptr ? OlpRefPairComputeB(geometry) : nullptr;
}

World* OlpRefPairPrepareWorld(World* world)
{
    // Every block exists before any is computed: neighbours in other sectors are read, not written.
    bool ok = true;
    WorldForAllSectors(world, CreateBlock, &ok);
    if (ok) {
        WorldForAllSectors(world, ComputeBlock, &ok);
    }
    return ok ? world : nullptr;
}
