// The material-effects records: their free list, the material extension
// that holds them, the record's type and its setters and getters.
#include "graphics/animation/effects/effects.h"

#include <cstring>

#include "graphics/animation/effects/effectsinternal.h"
#include "graphics/core/error.h"
#include "graphics/core/freelist.h"
#include "graphics/core/memory.h"
#include "graphics/core/raster.h"
#include "graphics/core/texture.h"
#include "graphics/d3d9/rasterext.h"
#include "graphics/scene/material.h"
#include "graphics/scene/sceneplugins.h"
#include "graphics/toolkit2d/texturecombine.h"

namespace {

constexpr uint32_t kHintObject = kMemoryHintObject | kPluginIdMaterialEffects;
constexpr uint32_t kHintEngine = kMemoryHintEngine | kPluginIdMaterialEffects;
constexpr uint32_t kEntriesPerBlock = 128;
constexpr uint32_t kBlocksToPreallocate = 1;

FreeList* gFreeList = nullptr;
int32_t gMaterialOffset = -1;

/// Slot kinds of each effect type (slot 0, slot 1).
constexpr uint32_t kTypeKinds[7][2] = {
    {kEffectSlotNone, kEffectSlotNone},        {kEffectSlotBumpMap, kEffectSlotNone},
    {kEffectSlotEnvMap, kEffectSlotNone},      {kEffectSlotBumpMap, kEffectSlotEnvMap},
    {kEffectSlotDual, kEffectSlotNone},        {kEffectSlotUvTransform, kEffectSlotNone},
    {kEffectSlotUvTransform, kEffectSlotDual},
};

void* MaterialConstruct(void* object, int32_t, int32_t)
{
    *EffectsMaterialSlot(static_cast<Material*>(object)) = nullptr;
    return object;
}

void* MaterialDestruct(void* object, int32_t, int32_t)
{
    MaterialEffects** slot = EffectsMaterialSlot(static_cast<Material*>(object));
    if (*slot) {
        MaterialEffectsClear(*slot);
        FreeListFree(gFreeList, *slot);
        *slot = nullptr;
    }
    return object;
}

void* MaterialCopy(void* destinationObject, const void* sourceObject, int32_t, int32_t)
{
    auto* destination = static_cast<Material*>(destinationObject);
    const MaterialEffects* source = *EffectsMaterialSlot(static_cast<const Material*>(sourceObject));
    if (!source || !MaterialEffectsSetType(destination, source->type)) {
        return destinationObject;
    }
    for (const EffectSlot& from : source->slots) {
        EffectSlot* to = EffectsFindSlot(destination, from.kind);
        if (!to) {
            continue;
        }
        switch (from.kind) {
        case kEffectSlotBumpMap:
            EffectsReplaceTexture(&to->bumpMap.combined, from.bumpMap.combined);
            EffectsReplaceTexture(&to->bumpMap.bump, from.bumpMap.bump);
            to->bumpMap.frame = from.bumpMap.frame;
            to->bumpMap.coefficient = from.bumpMap.coefficient;
            to->bumpMap.invWidth = from.bumpMap.invWidth;
            break;
        case kEffectSlotEnvMap:
            if (from.envMap.texture) {
                EffectsReplaceTexture(&to->envMap.texture, from.envMap.texture);
            }
            to->envMap.frame = from.envMap.frame;
            to->envMap.frameBufferAlpha = from.envMap.frameBufferAlpha;
            to->envMap.coefficient = from.envMap.coefficient;
            break;
        case kEffectSlotDual:
            if (from.dual.texture) {
                EffectsReplaceTexture(&to->dual.texture, from.dual.texture);
            }
            to->dual.sourceBlend = from.dual.sourceBlend;
            to->dual.destinationBlend = from.dual.destinationBlend;
            break;
        case kEffectSlotUvTransform:
            to->uvTransform = from.uvTransform;
            break;
        default:
            break;
        }
    }
    return destinationObject;
}

float InverseWidth(const Texture* texture)
{
    const Raster* raster = texture ? texture->raster : nullptr;
    return raster && raster->width > 0 ? 1.0f / float(raster->width) : 0.0f;
}

/// The combined texture of `base` and `bump`: null when either raster came
/// from an explicit device format (its pixels cannot be combined).
Texture* CreateBumpTexture(Texture* base, Texture* bump)
{
    if ((bump->raster && D3D9RasterHasNativeFormat(bump->raster)) ||
        (base && base->raster && D3D9RasterHasNativeFormat(base->raster))) {
        return nullptr;
    }
    return TextureCreateFromColourAndMask(base, bump);
}

} // namespace

