#pragma once
// Shared between the effects records, the plug-in and the stream bodies.

#include <cstdint>

#include "graphics/animation/effects/effects.h"

struct Stream;

/// Makes the records' free list (on the plug-in's first open); false when out of memory.
bool EffectsRecordsOpen();
/// Frees the records' free list (on the plug-in's last close).
void EffectsRecordsClose();
/// Registers the material extension that holds the record; false on failure.
bool EffectsMaterialRegister();
/// The material's record slot (the material extension).
MaterialEffects** EffectsMaterialSlot(const Material* material);
/// The record of `material`, created zero-filled when it has none; null when out of memory.
MaterialEffects* EffectsMaterialRecord(Material* material);
/// The slot of `kind` in the material's record, or null.
EffectSlot* EffectsFindSlot(const Material* material, uint32_t kind);
/// The effects-on word at `offset` in an atomic or world sector.
inline uint32_t* EffectsWordAt(const void* object, int32_t offset)
{
    return reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(const_cast<void*>(object)) + offset);
}
/// Replaces *held by `texture` (reference taken, the old one released).
void EffectsReplaceTexture(Texture** held, Texture* texture);

Stream* EffectsMaterialStreamRead(Stream* stream, int32_t length, void* object, int32_t offset, int32_t size);
Stream* EffectsMaterialStreamWrite(Stream* stream, int32_t length, const void* object, int32_t offset,
                                   int32_t size);
int32_t EffectsMaterialStreamGetSize(const void* object, int32_t offset, int32_t size);
/// Reads a stored effects-on word into *word (0 on failure).
Stream* EffectsWordRead(Stream* stream, int32_t length, uint32_t* word);
Stream* EffectsWordStreamWrite(Stream* stream, int32_t length, const void* object, int32_t offset,
                               int32_t size);
int32_t EffectsWordStreamGetSize(const void* object, int32_t offset, int32_t size);
