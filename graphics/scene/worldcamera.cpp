// Cameras in a world: the extension's hooks (begin and end of an update make
// the camera's world current; a frame sync rebuilds the list of sectors in
// the view frustum) and the walks over the visible sectors.
#include <cstring>

#include "graphics/core/error.h"
#include "graphics/core/frame.h"
#include "graphics/core/matrix.h"
#include "graphics/core/memory.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/clump.h"
#include "graphics/scene/worldmembers.h"
#include "graphics/scene/worldprivate.h"

namespace {

constexpr uint32_t kHintVisibleSectors = 0x1030507;
constexpr int32_t kVisibleSectorsGrowth = 50;

// A box is outside the frustum when, for some plane, even its corner least
// far along the plane's outward normal lies outside that plane.
bool BoxOutside(const Camera* camera, const BBox& box)
{
    for (const FrustumPlane& plane : camera->frustumPlanes) {
        const V3d corner = {plane.signs[0] ? box.inf.x : box.sup.x, plane.signs[1] ? box.inf.y : box.sup.y,
                            plane.signs[2] ? box.inf.z : box.sup.z};
        const float distance = plane.normal.x * corner.x + plane.normal.y * corner.y +
                               plane.normal.z * corner.z - plane.distance;
        if (distance > 0.0f) {
            return true;
        }
    }
    return false;
}

bool Append(CameraWorldData* data, WorldSector* sector)
{
    if (data->count == data->capacity) {
        const int32_t capacity = data->capacity + kVisibleSectorsGrowth;
        auto* grown = static_cast<WorldSector**>(
            MemoryReallocate(data->sectors, sizeof(WorldSector*) * size_t(capacity), kHintVisibleSectors));
        if (!grown) {
            SceneError(ErrorCode(kErrorOutOfMemory, uint32_t(sizeof(WorldSector*) * size_t(capacity))));
            return false;
        }
        data->sectors = grown;
        data->capacity = capacity;
    }
    data->sectors[data->count++] = sector;
    return true;
}

// The visible sectors, nearer children first for render order 1 (front to
// back), farther first otherwise.
void CollectVisibleSectors(Camera* camera, CameraWorldData* data)
{
    const World* world = data->world;
    const BBox& frustum = camera->frustumBoundBox;
    Frame* frame = CameraGetFrame(camera);
    const V3d eye = frame ? FrameGetLTM(frame)->pos : V3d{0.0f, 0.0f, 0.0f};
    const bool backToFront = world->renderOrder == kWorldRenderBackToFront;
    Sector* stack[kWorldStackSize];
    int32_t top = 0;
    Sector* sector = world->root;
    while (sector) {
        if (sector->type == kSectorAtomic) {
            auto* atomicSector = reinterpret_cast<WorldSector*>(sector);
            if (!BoxOutside(camera, atomicSector->boundingBox) && !Append(data, atomicSector)) {
                return;
            }
            sector = top > 0 ? stack[--top] : nullptr;
            continue;
        }
        const auto* plane = reinterpret_cast<const PlaneSector*>(sector);
        const bool left = WorldAxisValue(frustum.inf, plane->type) < plane->leftValue;
        const bool right = WorldAxisValue(frustum.sup, plane->type) > plane->rightValue;
        if (left && right) {
            const bool beyond = WorldAxisValue(eye, plane->type) > plane->value;
            const bool leftFirst = backToFront ? beyond : !beyond;
            if (top < kWorldStackSize) {
                stack[top++] = leftFirst ? plane->right : plane->left;
            }
            sector = leftFirst ? plane->left : plane->right;
        } else {
            sector = left ? plane->left : plane->right;
        }
    }
}

Camera* BeginUpdate(Camera* camera)
{
    EngineInstance* instance = EngineGetInstance();
    instance->currentWorld = CameraGetWorldData(camera)->world;
    ++instance->renderFrame;
    return CameraGetWorldData(camera)->beginUpdate(camera);
}

Camera* EndUpdate(Camera* camera)
{
    EngineGetInstance()->currentWorld = nullptr;
    return CameraGetWorldData(camera)->endUpdate(camera);
}

void Sync(void* object)
{
    auto* camera = static_cast<Camera*>(object);
    CameraWorldData* data = CameraGetWorldData(camera);
    data->sync(camera);
    if (data->world) {
        data->count = 0;
        CollectVisibleSectors(camera, data);
    }
}

struct FrustumWalk
{
    Camera* camera;
    uint32_t walk;
    CameraAtomicCallBack atomicCallBack;
    CameraClumpCallBack clumpCallBack;
    void* data;
    bool stopped;
};

Atomic* VisitAtomic(Atomic* atomic, void* context)
{
    auto* walk = static_cast<FrustumWalk*>(context);
    AtomicWorldData* data = AtomicGetWorldData(atomic);
    if (data->frustumStamp == walk->walk ||
        CameraFrustumTestSphere(walk->camera, AtomicWorldBoundingSphere(atomic)) == 0) {
        return atomic;
    }
    data->frustumStamp = walk->walk;
    walk->stopped = !walk->atomicCallBack(atomic, walk->data);
    return walk->stopped ? nullptr : atomic;
}

Atomic* VisitClump(Atomic* atomic, void* context)
{
    auto* walk = static_cast<FrustumWalk*>(context);
    Clump* clump = atomic->clump;
    if (!clump) {
        return atomic;
    }
    ClumpWorldData* data = ClumpGetWorldData(clump);
    if (data->frustumStamp == walk->walk ||
        CameraFrustumTestSphere(walk->camera, AtomicWorldBoundingSphere(atomic)) == 0) {
        return atomic;
    }
    data->frustumStamp = walk->walk;
    walk->stopped = !walk->clumpCallBack(clump, walk->data);
    return walk->stopped ? nullptr : atomic;
}

void WalkVisibleAtomics(FrustumWalk walk, SectorAtomicCallBack visit)
{
    walk.walk = ++WorldEngineGetData()->frustumWalk;
    const CameraWorldData* visible = CameraGetWorldData(walk.camera);
    for (int32_t i = 0; i < visible->count && !walk.stopped; ++i) {
        WorldSectorForAllAtomics(visible->sectors[i], visit, &walk);
    }
}

} // namespace

