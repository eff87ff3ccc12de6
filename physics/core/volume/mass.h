#pragma once
// Mass properties: how a volume becomes the mass, centre of mass and
// inertia of a body part. Densities are uniform; every volume reports its
// inertia per unit mass (OlpMassProperties) through slot 3.

#include <cstdint>

#include "physics/core/volume/part.h"
#include "physics/core/volume/volume.h"

/// Inertia (1, 1, 1), identity rotation and, when given, centre 0: the
/// answer of shapes without volume.
void OlpMassPropertiesSetEmpty(OlpMassProperties* out, V3d* centre);
/// The given diagonal with the identity rotation.
void OlpMassPropertiesSetDiagonal(OlpMassProperties* out, V3d inertia);
/// The box of half extents `half` swept by a sphere of radius `margin`:
/// fills the inertia per unit mass (identity rotation) and returns the
/// volume. The rounded parts use an approximation that leaves out their
/// first-moment terms.
float OlpRoundedBoxMassProperties(const V3d* half, float margin, OlpMassProperties* out);
/// Sets the part's mass, centre and inertia from its volume: `massOrDensity`
/// >= 0 is the mass, < 0 minus a density. `fullTensor` keeps the diagonal
/// and rotation (flag 0x02), else the largest moment as a scalar. Returns
/// the density, FLT_MAX for a volume below FLT_MIN.
float OlpPartSetMass(OlpPart* part, float massOrDensity, int32_t fullTensor);
/// Combines `count` volume records (each through its own frame) into one: the
/// total volume, the volume-weighted centre (or the caller's, given in
/// `centre`, when `useCallerCentre`), and the combined inertia per unit
/// mass about it. No volume gives unit inertia and 0. Scratch memory that
/// cannot be had also gives 0 with unit inertia.
float OlpVolumeListMassProperties(const OlpVolume* volumes, uint32_t count, OlpMassProperties* out,
                                  V3d* centre, int32_t useCallerCentre);
/// sum += weight * tensor over all nine entries.
float* OlpSymTensorAddScaled(float sum[9], const float tensor[9], float weight);
/// The estimate used for shapes whose mass is not integrated: a box of half
/// extents 0.4 e + margin over the slot-4 box extents e, centred on it.
/// Volume 0 (with unit inertia) when the type has no box.
float OlpVolumeMassPropertiesFromBBoxEstimate(const OlpVolume* volume, OlpMassProperties* out, V3d* centre);
