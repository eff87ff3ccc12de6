#include "physics/core/volume/typetable.h"

#include "physics/core/volume/aggregate.h"
#include "physics/core/volume/box.h"
#include "physics/core/volume/capsule.h"
#include "physics/core/volume/convex.h"
#include "physics/core/volume/cylinder.h"
#include "physics/core/volume/grid.h"
#include "physics/core/volume/nullvolume.h"
#include "physics/core/volume/plane.h"
#include "physics/core/volume/sphere.h"
#include "physics/core/volume/triangle.h"
#include "physics/core/volume/trilist.h"

const OlpVolumeDescriptor* OlpVolumeGetBuiltinDescriptor(uint32_t typeId)
{
    static const OlpVolumeDescriptor* const kTable[kOlpBuiltinTypeCount] = {
        &kOlpNullDescriptor,      &kOlpPlaneDescriptor,   &kOlpSphereDescriptor,   &kOlpCapsuleDescriptor,
        &kOlpTriangleDescriptor,  &kOlpBoxDescriptor,     &kOlpCylinderDescriptor, &kOlpConvexDescriptor,
        &kOlpAggregateDescriptor, &kOlpTrilistDescriptor, &kOlpGridDescriptor,
    };
    return typeId < kOlpBuiltinTypeCount ? kTable[typeId] : nullptr;
}
