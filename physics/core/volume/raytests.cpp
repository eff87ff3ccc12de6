#include "physics/core/volume/raytests.h"

#include <cmath>

#include "physics/core/utils/maths.h"
#include "physics/core/utils/polyroots.h"
#include "physics/core/utils/vec3.h"

using namespace olp;

namespace {

int32_t Inside(OlpRayFraction* result)
{
    if (result != nullptr) {
        *result = {0.0f, 1.0f};
    }
    return 1;
}

/// The linear test shared by slabs and planes: inside when numerator <= 0.
int32_t HalfSpace(OlpRayFraction* result, float numerator, float denominator)
{
    if (numerator <= 0.0f) {
        return Inside(result);
    }
    if (result == nullptr) {
        return 0;
    }
    if (denominator < 0.0f) {
        return -1;
    }
    if (numerator > denominator) {
        return 0;
    }
    *result = {numerator, denominator};
    return 1;
}

/// The sphere test on given dot products: c = |s - centre|^2 - r^2,
/// b = d . (centre - s), a = |d|^2.
int32_t Quadratic(OlpRayFraction* result, float a, float b, float c, bool keepMovingAway, bool ignoreInside)
{
    if (c < 0.0f && !ignoreInside) {
        return Inside(result);
    }
    if (result == nullptr) {
        return 0;
    }
    if (c < 0.0f) {
        return 0;
    }
    if (b <= 0.0f) {
        return keepMovingAway ? 0 : -1;
    }
    float discriminant = b * b - a * c;
    if (discriminant < 0.0f || (b > a && (b - a) * (b - a) > discriminant)) {
        return 0;
    }
    float numerator = b - std::sqrt(discriminant);
    if (!(numerator <= a)) {
        return 0;
    }
    *result = {numerator < 0.0f ? 0.0f : numerator, a};
    return 1;
}

} // namespace

int32_t OlpRaySlab(OlpRayFraction* result, const V3d* s, const V3d* d, int32_t axis, float sign, float offset)
{
    return HalfSpace(result, sign * Component(*s, axis) - offset, -(sign * Component(*d, axis)));
}

int32_t OlpRayPlane(OlpRayFraction* result, const V3d* s, const V3d* d, const V3d* normal, float offset)
{
    return HalfSpace(result, Dot(*normal, *s) - offset, -Dot(*normal, *d));
}

int32_t OlpRaySphere(OlpRayFraction* result, const V3d* s, const V3d* d, const V3d* centre, float radius)
{
    V3d toCentre = *centre - *s;
    return Quadratic(result, LengthSq(*d), Dot(*d, toCentre), LengthSq(toCentre) - radius * radius, false,
                     false);
}

int32_t OlpRayCylinder(OlpRayFraction* result, const V3d* s, const V3d* d, const V3d* axisPoint,
                       const V3d* axis, float radius, int32_t keepMovingAway, int32_t ignoreInside)
{
    V3d toAxis = *axisPoint - *s;
    toAxis = toAxis - *axis * Dot(toAxis, *axis);
    V3d across = *d - *axis * Dot(*d, *axis);
    return Quadratic(result, LengthSq(across), Dot(across, toAxis), LengthSq(toAxis) - radius * radius,
                     keepMovingAway != 0, ignoreInside != 0);
}

int32_t OlpRayTorus(OlpRayFraction* result, const V3d* s, const V3d* d, const V3d* centre, const V3d* axis,
                    float major, float minor)
{
    // |x|^2 = A t^2 + B t + C and x . axis = e + f t for x = s + t d - centre;
    // the torus is (|x|^2 + R^2 - r^2)^2 = 4 R^2 (|x|^2 - (x . axis)^2).
    V3d p = *s - *centre;
    double a = LengthSq(*d);
    double b = 2.0 * Dot(p, *d);
    double c = LengthSq(p);
    double e = Dot(p, *axis);
    double f = Dot(*d, *axis);
    double k = static_cast<double>(major) * major - static_cast<double>(minor) * minor;
    double r2 = 4.0 * major * major;
    double c0 = c + k;
    float coefficients[5] = {
        static_cast<float>(c0 * c0 - r2 * (c - e * e)),
        static_cast<float>(2.0 * b * c0 - r2 * (b - 2.0 * e * f)),
        static_cast<float>(b * b + 2.0 * a * c0 - r2 * (a - f * f)),
        static_cast<float>(2.0 * a * b),
        static_cast<float>(a * a),
    };
    float roots[4];
    int32_t count = OlpMathPolyRoots(roots, 0.0f, 1.0f, 4, coefficients);
    if (count == 0) {
        return 0;
    }
    if (result != nullptr) {
        *result = {roots[0], 1.0f};
    }
    return 1;
}

float OlpSafeNormalize(V3d* out, const V3d* v, const V3d* fallback, float scale)
{
    float lengthSq = LengthSq(*v);
    if (lengthSq > 1e-12f) {
        float length = std::sqrt(lengthSq);
        *out = *v * (1.0f / length);
        return length;
    }
    V3d unit;
    OlpVecNormalize(&unit, fallback);
    if (scale != 0.0f) {
        *out = unit * scale;
    } else {
        V3d perpendicular;
        OlpMathPerpendicular(&perpendicular, &unit);
        OlpVecNormalize(out, &perpendicular);
    }
    return 0.0f;
}
