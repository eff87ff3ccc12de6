#pragma once
// The capsule volume (type 3): the segment from (0, 0, -h) to (0, 0, h)
// swept by the margin, its radius.

#include "physics/core/volume/volume.h"

extern const OlpVolumeDescriptor kOlpCapsuleDescriptor;

/// A new capsule (lengths >= 0; negative or NaN taken as 0); null when the memory refuses.
OlpVolume* OlpCapsuleCreate(float radius, float halfHeight);
/// Initialises `volume` in place as a capsule.
OlpVolume* OlpCapsuleInit(OlpVolume* volume, float radius, float halfHeight);
float OlpCapsuleGetHalfHeight(const OlpVolume* volume);
OlpVolume* OlpCapsuleSetRadius(OlpVolume* volume, float radius);
OlpVolume* OlpCapsuleSetHalfHeight(OlpVolume* volume, float halfHeight);
