#include "physics/core/volume/trilist.h"

#include "graphics/scene/atomic.h"
#include "graphics/scene/collision.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/intersection.h"
#include "graphics/scene/world.h"
#include "physics/core/utils/maths.h"
#include "physics/core/utils/vec3.h"
#include "physics/core/volume/mass.h"
#include "physics/refpair/refpair.h"

using namespace olp;

namespace {

void* Source(const OlpVolume* volume)
{
    return volume->data[0].p;
}

uint32_t Kind(const OlpVolume* volume)
{
    return volume->data[1].u;
}

OlpBBox FromSceneBox(const BBox& box)
{
    OlpBBox out{};
    out.max = box.sup;
    out.min = box.inf;
    return out;
}

BBox ToSceneBox(const OlpBBox& box)
{
    return {box.max, box.min};
}

/// The source's own sphere (kinds 2 and 3), without the margin.
bool SourceSphere(const OlpVolume* volume, OlpSphere* out)
{
    if (Source(volume) == nullptr) {
        return false;
    }
    if (Kind(volume) == kOlpTrilistAtomic) {
        auto* atomic = static_cast<Atomic*>(Source(volume));
        // The world sphere follows the frame; an atomic without one has only its own.
        const Sphere* sphere =
            AtomicGetFrame(atomic) != nullptr ? AtomicWorldBoundingSphere(atomic) : &atomic->boundingSphere;
        *out = {sphere->centre, sphere->radius};
        return true;
    }
    auto* geometry = static_cast<const Geometry*>(Source(volume));
    if (geometry->numMorphTargets < 1 || geometry->morphTargets == nullptr) {
        return false;
    }
    const Sphere& sphere = geometry->morphTargets[0].boundingSphere;
    *out = {sphere.centre, sphere.radius};
    return true;
}

/// The box of kinds 0 and 1, without the margin.
bool SourceBox(const OlpVolume* volume, OlpBBox* out)
{
    if (Source(volume) == nullptr) {
        return false;
    }
    if (Kind(volume) == kOlpTrilistWorld) {
        *out = FromSceneBox(static_cast<const World*>(Source(volume))->boundingBox);
    } else {
        *out = FromSceneBox(static_cast<const WorldSector*>(Source(volume))->boundingBox);
    }
    return true;
}

OlpSphere* TrilistBoundingSphere(const OlpVolume* volume, OlpSphere* out)
{
    switch (Kind(volume)) {
    case kOlpTrilistWorld:
    case kOlpTrilistSector: {
        OlpBBox box;
        if (!SourceBox(volume, &box)) {
            return nullptr;
        }
        OlpSphereFromBBox(out, &box);
        break;
    }
    case kOlpTrilistAtomic:
    case kOlpTrilistGeometry:
        if (!SourceSphere(volume, out)) {
            return nullptr;
        }
        break;
    case kOlpTrilistUnbounded:
        *out = {{0.0f, 0.0f, 0.0f}, kOlpFloatMax};
        return out;
    default:
        return nullptr;
    }
    out->radius += volume->margin;
    return out;
}

float TrilistMass(const OlpVolume* volume, OlpMassProperties* out, V3d* centre)
{
    return OlpVolumeMassPropertiesFromBBoxEstimate(volume, out, centre);
}

OlpBBox* TrilistBoundingBox(const OlpVolume* volume, const Matrix* matrix, int32_t, OlpBBox* out)
{
    switch (Kind(volume)) {
    case kOlpTrilistWorld:
    case kOlpTrilistSector:
        if (!SourceBox(volume, out)) {
            return nullptr;
        }
        if (matrix != nullptr) {
            OlpBBoxTransform(out, out, matrix);
        }
        return OlpBBoxGrow(out, out, volume->margin, 1.0f);
    case kOlpTrilistAtomic:
    case kOlpTrilistGeometry: {
        OlpSphere sphere;
        if (!SourceSphere(volume, &sphere)) {
            return nullptr;
        }
        V3d centre = sphere.centre;
        if (matrix != nullptr) {
            centre = centre + matrix->pos;
        }
        float reach = sphere.radius + volume->margin;
        *out = {};
        out->max = centre + V3d{reach, reach, reach};
        out->min = centre - V3d{reach, reach, reach};
        return out;
    }
    case kOlpTrilistUnbounded: {
        const float e = kOlpTrilistUnboundedExtent;
        *out = {};
        out->max = {e, e, e};
        out->min = {-e, -e, -e};
        return out;
    }
    default:
        return nullptr;
    }
}

// A triangle list has no support point: the out pointer comes back untouched.
V3d* TrilistSupportPoint(const OlpVolume*, const V3d*, V3d* out)
{
    return out;
}

OlpSupportFeature* TrilistSupportFeature(const OlpVolume*, int32_t, const V3d*, OlpSupportFeature*)
{
    return nullptr;
}

int32_t TrilistSeparatingAxes(const OlpVolume*, const Matrix*, OlpFaceAxis*, V3d*)
{
    return 0;
}

int32_t TrilistProjection(const OlpVolume* volume, const V3d* axis, float* min, float* max)
{
    OlpSphere sphere;
    if (TrilistBoundingSphere(volume, &sphere) == nullptr) {
        return 0;
    }
    float middle = Dot(sphere.centre, *axis);
    *min = middle - sphere.radius;
    *max = middle + sphere.radius;
    return 1;
}

float TrilistThickness(const OlpVolume* volume)
{
    OlpSphere sphere;
    if (TrilistBoundingSphere(volume, &sphere) == nullptr) {
        return 0.0f;
    }
    return sphere.radius > volume->margin ? 0.5f * (sphere.radius - volume->margin) : 0.5f * sphere.radius;
}

int32_t TrilistLineIntersect(const OlpVolume*, const V3d*, const V3d*, OlpLineResult*)
{
    return 0;
}

int32_t TrilistDestroy(OlpVolume* volume)
{
    volume->data[0].p = nullptr;
    return 1;
}

/// Appends one triangle; false once the record is full.
bool Append(OlpTrilistQuery* query, const V3d* const v[3], const V3d& normal, void* source, uint32_t index)
{
    if (query->count >= query->capacity) {
        return false;
    }
    OlpTriangleData& t = query->triangles[query->count++];
    t = {};
    t.a = *v[0];
    t.b = *v[1];
    t.c = *v[2];
    t.normal = normal;
    t.planeOffset = Dot(normal, t.a);
    t.source = source;
    t.index = index;
    t.edgeFlags = OlpTrilistTriangleFlags(query->bits, index);
    return query->count < query->capacity;
}

/// The words of an edge-data block, or null.
const uint32_t* Bits(const OlpRefPair* block)
{
    return block != nullptr ? block->words : nullptr;
}

WorldSector* WorldTriangle(IntersectionQuery*, WorldSector* sector, TriangleHitInfo* hit, float, void* data)
{
    auto* query = static_cast<OlpTrilistQuery*>(data);
    // Every sector brings its own bits.
    query->bits = Bits(OlpRefPairGetA(sector));
    return Append(query, hit->vertex, hit->normal, sector, uint32_t(hit->index)) ? sector : nullptr;
}

TriangleHitInfo* ObjectTriangle(IntersectionQuery*, TriangleHitInfo* hit, float, void* data)
{
    auto* query = static_cast<OlpTrilistQuery*>(data);
    return Append(query, hit->vertex, hit->normal, nullptr, uint32_t(hit->index)) ? hit : nullptr;
}

void QuerySector(WorldSector* sector, const OlpBBox& box, OlpTrilistQuery* query)
{
    query->flags |= kOlpTrilistFromTree;
    query->bits = Bits(OlpRefPairGetA(sector));
    const CollisionData* tree = WorldSectorGetCollisionData(sector);
    if (tree == nullptr || query->capacity == 0) {
        return;
    }
    const BBox sceneBox = ToSceneBox(box);
    const V3d zero{0.0f, 0.0f, 0.0f};
    CollisionTreeBoxIterator iterator;
    CollisionTreeBoxIteratorInit(&iterator, tree, &sceneBox, &sceneBox);
    while (iterator.pending > 0) {
        uint16_t first;
        uint16_t count;
        uint32_t mask;
        CollisionTreeBoxIteratorNext(&iterator, &first, &count, &mask);
        for (uint32_t p = first; p < uint32_t(first) + count; ++p) {
            uint32_t index = tree->remap != nullptr ? tree->remap[p] : p;
            if (index >= sector->numTriangles) {
                continue;
            }
            const WorldSectorTriangle& triangle = sector->triangles[index];
            const V3d* v[3] = {&sector->vertices[triangle.vertex[0]], &sector->vertices[triangle.vertex[1]],
                               &sector->vertices[triangle.vertex[2]]};
            // Leaves only partly inside the box are tested triangle by triangle.
            if (mask != 0 && BoxTriangleIntersect(&sceneBox, v[0], v[1], v[2]) == 0) {
                continue;
            }
            if (!Append(query, v, zero, sector, index)) {
                return;
            }
        }
    }
}

} // namespace

