// Stored forms of the effects: the material sub-chunk (type, then each
// slot's kind and fields, textures as optional texture chunks) and the
// effects-on word of atomics and world sectors. A slot kind that the stored
// type does not give fails the read, so no slot is used as another kind.
#include <cstring>

#include "graphics/animation/effects/effectsinternal.h"
#include "graphics/core/chunk.h"
#include "graphics/core/error.h"
#include "graphics/core/raster.h"
#include "graphics/core/stream.h"
#include "graphics/core/texture.h"
#include "graphics/scene/material.h"
#include "graphics/toolkit2d/texturecombine.h"

namespace {

/// Bytes of an optional texture: the flag, and the chunk header and body when present.
int32_t OptionalTextureSize(const Texture* texture)
{
    return texture ? int32_t(TextureStreamGetSize(texture)) + 16 : 4;
}

Stream* Fail()
{
    ErrorRaise(0, kErrorRead);
    return nullptr;
}

bool ReadFloat(Stream* stream, float* value)
{
    return StreamReadReal(stream, value, sizeof(*value)) != nullptr;
}

bool WriteFloat(Stream* stream, float value)
{
    return StreamWriteReal(stream, &value, sizeof(value)) != nullptr;
}

/// Reads an optional texture, keeping the pending error of earlier reads out
/// of the not-found test.
Stream* ReadTexture(Stream* stream, Texture** texture)
{
    ErrorRecord pending;
    ErrorGet(&pending);
    return TextureStreamReadOptional(stream, texture);
}

bool ReadBumpMap(Stream* stream, Material* material, EffectSlot* slot)
{
    float coefficient = 0.0f;
    Texture* combined = nullptr;
    Texture* bump = nullptr;
    if (!ReadFloat(stream, &coefficient) || !ReadTexture(stream, &combined)) {
        return false;
    }
    if (!ReadTexture(stream, &bump)) {
        if (combined) {
            TextureDestroy(combined);
        }
        return false;
    }
    EffectBumpMap& bumpMap = slot->bumpMap;
    bool built = true;
    if (combined) {
        EffectsReplaceTexture(&bumpMap.combined, nullptr);
        EffectsReplaceTexture(&bumpMap.bump, nullptr);
        bumpMap.combined = combined;
        bumpMap.bump = bump;
        const Raster* raster = combined->raster;
        bumpMap.invWidth = raster && raster->width > 0 ? 1.0f / float(raster->width) : 0.0f;
    } else if (bump) {
        built = MaterialEffectsSetBumpMapTexture(material, bump) != nullptr;
        TextureDestroy(bump);
    } else {
        EffectsReplaceTexture(&bumpMap.combined, nullptr);
        EffectsReplaceTexture(&bumpMap.bump, nullptr);
    }
    bumpMap.coefficient = -coefficient;
    return built;
}

bool ReadEnvMap(Stream* stream, EffectSlot* slot)
{
    float coefficient = 0.0f;
    uint32_t frameBufferAlpha = 0;
    Texture* texture = nullptr;
    if (!ReadFloat(stream, &coefficient) || !StreamReadUInt32(stream, &frameBufferAlpha) ||
        !ReadTexture(stream, &texture)) {
        return false;
    }
    if (texture) {
        EffectsReplaceTexture(&slot->envMap.texture, texture);
        TextureDestroy(texture);
    }
    slot->envMap.coefficient = coefficient;
    slot->envMap.frameBufferAlpha = frameBufferAlpha;
    return true;
}

bool ReadDual(Stream* stream, EffectSlot* slot)
{
    uint32_t blends[2] = {};
    Texture* texture = nullptr;
    if (!StreamReadUInt32(stream, &blends[0]) || !StreamReadUInt32(stream, &blends[1]) ||
        !ReadTexture(stream, &texture)) {
        return false;
    }
    if (texture) {
        EffectsReplaceTexture(&slot->dual.texture, texture);
        TextureDestroy(texture);
    }
    slot->dual.sourceBlend = blends[0];
    slot->dual.destinationBlend = blends[1];
    return true;
}

bool WriteSlot(Stream* stream, const EffectSlot& slot)
{
    if (!StreamWriteUInt32(stream, slot.kind)) {
        return false;
    }
    switch (slot.kind) {
    case kEffectSlotBumpMap:
        return WriteFloat(stream, -slot.bumpMap.coefficient) &&
               TextureStreamWriteOptional(stream, slot.bumpMap.combined) &&
               TextureStreamWriteOptional(stream, slot.bumpMap.bump);
    case kEffectSlotEnvMap:
        return WriteFloat(stream, slot.envMap.coefficient) &&
               StreamWriteUInt32(stream, slot.envMap.frameBufferAlpha) &&
               TextureStreamWriteOptional(stream, slot.envMap.texture);
    case kEffectSlotDual:
        return StreamWriteUInt32(stream, slot.dual.sourceBlend) &&
               StreamWriteUInt32(stream, slot.dual.destinationBlend) &&
               TextureStreamWriteOptional(stream, slot.dual.texture);
    default:
        return true;
    }
}

int32_t SlotSize(const EffectSlot& slot)
{
    switch (slot.kind) {
    case kEffectSlotBumpMap:
        return 4 + 4 + OptionalTextureSize(slot.bumpMap.combined) + OptionalTextureSize(slot.bumpMap.bump);
    case kEffectSlotEnvMap:
        return 4 + 8 + OptionalTextureSize(slot.envMap.texture);
    case kEffectSlotDual:
        return 4 + 8 + OptionalTextureSize(slot.dual.texture);
    default:
        return 4;
    }
}

} // namespace

