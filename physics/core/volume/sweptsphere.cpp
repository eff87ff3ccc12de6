#include "physics/core/volume/sweptsphere.h"

#include "physics/core/utils/vec3.h"
#include "physics/core/volume/raytests.h"

using namespace olp;

bool OlpSweptSphereEdge(const V3d* s, const V3d* d, const V3d* a, const V3d* axis, float radius, float best,
                        float* fraction, V3d* point, float* along)
{
    OlpRayFraction hit;
    if (OlpRayCylinder(&hit, s, d, a, axis, radius, 1, 0) != 1) {
        return false;
    }
    *fraction = hit.numerator / hit.denominator;
    *point = *s + *d * *fraction;
    *along = Dot(*point - *a, *axis);
    return *fraction < best && *along >= 0.0f;
}

void OlpSweptSphereCorner(const V3d* s, const V3d* d, const V3d* corner, float radius, const V3d* fallback,
                          float* best, V3d* normal)
{
    OlpRayFraction hit;
    if (OlpRaySphere(&hit, s, d, corner, radius) == 1) {
        float fraction = hit.numerator / hit.denominator;
        if (fraction < *best) {
            *best = fraction;
            V3d outward = *s + *d * fraction - *corner;
            OlpSafeNormalize(normal, &outward, fallback, 1.0f);
        }
    }
}
