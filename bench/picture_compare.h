// Helpers of the comparison programs that draw the same frames through our
// device and through a peer renderer: how far the two pictures differ and
// how long a run of frames takes.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

/// Percent of pixels where some colour channel differs by more than 8.
inline double DifferingPercent(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b)
{
    size_t differing = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        for (int shift = 0; shift < 24; shift += 8) {
            const int d = int((a[i] >> shift) & 255) - int((b[i] >> shift) & 255);
            if (d > 8 || d < -8) {
                ++differing;
                break;
            }
        }
    }
    return 100.0 * double(differing) / double(a.size());
}

/// Wall-clock seconds of `frames` calls of `draw`.
template <class Draw> double Seconds(int frames, Draw draw)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    for (int f = 0; f < frames; ++f) {
        draw();
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}
