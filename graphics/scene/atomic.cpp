// Atomics: creation, cloning, geometry and frame, bounding spheres, the
// default render callback and pre-instancing.
#include "graphics/scene/atomic.h"

#include <cstring>

#include "graphics/core/error.h"
#include "graphics/core/frame.h"
#include "graphics/core/matrix.h"
#include "graphics/core/memory.h"
#include "graphics/core/pipeline.h"
#include "graphics/core/resources.h"
#include "graphics/core/vector.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/scenemodules.h"
#include "graphics/scene/sceneplugins.h"
#include "graphics/scene/worldprivate.h"

namespace {

constexpr uint32_t kHintAtomic = 0x30014;
constexpr uint32_t kInterpolatorInitial = 3;

FreeList* AtomicFreeList()
{
    return SceneModuleData<AtomicModuleData>(kSceneModuleAtomic)->atomics;
}

void SyncAtomic(void* atomic)
{
    AtomicSync(static_cast<Atomic*>(atomic));
}

void InitialiseRecord(Atomic* atomic)
{
    atomic->object.object = {kObjectTypeAtomic, 0, kAtomicCollisionTest | kAtomicRender,
                             kAtomicPrivateWorldBoundDirty, nullptr};
    LinkListInit(&atomic->object.frameLink);
    atomic->object.sync = SyncAtomic;
    atomic->instanced = nullptr;
    atomic->geometry = nullptr;
    atomic->boundingSphere = {{0.0f, 0.0f, 0.0f}, 0.0f};
    atomic->worldBoundingSphere = atomic->boundingSphere;
    atomic->clump = nullptr;
    atomic->clumpLink = {nullptr, nullptr};
    atomic->renderCallBack = AtomicDefaultRender;
    atomic->interpolator = {kInterpolatorInitial, 0, 0, 1.0f, 1.0f, 0.0f};
    atomic->renderFrame = uint32_t(uint16_t(EngineGetInstance()->renderFrame - 1));
    LinkListInit(&atomic->sectorTies);
    atomic->pipeline = nullptr;
}

} // namespace

Atomic* AtomicCreate()
{
    auto* atomic = static_cast<Atomic*>(MemoryFreeListAlloc(AtomicFreeList(), kHintAtomic));
    if (!atomic) {
        SceneError(ErrorCode(kErrorOutOfMemory, AtomicGetPluginRegistry()->objectSize));
        return nullptr;
    }
    InitialiseRecord(atomic);
    if (!PluginRegistryConstruct(AtomicGetPluginRegistry(), atomic)) {
        MemoryFreeListFree(AtomicFreeList(), atomic);
        return nullptr;
    }
    return atomic;
}

int32_t AtomicDestroy(Atomic* atomic)
{
    // The frame's other objects see the change at the next sync.
    if (AtomicGetWorldData(atomic)->world && AtomicGetFrame(atomic)) {
        FrameUpdateObjects(AtomicGetFrame(atomic));
    }
    PluginRegistryDestruct(AtomicGetPluginRegistry(), atomic);
    if (atomic->instanced) {
        ResourcesFreeEntry(atomic->instanced);
    }
    if (atomic->geometry) {
        GeometryRelease(atomic->geometry);
    }
    // A member destroyed on its own leaves its clump, which would otherwise
    // keep a freed atomic in its list.
    if (atomic->clump) {
        LinkListRemove(&atomic->clumpLink);
        atomic->clump = nullptr;
    }
    ObjectHasFrameReleaseFrame(&atomic->object);
    MemoryFreeListFree(AtomicFreeList(), atomic);
    return 1;
}

Atomic* AtomicClone(const Atomic* source)
{
    Atomic* atomic = AtomicCreate();
    if (!atomic) {
        return nullptr;
    }
    atomic->object.object.type = source->object.object.type;
    atomic->object.object.subType = source->object.object.subType;
    atomic->object.object.flags = source->object.object.flags;
    atomic->object.object.privateFlags = source->object.object.privateFlags;
    if (source->geometry) {
        atomic->geometry = GeometryAddRef(source->geometry);
    }
    atomic->boundingSphere = source->boundingSphere;
    atomic->renderCallBack = source->renderCallBack;
    atomic->pipeline = source->pipeline;
    atomic->interpolator = source->interpolator;
    PluginRegistryCopy(AtomicGetPluginRegistry(), atomic, source);
    return atomic;
}

Atomic* AtomicSetGeometry(Atomic* atomic, Geometry* geometry, uint32_t flags)
{
    if (geometry == atomic->geometry) {
        return atomic;
    }
    if (geometry) {
        GeometryAddRef(geometry);
    }
    if (atomic->geometry) {
        GeometryRelease(atomic->geometry);
    }
    atomic->geometry = geometry;
    if (!(flags & 1) && geometry) {
        atomic->boundingSphere = geometry->morphTargets[0].boundingSphere;
        atomic->object.object.privateFlags |= kAtomicPrivateWorldBoundDirty;
        // A new size redoes the sector ties.
        if (AtomicGetWorldData(atomic)->world && AtomicGetFrame(atomic)) {
            FrameUpdateObjects(AtomicGetFrame(atomic));
        }
    }
    return atomic;
}

