// The material-effects plug-in: its engine module (the records and the
// pipelines, counted over engine opens), the registration of its three
// extensions, and the effects-on words of atomics and world sectors, which
// switch those objects to the effects pipelines.
#include "graphics/animation/effects/effects.h"
#include "graphics/animation/effects/effectsbumpmap.h"
#include "graphics/animation/effects/effectsinternal.h"
#include "graphics/animation/effects/effectspipelines.h"
#include "graphics/core/engine.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/material.h"
#include "graphics/scene/sceneplugins.h"
#include "graphics/scene/world.h"

namespace {

int32_t gOpenCount = 0;
int32_t gAtomicOffset = -1;
int32_t gSectorOffset = -1;

void* EffectsClose(void* instance, int32_t, int32_t);

void* EffectsOpen(void* instance, int32_t, int32_t)
{
    if (gOpenCount == 0 && !EffectsRecordsOpen()) {
        return nullptr;
    }
    ++gOpenCount;
    if (gOpenCount == 1 && !EffectsPipelinesCreate()) {
        EffectsClose(instance, 0, 0);
        return nullptr;
    }
    return instance;
}

void* EffectsClose(void* instance, int32_t, int32_t)
{
    if (gOpenCount > 0 && --gOpenCount == 0) {
        EffectsPipelinesDestroy();
        EffectsBumpMapRelease();
        EffectsRecordsClose();
    }
    return instance;
}

void* WordConstruct(void* object, int32_t offset, int32_t)
{
    *EffectsWordAt(object, offset) = 0;
    return object;
}

void* WordCopy(void* destination, const void* source, int32_t offset, int32_t)
{
    if (*EffectsWordAt(source, offset) != 0) {
        *EffectsWordAt(destination, offset) = 1;
    }
    return destination;
}

Stream* AtomicWordStreamRead(Stream* stream, int32_t length, void* object, int32_t, int32_t)
{
    uint32_t word = 0;
    if (!EffectsWordRead(stream, length, &word)) {
        return nullptr;
    }
    return word == 0 || AtomicEnableEffects(static_cast<Atomic*>(object)) ? stream : nullptr;
}

Stream* SectorWordStreamRead(Stream* stream, int32_t length, void* object, int32_t, int32_t)
{
    uint32_t word = 0;
    if (!EffectsWordRead(stream, length, &word)) {
        return nullptr;
    }
    return word == 0 || WorldSectorEnableEffects(static_cast<WorldSector*>(object)) ? stream : nullptr;
}

} // namespace

bool EffectsPluginAttach()
{
    if (EngineAttachPlugin(0, kPluginIdMaterialEffects, EffectsOpen, EffectsClose) < 0) {
        return false;
    }
    if (!EffectsMaterialRegister() ||
        MaterialRegisterPluginStream(kPluginIdMaterialEffects, EffectsMaterialStreamRead,
                                     EffectsMaterialStreamWrite, EffectsMaterialStreamGetSize) < 0) {
        return false;
    }
    gAtomicOffset = AtomicRegisterPlugin(sizeof(uint32_t), kPluginIdMaterialEffects, WordConstruct,
                                         WordConstruct, WordCopy);
    if (gAtomicOffset < 0 ||
        AtomicRegisterPluginStream(kPluginIdMaterialEffects, AtomicWordStreamRead, EffectsWordStreamWrite,
                                   EffectsWordStreamGetSize) < 0) {
        return false;
    }
    gSectorOffset = WorldSectorRegisterPlugin(sizeof(uint32_t), kPluginIdMaterialEffects, WordConstruct,
                                              WordConstruct, WordCopy);
    return gSectorOffset >= 0 &&
           WorldSectorRegisterPluginStream(kPluginIdMaterialEffects, SectorWordStreamRead,
                                           EffectsWordStreamWrite, EffectsWordStreamGetSize) >= 0;
}

Atomic* AtomicEnableEffects(Atomic* atomic)
{
    uint32_t* word = EffectsWordAt(atomic, gAtomicOffset);
    if (*word == 0) {
        if (!EffectsGetPipeline(kEffectsPipelineAtomic)) {
            return nullptr;
        }
        AtomicSetEffectsPipeline(atomic);
        *word = 1;
    }
    return atomic;
}

bool AtomicEffectsEnabled(const Atomic* atomic)
{
    return *EffectsWordAt(atomic, gAtomicOffset) != 0;
}

WorldSector* WorldSectorEnableEffects(WorldSector* sector)
{
    uint32_t* word = EffectsWordAt(sector, gSectorOffset);
    if (*word == 0) {
        if (!EffectsGetPipeline(kEffectsPipelineWorldSector)) {
            return nullptr;
        }
        WorldSectorSetEffectsPipeline(sector);
        *word = 1;
    }
    return sector;
}

bool WorldSectorEffectsEnabled(const WorldSector* sector)
{
    return *EffectsWordAt(sector, gSectorOffset) != 0;
}
