#pragma once
// The sphere volume (type 2): a point swept by the margin, its radius.

#include "physics/core/volume/volume.h"

extern const OlpVolumeDescriptor kOlpSphereDescriptor;

/// A new sphere of `radius` (negative or NaN taken as 0); null when the memory refuses.
OlpVolume* OlpSphereCreate(float radius);
/// Initialises `volume` in place as a sphere.
OlpVolume* OlpSphereInit(OlpVolume* volume, float radius);
float OlpSphereGetRadius(const OlpVolume* volume);
OlpVolume* OlpSphereSetRadius(OlpVolume* volume, float radius);
