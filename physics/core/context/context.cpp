#include "physics/core/context/context.h"

#include "graphics/core/memory.h"
#include "physics/core/manager/manager.h"
#include "physics/core/object/object.h"
#include "physics/core/pipeline/pipeline.h"
#include "physics/core/utils/memory.h"

namespace {

/// The slot holding `volume` among the used ones; -1 when absent.
int64_t FindSlot(const OlpContext* context, const OlpVolume* volume)
{
    for (uint32_t i = 0; i < context->used; ++i) {
        if (context->volumes[i] == volume) {
            return i;
        }
    }
    return -1;
}

void FreeTables(OlpContext* context)
{
    // The pipeline reads the manager: it goes first.
    OlpPipelineDestroy(context->pipeline);
    context->pipeline = nullptr;
    if (context->manager != nullptr) {
        OlpMgrDestroy(context->manager);
    }
    context->manager = nullptr;
    MemoryFree(context->volumes);
    MemoryFree(context->userData);
    MemoryFree(context->handlers);
    context->volumes = nullptr;
    context->userData = nullptr;
    context->handlers = nullptr;
    context->used = 0;
    context->capacity = 0;
    context->typeCount = 0;
}

} // namespace

OlpContext* OlpContextCreate(const OlpContextParams* params, float scale, const float box[6])
{
    auto* context = static_cast<OlpContext*>(MemoryAllocate(sizeof(OlpContext), kOlpMemoryHint));
    if (context == nullptr) {
        return nullptr;
    }
    if (OlpContextInit(context, params, scale, box) == nullptr) {
        MemoryFree(context);
        return nullptr;
    }
    return context;
}

OlpContext* OlpContextInit(OlpContext* context, const OlpContextParams* params, float scale,
                           const float box[6])
{
    const uint32_t capacity = params->words[kOlpParamVolumes];
    const uint32_t typeCount = params->words[kOlpParamObjectTypes];
    context->manager = OlpMgrCreate(params, box, scale, 0);
    context->pipeline = context->manager != nullptr ? OlpPipelineCreate(context, params, scale) : nullptr;
    context->used = 0;
    context->capacity = capacity;
    context->typeCount = typeCount;
    // Zeroed, so that every slot starts free and every handler unset.
    context->volumes =
        static_cast<OlpVolume**>(MemoryAllocateZeroed(capacity, sizeof(OlpVolume*), kOlpMemoryHint));
    context->userData =
        static_cast<uintptr_t*>(MemoryAllocateZeroed(capacity, sizeof(uintptr_t), kOlpMemoryHint));
    context->handlers = static_cast<OlpObjectTypeHandlers*>(
        MemoryAllocateZeroed(typeCount, sizeof(OlpObjectTypeHandlers), kOlpMemoryHint));
    if (context->manager == nullptr || context->pipeline == nullptr ||
        (capacity != 0 && (context->volumes == nullptr || context->userData == nullptr)) ||
        (typeCount != 0 && context->handlers == nullptr)) {
        FreeTables(context);
        return nullptr;
    }
    return context;
}

int32_t OlpContextDeinit(OlpContext* context)
{
    FreeTables(context);
    return 1;
}

int32_t OlpContextDestroy(OlpContext* context)
{
    OlpContextDeinit(context);
    MemoryFree(context);
    return 1;
}

OlpContext* OlpContextAddObject(OlpContext* context, OlpVolume* volume, uintptr_t userData)
{
    uint32_t slot = 0;
    while (slot < context->used && context->volumes[slot] != nullptr) {
        ++slot;
    }
    if (slot == context->used) {
        if (context->used == context->capacity) {
            return nullptr;
        }
        ++context->used;
    }
    context->volumes[slot] = volume;
    context->userData[slot] = userData;
    return context;
}

int32_t OlpContextRemoveObject(OlpContext* context, const OlpVolume* volume)
{
    const int64_t slot = FindSlot(context, volume);
    if (slot < 0) {
        return 0;
    }
    context->volumes[slot] = nullptr;
    context->userData[slot] = 0;
    // Only the last slot is given back; empty slots before it stay counted
    // and are refilled first by the next add.
    if (slot + 1 == context->used) {
        --context->used;
    }
    return 1;
}

OlpContext* OlpContextForAllObjects(OlpContext* context, OlpContextVolumeVisitor visitor, void* data)
{
    for (uint32_t i = 0; i < context->used; ++i) {
        if (context->volumes[i] != nullptr && visitor(context->volumes[i], data) == 0) {
            break;
        }
    }
    return context;
}

int32_t OlpContextSetObjectUserData(OlpContext* context, const OlpVolume* volume, uintptr_t value)
{
    const int64_t slot = FindSlot(context, volume);
    if (slot < 0) {
        return 0;
    }
    context->userData[slot] = value;
    return 1;
}

uintptr_t OlpContextGetObjectUserData(const OlpContext* context, const OlpVolume* volume)
{
    const int64_t slot = FindSlot(context, volume);
    return slot < 0 ? 0 : context->userData[slot];
}

OlpPipeline* OlpContextGetPipeline(const OlpContext* context)
{
    return context->pipeline;
}

OlpMgr* OlpContextGetMgr(const OlpContext* context)
{
    return context->manager;
}

int32_t OlpContextRegisterObjectType(OlpContext* context, uint32_t typeId, OlpObjectDefWriter writer,
                                     OlpObjectDefReader reader)
{
    // The type count is the size of the handler table: an id beyond it would
    // write past the table.
    if (typeId >= context->typeCount) {
        return 0;
    }
    context->handlers[typeId] = {writer, reader};
    return 1;
}