void* CameraWorldConstruct(void* object, int32_t offset, int32_t)
{
    auto* camera = static_cast<Camera*>(object);
    auto* data = WorldExtensionOf<CameraWorldData>(object, offset);
    std::memset(data, 0, sizeof(CameraWorldData));
    LinkListInit(&data->link);
    data->beginUpdate = camera->beginUpdate;
    data->endUpdate = camera->endUpdate;
    data->sync = camera->object.sync;
    camera->beginUpdate = BeginUpdate;
    camera->endUpdate = EndUpdate;
    camera->object.sync = Sync;
    return object;
}

void* CameraWorldDestruct(void* object, int32_t offset, int32_t)
{
    auto* camera = static_cast<Camera*>(object);
    auto* data = WorldExtensionOf<CameraWorldData>(object, offset);
    CameraSetWorld(camera, nullptr);
    MemoryFree(data->sectors);
    data->sectors = nullptr;
    data->capacity = 0;
    data->count = 0;
    camera->beginUpdate = data->beginUpdate;
    camera->endUpdate = data->endUpdate;
    camera->object.sync = data->sync;
    return object;
}

void* CameraWorldCopy(void* destination, const void* source, int32_t offset, int32_t)
{
    auto* camera = static_cast<Camera*>(destination);
    auto* data = WorldExtensionOf<CameraWorldData>(destination, offset);
    const auto* from = WorldExtensionOf<CameraWorldData>(source, offset);
    data->sectors = nullptr;
    data->capacity = 0;
    data->count = 0;
    data->beginUpdate = from->beginUpdate;
    data->endUpdate = from->endUpdate;
    data->sync = from->sync;
    if (from->world) {
        WorldAddCamera(from->world, camera);
    }
    return destination;
}

Camera* CameraForAllSectorsInFrustum(Camera* camera, CameraSectorCallBack callBack, void* data)
{
    const CameraWorldData* visible = CameraGetWorldData(camera);
    for (int32_t i = 0; i < visible->count; ++i) {
        if (!callBack(visible->sectors[i], data)) {
            break;
        }
    }
    return camera;
}

Camera* CameraForAllClumpsInFrustum(Camera* camera, CameraClumpCallBack callBack, void* data)
{
    WalkVisibleAtomics({camera, 0, nullptr, callBack, data, false}, VisitClump);
    return camera;
}

Camera* CameraForAllAtomicsInFrustum(Camera* camera, CameraAtomicCallBack callBack, void* data)
{
    WalkVisibleAtomics({camera, 0, callBack, nullptr, data, false}, VisitAtomic);
    return camera;
}
