// The pipeline module: its data in the engine instance (pipeline free list,
// pipeline heap, default pipeline slots, current execution, default render
// states), opened and closed with the engine.

#include "graphics/core/coremodules.h"
#include "graphics/core/engine.h"
#include "graphics/core/error.h"
#include "graphics/core/freelist.h"
#include "graphics/core/memory.h"
#include "graphics/core/pipelineinternal.h"
#include "graphics/core/pluginids.h"

namespace {

constexpr uint32_t kHintFreeList = 0x40409;
constexpr uint32_t kHintRenderStates = 0x30409;
constexpr uint32_t kHeapMinimumBlock = 4096;

int32_t gOffset = -1;
int32_t gOpenCount = 0;
uint32_t gEntriesPerBlock = 64;
uint32_t gBlocksToPreallocate = 1;

/// The record a renderer starts from: perspective correction, z test and z
/// write on, vertex alpha off; clockwise culling; source-alpha /
/// inverse-source-alpha blending; no texture, wrapped in U and V, linear
/// filtering; opaque white border; no fog, opaque white fog colour.
constexpr PipelineRenderStates kDefaultRenderStates = {kRenderStatePerspective | kRenderStateZTest |
                                                           kRenderStateZWrite,
                                                       2,
                                                       5,
                                                       6,
                                                       nullptr,
                                                       1,
                                                       1,
                                                       2,
                                                       0xFFFFFFFFu,
                                                       0,
                                                       0xFFFFFFFFu};

void* PipelineModuleOpen(void* instance, int32_t offset, int32_t)
{
    auto* data = reinterpret_cast<PipelineModuleData*>(static_cast<uint8_t*>(instance) + offset);
    *data = {};
    data->defaultRenderStates = kDefaultRenderStates;
    data->pipelines =
        FreeListCreate(sizeof(Pipeline), gEntriesPerBlock, 0, gBlocksToPreallocate, nullptr, kHintFreeList);
    if (!data->pipelines)
        return nullptr;
    data->heap = PipelineHeapCreate(kHeapMinimumBlock);
    if (!data->heap) {
        FreeListDestroy(data->pipelines);
        data->pipelines = nullptr;
        return nullptr;
    }
    ++gOpenCount;
    return instance;
}

void* PipelineModuleClose(void* instance, int32_t offset, int32_t)
{
    auto* data = reinterpret_cast<PipelineModuleData*>(static_cast<uint8_t*>(instance) + offset);
    PipelineHeapDestroy(data->heap);
    FreeListDestroy(data->pipelines);
    *data = {};
    --gOpenCount;
    return instance;
}

/// Reads one engine render state into *value; false when the device does not answer.
bool ReadState(DeviceRenderStateGetFunc get, int32_t state, uint32_t* value)
{
    uint32_t read = 0;
    if (!get(state, &read))
        return false;
    *value = read;
    return true;
}

void ReadFlag(DeviceRenderStateGetFunc get, int32_t state, uint32_t bit, uint32_t* flags)
{
    uint32_t on = 0;
    if (ReadState(get, state, &on))
        *flags = on ? (*flags | bit) : (*flags & ~bit);
}

} // namespace

int32_t PipelineModuleAttach()
{
    gOffset = EngineAttachPlugin(sizeof(PipelineModuleData), kPluginIdPipeline, PipelineModuleOpen,
                                 PipelineModuleClose);
    return gOffset;
}

PipelineModuleData* PipelineModuleGet()
{
    if (gOpenCount <= 0 || gOffset < 0) {
        ErrorRaise(0, kErrorNotStarted);
        return nullptr;
    }
    return static_cast<PipelineModuleData*>(EngineGetModuleData(gOffset));
}

void PipelineRaise(uint32_t code)
{
    ErrorRaise(kPluginIdCore, code);
}

void PipelineSetFreeListCreateParams(uint32_t entriesPerBlock, uint32_t blocksToPreallocate)
{
    gEntriesPerBlock = entriesPerBlock;
    gBlocksToPreallocate = blocksToPreallocate;
}

PipelineHeap* PipelineGetHeap()
{
    PipelineModuleData* module = PipelineModuleGet();
    return module ? module->heap : nullptr;
}

PipelineDefaultSlots* PipelineGetDefaultSlots()
{
    PipelineModuleData* module = PipelineModuleGet();
    return module ? &module->defaultSlots : nullptr;
}

PipelineRenderStates* PipelineRenderStatesGetDefault(PipelineRenderStates* out)
{
    PipelineModuleData* module = PipelineModuleGet();
    if (!module)
        return nullptr;
    if (!out) {
        ErrorRaise(0, kErrorNullArgument);
        return nullptr;
    }
    *out = module->defaultRenderStates;
    return out;
}

PipelineRenderStates* PipelineRenderStatesCapture()
{
    PipelineModuleData* module = PipelineModuleGet();
    if (!module)
        return nullptr;
    auto* states =
        static_cast<PipelineRenderStates*>(MemoryAllocate(sizeof(PipelineRenderStates), kHintRenderStates));
    if (!states) {
        ErrorRaise(0, ErrorCode(kErrorOutOfMemory, sizeof(PipelineRenderStates)));
        return nullptr;
    }
    *states = module->defaultRenderStates;
    DeviceRenderStateGetFunc get = EngineGetInstance()->device.renderStateGet;
    if (!get)
        return states;
    // Perspective correction (state 5) can't be read back: it stays as the default says.
    ReadFlag(get, 6, kRenderStateZTest, &states->flags);
    ReadFlag(get, 8, kRenderStateZWrite, &states->flags);
    ReadFlag(get, 12, kRenderStateVertexAlpha, &states->flags);
    ReadState(get, 20, &states->cullMode);
    ReadState(get, 10, &states->srcBlend);
    ReadState(get, 11, &states->destBlend);
    void* raster = nullptr;
    if (get(1, &raster))
        states->raster = raster;
    ReadState(get, 3, &states->addressU);
    ReadState(get, 4, &states->addressV);
    ReadState(get, 9, &states->filterMode);
    ReadState(get, 13, &states->borderColour);
    uint32_t fog = 0;
    if (ReadState(get, 14, &fog)) {
        states->fogType = 0;
        if (fog)
            ReadState(get, 16, &states->fogType);
    }
    ReadState(get, 15, &states->fogColour);
    return states;
}

void PipelineRenderStatesDestroy(PipelineRenderStates* states)
{
    MemoryFree(states);
}
