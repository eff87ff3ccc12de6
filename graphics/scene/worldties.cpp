// Ties of atomics and local lights to the world sectors their bounds
// overlap, and the walks over them.
#include <cstring>

#include "graphics/core/error.h"
#include "graphics/core/frame.h"
#include "graphics/core/matrix.h"
#include "graphics/core/memory.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/light.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/worldmembers.h"
#include "graphics/scene/worldprivate.h"

namespace {

constexpr uint32_t kHintTie = 0x30507;

// Visits every atomic sector whose cell the box overlaps. At a plane a box
// reaching below the left value goes left (and also right when it reaches
// above the right value); any other box goes right, so one lying in a gap
// between the two values still lands in a sector. False when a visit fails.
template <typename Visit> bool ForSectorsOverlapping(const World* world, const BBox& box, Visit visit)
{
    Sector* stack[kWorldStackSize];
    int32_t top = 0;
    Sector* sector = world->root;
    while (sector) {
        if (sector->type == kSectorAtomic) {
            if (!visit(reinterpret_cast<WorldSector*>(sector))) {
                return false;
            }
            sector = top > 0 ? stack[--top] : nullptr;
            continue;
        }
        const auto* plane = reinterpret_cast<const PlaneSector*>(sector);
        const bool left = WorldAxisValue(box.inf, plane->type) < plane->leftValue;
        const bool right = WorldAxisValue(box.sup, plane->type) > plane->rightValue;
        if (left) {
            if (right && top < kWorldStackSize) {
                stack[top++] = plane->right;
            }
            sector = plane->left;
        } else {
            sector = plane->right;
        }
    }
    return true;
}

BBox BoxAround(const V3d& centre, float radius)
{
    return {{centre.x + radius, centre.y + radius, centre.z + radius},
            {centre.x - radius, centre.y - radius, centre.z - radius}};
}

// Walks a sector's tie list leaving a marker behind the current tie, so the
// callback may untie the object it is given (or others). Markers of other
// walks (a null object) are stepped over.
template <typename Tie, typename Object, typename Call>
void ForAllTies(LinkList* head, Object* Tie::*object, Call call)
{
    Tie marker;
    std::memset(&marker, 0, sizeof(marker));
    for (LinkList* link = head->next; link != head;) {
        Tie* tie = LinkListEntry(link, Tie, sectorLink);
        if (!(tie->*object)) {
            link = link->next;
            continue;
        }
        LinkListAddFront(link, &marker.sectorLink);
        const bool goOn = call(tie->*object);
        link = marker.sectorLink.next;
        LinkListRemove(&marker.sectorLink);
        if (!goOn) {
            return;
        }
    }
}

} // namespace

void AtomicUntie(Atomic* atomic)
{
    while (!LinkListIsEmpty(&atomic->sectorTies)) {
        AtomicTie* tie = LinkListEntry(atomic->sectorTies.next, AtomicTie, atomicLink);
        LinkListRemove(&tie->sectorLink);
        LinkListRemove(&tie->atomicLink);
        MemoryFreeListFree(WorldEngineGetData()->atomicTies, tie);
    }
}

void LightUntie(Light* light)
{
    while (!LinkListIsEmpty(&light->sectorTies)) {
        LightTie* tie = LinkListEntry(light->sectorTies.next, LightTie, lightLink);
        LinkListRemove(&tie->sectorLink);
        LinkListRemove(&tie->lightLink);
        MemoryFreeListFree(WorldEngineGetData()->lightTies, tie);
    }
}

void WorldSectorUntieAll(WorldSector* sector)
{
    while (!LinkListIsEmpty(&sector->atomicTies)) {
        AtomicTie* tie = LinkListEntry(sector->atomicTies.next, AtomicTie, sectorLink);
        LinkListRemove(&tie->sectorLink);
        LinkListRemove(&tie->atomicLink);
        MemoryFreeListFree(WorldEngineGetData()->atomicTies, tie);
    }
    while (!LinkListIsEmpty(&sector->lightTies)) {
        LightTie* tie = LinkListEntry(sector->lightTies.next, LightTie, sectorLink);
        LinkListRemove(&tie->sectorLink);
        LinkListRemove(&tie->lightLink);
        MemoryFreeListFree(WorldEngineGetData()->lightTies, tie);
    }
}