const OlpVolumeDescriptor kOlpTrilistDescriptor = {
    kOlpTypeTrilist,
    TrilistDestroy,
    TrilistBoundingSphere,
    TrilistMass,
    TrilistBoundingBox,
    TrilistSupportPoint,
    TrilistSupportFeature,
    TrilistSeparatingAxes,
    TrilistProjection,
    TrilistThickness,
    TrilistLineIntersect,
    nullptr,
    nullptr,
    "OlpTrilist",
    0,
    2,
    kOlpAxisCountNone,
    kOlpAxisCountNone,
    kOlpAxisCountNone,
    kOlpVolumeCompound | kOlpVolumeWorldQuery,
};

uint32_t OlpTrilistTriangleFlags(const uint32_t* bits, uint32_t index)
{
    if (bits == nullptr) {
        return 0xF;
    }
    // Four bits per triangle never straddle a word.
    return (bits[index / 8] >> ((index % 8) * 4)) & 0xF;
}

OlpTrilistQuery* OlpTrilistDefaultQuery(const OlpVolume* volume, const Matrix* matrix, const OlpBBox* box,
                                        uintptr_t, OlpTrilistQuery* query)
{
    query->count = 0;
    query->flags = 0;
    query->bits = nullptr;
    void* source = Source(volume);
    if (source == nullptr) {
        return query;
    }
    switch (Kind(volume)) {
    case kOlpTrilistWorld: {
        if (query->capacity == 0) {
            break;
        }
        IntersectionQuery scene{};
        scene.type = kIntersectionBox;
        scene.t.box = ToSceneBox(*box);
        WorldForAllTriangleIntersections(static_cast<World*>(source), &scene, WorldTriangle, query);
        break;
    }
    case kOlpTrilistSector:
        QuerySector(static_cast<WorldSector*>(source), *box, query);
        break;
    case kOlpTrilistAtomic: {
        query->flags |= kOlpTrilistFromObject;
        auto* atomic = static_cast<Atomic*>(source);
        query->bits = atomic->geometry != nullptr ? Bits(OlpRefPairGetB(atomic->geometry)) : nullptr;
        if (query->capacity == 0) {
            break;
        }
        OlpSphere sphere;
        OlpSphereFromBBox(&sphere, box);
        IntersectionQuery scene{};
        scene.type = kIntersectionSphere;
        scene.t.sphere = {sphere.centre, sphere.radius};
        AtomicForAllIntersections(atomic, &scene, ObjectTriangle, query);
        break;
    }
    case kOlpTrilistGeometry: {
        query->flags |= kOlpTrilistFromObject;
        auto* geometry = static_cast<Geometry*>(source);
        query->bits = Bits(OlpRefPairGetB(geometry));
        if (query->capacity == 0) {
            break;
        }
        OlpBBox local = *box;
        if (matrix != nullptr) {
            OlpBBoxInverseTransform(&local, box, matrix);
        }
        IntersectionQuery scene{};
        scene.type = kIntersectionBox;
        scene.t.box = ToSceneBox(local);
        GeometryForAllTriangleIntersections(geometry, &scene, ObjectTriangle, query);
        break;
    }
    default:
        break;
    }
    return query;
}

