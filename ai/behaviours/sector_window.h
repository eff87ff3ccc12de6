// Accumulators of headings: n floats indexed by whole degrees modulo n, into
// which directions are added as smooth windows, so that nearby headings pile up.
#pragma once
#include <cstdint>

namespace Zelk {

/// Adds a cosine window of 51 samples, 25 degrees on each side of int(heading),
/// indices taken modulo n; 1.0 at the centre, almost 0 at the ends. Nothing for a
/// heading that is not finite.
void AddCosineWindow(float* acc, int32_t n, float heading);
/// The same with every sample multiplied by weight.
void AddWeightedCosineWindow(float* acc, int32_t n, float heading, float weight);
/// Index of the first greatest value; -1 when n < 1 or the greatest is not above 0.
int32_t FindMaxSector(const float* acc, int32_t n);
/// Sets acc[(centre + k) mod n] = -1 for k = -w..w; nothing when w < 0.
void MarkSectorWindow(float* acc, int32_t n, int16_t centre, int16_t w);

} // namespace Zelk
