#include "physics/core/utils/boundingsphere.h"

#include "physics/core/utils/vec3.h"

using namespace olp;

OlpSphere* OlpSphereMerge(OlpSphere* out, const OlpSphere* a, const OlpSphere* b)
{
    V3d between = b->centre - a->centre;
    float d = Length(between);
    if (d + a->radius <= b->radius) {
        *out = *b;
    } else if (d + b->radius <= a->radius) {
        *out = *a;
    } else {
        // d > 0 here: equal centres always take one of the branches above.
        float radius = (a->radius + b->radius + d) * 0.5f;
        out->centre = a->centre + between * ((radius - a->radius) / d);
        out->radius = radius;
    }
    return out;
}

OlpSphere* OlpSphereAddPoint(OlpSphere* out, const OlpSphere* sphere, const V3d* p)
{
    V3d towards = *p - sphere->centre;
    float d = Length(towards);
    if (d > sphere->radius) {
        float shift = (d - sphere->radius) * 0.5f;
        out->centre = sphere->centre + towards * (shift / d);
        out->radius = (d + sphere->radius) * 0.5f;
    } else if (out != sphere) {
        *out = *sphere;
    }
    return out;
}

OlpSphere* OlpSphereFromBBox(OlpSphere* out, const OlpBBox* box)
{
    out->centre = (box->max + box->min) * 0.5f;
    out->radius = Length(box->max - box->min) * 0.5f;
    return out;
}
