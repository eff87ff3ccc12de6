#pragma once
// The convex volume (type 7): a shared convex hull rounded by the margin.
// Pairs with it are measured by GJK.

#include "physics/core/volume/convexhull.h"
#include "physics/core/volume/volume.h"

extern const OlpVolumeDescriptor kOlpConvexDescriptor;

/// A new convex volume over `hull` (referenced; null allowed); null when the memory refuses.
OlpVolume* OlpConvexCreate(OlpConvexHull* hull);
/// Initialises `volume` in place as a convex volume over `hull`.
OlpVolume* OlpConvexInit(OlpVolume* volume, OlpConvexHull* hull);
OlpConvexHull* OlpConvexGetHull(const OlpVolume* volume);
/// Replaces the hull when it differs (the new one referenced, the old one
/// released); the old hull's release result, 1 when nothing changed.
int32_t OlpConvexSetHull(OlpVolume* volume, OlpConvexHull* hull);
