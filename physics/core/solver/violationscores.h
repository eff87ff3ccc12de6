#pragma once
// The solve kernels' search for the most violated row of a block. Every row
// group keeps a score: the largest, over its rows, of r where the row may
// decrease and -r where it may increase (r its residual). A row is violated
// just when that reach is above the tolerance, and its reach is then |r|;
// so a score above the tolerance is the largest |residual| among the
// group's violated rows, and no tolerance goes into the score itself. A
// move changes the residuals of the groups around the moved row's parts
// only, so the propagation reads only their scores again, and the search
// runs over one float per group instead of four rows with their flags. The
// first group of the highest score, if above the tolerance, holds the row
// the whole-block scan picks (the largest |residual| among the violated
// rows, the earliest on ties): an earlier group of the same score would
// hold an earlier row of that |residual|. With a tolerance >= 0 whether a
// row is a candidate of the scan does not depend on the rows before it,
// which is what lets the search be split by group.

#include <cstdint>

#include "physics/core/solver/kernels.h"

/// Reads the scores of groups [first, first + count). `Score` (scalar or
/// SSE) reads one group.
template <auto Score> void OlpGroupScoresRead(const OlpSolveSystem* s, uint32_t first, uint32_t count)
{
    for (uint32_t g = first; g < first + count; ++g) {
        Score(s, g);
    }
}

/// The most violated row of groups [first, first + count), or -1: the first
/// group of the highest score above the tolerance (`Best`, scalar or SSE,
/// gives it, or -1), then that group's own search.
template <auto Find, auto Best>
int32_t OlpGroupScoresPick(const OlpSolveSystem* s, uint32_t first, uint32_t count, float tolerance)
{
    int32_t g = Best(s->groupScores, first, count, tolerance);
    return g < 0 ? -1 : Find(s, static_cast<uint32_t>(g), 1, tolerance);
}
