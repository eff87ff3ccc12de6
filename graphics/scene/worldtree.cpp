// Walks of a world: its sector tree (atomic sectors, cells, the owner of a
// sector), its clumps, materials and lights, and a sector's meshes.
#include <initializer_list>

#include "graphics/core/engine.h"
#include "graphics/scene/clump.h"
#include "graphics/scene/light.h"
#include "graphics/scene/mesh.h"
#include "graphics/scene/worldprivate.h"

namespace {

// Calls visit(atomic sector, its cell) depth first, left before right, the
// cells derived from `box` by the splitting planes. False when a visit
// answers false.
template <typename Visit> bool ForAllAtomicSectors(Sector* root, const BBox& box, Visit visit)
{
    struct Pending
    {
        Sector* sector;
        BBox box;
    };
    Pending stack[kWorldStackSize];
    int32_t top = 0;
    Pending current = {root, box};
    while (current.sector) {
        if (current.sector->type == kSectorAtomic) {
            if (!visit(reinterpret_cast<WorldSector*>(current.sector), current.box)) {
                return false;
            }
            current = top > 0 ? stack[--top] : Pending{nullptr, {}};
            continue;
        }
        const auto* plane = reinterpret_cast<const PlaneSector*>(current.sector);
        if (top < kWorldStackSize) {
            Pending right = {plane->right, current.box};
            WorldAxisSet(&right.box.inf, plane->type, plane->rightValue);
            stack[top++] = right;
        }
        current.sector = plane->left;
        WorldAxisSet(&current.box.sup, plane->type, plane->leftValue);
    }
    return true;
}

bool Contains(const Sector* root, const WorldSector* wanted)
{
    bool found = false;
    ForAllAtomicSectors(const_cast<Sector*>(root), BBox{}, [&](WorldSector* sector, const BBox&) {
        found = sector == wanted;
        return !found;
    });
    return found;
}

} // namespace

void WorldSetSectorBoundingBoxes(World* world)
{
    ForAllAtomicSectors(world->root, world->boundingBox, [](WorldSector* sector, const BBox& cell) {
        sector->boundingBox = cell;
        return true;
    });
}

World* WorldForAllSectors(World* world, WorldSectorCallBack callBack, void* data)
{
    ForAllAtomicSectors(world->root, BBox{},
                        [&](WorldSector* sector, const BBox&) { return callBack(sector, data) != nullptr; });
    return world;
}

World* WorldSectorGetWorld(const WorldSector* sector)
{
    auto* data = SceneModuleData<WorldModuleData>(kSceneModuleWorld);
    for (LinkList* link = data->openWorlds.next; link != &data->openWorlds; link = link->next) {
        const WorldListNode* node = LinkListEntry(link, WorldListNode, link);
        World* world = node->world;
        if (world->object.privateFlags & kWorldPrivateSingleAllocation) {
            const auto* start = reinterpret_cast<const char*>(world);
            const auto* address = reinterpret_cast<const char*>(sector);
            if (address >= start && address < start + node->size) {
                return world;
            }
        } else if (Contains(world->root, sector)) {
            return world;
        }
    }
    return nullptr;
}

World* WorldForAllClumps(World* world, WorldClumpCallBack callBack, void* data)
{
    for (LinkList* link = world->clumps.next; link != &world->clumps;) {
        // The iterator moves on when the callback removes the next clump.
        world->clumpIterator = link->next;
        if (!callBack(LinkListEntry(link, Clump, worldLink), data)) {
            break;
        }
        link = world->clumpIterator;
    }
    world->clumpIterator = &world->clumps;
    return world;
}

World* WorldForAllMaterials(World* world, WorldMaterialCallBack callBack, void* data)
{
    for (int32_t i = 0; i < world->materials.count; ++i) {
        if (!callBack(world->materials.materials[i], data)) {
            break;
        }
    }
    return world;
}

World* WorldForAllLights(World* world, WorldLightCallBack callBack, void* data)
{
    for (LinkList* head : {&world->globalLights, &world->localLights}) {
        for (LinkList* link = head->next; link != head;) {
            LinkList* next = link->next;
            if (!callBack(LinkListEntry(link, Light, worldLink), data)) {
                return world;
            }
            link = next;
        }
    }
    return world;
}

World* CurrentWorldForAllGlobalLights(WorldLightCallBack callBack, void* data)
{
    auto* world = static_cast<World*>(EngineGetInstance()->currentWorld);
    if (!world) {
        return nullptr;
    }
    for (LinkList* link = world->globalLights.next; link != &world->globalLights;) {
        LinkList* next = link->next;
        if (!callBack(LinkListEntry(link, Light, worldLink), data)) {
            break;
        }
        link = next;
    }
    return world;
}

WorldSector* WorldSectorForAllMeshes(WorldSector* sector, WorldSectorMeshCallBack callBack, void* data)
{
    if (!sector->mesh) {
        return nullptr;
    }
    MeshHeaderForAllMeshes(sector->mesh, callBack, data);
    return sector;
}
