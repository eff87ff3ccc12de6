#include "ai/runtime/vec3.h"

#include <cmath>

namespace Zelk {

const CVec3 CVec3::kZero(0.0f, 0.0f, 0.0f);
const CVec3 CVec3::kUnitX(1.0f, 0.0f, 0.0f);
const CVec3 CVec3::kUnitY(0.0f, 1.0f, 0.0f);
const CVec3 CVec3::kUnitZ(0.0f, 0.0f, 1.0f);

CVec3& CVec3::operator+=(const CVec3& o)
{
    x += o.x;
    y += o.y;
    z += o.z;
    return *this;
}

CVec3& CVec3::operator-=(const CVec3& o)
{
    x -= o.x;
    y -= o.y;
    z -= o.z;
    return *this;
}

CVec3& CVec3::operator*=(float s)
{
    x *= s;
    y *= s;
    z *= s;
    return *this;
}

CVec3& CVec3::operator/=(float s)
{
    return *this *= 1.0f / s;
}

float CVec3::Length() const
{
    return std::sqrt(SquaredLength());
}

CVec3 CVec3::GetNormalized() const
{
    float length = Length();
    if (length == 0.0f) {
        return CVec3(0.0f, 0.0f, 0.0f);
    }
    return *this / length;
}

float SinDeg(float degrees)
{
    return std::sin(degrees * kDegToRad);
}

float CosDeg(float degrees)
{
    return std::cos(degrees * kDegToRad);
}

float NormalizeAngle180(float degrees)
{
    if (degrees > 180.0f) {
        return degrees - 360.0f;
    }
    if (degrees < -180.0f) {
        return degrees + 360.0f;
    }
    return degrees;
}

void AnglesToDirectionInto(const CVec3& angles, CVec3& out)
{
    float pitch = angles.x * kDegToRad;
    float heading = angles.y * kDegToRad;
    float cp = std::cos(pitch);
    out.x = std::sin(heading) * cp;
    out.y = std::sin(pitch);
    out.z = std::cos(heading) * cp;
}

CVec3 AnglesToDirection(const CVec3& angles)
{
    CVec3 out;
    AnglesToDirectionInto(angles, out);
    return out;
}

CVec3 DirectionToAngles(const CVec3& direction)
{
    constexpr float kRadToDeg = 1.0f / kDegToRad;
    CVec3 d = direction.GetNormalized();
    float heading;
    if (d.z != 0.0f) {
        heading = std::atan(d.x / d.z);
        if (d.z < 0.0f) {
            heading += 2.0f * kHalfPi;
        }
    } else if (d.x < 0.0f) {
        heading = -kHalfPi;
    } else if (d.x > 0.0f) {
        heading = kHalfPi;
    } else {
        heading = 0.0f;
    }
    float sy = d.y > 1.0f ? 1.0f : (d.y < -1.0f ? -1.0f : d.y);
    float pitch = std::asin(sy);
    return CVec3(pitch * kRadToDeg, heading * kRadToDeg, 0.0f);
}

CVec3 RotateDirectionY(const CVec3& direction, float radians)
{
    constexpr float kRadToDeg = 1.0f / kDegToRad;
    CVec3 angles = DirectionToAngles(direction);
    angles.y += radians * kRadToDeg;
    return AnglesToDirection(angles);
}

} // namespace Zelk
