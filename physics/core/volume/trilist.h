#pragma once
// Triangle-list volumes (type 9): static scene geometry (a world, a world
// sector, an atomic or a geometry) colliding in place, without a copy. The
// volume names its triangle source and a query callback that lists the
// source's triangles near a box; the narrow phase asks the callback and
// tests each triangle as a triangle volume. Type-data words: the source,
// its kind, the callback.

#include <cstdint>

#include "physics/core/volume/triangle.h"
#include "physics/core/volume/volume.h"

extern const OlpVolumeDescriptor kOlpTrilistDescriptor;

/// What a triangle list draws its triangles from.
enum OlpTrilistKind : uint32_t
{
    kOlpTrilistWorld = 0,     ///< a World: bounds are its box
    kOlpTrilistSector = 1,    ///< a WorldSector: its box, triangles from its collision tree
    kOlpTrilistAtomic = 2,    ///< an Atomic: its world bounding sphere
    kOlpTrilistGeometry = 3,  ///< a Geometry: its first morph target's sphere
    kOlpTrilistUnbounded = 4, ///< no source: box +-10000, sphere of radius FLT_MAX
};

/// Query flags: the triangles came from an atomic or geometry query, or
/// from a sector's collision tree (their normals are not filled in).
constexpr uint32_t kOlpTrilistFromObject = 0x01;
constexpr uint32_t kOlpTrilistFromTree = 0x02;
/// A triangle record whose edge flags carry this bit is left out by the narrow phase.
constexpr uint64_t kOlpTrilistSkipTriangle = 0x10000;
/// Half extent of the box of an unbounded list.
constexpr float kOlpTrilistUnboundedExtent = 10000.0f;

/// The answer of a triangle query: the caller sets the array and its
/// capacity; the callback clears count and flags and appends.
struct OlpTrilistQuery
{
    OlpTriangleData* triangles;
    uint32_t count;
    uint32_t capacity;
    uint32_t flags;       ///< kOlpTrilistFromObject, kOlpTrilistFromTree
    const uint32_t* bits; ///< the source's per-triangle bits (4 per triangle), or null
};

/// Lists into `query` the triangles of the list's source that may touch
/// `box` (world coordinates; `matrix` is the list's placement, may be null),
/// stopping at the query's capacity. `word` is the caller's.
using OlpTrilistCallback = OlpTrilistQuery* (*)(const OlpVolume* volume, const Matrix* matrix,
                                                const OlpBBox* box, uintptr_t word, OlpTrilistQuery* query);

/// A new triangle list on `source` of `kind` with the default callback; null when the memory refuses.
OlpVolume* OlpTrilistCreate(void* source, uint32_t kind);
/// Initialises `volume` in place as a triangle list with the default callback.
OlpVolume* OlpTrilistInit(OlpVolume* volume, void* source, uint32_t kind);
/// Replaces the query callback (null restores the default).
OlpVolume* OlpTrilistSetCallback(OlpVolume* volume, OlpTrilistCallback callback);
OlpTrilistCallback OlpTrilistGetCallback(const OlpVolume* volume);
OlpVolume* OlpTrilistSetSource(OlpVolume* volume, void* source, uint32_t kind);
/// The source; its kind in `kind` when given.
void* OlpTrilistGetSource(const OlpVolume* volume, uint32_t* kind);
/// The callback installed by create and init: scene queries per kind.
OlpTrilistQuery* OlpTrilistDefaultQuery(const OlpVolume* volume, const Matrix* matrix, const OlpBBox* box,
                                        uintptr_t word, OlpTrilistQuery* query);
/// The 4-bit flags (face, then edges 01, 12, 20) of triangle `index` in a
/// per-triangle bit array; 0xF without one.
uint32_t OlpTrilistTriangleFlags(const uint32_t* bits, uint32_t index);
