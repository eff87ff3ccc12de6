#include "physics/core/volume/box.h"

#include <algorithm>
#include <cmath>

#include "physics/core/utils/maths.h"
#include "physics/core/utils/vec3.h"
#include "physics/core/volume/mass.h"
#include "physics/core/volume/primitive.h"
#include "physics/core/volume/raytests.h"

using namespace olp;

namespace {

V3d Half(const OlpVolume* volume)
{
    return {volume->data[0].f, volume->data[1].f, volume->data[2].f};
}

float SignOf(float value)
{
    return value < 0.0f ? -1.0f : 1.0f;
}

V3d UnitAxis(int axis)
{
    V3d unit = {0.0f, 0.0f, 0.0f};
    SetComponent(unit, axis, 1.0f);
    return unit;
}

OlpSphere* BoxBoundingSphere(const OlpVolume* volume, OlpSphere* out)
{
    out->centre = {0.0f, 0.0f, 0.0f};
    out->radius = Length(Half(volume)) + volume->margin;
    return out;
}

float BoxMass(const OlpVolume* volume, OlpMassProperties* out, V3d* centre)
{
    V3d half = Half(volume);
    *centre = {0.0f, 0.0f, 0.0f};
    return OlpRoundedBoxMassProperties(&half, volume->margin, out);
}

OlpBBox* BoxBoundingBox(const OlpVolume* volume, const Matrix* matrix, int32_t, OlpBBox* out)
{
    V3d h = Half(volume);
    float m = volume->margin;
    V3d centre = {0.0f, 0.0f, 0.0f};
    V3d extent = h + V3d{m, m, m};
    if (matrix != nullptr) {
        centre = matrix->pos;
        extent = Abs(matrix->right) * h.x + Abs(matrix->up) * h.y + Abs(matrix->at) * h.z + V3d{m, m, m};
    }
    out->max = centre + extent;
    out->min = centre - extent;
    return out;
}

V3d* BoxSupportPoint(const OlpVolume* volume, const V3d* d, V3d* out)
{
    V3d h = Half(volume);
    *out = {SignOf(d->x) * h.x, SignOf(d->y) * h.y, SignOf(d->z) * h.z};
    return out;
}

OlpSupportFeature* BoxSupportFeature(const OlpVolume* volume, int32_t winding, const V3d* d,
                                     OlpSupportFeature* out)
{
    V3d h = Half(volume);
    bool inFeature[3];
    int inCount = 0;
    for (int i = 0; i < 3; ++i) {
        float c = Component(*d, i);
        inFeature[i] = c * c <= 0.25f;
        inCount += inFeature[i];
    }
    if (inCount == 3) {
        // Only a direction far from unit length gets here: take the face
        // of its largest component.
        inFeature[OlpMathLargestAxis(d)] = false;
        inCount = 2;
    }
    V3d centre = {0.0f, 0.0f, 0.0f};
    for (int i = 0; i < 3; ++i) {
        if (!inFeature[i]) {
            SetComponent(centre, i, SignOf(Component(*d, i)) * Component(h, i));
        }
    }
    if (inCount == 0) {
        OlpFeatureBegin(out, *d);
        OlpFeatureAddPoint(out, centre);
    } else if (inCount == 1) {
        int k = inFeature[0] ? 0 : (inFeature[1] ? 1 : 2);
        V3d across = *d;
        SetComponent(across, k, 0.0f);
        V3d normal;
        OlpSafeNormalize(&normal, &across, d, 1.0f);
        OlpFeatureBegin(out, normal);
        V3d step = UnitAxis(k) * Component(h, k);
        OlpFeatureAddPoint(out, centre - step);
        OlpFeatureAddPoint(out, centre + step);
    } else {
        int f = !inFeature[0] ? 0 : (!inFeature[1] ? 1 : 2);
        int u = (f + 1) % 3;
        int v = (f + 2) % 3;
        float facing = SignOf(Component(*d, f));
        OlpFeatureBegin(out, UnitAxis(f) * facing);
        // Corners from (+hu, +hv), flipping one sign at a time; the winding
        // flag against the face's side picks which sign flips first.
        bool flipUFirst = (winding != 0) == (Component(*d, f) > 0.0f);
        float su = 1.0f;
        float sv = 1.0f;
        for (int corner = 0; corner < 4; ++corner) {
            V3d p = centre;
            SetComponent(p, u, su * Component(h, u));
            SetComponent(p, v, sv * Component(h, v));
            OlpFeatureAddPoint(out, p);
            if ((corner % 2 == 0) == flipUFirst) {
                su = -su;
            } else {
                sv = -sv;
            }
        }
    }
    OlpFeatureFinish(out);
    return out;
}

int32_t BoxSeparatingAxes(const OlpVolume* volume, const Matrix* matrix, OlpFaceAxis* faces, V3d* edges)
{
    V3d h = Half(volume);
    for (int i = 0; i < 3; ++i) {
        V3d axis = matrix != nullptr ? MatrixAxis(*matrix, i) : UnitAxis(i);
        faces[i] = {axis, -Component(h, i), Component(h, i)};
        edges[i] = axis;
    }
    return 1;
}

int32_t BoxProjection(const OlpVolume* volume, const V3d* axis, float* min, float* max)
{
    float extent = Dot(Abs(*axis), Half(volume));
    *min = -extent;
    *max = extent;
    return 1;
}

float BoxThickness(const OlpVolume* volume)
{
    V3d h = Half(volume);
    return 2.0f * std::min({h.x, h.y, h.z});
}

/// Region of a coordinate against the slab [-h, h]: -1 below, 0 in, +1 above.
int Region(float value, float h)
{
    return value < -h ? -1 : (value > h ? 1 : 0);
}

/// The surface of the rounded box nearest to a start inside the core box.
int32_t StartInsideCore(const V3d& start, const V3d& h, OlpLineResult* out)
{
    int nearest = 0;
    float best = -3.4028235e38f;
    float side = 1.0f;
    for (int i = 0; i < 3; ++i) {
        float below = -Component(h, i) - Component(start, i);
        float above = Component(start, i) - Component(h, i);
        if (below > best) {
            best = below;
            nearest = i;
            side = -1.0f;
        }
        if (above > best) {
            best = above;
            nearest = i;
            side = 1.0f;
        }
    }
    out->point = start;
    out->normal = UnitAxis(nearest) * side;
    out->fraction = 0.0f;
    return 1;
}

/// Walks the regions of the rounded box (at most six steps) from the start.
/// Fractions are kept against the whole segment.
int32_t BoxLineIntersect(const OlpVolume* volume, const V3d* start, const V3d* end, OlpLineResult* out)
{
    V3d h = Half(volume);
    float m = volume->margin;
    int region[3] = {Region(start->x, h.x), Region(start->y, h.y), Region(start->z, h.z)};
    if (region[0] == 0 && region[1] == 0 && region[2] == 0) {
        return StartInsideCore(*start, h, out);
    }
    V3d p = *start;
    float done = 0.0f; // fraction of the whole segment already walked
    for (int step = 0; step < 6; ++step) {
        V3d rest = *end - p;
        int outside = 0;
        for (int r : region) {
            outside += r != 0;
        }
        // The nearest point of the core for this region: clamped coordinates.
        V3d corner = {region[0] * h.x, region[1] * h.y, region[2] * h.z};
        OlpRayFraction hit = {0.0f, 1.0f};
        int32_t answer = 0;
        int lineAxis = 0;
        if (outside == 0) {
            // Stepped into the core box (a bare box's surface met only at
            // this crossing): the hit is here.
            StartInsideCore(p, h, out);
            out->fraction = done;
            return 1;
        }
        if (outside == 1) {
            int a = region[0] != 0 ? 0 : (region[1] != 0 ? 1 : 2);
            answer = OlpRaySlab(&hit, &p, &rest, a, static_cast<float>(region[a]), Component(h, a) + m);
        } else if (outside == 2 && m > 0.0f) {
            lineAxis = region[0] == 0 ? 0 : (region[1] == 0 ? 1 : 2);
            V3d axis = UnitAxis(lineAxis);
            answer = OlpRayCylinder(&hit, &p, &rest, &corner, &axis, m, 0, 0);
        } else if (outside == 3 && m > 0.0f) {
            answer = OlpRaySphere(&hit, &p, &rest, &corner, m);
        }
        if (answer < 0) {
            return 0;
        }
        float surface = answer == 1 ? hit.numerator / hit.denominator : 2.0f;
        // The earliest slab plane that takes the walk into another region.
        float crossing = 2.0f;
        int crossingAxis = -1;
        for (int i = 0; i < 3; ++i) {
            float velocity = Component(rest, i);
            float target;
            if (region[i] != 0 && velocity * static_cast<float>(region[i]) < 0.0f) {
                target = static_cast<float>(region[i]) * Component(h, i);
            } else if (region[i] == 0 && velocity != 0.0f) {
                target = SignOf(velocity) * Component(h, i);
            } else {
                continue;
            }
            float t = (target - Component(p, i)) / velocity;
            if (t < crossing) {
                crossing = std::max(t, 0.0f);
                crossingAxis = i;
            }
        }
        if (surface <= 1.0f && surface <= crossing) {
            out->point = p + rest * surface;
            out->fraction = done + surface * (1.0f - done);
            if (outside == 1) {
                int a = region[0] != 0 ? 0 : (region[1] != 0 ? 1 : 2);
                out->normal = UnitAxis(a) * static_cast<float>(region[a]);
            } else {
                V3d core = corner;
                if (outside == 2) {
                    SetComponent(core, lineAxis, Component(out->point, lineAxis));
                }
                V3d outward = out->point - core;
                V3d fallback = -rest;
                OlpSafeNormalize(&out->normal, &outward, &fallback, 1.0f);
            }
            return 1;
        }
        if (crossingAxis < 0 || crossing > 1.0f) {
            return 0;
        }
        p = p + rest * crossing;
        done = done + crossing * (1.0f - done);
        float velocity = Component(rest, crossingAxis);
        if (region[crossingAxis] != 0) {
            SetComponent(p, crossingAxis,
                         static_cast<float>(region[crossingAxis]) * Component(h, crossingAxis));
            region[crossingAxis] = 0;
        } else {
            region[crossingAxis] = velocity < 0.0f ? -1 : 1;
            SetComponent(p, crossingAxis,
                         static_cast<float>(region[crossingAxis]) * Component(h, crossingAxis));
        }
    }
    return 0;
}

} // namespace

