// The AI's 3-vector and its angle conventions.
//
// The AI world is y-up: the horizontal plane is x-z. An orientation is a CVec3
// whose x is the pitch (elevation above the horizontal plane) and y the heading,
// both in degrees; z is 0. Heading 0 looks along +z, heading 90 along +x.
#pragma once

namespace Zelk {

inline constexpr float kHalfPi = 3.14159265358979323846f * 0.5f;
/// Degrees to radians (pi / 180).
inline constexpr float kDegToRad = 3.14159265358979323846f * 0.0055555557f;

class CVec3
{
  public:
    float x, y, z;

    /// (0, 0, 0).
    CVec3() : x(0.0f), y(0.0f), z(0.0f) {}
    CVec3(float ax, float ay, float az) : x(ax), y(ay), z(az) {}
    explicit CVec3(float all) : x(all), y(all), z(all) {}
    CVec3(const CVec3&) = default;
    CVec3& operator=(const CVec3&) = default;
    virtual ~CVec3() = default;

    float GetX() const { return x; }
    float GetY() const { return y; }
    float GetZ() const { return z; }
    float* GetXPtr() { return &x; }
    float* GetYPtr() { return &y; }
    float* GetZPtr() { return &z; }

    CVec3 operator+(const CVec3& o) const { return CVec3(x + o.x, y + o.y, z + o.z); }
    CVec3 operator-(const CVec3& o) const { return CVec3(x - o.x, y - o.y, z - o.z); }
    CVec3 operator-() const { return CVec3(-x, -y, -z); }
    CVec3 operator*(float s) const { return CVec3(x * s, y * s, z * s); }
    /// v * (1 / s).
    CVec3 operator/(float s) const { return *this * (1.0f / s); }
    CVec3& operator+=(const CVec3& o);
    CVec3& operator-=(const CVec3& o);
    CVec3& operator*=(float s);
    /// Multiplies by 1 / s.
    CVec3& operator/=(float s);
    /// Exact equality of all three components.
    bool operator==(const CVec3& o) const { return x == o.x && y == o.y && z == o.z; }
    bool operator!=(const CVec3& o) const { return !(*this == o); }

    float Dot(const CVec3& o) const { return x * o.x + y * o.y + z * o.z; }
    CVec3 Cross(const CVec3& o) const
    {
        return CVec3(y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x);
    }
    float SquaredLength() const { return x * x + y * y + z * z; }
    /// x^2 + z^2 (the horizontal plane).
    float SquaredLengthXZ() const { return x * x + z * z; }
    float Length() const;
    /// Squared length of b - a.
    static float SquaredDistance(const CVec3& a, const CVec3& b) { return (b - a).SquaredLength(); }
    /// The vector divided by its length; the zero vector for a zero-length vector (never NaN).
    CVec3 GetNormalized() const;

    static const CVec3 kZero;
    static const CVec3 kUnitX;
    static const CVec3 kUnitY; // up
    static const CVec3 kUnitZ;
};

inline CVec3 operator*(float s, const CVec3& v)
{
    return v * s;
}

/// Sine and cosine of an angle in degrees.
float SinDeg(float degrees);
float CosDeg(float degrees);

/// Folds an angle once into (-180, 180]: above 180 subtracts 360, below -180 adds 360.
float NormalizeAngle180(float degrees);
/// Unit direction of (pitch, heading) in degrees: (sin h cos p, sin p, cos h cos p).
CVec3 AnglesToDirection(const CVec3& angles);
void AnglesToDirectionInto(const CVec3& angles, CVec3& out);
/// Angles (pitch, heading, 0) in degrees of a direction; the heading lies in [-90, 270)
/// (atan(x / z), plus 180 when z < 0). The zero vector gives (0, 0, 0).
CVec3 DirectionToAngles(const CVec3& direction);
/// A unit vector with the direction's pitch and its heading increased by radians.
CVec3 RotateDirectionY(const CVec3& direction, float radians);

} // namespace Zelk
