// The renderer's open, its extension word on geometries and world sectors,
// and the device-restore list of geometries whose dynamic vertex streams
// lose their contents at a device reset.
#include "graphics/core/freelist.h"
#include "graphics/core/instance.h"
#include "graphics/d3d9/d3d9device.h"
#include "graphics/d3d9/renderer/lights.h"
#include "graphics/d3d9/renderer/rendererstate.h"
#include "graphics/d3d9/renderer/scenerenderer.h"
#include "graphics/d3d9/renderer/vertexshader.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/sceneplugins.h"
#include "graphics/scene/world.h"

namespace {

constexpr uint32_t kRestoreEntriesPerBlock = 128;
constexpr uint32_t kRestoreHint = 0x3050D;

struct RestoreNode
{
    Geometry* object;
    RestoreNode* next;
};

uint32_t gModuleOpenCount = 0;
int32_t gModuleOffset = -1;
int32_t gGeometryOffset = -1;
int32_t gSectorOffset = -1;
D3D9DeviceCallback gPreviousDeviceCallback = nullptr;
FreeList* gRestoreFreeList = nullptr;
RestoreNode* gRestoreHead = nullptr;

void* ExtensionModuleOpen(void* instance, int32_t, int32_t)
{
    ++gModuleOpenCount;
    return instance;
}

void* ExtensionModuleClose(void* instance, int32_t, int32_t)
{
    --gModuleOpenCount;
    return instance;
}

uint32_t* ExtensionWord(void* object, int32_t offset)
{
    return reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(object) + offset);
}

void* ExtensionConstruct(void* object, int32_t offset, int32_t)
{
    *ExtensionWord(object, offset) = 0;
    return object;
}

void* ExtensionCopy(void* destination, const void* source, int32_t offset, int32_t)
{
    *ExtensionWord(destination, offset) = *ExtensionWord(const_cast<void*>(source), offset);
    return destination;
}

} // namespace

int32_t D3D9ExtensionAttach()
{
    gModuleOffset = EngineAttachPlugin(int32_t(VertexShaderCacheDataSize()), kPluginIdD3D9Renderer,
                                       ExtensionModuleOpen, ExtensionModuleClose);
    if (gModuleOffset < 0) {
        return 0;
    }
    gGeometryOffset = GeometryRegisterPlugin(sizeof(uint32_t), kPluginIdD3D9Renderer, ExtensionConstruct,
                                             ExtensionConstruct, ExtensionCopy);
    if (gGeometryOffset < 0) {
        return 0;
    }
    gSectorOffset = WorldSectorRegisterPlugin(sizeof(uint32_t), kPluginIdD3D9Renderer, ExtensionConstruct,
                                              ExtensionConstruct, ExtensionCopy);
    return gSectorOffset < 0 ? 0 : 1;
}

void* RendererModuleData()
{
    return EngineGetModuleData(gModuleOffset);
}

int32_t D3D9SceneRendererOpen()
{
    const int32_t result = LightsExtensionAttach() && D3D9ExtensionAttach() ? 1 : 0;
    gPreviousDeviceCallback = D3D9GetDeviceEventCallback();
    D3D9SetDeviceEventCallback(D3D9DeviceRestoreCallBack);
    return result;
}

void D3D9GeometrySetExtension(Geometry* geometry, uint32_t word)
{
    *ExtensionWord(geometry, gGeometryOffset) = word;
}

uint32_t D3D9GeometryGetExtension(const Geometry* geometry)
{
    return *ExtensionWord(const_cast<Geometry*>(geometry), gGeometryOffset);
}

void D3D9WorldSectorSetExtension(WorldSector* sector, uint32_t word)
{
    *ExtensionWord(sector, gSectorOffset) = word;
}

uint32_t D3D9WorldSectorGetExtension(const WorldSector* sector)
{
    return *ExtensionWord(const_cast<WorldSector*>(sector), gSectorOffset);
}

void D3D9RegisterDirtyObject(Geometry* object)
{
    for (RestoreNode* node = gRestoreHead; node; node = node->next) {
        if (node->object == object) {
            return;
        }
    }
    if (!gRestoreFreeList) {
        gRestoreFreeList =
            FreeListCreate(sizeof(RestoreNode), kRestoreEntriesPerBlock, 4, 1, nullptr, kRestoreHint);
        if (!gRestoreFreeList) {
            return;
        }
    }
    auto* node = static_cast<RestoreNode*>(FreeListAlloc(gRestoreFreeList, kRestoreHint));
    if (!node) {
        return;
    }
    node->object = object;
    node->next = gRestoreHead;
    gRestoreHead = node;
}

void D3D9UnregisterDirtyObject(Geometry* object)
{
    for (RestoreNode** link = &gRestoreHead; *link; link = &(*link)->next) {
        if ((*link)->object == object) {
            RestoreNode* node = *link;
            *link = node->next;
            FreeListFree(gRestoreFreeList, node);
            return;
        }
    }
}

void D3D9DeviceRestoreCallBack()
{
    if (gPreviousDeviceCallback) {
        gPreviousDeviceCallback();
    }
    for (RestoreNode* node = gRestoreHead; node; node = node->next) {
        node->object->lockFlags = kGeometryLockAll;
    }
}

uint32_t D3D9DirtyObjectCount()
{
    uint32_t count = 0;
    for (RestoreNode* node = gRestoreHead; node; node = node->next) {
        ++count;
    }
    return count;
}

void RendererRestoreListClose()
{
    while (gRestoreHead) {
        RestoreNode* node = gRestoreHead;
        gRestoreHead = node->next;
        FreeListFree(gRestoreFreeList, node);
    }
    if (gRestoreFreeList) {
        FreeListDestroy(gRestoreFreeList);
        gRestoreFreeList = nullptr;
    }
}
