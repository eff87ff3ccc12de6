// Clumps: membership of atomics, lights and cameras, destruction with the
// frame hierarchy, cloning, rendering and the walks.
#include "graphics/scene/clump.h"

#include "graphics/core/camera.h"
#include "graphics/core/error.h"
#include "graphics/core/frame.h"
#include "graphics/core/matrix.h"
#include "graphics/core/memory.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/light.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/scenemodules.h"
#include "graphics/scene/sceneplugins.h"
#include "graphics/scene/worldmembers.h"
#include "graphics/scene/worldprivate.h"

namespace {

constexpr uint32_t kHintClump = 0x30010;

FreeList* ClumpFreeList()
{
    return SceneModuleData<AtomicModuleData>(kSceneModuleAtomic)->clumps;
}

Clump* IdentityCallBack(Clump* clump, void*)
{
    return clump;
}

Atomic* AtomicOf(LinkList* link)
{
    return LinkListEntry(link, Atomic, clumpLink);
}

// The light or camera whose clump link holds `link`.
template <typename T> T* MemberOf(LinkList* link, int32_t offset)
{
    ClumpLink* clumpLink = LinkListEntry(link, ClumpLink, link);
    return reinterpret_cast<T*>(reinterpret_cast<char*>(clumpLink) - offset);
}

int32_t LightLinkOffset()
{
    return LightGetPluginOffset(kPluginIdClumpLink);
}

int32_t CameraLinkOffset()
{
    return CameraGetPluginOffset(kPluginIdClumpLink);
}

int32_t Count(const LinkList* head)
{
    int32_t count = 0;
    for (const LinkList* link = head->next; link != head; link = link->next) {
        ++count;
    }
    return count;
}

} // namespace

Clump* ClumpCreate()
{
    auto* clump = static_cast<Clump*>(MemoryFreeListAlloc(ClumpFreeList(), kHintClump));
    if (!clump) {
        SceneError(ErrorCode(kErrorOutOfMemory, ClumpGetPluginRegistry()->objectSize));
        return nullptr;
    }
    clump->object = {kObjectTypeClump, 0, 0, 0, nullptr};
    LinkListInit(&clump->atomics);
    LinkListInit(&clump->lights);
    LinkListInit(&clump->cameras);
    clump->worldLink = {nullptr, nullptr};
    clump->callBack = IdentityCallBack;
    if (!PluginRegistryConstruct(ClumpGetPluginRegistry(), clump)) {
        MemoryFreeListFree(ClumpFreeList(), clump);
        return nullptr;
    }
    return clump;
}

int32_t ClumpDestroy(Clump* clump)
{
    // A destroyed clump leaves its world, which would otherwise list it.
    if (World* world = ClumpGetWorldData(clump)->world) {
        WorldRemoveClump(world, clump);
    }
    PluginRegistryDestruct(ClumpGetPluginRegistry(), clump);
    while (!LinkListIsEmpty(&clump->atomics)) {
        AtomicDestroy(AtomicOf(clump->atomics.next));
    }
    while (!LinkListIsEmpty(&clump->lights)) {
        Light* light = MemberOf<Light>(clump->lights.next, LightLinkOffset());
        ClumpRemoveLight(clump, light);
        LightDestroy(light);
    }
    while (!LinkListIsEmpty(&clump->cameras)) {
        Camera* camera = MemberOf<Camera>(clump->cameras.next, CameraLinkOffset());
        ClumpRemoveCamera(clump, camera);
        CameraDestroy(camera);
    }
    if (Frame* frame = ClumpGetFrame(clump)) {
        FrameDestroyHierarchy(frame);
    }
    MemoryFreeListFree(ClumpFreeList(), clump);
    return 1;
}

Clump* ClumpClone(Clump* clump)
{
    Clump* clone = ClumpCreate();
    if (!clone) {
        return nullptr;
    }
    Frame* root = ClumpGetFrame(clump);
    if (root) {
        Frame* frames = FrameCloneHierarchy(root);
        if (!frames) {
            ClumpDestroy(clone);
            return nullptr;
        }
        ClumpSetFrame(clone, frames);
    }
    for (LinkList* link = clump->atomics.next; link != &clump->atomics; link = link->next) {
        Atomic* source = AtomicOf(link);
        Atomic* atomic = AtomicClone(source);
        if (!atomic) {
            if (root) {
                FrameSetRootOfHierarchy(root);
            }
            ClumpDestroy(clone);
            return nullptr;
        }
        Frame* frame = AtomicGetFrame(source);
        if (!frame) {
            // Kept as the clone's contract: stop here, report, return what was made.
            AtomicDestroy(atomic);
            SceneError(kErrorSceneCloneFailed);
            break;
        }
        // Each source frame knows its clone until the roots are reset.
        AtomicSetFrame(atomic, frame->root);
        ClumpAddAtomic(clone, atomic);
    }
    if (root) {
        FrameSetRootOfHierarchy(root);
    }
    clone->callBack = clump->callBack;
    PluginRegistryCopy(ClumpGetPluginRegistry(), clone, clump);
    return clone;
}