bool EffectsRecordsOpen()
{
    gFreeList = FreeListCreate(sizeof(MaterialEffects), kEntriesPerBlock, 4, kBlocksToPreallocate, nullptr,
                               kHintEngine);
    return gFreeList != nullptr;
}

void EffectsRecordsClose()
{
    FreeListDestroy(gFreeList);
    gFreeList = nullptr;
}

bool EffectsMaterialRegister()
{
    gMaterialOffset = MaterialRegisterPlugin(sizeof(MaterialEffects*), kPluginIdMaterialEffects,
                                             MaterialConstruct, MaterialDestruct, MaterialCopy);
    return gMaterialOffset >= 0;
}

MaterialEffects** EffectsMaterialSlot(const Material* material)
{
    auto* bytes = reinterpret_cast<uint8_t*>(const_cast<Material*>(material));
    return reinterpret_cast<MaterialEffects**>(bytes + gMaterialOffset);
}

MaterialEffects* EffectsMaterialRecord(Material* material)
{
    MaterialEffects** slot = EffectsMaterialSlot(material);
    if (!*slot) {
        auto* record = static_cast<MaterialEffects*>(FreeListAlloc(gFreeList, kHintObject));
        if (!record) {
            ErrorRaise(0, kErrorOutOfMemory);
            return nullptr;
        }
        std::memset(record, 0, sizeof(*record));
        *slot = record;
    }
    return *slot;
}

EffectSlot* EffectsFindSlot(const Material* material, uint32_t kind)
{
    MaterialEffects* record = material ? *EffectsMaterialSlot(material) : nullptr;
    if (!record || kind == kEffectSlotNone) {
        return nullptr;
    }
    for (EffectSlot& slot : record->slots) {
        if (slot.kind == kind) {
            return &slot;
        }
    }
    return nullptr;
}

void EffectsReplaceTexture(Texture** held, Texture* texture)
{
    if (texture) {
        TextureAddRef(texture);
    }
    if (*held) {
        TextureDestroy(*held);
    }
    *held = texture;
}

MaterialEffects* MaterialEffectsGet(const Material* material)
{
    return *EffectsMaterialSlot(material);
}

void MaterialEffectsClear(MaterialEffects* effects)
{
    for (EffectSlot& slot : effects->slots) {
        switch (slot.kind) {
        case kEffectSlotBumpMap:
            EffectsReplaceTexture(&slot.bumpMap.combined, nullptr);
            EffectsReplaceTexture(&slot.bumpMap.bump, nullptr);
            break;
        case kEffectSlotEnvMap:
            EffectsReplaceTexture(&slot.envMap.texture, nullptr);
            break;
        case kEffectSlotDual:
            EffectsReplaceTexture(&slot.dual.texture, nullptr);
            break;
        default:
            break;
        }
    }
    std::memset(effects, 0, sizeof(*effects));
}

Material* MaterialEffectsSetType(Material* material, uint32_t type)
{
    MaterialEffects* record = EffectsMaterialRecord(material);
    if (!record) {
        return nullptr;
    }
    if (type == EffectTypeNull || (record->type != EffectTypeNull && record->type != type)) {
        MaterialEffectsClear(record);
    }
    record->type = type;
    if (type < 7) {
        record->slots[0].kind = kTypeKinds[type][0];
        record->slots[1].kind = kTypeKinds[type][1];
    } else {
        record->slots[0].kind = kEffectSlotNone;
        record->slots[1].kind = kEffectSlotNone;
    }
    if (EffectSlot* dual = EffectsFindSlot(material, kEffectSlotDual)) {
        dual->dual.sourceBlend = 5;
        dual->dual.destinationBlend = 6;
    }
    return material;
}

uint32_t MaterialEffectsGetType(const Material* material)
{
    const MaterialEffects* record = MaterialEffectsGet(material);
    return record ? record->type : EffectTypeNull;
}

bool MaterialEffectsIsBumpMapped(const Material* material)
{
    const uint32_t type = MaterialEffectsGetType(material);
    return type == EffectTypeBumpMap || type == EffectTypeBumpEnvMap;
}

