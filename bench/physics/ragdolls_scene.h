#pragma once
// The ragdoll heap of the step benchmarks: 100 humanoid ragdolls of 11
// capsules and 10 ball joints (physics/core/ragdoll/scenes) lying in four
// crossed layers of 5 x 5 over a ground plane, dropped at 60 Hz. The
// measures are taken from the parts' poses alone, so that every engine is
// judged the same way.

#include <cstdint>
#include <vector>

#include "graphics/core/matrix.h"

constexpr uint32_t kRagdollHeapCount = 100;
constexpr uint32_t kRagdollHeapParts = 11 * kRagdollHeapCount;

/// Part `part` of ragdoll `ragdoll` at the start: the heap placement of its
/// rest pose (row vectors, the capsule's centre at the position).
Matrix RagdollHeapStart(uint32_t ragdoll, uint32_t part);

struct RagdollHeapMeasure
{
    double resting = 0.0;     ///< share of parts slower than 0.1 m/s over the last step
    float penetration = 0.0f; ///< deepest capsule below the ground, metres
    float jointGap = 0.0f;    ///< widest gap between a joint's two anchors, metres
};

/// Measures the heap from the parts' poses at the last two steps (ragdoll
/// by ragdoll, part by part) `step` seconds apart.
RagdollHeapMeasure RagdollHeapMeasureOf(const std::vector<Matrix>& before, const std::vector<Matrix>& after,
                                        float step);