Atomic* AtomicSetFrame(Atomic* atomic, Frame* frame)
{
    ObjectHasFrameSetFrame(&atomic->object, frame);
    atomic->object.object.privateFlags |= kAtomicPrivateWorldBoundDirty;
    return atomic;
}

Atomic* AtomicMorphBoundingSphere(Atomic* atomic)
{
    const Geometry* geometry = atomic->geometry;
    if (!geometry) {
        return atomic;
    }
    AtomicInterpolator& morph = atomic->interpolator;
    const int32_t targets = geometry->numMorphTargets;
    const bool startValid = morph.startMorphTarget < targets;
    const bool endValid = morph.endMorphTarget < targets;
    if (morph.startMorphTarget == morph.endMorphTarget || !startValid || !endValid) {
        const int32_t chosen = startValid && endValid ? morph.startMorphTarget : 0;
        atomic->boundingSphere = geometry->morphTargets[chosen].boundingSphere;
    } else {
        const Sphere& start = geometry->morphTargets[morph.startMorphTarget].boundingSphere;
        const Sphere& end = geometry->morphTargets[morph.endMorphTarget].boundingSphere;
        const float t = morph.position * morph.recipTime;
        atomic->boundingSphere = {{start.centre.x + (end.centre.x - start.centre.x) * t,
                                   start.centre.y + (end.centre.y - start.centre.y) * t,
                                   start.centre.z + (end.centre.z - start.centre.z) * t},
                                  start.radius + (end.radius - start.radius) * t};
    }
    morph.flags &= ~kAtomicInterpolatorDirty;
    atomic->object.object.privateFlags |= kAtomicPrivateWorldBoundDirty;
    return atomic;
}

const Sphere* AtomicWorldBoundingSphere(Atomic* atomic)
{
    if (atomic->interpolator.flags & kAtomicInterpolatorDirty) {
        AtomicMorphBoundingSphere(atomic);
    }
    Frame* frame = AtomicGetFrame(atomic);
    if (!frame) {
        // Without a frame the atomic stands at the origin, unrotated.
        atomic->worldBoundingSphere = atomic->boundingSphere;
        return &atomic->worldBoundingSphere;
    }
    if (FrameDirty(frame) == 0 && !(atomic->object.object.privateFlags & kAtomicPrivateWorldBoundDirty)) {
        return &atomic->worldBoundingSphere;
    }
    const Matrix* ltm = FrameGetLTM(frame);
    V3dTransformPoint(&atomic->worldBoundingSphere.centre, &atomic->boundingSphere.centre, ltm);
    float radius = atomic->boundingSphere.radius;
    if ((ltm->flags & 3) != 3) {
        auto squared = [](const V3d& v) { return v.x * v.x + v.y * v.y + v.z * v.z; };
        float longest = squared(ltm->right);
        longest = squared(ltm->up) > longest ? squared(ltm->up) : longest;
        longest = squared(ltm->at) > longest ? squared(ltm->at) : longest;
        radius *= VectorSqrt(longest);
    }
    atomic->worldBoundingSphere.radius = radius;
    atomic->object.object.privateFlags &= ~kAtomicPrivateWorldBoundDirty;
    return &atomic->worldBoundingSphere;
}

Atomic* AtomicDefaultRender(Atomic* atomic)
{
    Pipeline* pipeline = atomic->pipeline;
    if (!pipeline) {
        PipelineDefaultSlots* slots = PipelineGetDefaultSlots();
        pipeline = slots ? slots->current[kPipelineKindAtomic] : nullptr;
    }
    return pipeline && PipelineExecute(pipeline, atomic, true) ? atomic : nullptr;
}

Atomic* AtomicSync(Atomic* atomic)
{
    if (atomic->interpolator.flags & kAtomicInterpolatorDirty) {
        AtomicMorphBoundingSphere(atomic);
    }
    atomic->object.object.privateFlags |= kAtomicPrivateWorldBoundDirty;
    return atomic;
}

int32_t AtomicInstance(Atomic* atomic)
{
    Geometry* geometry = atomic->geometry;
    if (!geometry || geometry->numMorphTargets != 1) {
        return 0;
    }
    if (geometry->format & kGeometryNative) {
        return 1;
    }
    if (geometry->instanced) {
        ResourcesFreeEntry(geometry->instanced);
    }
    // The pipeline instances without drawing while the flag is set.
    geometry->format |= kGeometryNativeInstance;
    atomic->renderCallBack(atomic);
    geometry->format &= ~kGeometryNativeInstance;
    geometry->format |= kGeometryNative;
    return 1;
}
