// The pipeline selector (extension 0x1F of atomics, worlds, world sectors
// and materials): saves which plug-in's pipeline an object used, and after
// reading hands the recorded plug-in id and word to that plug-in's rights
// callback so it can attach its pipeline again.
#include "graphics/core/chunk.h"
#include "graphics/core/error.h"
#include "graphics/core/pipeline.h"
#include "graphics/core/stream.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/material.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/sceneplugins.h"
#include "graphics/scene/worldprivate.h"

namespace {

struct SelectorSlot
{
    uint32_t pluginId;
    uint32_t data;
};

SelectorSlot gSlots[kSelectorTypeCount];

const Pipeline* PipelineOf(SelectorType type, const void* object)
{
    switch (type) {
    case kSelectorAtomic:
        return static_cast<const Atomic*>(object)->pipeline;
    case kSelectorWorld:
        return static_cast<const World*>(object)->pipeline;
    case kSelectorWorldSector:
        return static_cast<const WorldSector*>(object)->pipeline;
    case kSelectorMaterial:
        return static_cast<const Material*>(object)->pipeline;
    default:
        return nullptr;
    }
}

PluginRegistry* RegistryOf(SelectorType type)
{
    switch (type) {
    case kSelectorAtomic:
        return AtomicGetPluginRegistry();
    case kSelectorWorld:
        return WorldGetPluginRegistry();
    case kSelectorWorldSector:
        return WorldSectorGetPluginRegistry();
    default:
        return MaterialGetPluginRegistry();
    }
}

template <SelectorType type> int32_t Size(const void* object, int32_t, int32_t)
{
    const Pipeline* pipeline = PipelineOf(type, object);
    return pipeline && pipeline->pluginId != 0 ? 8 : 0;
}

template <SelectorType type> Stream* Write(Stream* stream, int32_t, const void* object, int32_t, int32_t)
{
    const Pipeline* pipeline = PipelineOf(type, object);
    if (!StreamWriteUInt32(stream, pipeline->pluginId)) {
        return nullptr;
    }
    return StreamWriteUInt32(stream, uint32_t(pipeline->pluginData));
}

template <SelectorType type> Stream* Read(Stream* stream, int32_t length, void*, int32_t, int32_t)
{
    SelectorSlot slot = {0, 0};
    if (length < 4 || !StreamReadUInt32(stream, &slot.pluginId) ||
        (length >= 8 && !StreamReadUInt32(stream, &slot.data))) {
        ErrorRaise(kPluginIdScene, kErrorRead);
        return nullptr;
    }
    gSlots[type] = slot;
    return stream;
}

} // namespace

void PipelineSelectorClear(SelectorType type)
{
    gSlots[type] = {0, 0};
}

void PipelineSelectorApply(SelectorType type, void* object)
{
    const SelectorSlot slot = gSlots[type];
    if (slot.pluginId != 0) {
        PluginRegistryInvokeRights(RegistryOf(type), slot.pluginId, object, slot.data);
    }
}

bool PipelineSelectorAttach()
{
    bool ok = true;
    ok &= AtomicRegisterPlugin(0, kPluginIdPipelineSelector, nullptr, nullptr, nullptr) >= 0 &&
          AtomicRegisterPluginStream(kPluginIdPipelineSelector, Read<kSelectorAtomic>, Write<kSelectorAtomic>,
                                     Size<kSelectorAtomic>) >= 0;
    ok &= WorldRegisterPlugin(0, kPluginIdPipelineSelector, nullptr, nullptr, nullptr) >= 0 &&
          WorldRegisterPluginStream(kPluginIdPipelineSelector, Read<kSelectorWorld>, Write<kSelectorWorld>,
                                    Size<kSelectorWorld>) >= 0;
    ok &= WorldSectorRegisterPlugin(0, kPluginIdPipelineSelector, nullptr, nullptr, nullptr) >= 0 &&
          WorldSectorRegisterPluginStream(kPluginIdPipelineSelector, Read<kSelectorWorldSector>,
                                          Write<kSelectorWorldSector>, Size<kSelectorWorldSector>) >= 0;
    ok &= MaterialRegisterPlugin(0, kPluginIdPipelineSelector, nullptr, nullptr, nullptr) >= 0 &&
          MaterialRegisterPluginStream(kPluginIdPipelineSelector, Read<kSelectorMaterial>,
                                       Write<kSelectorMaterial>, Size<kSelectorMaterial>) >= 0;
    return ok;
}
