#pragma once
// The surface coefficients of a volume; an aggregate hands them down to
// every leaf below it.

#include "physics/core/volume/volume.h"

/// Restitution; on an aggregate every leaf below it takes the value instead.
OlpVolume* OlpVolumeSetBounce(OlpVolume* volume, float bounce);
/// Friction; on an aggregate every leaf below it takes the value instead.
OlpVolume* OlpVolumeSetSlide(OlpVolume* volume, float slide);
