#include "physics/core/volume/mass.h"

#include <algorithm>

#include "graphics/core/memory.h"
#include "physics/core/utils/maths.h"
#include "physics/core/utils/memory.h"
#include "physics/core/utils/vec3.h"
#include "physics/core/volume/dispatch.h"

using namespace olp;

void OlpMassPropertiesSetEmpty(OlpMassProperties* out, V3d* centre)
{
    OlpMassPropertiesSetDiagonal(out, {1.0f, 1.0f, 1.0f});
    if (centre != nullptr) {
        *centre = {0.0f, 0.0f, 0.0f};
    }
}

void OlpMassPropertiesSetDiagonal(OlpMassProperties* out, V3d inertia)
{
    out->moments = inertia;
    OlpQuaternionSetIdentity(&out->rotation);
}

namespace {

/// The rounded box's moment about the axis of half extent `a` (the others b, c).
float RoundedBoxMoment(float a, float b, float c, float r, float volume)
{
    constexpr float kPiOver6 = 0.5235988f;
    constexpr float kFourPiOver3 = 4.1887903f;
    constexpr float kEightThirds = 2.6666667f;
    constexpr float kTwoPi = 6.2831855f;
    float s = b + c;
    float q = b * b + c * c;
    float s3 = s * s * s;
    float inner = ((r * s * r * 3.0f + s3 * 4.0f) * kPiOver6 + (0.4f * r * r + q) * r * kFourPiOver3) * r +
                  ((b * c * 6.0f + s * r) * r + s3) * a * kEightThirds + (r * r / 2.0f + q) * r * a * kTwoPi;
    return (inner * r + (r + a) * q * b * c * kEightThirds) / volume;
}

} // namespace

float OlpRoundedBoxMassProperties(const V3d* half, float margin, OlpMassProperties* out)
{
    float a = half->x;
    float b = half->y;
    float c = half->z;
    float r = margin;
    if (r <= 0.0f) {
        OlpMassPropertiesSetDiagonal(
            out, {(b * b + c * c) / 3.0f, (a * a + c * c) / 3.0f, (a * a + b * b) / 3.0f});
        return 8.0f * a * b * c;
    }
    float volume = 8.0f * a * b * c + r * (8.0f * (a * b + b * c + c * a) +
                                           3.1415927f * r * (2.0f * (a + b + c) + (4.0f / 3.0f) * r));
    OlpMassPropertiesSetDiagonal(out,
                                 {RoundedBoxMoment(a, b, c, r, volume), RoundedBoxMoment(b, a, c, r, volume),
                                  RoundedBoxMoment(c, a, b, r, volume)});
    return volume;
}

float OlpPartSetMass(OlpPart* part, float massOrDensity, int32_t fullTensor)
{
    OlpMassProperties properties;
    V3d centre;
    float volume = OlpVolumeGetMassProperties(part->volume, &properties, &centre);
    float mass = massOrDensity < 0.0f ? -(massOrDensity * volume) : massOrDensity;
    part->centre = centre;
    part->mass = mass;
    if (fullTensor) {
        V3d inertia = properties.moments;
        if (mass > kOlpFloatMin) {
            inertia = inertia * mass;
        }
        part->inertia = inertia;
        part->rotation = properties.rotation;
        part->flags |= kOlpPartFullInertia;
    } else if (mass > kOlpFloatMin) {
        const V3d& m = properties.moments;
        part->scalarInertia = std::max({m.x, m.y, m.z}) * mass;
        part->flags &= ~kOlpPartFullInertia;
    }
    return volume < kOlpFloatMin ? kOlpFloatMax : mass / volume;
}

float* OlpSymTensorAddScaled(float sum[9], const float tensor[9], float weight)
{
    for (int i = 0; i < 9; ++i) {
        sum[i] += weight * tensor[i];
    }
    return sum;
}

float OlpVolumeListMassProperties(const OlpVolume* volumes, uint32_t count, OlpMassProperties* out,
                                  V3d* centre, int32_t useCallerCentre)
{
    // Scratch per volume: its volume, centre and properties in the common frame.
    struct Entry
    {
        OlpMassProperties properties;
        V3d centre;
        float volume;
    };
    auto* entries =
        static_cast<Entry*>(MemoryAllocate(sizeof(Entry) * std::max<uint32_t>(count, 1), kOlpScratchHint));
    if (entries == nullptr) {
        OlpMassPropertiesSetEmpty(out, useCallerCentre ? nullptr : centre);
        return 0.0f;
    }
    float total = 0.0f;
    V3d weighted = {0.0f, 0.0f, 0.0f};
    for (uint32_t i = 0; i < count; ++i) {
        Entry& entry = entries[i];
        entry.volume = OlpVolumeGetMassProperties(&volumes[i], &entry.properties, &entry.centre);
        total += entry.volume;
        weighted = weighted + entry.centre * entry.volume;
    }
    if (!(total > kOlpFloatMin)) {
        MemoryFree(entries);
        OlpMassPropertiesSetEmpty(out, useCallerCentre ? nullptr : centre);
        return 0.0f;
    }
    if (!useCallerCentre) {
        *centre = weighted * (1.0f / total);
    }
    float tensor[9] = {};
    for (uint32_t i = 0; i < count; ++i) {
        const Entry& entry = entries[i];
        if (!(entry.volume > 0.0f)) {
            continue;
        }
        float weight = entry.volume / total;
        // The properties are already in the common frame: the child's frame
        // rotation has entered once, through OlpVolumeGetMassProperties.
        float own[9];
        OlpMathInertiaToWorld(own, &entry.properties);
        OlpSymTensorAddScaled(tensor, own, weight);
        V3d d = entry.centre - *centre;
        const float shift[9] = {
            -(d.y * d.y + d.z * d.z), d.x * d.y, d.z * d.x, d.x * d.y,
            -(d.x * d.x + d.z * d.z), d.y * d.z, d.z * d.x, d.y * d.z,
            -(d.x * d.x + d.y * d.y),
        };
        OlpSymTensorAddScaled(tensor, shift, -weight);
    }
    MemoryFree(entries);
    OlpMathDiagonalizeInertia(out, tensor);
    return total;
}

float OlpVolumeMassPropertiesFromBBoxEstimate(const OlpVolume* volume, OlpMassProperties* out, V3d* centre)
{
    OlpBBox box;
    if (OlpVolumeGetBoundingBoxLocal(volume, nullptr, 1, &box) == nullptr) {
        OlpMassPropertiesSetEmpty(out, centre);
        return 0.0f;
    }
    V3d extent = box.max - box.min;
    V3d half = extent * 0.4f + V3d{volume->margin, volume->margin, volume->margin};
    OlpMassPropertiesSetDiagonal(out, {(half.y * half.y + half.z * half.z) / 3.0f,
                                       (half.x * half.x + half.z * half.z) / 3.0f,
                                       (half.x * half.x + half.y * half.y) / 3.0f});
    *centre = (box.max + box.min) * 0.5f;
    return 8.0f * half.x * half.y * half.z;
}
