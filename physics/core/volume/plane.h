#pragma once
// The plane volume (type 1): the half-space z <= 0 of its frame, reaching
// `margin` above the plane; its normal is the frame's at-axis.

#include "physics/core/volume/volume.h"

extern const OlpVolumeDescriptor kOlpPlaneDescriptor;

/// A new plane; null when the memory refuses.
OlpVolume* OlpPlaneCreate();
/// Initialises `volume` in place as a plane.
OlpVolume* OlpPlaneInit(OlpVolume* volume);
