// Lights: creation, destruction, colour, radius, cone, their chunk 0x12
// and the light module (0x505), which destroys the lights left at its close.
#include "graphics/scene/light.h"

#include <cmath>
#include <cstring>

#include "graphics/core/chunk.h"
#include "graphics/core/error.h"
#include "graphics/core/frame.h"
#include "graphics/core/littleendian.h"
#include "graphics/core/memory.h"
#include "graphics/core/stream.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/scenemodules.h"
#include "graphics/scene/sceneplugins.h"
#include "graphics/scene/scenestream.h"

namespace {

constexpr uint32_t kLightStructSize = 24;
FreeList gLightFreeListHeader;

FreeList* LightFreeList()
{
    return SceneModuleData<LightModuleData>(kSceneModuleLight)->lights;
}

void LightSyncIdentity(void*)
{
}

uint8_t GreyFlag(const RGBAReal& colour)
{
    return colour.red == colour.green && colour.red == colour.blue ? kLightPrivateGrey : 0;
}

void DestroyForgotten(void* light, void*)
{
    LightDestroy(static_cast<Light*>(light));
}

void DecodeStruct(const uint8_t* bytes, LightChunkInfo* info)
{
    info->radius = LittleEndianGetFloat(bytes);
    info->red = LittleEndianGetFloat(bytes + 4);
    info->green = LittleEndianGetFloat(bytes + 8);
    info->blue = LittleEndianGetFloat(bytes + 12);
    info->minusCosAngle = LittleEndianGetFloat(bytes + 16);
    info->typeAndFlags = LittleEndianGetU32(bytes + 20);
}

} // namespace

void* LightModuleOpen(void* instance, int32_t, int32_t)
{
    FreeListParams params = SceneFreeListGetParams(kSceneFreeListLight);
    auto* data = SceneModuleData<LightModuleData>(kSceneModuleLight);
    data->lights =
        FreeListCreateEx(uint32_t(LightGetPluginRegistry()->objectSize), uint32_t(params.entriesPerBlock), 4,
                         uint32_t(params.blocksToPreallocate), &gLightFreeListHeader, 0x40012);
    return data->lights ? instance : nullptr;
}

void* LightModuleClose(void* instance, int32_t, int32_t)
{
    auto* data = SceneModuleData<LightModuleData>(kSceneModuleLight);
    FreeListForAllUsed(data->lights, DestroyForgotten, nullptr);
    FreeListDestroy(data->lights);
    data->lights = nullptr;
    return instance;
}

Light* LightCreate(uint8_t type)
{
    auto* light = static_cast<Light*>(MemoryFreeListAlloc(LightFreeList(), kHintLight));
    if (!light) {
        SceneError(ErrorCode(kErrorOutOfMemory, LightGetPluginRegistry()->objectSize));
        return nullptr;
    }
    light->object.object = {kObjectTypeLight, type, kLightLightsAtomics | kLightLightsWorld, 0, nullptr};
    LinkListInit(&light->object.frameLink);
    light->object.sync = LightSyncIdentity;
    light->radius = 0.0f;
    light->colour = {1.0f, 1.0f, 1.0f, 1.0f};
    light->object.object.privateFlags = GreyFlag(light->colour);
    light->minusCosAngle = 0.0f;
    LinkListInit(&light->sectorTies);
    light->worldLink = {nullptr, nullptr};
    light->stamp = uint16_t(EngineGetInstance()->lightFrame - 1);
    if (!PluginRegistryConstruct(LightGetPluginRegistry(), light)) {
        MemoryFreeListFree(LightFreeList(), light);
        return nullptr;
    }
    return light;
}

int32_t LightDestroy(Light* light)
{
    PluginRegistryDestruct(LightGetPluginRegistry(), light);
    ObjectHasFrameReleaseFrame(&light->object);
    MemoryFreeListFree(LightFreeList(), light);
    return 1;
}

Light* LightSetRadius(Light* light, float radius)
{
    light->radius = radius;
    if (Frame* frame = LightGetFrame(light)) {
        FrameUpdateObjects(frame);
    }
    return light;
}

Light* LightSetColor(Light* light, const RGBAReal* colour)
{
    light->colour = *colour;
    light->object.object.privateFlags = GreyFlag(*colour);
    return light;
}

Light* LightSetConeAngle(Light* light, float angle)
{
    if (!(angle >= 0.0f && angle <= kLightMaxConeAngle)) {
        return nullptr;
    }
    light->minusCosAngle = -std::cos(angle);
    return light;
}

float LightGetConeAngle(const Light* light)
{
    float cosine = -light->minusCosAngle;
    if (cosine >= 1.0f) {
        return 0.0f;
    }
    if (cosine <= -1.0f) {
        return 3.1415927f;
    }
    return std::acos(cosine);
}

uint32_t LightStreamGetSize(const Light* light)
{
    return kChunkHeaderSize + kLightStructSize +
           uint32_t(PluginRegistryStreamSize(LightGetPluginRegistry(), light)) + kChunkHeaderSize;
}

const Light* LightStreamWrite(const Light* light, Stream* stream)
{
    uint8_t bytes[kLightStructSize];
    LittleEndianPutFloat(bytes, light->radius);
    LittleEndianPutFloat(bytes + 4, light->colour.red);
    LittleEndianPutFloat(bytes + 8, light->colour.green);
    LittleEndianPutFloat(bytes + 12, light->colour.blue);
    LittleEndianPutFloat(bytes + 16, light->minusCosAngle);
    LittleEndianPutU32(bytes + 20, uint32_t(LightGetType(light)) << 16 | light->object.object.flags);
    if (!ChunkHeaderWriteCurrent(stream, kChunkLight, LightStreamGetSize(light)) ||
        !SceneWriteStruct(stream, bytes, kLightStructSize) ||
        !PluginRegistryStreamWrite(LightGetPluginRegistry(), stream, light)) {
        return nullptr;
    }
    return light;
}

Light* LightStreamRead(Stream* stream)
{
    uint8_t bytes[kLightStructSize];
    if (!SceneReadStruct(stream, bytes, kLightStructSize, nullptr)) {
        return nullptr;
    }
    LightChunkInfo info;
    DecodeStruct(bytes, &info);
    Light* light = LightCreate(uint8_t(info.typeAndFlags >> 16));
    if (!light) {
        return nullptr;
    }
    light->radius = info.radius;
    light->colour = {info.red, info.green, info.blue, 1.0f};
    light->object.object.privateFlags = GreyFlag(light->colour);
    light->minusCosAngle = info.minusCosAngle;
    light->object.object.flags = uint8_t(info.typeAndFlags);
    if (!PluginRegistryStreamRead(LightGetPluginRegistry(), stream, light)) {
        SceneError(kErrorRead);
        LightDestroy(light);
        return nullptr;
    }
    return light;
}

LightChunkInfo* LightStreamReadChunkInfo(Stream* stream, LightChunkInfo* info, int32_t* size)
{
    uint8_t bytes[kLightStructSize];
    uint32_t structSize = 0;
    if (!SceneReadStruct(stream, bytes, kLightStructSize, &structSize)) {
        return nullptr;
    }
    DecodeStruct(bytes, info);
    if (size) {
        *size = int32_t(structSize + kChunkHeaderSize);
    }
    return info;
}