Material* MaterialEffectsSetupBumpMap(Material* material, Texture* bumpTexture, Frame* frame,
                                      float coefficient)
{
    if (!MaterialEffectsSetBumpMapTexture(material, bumpTexture)) {
        return nullptr;
    }
    MaterialEffectsSetBumpMapFrame(material, frame);
    MaterialEffectsSetBumpMapCoefficient(material, coefficient);
    return material;
}

Material* MaterialEffectsSetBumpMapTexture(Material* material, Texture* bumpTexture)
{
    EffectSlot* slot = EffectsFindSlot(material, kEffectSlotBumpMap);
    if (!slot) {
        return nullptr;
    }
    EffectBumpMap& bump = slot->bumpMap;
    EffectsReplaceTexture(&bump.bump, nullptr);
    EffectsReplaceTexture(&bump.combined, nullptr);
    bump.invWidth = 0.0f;
    if (!bumpTexture) {
        bump.invWidth = InverseWidth(material->texture);
        return material;
    }
    EffectsReplaceTexture(&bump.bump, bumpTexture);
    Texture* base = material->texture;
    if (!bumpTexture->raster || bumpTexture->raster->width == 0 ||
        (base && (!base->raster || base->raster->width == 0))) {
        return material;
    }
    char name[32];
    TextureNameInterleave(name, base ? base->name : bumpTexture->name, bumpTexture->name);
    TexDictionary* dictionary = TexDictionaryGetCurrent();
    Texture* found = dictionary ? TexDictionaryFindNamedTexture(dictionary, name) : nullptr;
    if (found) {
        EffectsReplaceTexture(&bump.combined, found);
    } else {
        Texture* built = CreateBumpTexture(base, bumpTexture);
        if (!built) {
            return nullptr;
        }
        bump.combined = built;
        if (dictionary) {
            TexDictionaryAddTexture(dictionary, built);
        }
    }
    bump.invWidth = InverseWidth(bump.combined);
    return material;
}

void MaterialEffectsSetBumpMapFrame(Material* material, Frame* frame)
{
    if (EffectSlot* slot = EffectsFindSlot(material, kEffectSlotBumpMap)) {
        slot->bumpMap.frame = frame;
    }
}

void MaterialEffectsSetBumpMapCoefficient(Material* material, float coefficient)
{
    if (EffectSlot* slot = EffectsFindSlot(material, kEffectSlotBumpMap)) {
        slot->bumpMap.coefficient = -coefficient;
    }
}

Texture* MaterialEffectsGetBumpMapTexture(const Material* material)
{
    const EffectSlot* slot = EffectsFindSlot(material, kEffectSlotBumpMap);
    return slot ? slot->bumpMap.combined : nullptr;
}

Texture* MaterialEffectsGetBumpMapBumpTexture(const Material* material)
{
    const EffectSlot* slot = EffectsFindSlot(material, kEffectSlotBumpMap);
    return slot ? slot->bumpMap.bump : nullptr;
}

Frame* MaterialEffectsGetBumpMapFrame(const Material* material)
{
    const EffectSlot* slot = EffectsFindSlot(material, kEffectSlotBumpMap);
    return slot ? slot->bumpMap.frame : nullptr;
}

float MaterialEffectsGetBumpMapCoefficient(const Material* material)
{
    const EffectSlot* slot = EffectsFindSlot(material, kEffectSlotBumpMap);
    return slot ? -slot->bumpMap.coefficient : 0.0f;
}

Material* MaterialEffectsSetupEnvMap(Material* material, Texture* texture, Frame* frame,
                                     uint32_t frameBufferAlpha, float coefficient)
{
    EffectSlot* slot = EffectsFindSlot(material, kEffectSlotEnvMap);
    if (!slot || !texture) {
        return nullptr;
    }
    EffectsReplaceTexture(&slot->envMap.texture, texture);
    slot->envMap.frame = frame;
    slot->envMap.frameBufferAlpha = frameBufferAlpha;
    slot->envMap.coefficient = coefficient;
    return material;
}

Material* MaterialEffectsSetEnvMapTexture(Material* material, Texture* texture)
{
    EffectSlot* slot = EffectsFindSlot(material, kEffectSlotEnvMap);
    if (!slot || !texture) {
        return nullptr;
    }
    EffectsReplaceTexture(&slot->envMap.texture, texture);
    return material;
}