const OlpVolumeDescriptor kOlpBoxDescriptor = {
    kOlpTypeBox,
    OlpPrimitiveDestroy,
    BoxBoundingSphere,
    BoxMass,
    BoxBoundingBox,
    BoxSupportPoint,
    BoxSupportFeature,
    BoxSeparatingAxes,
    BoxProjection,
    BoxThickness,
    BoxLineIntersect,
    nullptr,
    nullptr,
    "OlpBox",
    0,
    2,
    3,
    3,
    4,
    0,
};

OlpVolume* OlpBoxInit(OlpVolume* volume, const V3d* halfExtents)
{
    OlpVolumeInit(volume, &kOlpBoxDescriptor);
    return OlpBoxSetHalfExtents(volume, halfExtents);
}

OlpVolume* OlpBoxCreate(const V3d* halfExtents)
{
    OlpVolume* volume = OlpVolumeAllocate();
    return volume != nullptr ? OlpBoxInit(volume, halfExtents) : nullptr;
}

V3d* OlpBoxGetHalfExtents(const OlpVolume* volume, V3d* out)
{
    *out = Half(volume);
    return out;
}

OlpVolume* OlpBoxSetHalfExtents(OlpVolume* volume, const V3d* halfExtents)
{
    volume->data[0].f = OlpSanitizeLength(halfExtents->x);
    volume->data[1].f = OlpSanitizeLength(halfExtents->y);
    volume->data[2].f = OlpSanitizeLength(halfExtents->z);
    return volume;
}
