#pragma once
// The coupling list of a row group (kernels.h): the groups on its coupled
// parts, each once. A group on both of its parts (one of the same contact
// or joint) is updated and scored once rather than once per part.

#include <cstdint>

#include "physics/core/solver/kernels.h"

/// Whether end e of group g is on a coupled part.
inline bool OlpSolveCoupledEnd(const OlpSolveSystem* s, uint32_t g, uint32_t e)
{
    const int32_t p = s->groupParts[g][e];
    return p >= 0 && s->partCoupled[p] != 0;
}

/// Calls visit(h, ends) for each group h of g's list, with per end e of g
/// the end of h on g's part of end e (-1: not on it, or that part is not
/// coupled): the groups of the part of end 0 in its order, then those of
/// the part of end 1 not on the first.
template <typename Visit> void OlpVisitCouplingList(const OlpSolveSystem* s, uint32_t g, Visit&& visit)
{
    const int32_t* parts = s->groupParts[g];
    const bool coupled[2] = {OlpSolveCoupledEnd(s, g, 0), OlpSolveCoupledEnd(s, g, 1)};
    for (uint32_t e = 0; e < 2; ++e) {
        if (!coupled[e]) {
            continue;
        }
        auto p = static_cast<uint32_t>(parts[e]);
        const uint32_t* entries = s->adjacency + s->partGroupFirst[p];
        for (uint32_t k = 0; k < s->partGroupCount[p]; ++k) {
            const uint32_t h = entries[k] >> 1, end = entries[k] & 1;
            const bool onOther = coupled[1 - e] && s->groupParts[h][1 - end] == parts[1 - e];
            if (e == 1 && onOther) {
                continue; // listed with the part of end 0
            }
            int32_t ends[2];
            ends[e] = static_cast<int32_t>(end);
            ends[1 - e] = onOther ? static_cast<int32_t>(1 - end) : -1;
            visit(h, ends);
        }
    }
}

/// Lists g's groups into couplingGroups, those on both parts first, and
/// sets g's length n and shared count s; calls column(width, index, e, h,
/// hEnd) for each coupling: the index-th of a lane's width (n + s) columns,
/// between g's end e and h's end hEnd on that part.
template <typename Column> void OlpSolveListCouplings(OlpSolveSystem* s, uint32_t g, Column&& column)
{
    // The groups on both parts are those of end 0's part whose other end
    // is on end 1's part; each part's other groups are listed once.
    const int32_t* parts = s->groupParts[g];
    const bool coupled[2] = {OlpSolveCoupledEnd(s, g, 0), OlpSolveCoupledEnd(s, g, 1)};
    uint32_t n = 0, shared = 0;
    for (uint32_t e = 0; e < 2; ++e) {
        n += coupled[e] ? s->partGroupCount[parts[e]] : 0;
    }
    if (coupled[0] && coupled[1]) {
        const uint32_t* entries = s->adjacency + s->partGroupFirst[parts[0]];
        for (uint32_t k = 0; k < s->partGroupCount[parts[0]]; ++k) {
            const uint32_t h = entries[k] >> 1, end = entries[k] & 1;
            shared += s->groupParts[h][1 - end] == parts[1] ? 1 : 0;
        }
    }
    n -= shared;
    uint32_t* groups = s->couplingGroups + s->groupCouplingFirst[g];
    uint32_t nextShared = 0, nextSingle = shared;
    OlpVisitCouplingList(s, g, [&](uint32_t h, const int32_t* ends) {
        if (ends[0] >= 0 && ends[1] >= 0) {
            groups[nextShared] = h;
            column(n + shared, 2 * nextShared, 0u, h, ends[0]);
            column(n + shared, 2 * nextShared + 1, 1u, h, ends[1]);
            ++nextShared;
        } else {
            const uint32_t e = ends[0] >= 0 ? 0 : 1;
            groups[nextSingle] = h;
            column(n + shared, shared + nextSingle, e, h, ends[e]);
            ++nextSingle;
        }
    });
    s->groupCouplingCount[g] = n;
    s->groupCouplingShared[g] = shared;
}
