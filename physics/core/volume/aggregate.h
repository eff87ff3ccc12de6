#pragma once
// Aggregate volumes (type 8): one shape made of child volumes held in a
// shared, reference-counted child list. The narrow phase tests each child
// in the aggregate's frame.
//
// Usage: OlpAggChildrenCreate(n), initialise each OlpAggChildrenGetChild as
// any type, OlpAggChildrenUpdateBounds, OlpAggregateCreate(list), then give
// up the creator's reference with OlpAggChildrenRelease.

#include <cstdint>

#include "physics/core/volume/volume.h"

/// Children per list: counts at or above this are refused.
constexpr uint32_t kOlpAggMaxChildren = 10000;

/// Child-list flags.
constexpr uint32_t kOlpAggBoundsStale = 0x02; ///< bounds not computed yet
constexpr uint32_t kOlpAggBoxValid = 0x04;
constexpr uint32_t kOlpAggSphereValid = 0x08;

struct OlpAggChildren
{
    OlpVolume* children; ///< `count` records, 16-byte aligned
    uint32_t count;
    OlpBBox box; ///< union of the children's boxes, in the aggregate's frame
    OlpSphere sphere;
    float volume; ///< mass cache, -1 until computed
    V3d centre;
    OlpMassProperties mass;
    uint32_t refCount;
    uint32_t flags;
};

extern const OlpVolumeDescriptor kOlpAggregateDescriptor;

/// A list of `count` null children (count < 10000), one reference, flags
/// 0x02; null when the count is too large or the memory refuses.
OlpAggChildren* OlpAggChildrenCreate(uint32_t count);
uint32_t OlpAggChildrenGetCount(const OlpAggChildren* list);
/// Child i (i < count) for the caller to initialise as any type.
OlpVolume* OlpAggChildrenGetChild(OlpAggChildren* list, uint32_t i);
/// True for a list with children, fewer than 10000, and references.
bool OlpAggChildrenIsValid(const OlpAggChildren* list);
OlpAggChildren* OlpAggChildrenAddRef(OlpAggChildren* list);
/// Drops one reference; at zero releases every child and frees the list. 1.
int32_t OlpAggChildrenRelease(OlpAggChildren* list);
/// Recomputes the union box and sphere from the children (each through its
/// own frame); call after the children are set or changed.
OlpAggChildren* OlpAggChildrenUpdateBounds(OlpAggChildren* list);
/// The child support point farthest along `direction`, each pushed out by
/// its child's margin; null when no child has one.
V3d* OlpAggChildrenGetSupportPoint(const OlpAggChildren* list, const V3d* direction, V3d* out);

/// A new aggregate over `list` (referenced); null when the memory refuses.
OlpVolume* OlpAggregateCreate(OlpAggChildren* list);
/// Initialises `volume` in place as an aggregate over `list` (may be null).
OlpVolume* OlpAggregateInit(OlpVolume* volume, OlpAggChildren* list);
/// References `list`, then releases the previous one; 1.
int32_t OlpAggregateSetChildren(OlpVolume* volume, OlpAggChildren* list);
OlpAggChildren* OlpAggregateGetChildren(const OlpVolume* volume);
