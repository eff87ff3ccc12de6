#pragma once
// The triangle volume (type 4): one rounded triangle in world coordinates.
// It has no frame (descriptor flag 0x02): the words other types use for
// their frame hold the vertices, the plane offset and the normal.
//
// Feature ids: the face 0; edges AB 2, BC 4, CA 8; vertices A 10, B 6,
// C 12 (each vertex the union of its two edges).

#include <cstddef>
#include <cstdint>

#include "physics/core/volume/volume.h"

extern const OlpVolumeDescriptor kOlpTriangleDescriptor;

/// The triangle's view of an OlpVolume record.
struct OlpTriangleData
{
    V3d a;
    uint32_t frameFlags;
    V3d b;
    float planeOffset; ///< normal . a
    V3d c;
    uint32_t pad0;
    V3d normal; ///< (b - a) x (c - a) normalised; zero for a degenerate triangle
    uint32_t pad1;
    void* source; ///< the graphics object the triangle came from
    uint64_t index;
    uint64_t edgeFlags; ///< 4 bits, 0xF by default
};
static_assert(offsetof(OlpTriangleData, a) == offsetof(OlpVolume, frame.right));
static_assert(offsetof(OlpTriangleData, b) == offsetof(OlpVolume, frame.up));
static_assert(offsetof(OlpTriangleData, c) == offsetof(OlpVolume, frame.at));
static_assert(offsetof(OlpTriangleData, normal) == offsetof(OlpVolume, frame.pos));
static_assert(offsetof(OlpTriangleData, source) == offsetof(OlpVolume, data));
static_assert(offsetof(OlpTriangleData, edgeFlags) == offsetof(OlpVolume, data) + 2 * sizeof(OlpTypeWord));
static_assert(sizeof(OlpTriangleData) == offsetof(OlpVolume, margin));

/// The triangle fields of a triangle volume.
inline OlpTriangleData* OlpTriangleGetData(OlpVolume* volume)
{
    return reinterpret_cast<OlpTriangleData*>(volume);
}
inline const OlpTriangleData* OlpTriangleGetData(const OlpVolume* volume)
{
    return reinterpret_cast<const OlpTriangleData*>(volume);
}

/// A new triangle a, b, c; null when the memory refuses.
OlpVolume* OlpTriangleCreate(const V3d* a, const V3d* b, const V3d* c);
/// Initialises `volume` in place: vertices, normal, plane offset, source
/// null, index 0, edge flags 0xF.
OlpVolume* OlpTriangleInit(OlpVolume* volume, const V3d* a, const V3d* b, const V3d* c);
/// The triangle's unit normal (zero for a degenerate triangle).
const V3d* OlpTriangleGetNormal(const OlpVolume* volume);
