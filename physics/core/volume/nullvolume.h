#pragma once
// The null volume (type 0): the empty shape. No extent, no mass, never
// collides; child slots and body parts start as null volumes.

#include "physics/core/volume/volume.h"

extern const OlpVolumeDescriptor kOlpNullDescriptor;

/// A new null volume; null when the memory refuses.
OlpVolume* OlpNullCreate();
/// Initialises `volume` in place as a null volume.
OlpVolume* OlpNullInit(OlpVolume* volume);
