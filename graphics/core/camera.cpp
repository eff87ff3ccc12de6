#include "graphics/core/camera.h"

#include "graphics/core/engine.h"
#include "graphics/core/error.h"
#include "graphics/core/freelist.h"
#include "graphics/core/pluginids.h"
#include "graphics/core/raster.h"

namespace {

// Memory hints name cameras by their chunk type.
constexpr uint32_t kCameraMemoryKind = 5;

struct CameraModuleData
{
    FreeList* freeList;
};

int32_t gCameraOffset = -1;
int32_t gCameraEntriesPerBlock = 4;
int32_t gCameraBlocksToPreallocate = 1;
FreeList gCameraFreeListHeader;
PluginRegistry gCameraRegistry = PluginRegistryMake(sizeof(Camera));

CameraModuleData* CameraData()
{
    return static_cast<CameraModuleData*>(EngineGetModuleData(gCameraOffset));
}

void MarkFrameDirty(Camera* camera)
{
    if (Frame* frame = CameraGetFrame(camera)) {
        FrameUpdateObjects(frame);
    }
}

Camera* CallDevice(DeviceFunctionIndex index, void* out, void* inOut, int32_t number, Camera* camera)
{
    DeviceFunction function = EngineGetInstance()->deviceFunctions[index];
    return function && function(out, inOut, number) ? camera : nullptr;
}

void* CameraModuleOpen(void* instance, int32_t /*offset*/, int32_t /*size*/)
{
    CameraData()->freeList = FreeListCreate(
        uint32_t(gCameraRegistry.objectSize), uint32_t(gCameraEntriesPerBlock), 16,
        uint32_t(gCameraBlocksToPreallocate), &gCameraFreeListHeader, kMemoryHintEngine | kCameraMemoryKind);
    return CameraData()->freeList ? instance : nullptr;
}

void* CameraModuleClose(void* instance, int32_t /*offset*/, int32_t /*size*/)
{
    FreeListDestroy(CameraData()->freeList);
    CameraData()->freeList = nullptr;
    return instance;
}

} // namespace

void CameraSetFreeListCreateParams(int32_t entriesPerBlock, int32_t blocksToPreallocate)
{
    gCameraEntriesPerBlock = entriesPerBlock;
    gCameraBlocksToPreallocate = blocksToPreallocate;
}

Camera* CameraCreate()
{
    auto* camera = static_cast<Camera*>(
        MemoryFreeListAlloc(CameraData()->freeList, kMemoryHintObject | kCameraMemoryKind));
    if (!camera) {
        ErrorRaise(0, ErrorCode(kErrorOutOfMemory, gCameraRegistry.objectSize));
        return nullptr;
    }
    *camera = Camera{};
    camera->object.object.type = kObjectTypeCamera;
    LinkListInit(&camera->object.frameLink);
    camera->object.sync = CameraSync;
    camera->projection = kCameraPerspective;
    camera->beginUpdate = CameraBeginUpdateDefault;
    camera->endUpdate = CameraEndUpdateDefault;
    camera->viewWindow = {1.0f, 1.0f};
    camera->recipViewWindow = {1.0f, 1.0f};
    camera->viewOffset = {0.0f, 0.0f};
    camera->nearPlane = 0.05f;
    camera->farPlane = 10.0f;
    camera->fogPlane = 5.0f;
    CameraUpdateZScale(camera);
    if (!PluginRegistryConstruct(&gCameraRegistry, camera)) {
        MemoryFreeListFree(CameraData()->freeList, camera);
        return nullptr;
    }
    return camera;
}

int32_t CameraDestroy(Camera* camera)
{
    PluginRegistryDestruct(&gCameraRegistry, camera);
    ObjectHasFrameReleaseFrame(&camera->object);
    // A destroyed camera must not stay the engine's current camera.
    EngineInstance* instance = EngineGetInstance();
    if (instance->currentCamera == camera) {
        instance->currentCamera = nullptr;
    }
    MemoryFreeListFree(CameraData()->freeList, camera);
    return 1;
}

Camera* CameraClone(const Camera* source)
{
    Camera* camera = CameraCreate();
    if (!camera) {
        return nullptr;
    }
    if (Frame* frame = CameraGetFrame(source)) {
        ObjectHasFrameSetFrame(&camera->object, frame);
    }
    camera->beginUpdate = source->beginUpdate;
    camera->endUpdate = source->endUpdate;
    camera->viewWindow = source->viewWindow;
    camera->recipViewWindow = source->recipViewWindow;
    camera->viewOffset = source->viewOffset;
    camera->nearPlane = source->nearPlane;
    camera->farPlane = source->farPlane;
    camera->fogPlane = source->fogPlane;
    camera->frameBuffer = source->frameBuffer;
    camera->zBuffer = source->zBuffer;
    camera->projection = source->projection;
    CameraUpdateZScale(camera);
    PluginRegistryCopy(&gCameraRegistry, camera, source);
    return camera;
}