void AtomicTieToWorld(Atomic* atomic)
{
    AtomicUntie(atomic);
    const World* world = AtomicGetWorldData(atomic)->world;
    if (!world) {
        return;
    }
    const Sphere* sphere = AtomicWorldBoundingSphere(atomic);
    FreeList* ties = WorldEngineGetData()->atomicTies;
    const bool tied =
        ForSectorsOverlapping(world, BoxAround(sphere->centre, sphere->radius), [&](WorldSector* sector) {
            auto* tie = static_cast<AtomicTie*>(MemoryFreeListAlloc(ties, kHintTie));
            if (!tie) {
                return false;
            }
            tie->atomic = atomic;
            tie->sector = sector;
            LinkListAddFront(&sector->atomicTies, &tie->sectorLink);
            LinkListAddFront(&atomic->sectorTies, &tie->atomicLink);
            return true;
        });
    // Half a set of ties would draw the atomic in some sectors only: none.
    if (!tied) {
        SceneError(ErrorCode(kErrorOutOfMemory, uint32_t(sizeof(AtomicTie))));
        AtomicUntie(atomic);
    }
}

void LightTieToWorld(Light* light)
{
    const World* world = LightGetWorldData(light)->world;
    Frame* frame = LightGetFrame(light);
    if (LightGetType(light) < kLightFirstLocal || !world || !frame) {
        return;
    }
    LightUntie(light);
    const V3d& position = FrameGetLTM(frame)->pos;
    FreeList* ties = WorldEngineGetData()->lightTies;
    const bool tied =
        ForSectorsOverlapping(world, BoxAround(position, light->radius), [&](WorldSector* sector) {
            auto* tie = static_cast<LightTie*>(MemoryFreeListAlloc(ties, kHintTie));
            if (!tie) {
                return false;
            }
            tie->light = light;
            tie->sector = sector;
            LinkListAddFront(&sector->lightTies, &tie->sectorLink);
            LinkListAddFront(&light->sectorTies, &tie->lightLink);
            return true;
        });
    if (!tied) {
        SceneError(ErrorCode(kErrorOutOfMemory, uint32_t(sizeof(LightTie))));
        LightUntie(light);
    }
}

Atomic* AtomicForAllWorldSectors(Atomic* atomic, AtomicSectorCallBack callBack, void* data)
{
    for (LinkList* link = atomic->sectorTies.next; link != &atomic->sectorTies;) {
        LinkList* next = link->next;
        if (!callBack(LinkListEntry(link, AtomicTie, atomicLink)->sector, data)) {
            break;
        }
        link = next;
    }
    return atomic;
}

WorldSector* WorldSectorForAllAtomics(WorldSector* sector, SectorAtomicCallBack callBack, void* data)
{
    ForAllTies(&sector->atomicTies, &AtomicTie::atomic,
               [&](Atomic* atomic) { return callBack(atomic, data) != nullptr; });
    return sector;
}

WorldSector* WorldSectorForAllLocalLights(WorldSector* sector, WorldLightCallBack callBack, void* data)
{
    ForAllTies(&sector->lightTies, &LightTie::light,
               [&](Light* light) { return callBack(light, data) != nullptr; });
    return sector;
}

WorldSector* WorldSectorForAllLights(WorldSector* sector, SectorLightCallBack callBack, void* data)
{
    bool goOn = true;
    ForAllTies(&sector->lightTies, &LightTie::light, [&](Light* light) {
        goOn = callBack(light, data) != nullptr;
        return goOn;
    });
    World* world = goOn ? WorldSectorGetWorld(sector) : nullptr;
    if (!world) {
        return sector;
    }
    for (LinkList* link = world->globalLights.next; link != &world->globalLights;) {
        LinkList* next = link->next;
        if (!callBack(LinkListEntry(link, Light, worldLink), data)) {
            break;
        }
        link = next;
    }
    return sector;
}

Light* LightForAllWorldSectors(Light* light, LightSectorCallBack callBack, void* data)
{
    if (LightGetType(light) < kLightFirstLocal) {
        if (World* world = LightGetWorldData(light)->world) {
            WorldForAllSectors(world, callBack, data);
        }
        return light;
    }
    for (LinkList* link = light->sectorTies.next; link != &light->sectorTies;) {
        LinkList* next = link->next;
        if (!callBack(LinkListEntry(link, LightTie, lightLink)->sector, data)) {
            break;
        }
        link = next;
    }
    return light;
}
