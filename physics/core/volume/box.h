#pragma once
// The box volume (type 5): a box of half extents hx, hy, hz about the
// origin, rounded by the margin.

#include "physics/core/volume/volume.h"

extern const OlpVolumeDescriptor kOlpBoxDescriptor;

/// A new box (half extents >= 0; negative or NaN taken as 0); null when the memory refuses.
OlpVolume* OlpBoxCreate(const V3d* halfExtents);
/// Initialises `volume` in place as a box.
OlpVolume* OlpBoxInit(OlpVolume* volume, const V3d* halfExtents);
V3d* OlpBoxGetHalfExtents(const OlpVolume* volume, V3d* out);
OlpVolume* OlpBoxSetHalfExtents(OlpVolume* volume, const V3d* halfExtents);
