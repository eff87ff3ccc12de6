#pragma once
// The frame-aware entry points to the volume slots.
//
// The effective frame of a volume under an extra matrix is its own frame
// when no matrix is given and frame x matrix otherwise; when the type has
// no frame (descriptor flag 0x02) or the frame carries the identity flag,
// it is the matrix alone, or none. Support points, features and
// projections apply only the matrix given (the caller composes the frame).

#include "physics/core/volume/volume.h"

/// Slot 2; the centre moved by the effective frame. Null when the type has no sphere.
OlpSphere* OlpVolumeGetBoundingSphere(const OlpVolume* volume, const Matrix* matrix, OlpSphere* out);
/// Slot 3 with the principal rotation and the centre taken through the
/// volume's frame (unless the type has none); the quaternion is normalised.
/// Returns the volume (0 for shapes without one).
float OlpVolumeGetMassProperties(const OlpVolume* volume, OlpMassProperties* out, V3d* centre);
/// Slot 4 under the effective frame; null when the type has no bounds.
OlpBBox* OlpVolumeGetBBox(const OlpVolume* volume, const Matrix* matrix, int32_t tight, OlpBBox* out);
/// Slot 4 with the arguments as given.
OlpBBox* OlpVolumeGetBoundingBoxLocal(const OlpVolume* volume, const Matrix* matrix, int32_t tight,
                                      OlpBBox* out);
/// Slot 5 with the direction taken into the matrix's axes and the point
/// back out; null when the type has no support point.
V3d* OlpVolumeGetSupportPoint(const OlpVolume* volume, const Matrix* matrix, const V3d* direction, V3d* out);
/// Slot 6 likewise, the feature moved by OlpSupportFeatureTransform; null
/// when the type has no feature.
OlpSupportFeature* OlpVolumeGetSupportFeature(const OlpVolume* volume, const Matrix* matrix, int32_t winding,
                                              const V3d* direction, OlpSupportFeature* out);
/// Slot 8 on the axis taken into the matrix's axes, plus axis . position. Slot 8's result.
int32_t OlpVolumeGetProjection(const OlpVolume* volume, const Matrix* matrix, const V3d* axis, float* min,
                               float* max);
/// Slot 10 with the segment in the effective frame; the hit point and
/// normal are given back in world terms and the fraction is of the whole
/// segment. 1 on a hit.
int32_t OlpVolumeLineIntersect(const OlpVolume* volume, const Matrix* matrix, const V3d* start,
                               const V3d* end, OlpLineResult* out);
/// Moves every point by the matrix and rotates the normal; the offset
/// becomes normal . first point (normal . position without points).
OlpSupportFeature* OlpSupportFeatureTransform(OlpSupportFeature* feature, const Matrix* matrix);

/// The effective frame of a volume under `matrix` (see above) in `storage`;
/// null when there is none.
const Matrix* OlpVolumeEffectiveFrame(const OlpVolume* volume, const Matrix* matrix, Matrix* storage);
