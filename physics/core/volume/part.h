#pragma once
// A body part: a collision volume with its mass, centre of mass and inertia.

#include <cstdint>

#include "physics/core/volume/volume.h"

/// Part flag: the inertia diagonal and principal rotation are set (else the
/// scalar inertia stands for all axes).
constexpr uint32_t kOlpPartFullInertia = 0x02;

struct OlpPart
{
    OlpVolume* volume;
    V3d centre; ///< centre of mass in the part's frame
    float mass;
    V3d inertia;         ///< diagonal about the principal axes
    Quaternion rotation; ///< of the principal axes
    float scalarInertia;
    float damping[2]; ///< dynamics coefficients, 0.01 each by default
    uint32_t carried[3];
    uint32_t flags;
};

/// Volume stored; centre 0, mass 1, inertia (1, 1, 1), identity rotation,
/// scalar inertia 1, coefficients 0.01, flags 0.
OlpPart* OlpPartInit(OlpPart* part, OlpVolume* volume);
/// Releases the shared data of the part's volume.
OlpPart* OlpPartDeinit(OlpPart* part);
/// Copies the volume into the destination's own volume record, then every
/// other field (flags last).
OlpPart* OlpPartCopy(OlpPart* destination, const OlpPart* source);
/// Releases the part volume's shared data, then copies `volume` into it.
OlpPart* OlpPartSetVolume(OlpPart* part, const OlpVolume* volume);
