#pragma once
// Bounding spheres: centre and radius.

#include "physics/core/utils/bbox.h"

struct OlpSphere
{
    V3d centre;
    float radius;
};

/// The smaller sphere holding both: b when a lies in b, a when b lies in a,
/// else the sphere on the line of the centres with radius (ra + rb + d) / 2.
OlpSphere* OlpSphereMerge(OlpSphere* out, const OlpSphere* a, const OlpSphere* b);
/// Grows the sphere to hold p, moving the centre towards p.
OlpSphere* OlpSphereAddPoint(OlpSphere* out, const OlpSphere* sphere, const V3d* p);
/// Centre of the box, radius half its diagonal.
OlpSphere* OlpSphereFromBBox(OlpSphere* out, const OlpBBox* box);