OlpVolume* OlpTrilistInit(OlpVolume* volume, void* source, uint32_t kind)
{
    OlpVolumeInit(volume, &kOlpTrilistDescriptor);
    volume->data[0].p = source;
    volume->data[1].p = nullptr;
    volume->data[1].u = kind;
    volume->data[2].p = reinterpret_cast<void*>(&OlpTrilistDefaultQuery);
    return volume;
}

OlpVolume* OlpTrilistCreate(void* source, uint32_t kind)
{
    OlpVolume* volume = OlpVolumeAllocate();
    return volume != nullptr ? OlpTrilistInit(volume, source, kind) : nullptr;
}

OlpVolume* OlpTrilistSetCallback(OlpVolume* volume, OlpTrilistCallback callback)
{
    volume->data[2].p = reinterpret_cast<void*>(callback != nullptr ? callback : &OlpTrilistDefaultQuery);
    return volume;
}

OlpTrilistCallback OlpTrilistGetCallback(const OlpVolume* volume)
{
    return reinterpret_cast<OlpTrilistCallback>(volume->data[2].p);
}

OlpVolume* OlpTrilistSetSource(OlpVolume* volume, void* source, uint32_t kind)
{
    volume->data[0].p = source;
    volume->data[1].p = nullptr;
    volume->data[1].u = kind;
    return volume;
}

void* OlpTrilistGetSource(const OlpVolume* volume, uint32_t* kind)
{
    if (kind != nullptr) {
        *kind = Kind(volume);
    }
    return Source(volume);
}
