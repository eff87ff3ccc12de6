// Atomic queries: the atomics of a world whose world spheres a primitive
// touches, found through the sectors they are tied to; the pixel ray of a
// camera and the nearest atomic along a segment.
#include <cassert>

#include "graphics/core/engine.h"
#include "graphics/core/frame.h"
#include "graphics/core/raster.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/collision.h"
#include "graphics/scene/intersection.h"
#include "graphics/scene/intersectionprivate.h"
#include "graphics/scene/sceneplugins.h"
#include "graphics/scene/world.h"
#include "graphics/scene/worldmembers.h"

namespace {

// Set while an atomic walk runs: a nested walk would advance the counter
// and let the outer one report an atomic twice.
bool gWalking = false;

V3d Sub(const V3d& a, const V3d& b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

float Dot(const V3d& a, const V3d& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

struct AtomicWalk
{
    IntersectionQuery* query;
    IntersectionAtomicCallBack callBack;
    void* data;
    uint32_t counter;
    LineSetup line;
    Sphere sphere;
    BBox box;
    WorldSector* sector;
    bool stopped;
};

// The sphere test of one candidate; true on a hit with its distance.
bool Touches(const AtomicWalk& walk, const Sphere& target, float* distance)
{
    switch (walk.query->type) {
    case kIntersectionLine: {
        const V3d& d = walk.line.direction;
        const float l = Dot(d, d);
        const V3d w = Sub(target.centre, walk.line.start);
        const float b = Dot(w, d);
        const V3d lw = {l * w.x - b * d.x, l * w.y - b * d.y, l * w.z - b * d.z};
        const float disc = target.radius * target.radius * l - Dot(lw, w);
        const bool hit = disc >= 0.0f && ((0.0f <= b && b <= l) || (b > l && (b - l) * (b - l) <= disc) ||
                                          (b < 0.0f && b * b <= disc));
        *distance = l > 0.0f ? b / l : 0.0f;
        return hit;
    }
    case kIntersectionBox: {
        float sum = 0.0f;
        for (int k = 0; k < 3; ++k) {
            const float c = Axis(target.centre, k);
            const float below = Axis(walk.box.inf, k) - c;
            const float above = c - Axis(walk.box.sup, k);
            const float gap = below > 0.0f ? below : above > 0.0f ? above : 0.0f;
            sum += gap * gap;
        }
        *distance = 0.0f;
        return sum <= target.radius * target.radius;
    }
    default: {
        const V3d offset = Sub(walk.sphere.centre, target.centre);
        const float d2 = Dot(offset, offset);
        const float reach = target.radius + walk.sphere.radius;
        const float s2 = reach * reach;
        *distance = s2 > 0.0f ? VectorSqrt(d2 / s2) : 0.0f;
        return d2 <= s2;
    }
    }
}

Atomic* VisitAtomic(Atomic* atomic, void* context)
{
    auto* walk = static_cast<AtomicWalk*>(context);
    uint32_t* stamp = AtomicCollisionStamp(atomic);
    if ((walk->query->type == kIntersectionAtomic && atomic == walk->query->t.atomic) ||
        *stamp == walk->counter || !(atomic->object.object.flags & kAtomicCollisionTest)) {
        return atomic;
    }
    *stamp = walk->counter;
    float distance = 0.0f;
    if (!Touches(*walk, *AtomicWorldBoundingSphere(atomic), &distance)) {
        return atomic;
    }
    if (!walk->callBack(walk->query, walk->sector, atomic, distance, walk->data)) {
        walk->stopped = true;
        return nullptr;
    }
    return atomic;
}

void VisitSector(AtomicWalk* walk, WorldSector* sector)
{
    walk->sector = sector;
    WorldSectorForAllAtomics(sector, VisitAtomic, walk);
}

} // namespace

World* WorldForAllAtomicIntersections(World* world, IntersectionQuery* query,
                                      IntersectionAtomicCallBack callBack, void* data)
{
    FrameSyncDirty();
    // The stamps live in the collision plug-in's data.
    if (EngineGetPluginOffset(kPluginIdCollision) < 0 || AtomicGetPluginOffset(kPluginIdCollision) < 0) {
        return world;
    }
    assert(!gWalking && "atomic walks do not nest");
    AtomicWalk walk = {query, callBack, data, ++*CollisionQueryCounter(), {}, {}, {}, nullptr, false};
    gWalking = true;
    switch (query->type) {
    case kIntersectionLine: {
        walk.line = LineSetupMake(query->t.line, nullptr);
        WorldSectorLineIterator iterator;
        WorldSectorLineIteratorInit(&iterator, world, &query->t.line, nullptr);
        while (iterator.pending > 0 && !walk.stopped) {
            VisitSector(&walk, WorldSectorLineIteratorNext(&iterator));
        }
        break;
    }
    case kIntersectionBox: {
        walk.box = query->t.box;
        WorldSectorBoxIterator iterator;
        WorldSectorBoxIteratorInit(&iterator, world, &walk.box);
        while (iterator.pending > 0 && !walk.stopped) {
            VisitSector(&walk, WorldSectorBoxIteratorNext(&iterator));
        }
        break;
    }
    case kIntersectionPoint:
    case kIntersectionSphere:
    case kIntersectionAtomic: {
        walk.sphere = query->type == kIntersectionPoint    ? Sphere{query->t.point, 0.0f}
                      : query->type == kIntersectionSphere ? query->t.sphere
                                                           : *AtomicWorldBoundingSphere(query->t.atomic);
        const Sphere& s = walk.sphere;
        const BBox box = {{s.centre.x + s.radius, s.centre.y + s.radius, s.centre.z + s.radius},
                          {s.centre.x - s.radius, s.centre.y - s.radius, s.centre.z - s.radius}};
        WorldSectorBoxIterator iterator;
        WorldSectorBoxIteratorInit(&iterator, world, &box);
        while (iterator.pending > 0 && !walk.stopped) {
            WorldSector* sector = WorldSectorBoxIteratorNext(&iterator);
            // The sector's cell must come within the radius of the centre.
            float gap = 0.0f;
            for (int k = 0; k < 3; ++k) {
                const float c = Axis(s.centre, k);
                const float low = Axis(sector->boundingBox.inf, k);
                const float high = Axis(sector->boundingBox.sup, k);
                const float d = c < low ? low - c : c > high ? c - high : 0.0f;
                gap += d * d;
            }
            if (gap <= s.radius * s.radius) {
                VisitSector(&walk, sector);
            }
        }
        break;
    }
    default:
        break;
    }
    gWalking = false;
    return world;
}

void CameraCalcPixelRay(const Camera* camera, IntersectionLine* line, const V2d* pixel)
{
    const Raster* raster = camera->frameBuffer;
    // Without a frame buffer (or of no size) the ray runs through the view centre.
    float fx = 0.5f;
    float fy = 0.5f;
    if (raster && raster->width > 0 && raster->height > 0) {
        fx = pixel->x / float(raster->width);
        fy = pixel->y / float(raster->height);
    }
    auto through = [&](const V3d* c) {
        const V3d top = {c[0].x + (c[1].x - c[0].x) * fx, c[0].y + (c[1].y - c[0].y) * fx,
                         c[0].z + (c[1].z - c[0].z) * fx};
        const V3d bottom = {c[3].x + (c[2].x - c[3].x) * fx, c[3].y + (c[2].y - c[3].y) * fx,
                            c[3].z + (c[2].z - c[3].z) * fx};
        return V3d{top.x + (bottom.x - top.x) * fy, top.y + (bottom.y - top.y) * fy,
                   top.z + (bottom.z - top.z) * fy};
    };
    line->start = through(&camera->frustumCorners[0]);
    line->end = through(&camera->frustumCorners[4]);
}

Atomic* NearestAtomicCallBack(IntersectionQuery*, WorldSector* sector, Atomic* atomic, float distance,
                              void* data)
{
    auto* state = static_cast<NearestAtomicState*>(data);
    if (state->atomic && state->sector != sector) {
        return nullptr;
    }
    if (state->atomic && state->distance <= distance) {
        return atomic;
    }
    *state = {atomic, distance, sector};
    return atomic;
}

Atomic* WorldFindNearestAtomicOnLine(World* world, const IntersectionLine* line)
{
    IntersectionQuery query;
    query.t.line = *line;
    query.type = kIntersectionLine;
    NearestAtomicState state = {nullptr, 0.0f, nullptr};
    WorldForAllAtomicIntersections(world, &query, NearestAtomicCallBack, &state);
    return state.atomic;
}
