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
