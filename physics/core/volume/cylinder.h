#pragma once
// The cylinder volume (type 6): a cylinder of radius r and half height h
// along z, rounded by the margin. Pairs with it are measured by GJK.

#include "physics/core/volume/volume.h"

extern const OlpVolumeDescriptor kOlpCylinderDescriptor;

/// A new cylinder (lengths >= 0; negative or NaN taken as 0); null when the memory refuses.
OlpVolume* OlpCylinderCreate(float radius, float halfHeight);
/// Initialises `volume` in place as a cylinder.
OlpVolume* OlpCylinderInit(OlpVolume* volume, float radius, float halfHeight);
float OlpCylinderGetRadius(const OlpVolume* volume);
float OlpCylinderGetHalfHeight(const OlpVolume* volume);
OlpVolume* OlpCylinderSetRadius(OlpVolume* volume, float radius);
OlpVolume* OlpCylinderSetHalfHeight(OlpVolume* volume, float halfHeight);