Material* MaterialEffectsSetEnvMapFrame(Material* material, Frame* frame)
{
    EffectSlot* slot = EffectsFindSlot(material, kEffectSlotEnvMap);
    if (!slot) {
        return nullptr;
    }
    slot->envMap.frame = frame;
    return material;
}

Material* MaterialEffectsSetEnvMapFrameBufferAlpha(Material* material, uint32_t frameBufferAlpha)
{
    EffectSlot* slot = EffectsFindSlot(material, kEffectSlotEnvMap);
    if (!slot) {
        return nullptr;
    }
    slot->envMap.frameBufferAlpha = frameBufferAlpha;
    return material;
}

Material* MaterialEffectsSetEnvMapCoefficient(Material* material, float coefficient)
{
    EffectSlot* slot = EffectsFindSlot(material, kEffectSlotEnvMap);
    if (!slot) {
        return nullptr;
    }
    slot->envMap.coefficient = coefficient;
    return material;
}

Texture* MaterialEffectsGetEnvMapTexture(const Material* material)
{
    const EffectSlot* slot = EffectsFindSlot(material, kEffectSlotEnvMap);
    return slot ? slot->envMap.texture : nullptr;
}

Frame* MaterialEffectsGetEnvMapFrame(const Material* material)
{
    const EffectSlot* slot = EffectsFindSlot(material, kEffectSlotEnvMap);
    return slot ? slot->envMap.frame : nullptr;
}

uint32_t MaterialEffectsGetEnvMapFrameBufferAlpha(const Material* material)
{
    const EffectSlot* slot = EffectsFindSlot(material, kEffectSlotEnvMap);
    return slot ? slot->envMap.frameBufferAlpha : 0;
}

float MaterialEffectsGetEnvMapCoefficient(const Material* material)
{
    const EffectSlot* slot = EffectsFindSlot(material, kEffectSlotEnvMap);
    return slot ? slot->envMap.coefficient : 0.0f;
}

Material* MaterialEffectsSetupDualTexture(Material* material, Texture* texture, uint32_t sourceBlend,
                                          uint32_t destinationBlend)
{
    if (!MaterialEffectsSetDualTexture(material, texture)) {
        return nullptr;
    }
    return MaterialEffectsSetDualBlendModes(material, sourceBlend, destinationBlend);
}

Material* MaterialEffectsSetDualTexture(Material* material, Texture* texture)
{
    EffectSlot* slot = EffectsFindSlot(material, kEffectSlotDual);
    if (!slot || !texture) {
        return nullptr;
    }
    EffectsReplaceTexture(&slot->dual.texture, texture);
    return material;
}

Material* MaterialEffectsSetDualBlendModes(Material* material, uint32_t sourceBlend,
                                           uint32_t destinationBlend)
{
    EffectSlot* slot = EffectsFindSlot(material, kEffectSlotDual);
    if (!slot) {
        return nullptr;
    }
    slot->dual.sourceBlend = sourceBlend;
    slot->dual.destinationBlend = destinationBlend;
    return material;
}

bool MaterialEffectsGetDualBlendModes(const Material* material, uint32_t* sourceBlend,
                                      uint32_t* destinationBlend)
{
    const EffectSlot* slot = EffectsFindSlot(material, kEffectSlotDual);
    *sourceBlend = slot ? slot->dual.sourceBlend : 0;
    *destinationBlend = slot ? slot->dual.destinationBlend : 0;
    return slot != nullptr;
}

Texture* MaterialEffectsGetDualTexture(const Material* material)
{
    const EffectSlot* slot = EffectsFindSlot(material, kEffectSlotDual);
    return slot ? slot->dual.texture : nullptr;
}

void MaterialEffectsSetUvTransformMatrices(Material* material, Matrix* baseMatrix, Matrix* dualMatrix)
{
    if (EffectSlot* slot = EffectsFindSlot(material, kEffectSlotUvTransform)) {
        slot->uvTransform.baseMatrix = baseMatrix;
        slot->uvTransform.dualMatrix = dualMatrix;
    }
}

bool MaterialEffectsGetUvTransformMatrices(const Material* material, Matrix** baseMatrix, Matrix** dualMatrix)
{
    const EffectSlot* slot = EffectsFindSlot(material, kEffectSlotUvTransform);
    if (!slot) {
        return false;
    }
    if (baseMatrix) {
        *baseMatrix = slot->uvTransform.baseMatrix;
    }
    if (dualMatrix) {
        *dualMatrix = slot->uvTransform.dualMatrix;
    }
    return true;
}