Clump* ClumpRender(Clump* clump)
{
    bool ok = true;
    for (LinkList* link = clump->atomics.next; link != &clump->atomics; link = link->next) {
        Atomic* atomic = AtomicOf(link);
        if (!(atomic->object.object.flags & kAtomicRender)) {
            continue;
        }
        if (Frame* frame = AtomicGetFrame(atomic)) {
            FrameGetLTM(frame);
        }
        ok &= atomic->renderCallBack(atomic) != nullptr;
    }
    return ok ? clump : nullptr;
}

Clump* ClumpVisitAtomics(Clump* clump, ClumpAtomicCallBack callBack, void* data)
{
    for (LinkList* link = clump->atomics.next; link != &clump->atomics;) {
        LinkList* next = link->next;
        if (!callBack(AtomicOf(link), data)) {
            break;
        }
        link = next;
    }
    return clump;
}

Clump* ClumpForAllLights(Clump* clump, ClumpLightCallBack callBack, void* data)
{
    const int32_t offset = LightLinkOffset();
    for (LinkList* link = clump->lights.next; link != &clump->lights;) {
        LinkList* next = link->next;
        if (!callBack(MemberOf<Light>(link, offset), data)) {
            break;
        }
        link = next;
    }
    return clump;
}

Clump* ClumpForAllCameras(Clump* clump, ClumpCameraCallBack callBack, void* data)
{
    const int32_t offset = CameraLinkOffset();
    for (LinkList* link = clump->cameras.next; link != &clump->cameras;) {
        LinkList* next = link->next;
        if (!callBack(MemberOf<Camera>(link, offset), data)) {
            break;
        }
        link = next;
    }
    return clump;
}

Clump* ClumpAddAtomic(Clump* clump, Atomic* atomic)
{
    LinkListAddFront(&clump->atomics, &atomic->clumpLink);
    atomic->clump = clump;
    return clump;
}

Clump* ClumpRemoveAtomic(Clump* clump, Atomic* atomic)
{
    LinkListRemove(&atomic->clumpLink);
    atomic->clump = nullptr;
    return clump;
}

Clump* ClumpAddLight(Clump* clump, Light* light)
{
    ClumpLink* link = LightGetClumpLink(light);
    LinkListAddFront(&clump->lights, &link->link);
    link->clump = clump;
    return clump;
}

Clump* ClumpRemoveLight(Clump* clump, Light* light)
{
    ClumpLink* link = LightGetClumpLink(light);
    LinkListRemove(&link->link);
    *link = {nullptr, {nullptr, nullptr}};
    return clump;
}

Clump* ClumpAddCamera(Clump* clump, Camera* camera)
{
    ClumpLink* link = CameraGetClumpLink(camera);
    LinkListAddFront(&clump->cameras, &link->link);
    link->clump = clump;
    return clump;
}

Clump* ClumpRemoveCamera(Clump* clump, Camera* camera)
{
    ClumpLink* link = CameraGetClumpLink(camera);
    LinkListRemove(&link->link);
    *link = {nullptr, {nullptr, nullptr}};
    return clump;
}

int32_t ClumpCountAtomics(const Clump* clump)
{
    return Count(&clump->atomics);
}

int32_t ClumpCountLights(const Clump* clump)
{
    return Count(&clump->lights);
}

int32_t ClumpCountCameras(const Clump* clump)
{
    return Count(&clump->cameras);
}

Clump* ClumpSetCallBack(Clump* clump, ClumpCallBack callBack)
{
    clump->callBack = callBack ? callBack : IdentityCallBack;
    return clump;
}

ClumpCallBack ClumpGetCallBack(const Clump* clump)
{
    return clump->callBack == IdentityCallBack ? nullptr : clump->callBack;
}

Clump* ClumpCreateSpace(const V3d* position, float radius)
{
    Clump* clump = ClumpCreate();
    Frame* frame = clump ? FrameCreate() : nullptr;
    Atomic* atomic = frame ? AtomicCreate() : nullptr;
    Geometry* geometry = atomic ? GeometryCreateSpace(radius) : nullptr;
    if (!geometry) {
        if (atomic) {
            AtomicDestroy(atomic);
        }
        if (frame) {
            FrameDestroy(frame);
        }
        if (clump) {
            ClumpDestroy(clump);
        }
        return nullptr;
    }
    FrameTranslate(frame, position, kCombineReplace);
    ClumpSetFrame(clump, frame);
    AtomicSetGeometry(atomic, geometry, 0);
    GeometryRelease(geometry);
    atomic->object.object.flags &= uint8_t(~kAtomicRender);
    AtomicSetFrame(atomic, frame);
    ClumpAddAtomic(clump, atomic);
    return clump;
}
