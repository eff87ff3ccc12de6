#include "physics/core/body/bodydef.h"

#include "graphics/core/memory.h"
#include "physics/core/utils/memory.h"
#include "physics/core/volume/nullvolume.h"

namespace {

void ReleaseContents(OlpBodyDef* def)
{
    OlpPartDeinit(&def->part);
    OlpAlignedFree(def->volume);
    def->volume = nullptr;
}

} // namespace

OlpBodyDef* OlpBodyDefInit(OlpBodyDef* def)
{
    def->refCount = 1;
    def->volume = OlpVolumeAllocate();
    if (def->volume == nullptr) {
        return nullptr;
    }
    OlpNullInit(def->volume);
    OlpPartInit(&def->part, def->volume);
    return def;
}

OlpBodyDef* OlpBodyDefCreate()
{
    auto* def = static_cast<OlpBodyDef*>(MemoryAllocate(sizeof(OlpBodyDef), kOlpMemoryHint));
    if (def == nullptr) {
        return nullptr;
    }
    if (OlpBodyDefInit(def) == nullptr) {
        MemoryFree(def);
        return nullptr;
    }
    return def;
}

OlpBodyDef* OlpBodyDefCreateFromPart(const OlpPart* part)
{
    OlpBodyDef* def = OlpBodyDefCreate();
    if (def != nullptr) {
        OlpPartCopy(&def->part, part);
    }
    return def;
}

int32_t OlpBodyDefDeinit(OlpBodyDef* def)
{
    if (--def->refCount == 0) {
        ReleaseContents(def);
    }
    return 1;
}

OlpBodyDef* OlpBodyDefAddRef(OlpBodyDef* def)
{
    ++def->refCount;
    return def;
}

int32_t OlpBodyDefRelease(OlpBodyDef* def)
{
    if (--def->refCount == 0) {
        ReleaseContents(def);
        MemoryFree(def);
    }
    return 1;
}
