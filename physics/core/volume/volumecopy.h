#pragma once
// Copies of volume records: the copy references the data its type shares
// (hulls, child lists, grids) with the original.

#include "physics/core/volume/volume.h"

/// A new record with the same contents, sharing (and referencing) the
/// type's shared data; null when the memory refuses.
OlpVolume* OlpVolumeClone(const OlpVolume* volume);
/// Copies `source` over `destination` and references the shared data.
OlpVolume* OlpVolumeCopy(OlpVolume* destination, const OlpVolume* source);
