// One row of the side-by-side tables that the comparison programs print and
// scripts/bench gathers: a Markdown table row of figure, our rate, the peer,
// its rate, their ratio and the number of interleaved rounds. Rates are
// "higher is better", so a ratio above 1 means we are ahead. Each side's
// figure is the median of its per-round rates, which other work on the
// machine disturbs less than a sum would.
#pragma once

#include <algorithm>
#include <cstdio>
#include <vector>

/// Prints the header of a comparison table.
inline void PrintCompareHeader()
{
    std::printf("| figure | ours | peer | peer's | ratio | rounds |\n|---|---|---|---|---|---|\n");
}

/// Prints one row; `ours` and `peer` are rates in the figure's unit.
inline void PrintCompareRow(const char* figure, double ours, const char* peerName, double peer, int rounds)
{
    std::printf("| %s | %.3g | %s | %.3g | %.2f | %d |\n", figure, ours, peerName, peer,
                peer > 0.0 ? ours / peer : 0.0, rounds);
    std::fflush(stdout);
}

/// The median of per-round rates (0 for none).
inline double MedianOf(std::vector<double> rates)
{
    if (rates.empty())
        return 0.0;
    std::sort(rates.begin(), rates.end());
    const size_t mid = rates.size() / 2;
    return rates.size() % 2 ? rates[mid] : 0.5 * (rates[mid - 1] + rates[mid]);
}
