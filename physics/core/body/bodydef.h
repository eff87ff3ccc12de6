#pragma once
// Body definitions: the shared, reference-counted shape and mass of bodies,
// one part whose collision volume is the definition's own.

#include <cstdint>

#include "physics/core/volume/part.h"

struct OlpBodyDef
{
    OlpPart part;      ///< its volume is `volume`
    OlpVolume* volume; ///< 16-byte aligned, a null volume at creation
    uint32_t refCount;
};

/// A new definition (count 1) with a null volume and a default part; null
/// when memory runs out.
OlpBodyDef* OlpBodyDefCreate();
/// A new definition holding a copy of `part` (its volume copied into the
/// definition's own); null when memory runs out.
OlpBodyDef* OlpBodyDefCreateFromPart(const OlpPart* part);
/// Initialises a caller's record as OlpBodyDefCreate does; null when memory
/// runs out.
OlpBodyDef* OlpBodyDefInit(OlpBodyDef* def);
/// Drops one reference of a caller's record; the last releases the part and
/// frees the volume. 1.
int32_t OlpBodyDefDeinit(OlpBodyDef* def);
/// Takes one more reference; returns def.
OlpBodyDef* OlpBodyDefAddRef(OlpBodyDef* def);
/// Drops one reference; the last releases the part, frees the volume and
/// the record. 1.
int32_t OlpBodyDefRelease(OlpBodyDef* def);
