#pragma once
// Slot implementations any volume type may share, built on its other slots.

#include "physics/core/volume/volume.h"

/// The sphere of the slot-4 box without a matrix.
OlpSphere* OlpVolumeBoundingSphereFromBox(const OlpVolume* volume, OlpSphere* out);
/// The mass of a rounded box over the slot-4 box (half extents, margin);
/// reports half that box's volume.
float OlpVolumeMassPropertiesFromBox(const OlpVolume* volume, OlpMassProperties* out, V3d* centre);
/// Interval from the support points in +axis and -axis; 0 when a support
/// point is missing.
int32_t OlpVolumeProjectionFromSupport(const OlpVolume* volume, const V3d* axis, float* min, float* max);
/// Smallest extent of the slot-4 box less twice the margin.
float OlpVolumeCoreThicknessFromBox(const OlpVolume* volume);
