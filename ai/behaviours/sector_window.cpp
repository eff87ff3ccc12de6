#include "ai/behaviours/sector_window.h"
#include "ai/runtime/vec3.h"
#include <cmath>

namespace Zelk {

namespace {

constexpr int32_t kHalfWindow = 25;
constexpr float kWindowStep = 0.04f;

int32_t Wrap(int32_t i, int32_t n)
{
    const int32_t r = i % n;
    return r < 0 ? r + n : r;
}

} // namespace

void AddWeightedCosineWindow(float* acc, int32_t n, float heading, float weight)
{
    // A heading that is not a number has no sector.
    if (acc == nullptr || n < 1 || !std::isfinite(heading))
        return;
    // Reduced first, so that any finite heading converts; the same sector as the
    // whole degrees of the heading taken modulo n.
    const int32_t centre = int32_t(std::fmod(heading, float(n)));
    for (int32_t j = -kHalfWindow; j <= kHalfWindow; ++j) {
        // The sample's angle is formed in double from the single-precision constants.
        const double sample = std::cos(double(j) * double(kWindowStep) * double(kHalfPi));
        acc[Wrap(centre + n + j, n)] += float(sample * double(weight));
    }
}

void AddCosineWindow(float* acc, int32_t n, float heading)
{
    AddWeightedCosineWindow(acc, n, heading, 1.0f);
}

int32_t FindMaxSector(const float* acc, int32_t n)
{
    if (acc == nullptr || n < 1)
        return -1;
    int32_t best = 0;
    for (int32_t i = 1; i < n; ++i)
        if (acc[i] > acc[best])
            best = i;
    return acc[best] > 0.0f ? best : -1;
}

void MarkSectorWindow(float* acc, int32_t n, int16_t centre, int16_t w)
{
    if (acc == nullptr || n < 1 || w < 0)
        return;
    for (int32_t k = -w; k <= w; ++k)
        acc[Wrap(int32_t(centre) + k + n, n)] = -1.0f;
}

} // namespace Zelk
