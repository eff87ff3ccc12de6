#pragma once
// Atomics: one renderable instance of a Geometry placed by a Frame, with
// its bounding spheres, morph interpolator, render callback and pipeline,
// and its memberships in a clump, a world and the sectors it overlaps.

#include <cstdint>

#include "graphics/core/camera.h"
#include "graphics/core/linklist.h"
#include "graphics/core/object.h"

struct Atomic;
struct Clump;
struct Geometry;
struct Pipeline;
struct ResourcesEntry;

/// Atomic flags (ObjectHeader::flags).
constexpr uint8_t kAtomicCollisionTest = 0x01;
constexpr uint8_t kAtomicRender = 0x04;
/// Private flag: the world bounding sphere is out of date.
constexpr uint8_t kAtomicPrivateWorldBoundDirty = 0x01;
/// Interpolator flag: the object sphere must be re-interpolated.
constexpr uint32_t kAtomicInterpolatorDirty = 0x02;

using AtomicRenderCallBack = Atomic* (*)(Atomic* atomic);

struct AtomicInterpolator
{
    uint32_t flags;
    uint16_t startMorphTarget;
    uint16_t endMorphTarget;
    float time;      ///< duration
    float recipTime; ///< 1 / duration
    float position;
};

struct Atomic
{
    ObjectHasFrame object; ///< type 1
    ResourcesEntry* instanced;
    Geometry* geometry;         ///< one reference held
    Sphere boundingSphere;      ///< object space
    Sphere worldBoundingSphere; ///< valid while kAtomicPrivateWorldBoundDirty is clear
    Clump* clump;
    LinkList clumpLink;
    AtomicRenderCallBack renderCallBack;
    AtomicInterpolator interpolator;
    uint32_t renderFrame; ///< visit stamp of the render pass
    LinkList sectorTies;
    Pipeline* pipeline; ///< null: the default atomic pipeline
    // Atomic plug-in data follows (AtomicRegisterPlugin).
};

struct Frame;
struct FrameList;
struct Stream;

/// A clump's geometries while it is written or read: every atomic names
/// its geometry by its index here.
struct GeometryList
{
    Geometry** geometries;
    int32_t count;
};

/// New atomic: flags 5 (collision test, render), no frame, no geometry, no
/// clump, default render callback; null on failure.
Atomic* AtomicCreate();
/// Plug-in destructors, instanced data freed, geometry released, out of its
/// clump and off its frame, record freed. 1.
int32_t AtomicDestroy(Atomic* atomic);
/// A copy in no clump, world or frame sharing the geometry (one more
/// reference), with the source's flags, spheres, render callback, pipeline
/// and interpolator; null on failure.
Atomic* AtomicClone(const Atomic* atomic);
/// References the geometry (releasing the old one); unless bit 0 of `flags`
/// is set the object sphere becomes the geometry's first target's sphere.
/// The atomic.
Atomic* AtomicSetGeometry(Atomic* atomic, Geometry* geometry, uint32_t flags);
/// Attaches the atomic to a frame (null detaches) and marks its world
/// sphere out of date. The atomic.
Atomic* AtomicSetFrame(Atomic* atomic, Frame* frame);
inline Frame* AtomicGetFrame(const Atomic* atomic)
{
    return ObjectHasFrameGetFrame(&atomic->object);
}
/// Re-interpolates the object sphere between the interpolator's morph
/// targets (target 0 when either is outside the geometry) and marks the
/// world sphere out of date. The atomic.
Atomic* AtomicMorphBoundingSphere(Atomic* atomic);
/// The world-space bounding sphere, recomputed when the frame moved or the
/// sphere is out of date (radius scaled by the longest axis of a frame
/// that is not orthonormal). Needs a frame.
const Sphere* AtomicWorldBoundingSphere(Atomic* atomic);
/// Runs the atomic's pipeline, else the pipeline module's current atomic
/// pipeline; the atomic, or null when there is none or it fails.
Atomic* AtomicDefaultRender(Atomic* atomic);
/// The frame-sync callback: re-interpolates when asked, marks the world
/// sphere out of date. The atomic.
Atomic* AtomicSync(Atomic* atomic);
/// Pre-instances a one-target geometry into native form through one render
/// pass; 1, or 0 for a geometry of several targets.
int32_t AtomicInstance(Atomic* atomic);

/// Bytes of the chunk 0x14 body with the geometry inline.
uint32_t AtomicStreamGetSize(const Atomic* atomic);
/// Reads a chunk 0x14 body outside a clump (the geometry must be inline);
/// a new atomic or null with the first error recorded.
Atomic* AtomicStreamRead(Stream* stream);
/// Bytes of the chunk 0x14 body inside a clump: with a geometry list the
/// geometry is named by index, without one it is inline.
uint32_t AtomicStreamGetSizeInClump(const Atomic* atomic, const GeometryList* geometries);
/// Writes chunk 0x14 (header included) naming the frame and geometry by
/// their indices in the lists (no geometry list: geometry inline). The
/// atomic, or null (the frame or geometry missing from its list, a failed write).
const Atomic* AtomicStreamWriteInClump(const Atomic* atomic, Stream* stream, const FrameList* frames,
                                       const GeometryList* geometries);
/// Reads a chunk 0x14 body with the clump's lists (either may be empty);
/// indices outside the lists are refused with 0x8000001A.
Atomic* AtomicStreamReadInClump(Stream* stream, const FrameList* frames, const GeometryList* geometries);