Camera* CameraBeginUpdate(Camera* camera)
{
    return camera->beginUpdate(camera);
}

Camera* CameraEndUpdate(Camera* camera)
{
    return camera->endUpdate(camera);
}

Camera* CameraBeginUpdateDefault(Camera* camera)
{
    EngineGetInstance()->currentCamera = camera;
    FrameSyncDirty();
    return CallDevice(kDeviceFnCameraBeginUpdate, nullptr, camera, 0, camera);
}

Camera* CameraEndUpdateDefault(Camera* camera)
{
    if (!CallDevice(kDeviceFnCameraEndUpdate, nullptr, camera, 0, camera)) {
        return nullptr;
    }
    EngineGetInstance()->currentCamera = nullptr;
    return camera;
}

Camera* CameraClear(Camera* camera, const uint8_t colour[4], int32_t flags)
{
    return CallDevice(kDeviceFnCameraClear, camera, const_cast<uint8_t*>(colour), flags, camera);
}

Camera* CameraShowRaster(Camera* camera, void* window, uint32_t flags)
{
    return RasterShowRaster(camera->frameBuffer, window, flags) ? camera : nullptr;
}

Camera* CameraSetViewWindow(Camera* camera, const V2d* window)
{
    camera->viewWindow = *window;
    camera->recipViewWindow = {1.0f / window->x, 1.0f / window->y};
    MarkFrameDirty(camera);
    return camera;
}

Camera* CameraSetViewOffset(Camera* camera, const V2d* offset)
{
    camera->viewOffset = *offset;
    MarkFrameDirty(camera);
    return camera;
}

Camera* CameraSetNearClipPlane(Camera* camera, float distance)
{
    camera->nearPlane = distance;
    CameraUpdateZScale(camera);
    MarkFrameDirty(camera);
    return camera;
}

Camera* CameraSetFarClipPlane(Camera* camera, float distance)
{
    camera->farPlane = distance;
    CameraUpdateZScale(camera);
    MarkFrameDirty(camera);
    return camera;
}

Camera* CameraSetFogDistance(Camera* camera, float distance)
{
    camera->fogPlane = distance;
    return camera;
}

Camera* CameraSetProjection(Camera* camera, int32_t projection)
{
    if (projection != kCameraPerspective && projection != kCameraParallel) {
        ErrorRaise(0, ErrorCode(kErrorBadArgument, "Invalid projection type specified"));
        return nullptr;
    }
    camera->projection = projection;
    MarkFrameDirty(camera);
    CameraUpdateZScale(camera);
    return camera;
}

Camera* CameraSetFrame(Camera* camera, Frame* frame)
{
    ObjectHasFrameSetFrame(&camera->object, frame);
    return camera;
}

Camera* CameraUpdateZScale(Camera* camera)
{
    const DeviceBlock& device = EngineGetInstance()->device;
    float margin = (device.zBufferFar - device.zBufferNear) * 0.0001f;
    float lo = device.zBufferNear + margin;
    float hi = device.zBufferFar - margin;
    float a, b;
    if (camera->projection == kCameraPerspective) {
        a = 1.0f / camera->farPlane;
        b = 1.0f / camera->nearPlane;
    } else {
        a = camera->farPlane;
        b = camera->nearPlane;
    }
    camera->zScale = (hi - lo) / (a - b);
    camera->zShift = (hi + lo - (a + b) * camera->zScale) * 0.5f;
    return camera;
}

int32_t CameraRegisterPlugin(int32_t size, uint32_t pluginId, PluginConstructor constructor,
                             PluginDestructor destructor, PluginCopy copy)
{
    return PluginRegistryRegister(&gCameraRegistry, size, pluginId, constructor, destructor, copy);
}

int32_t CameraGetPluginOffset(uint32_t pluginId)
{
    return PluginRegistryGetOffset(&gCameraRegistry, pluginId);
}

int32_t CameraRegisterPluginStream(uint32_t pluginId, PluginStreamRead read, PluginStreamWrite write,
                                   PluginStreamGetSize getSize)
{
    return PluginRegistryAddStream(&gCameraRegistry, pluginId, read, write, getSize);
}

int32_t CameraSetStreamAlwaysCallback(uint32_t pluginId, PluginAlwaysCallback always)
{
    return PluginRegistryAddAlwaysCallback(&gCameraRegistry, pluginId, always);
}

PluginRegistry* CameraGetRegistry()
{
    return &gCameraRegistry;
}

int32_t CameraModuleAttach()
{
    gCameraOffset =
        EngineAttachPlugin(sizeof(CameraModuleData), kPluginIdCamera, CameraModuleOpen, CameraModuleClose);
    return gCameraOffset;
}