Stream* EffectsMaterialStreamRead(Stream* stream, int32_t length, void* object, int32_t, int32_t)
{
    auto* material = static_cast<Material*>(object);
    uint32_t type = 0;
    if (length < 12) {
        return Fail();
    }
    if (!EffectsMaterialRecord(material) || !StreamReadUInt32(stream, &type) ||
        !MaterialEffectsSetType(material, type)) {
        return nullptr;
    }
    MaterialEffects* record = MaterialEffectsGet(material);
    for (EffectSlot& slot : record->slots) {
        uint32_t kind = 0;
        if (!StreamReadUInt32(stream, &kind)) {
            return nullptr;
        }
        if (kind != slot.kind) {
            return Fail();
        }
        const bool read = kind == kEffectSlotBumpMap  ? ReadBumpMap(stream, material, &slot)
                          : kind == kEffectSlotEnvMap ? ReadEnvMap(stream, &slot)
                          : kind == kEffectSlotDual   ? ReadDual(stream, &slot)
                                                      : true;
        if (!read) {
            return nullptr;
        }
    }
    return stream;
}

Stream* EffectsMaterialStreamWrite(Stream* stream, int32_t, const void* object, int32_t, int32_t)
{
    const MaterialEffects* record = MaterialEffectsGet(static_cast<const Material*>(object));
    if (!record || !StreamWriteUInt32(stream, record->type)) {
        return nullptr;
    }
    for (const EffectSlot& slot : record->slots) {
        if (!WriteSlot(stream, slot)) {
            return nullptr;
        }
    }
    return stream;
}

int32_t EffectsMaterialStreamGetSize(const void* object, int32_t, int32_t)
{
    const MaterialEffects* record = MaterialEffectsGet(static_cast<const Material*>(object));
    if (!record || record->type == EffectTypeNull) {
        return 0;
    }
    return 4 + SlotSize(record->slots[0]) + SlotSize(record->slots[1]);
}

Stream* EffectsWordRead(Stream* stream, int32_t length, uint32_t* word)
{
    *word = 0;
    if (length < 4) {
        return Fail();
    }
    return StreamReadUInt32(stream, word) ? stream : nullptr;
}

Stream* EffectsWordStreamWrite(Stream* stream, int32_t, const void* object, int32_t offset, int32_t)
{
    return StreamWriteUInt32(stream, *EffectsWordAt(object, offset));
}

int32_t EffectsWordStreamGetSize(const void* object, int32_t offset, int32_t)
{
    return *EffectsWordAt(object, offset) != 0 ? 4 : 0;
}
