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

/// How a move of group g reaches the groups around it: through g's
/// coupling list if it has one, and by dot products through each end on a
/// part the list does not cover. Both kernels take them in this order (end
/// 0's dots, the list, end 1's dots), as each group's residuals take them.
struct OlpSolveRoutes
{
    bool listed;
    bool byDots[2];
};
inline OlpSolveRoutes OlpSolveRoutesOf(const OlpSolveSystem* s, uint32_t g)
{
    const bool listed = s->couplings != nullptr && s->groupCouplingFirst[g] != kOlpSolveUncoupled;
    OlpSolveRoutes routes{listed, {}};
    for (uint32_t e = 0; e < 2; ++e) {
        routes.byDots[e] = s->groupParts[g][e] >= 0 && !(listed && OlpSolveCoupledEnd(s, g, e));
    }
    return routes;
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
    // The groups of end 0's part in its order, then those of end 1's part
    // not on the first.
    uint32_t* groups = s->couplingGroups + s->groupCouplingFirst[g];
    const uint32_t width = n + shared;
    uint32_t nextShared = 0, nextSingle = shared;
    for (uint32_t e = 0; e < 2; ++e) {
        if (!coupled[e]) {
            continue;
        }
        const int32_t otherPart = coupled[1 - e] ? parts[1 - e] : -1;
        const uint32_t* entries = s->adjacency + s->partGroupFirst[parts[e]];
        for (uint32_t k = 0; k < s->partGroupCount[parts[e]]; ++k) {
            const uint32_t h = entries[k] >> 1, end = entries[k] & 1;
            const bool onOther = otherPart >= 0 && s->groupParts[h][1 - end] == otherPart;
            if (!onOther) {
                groups[nextSingle] = h;
                column(width, shared + nextSingle, e, h, static_cast<int32_t>(end));
                ++nextSingle;
            } else if (e == 0) {
                groups[nextShared] = h;
                column(width, 2 * nextShared, 0u, h, static_cast<int32_t>(end));
                column(width, 2 * nextShared + 1, 1u, h, static_cast<int32_t>(1 - end));
                ++nextShared;
            }
        }
    }
    s->groupCouplingCount[g] = n;
    s->groupCouplingShared[g] = shared;
}
