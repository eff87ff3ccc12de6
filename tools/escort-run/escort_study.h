// The escort team's coverage as the team grows: the escort scenario run once per
// team size on one level, each run until the VIP has stopped and every escort has
// settled (or a time limit), then the clusters of the VIP's node that are watched.
#pragma once
#include "tools/escort-run/escort_scenario.h"
#include <string>
#include <vector>

namespace Zelk {

struct CTeamSizeResult
{
    int escorts = 0;
    int clusters = 0;            // clusters in use at the VIP's final access-ways node
    int assigned = 0;            // of them, held by some escort's slot
    int watched = 0;             // of them, watched by a settled escort
    int directions = 0;          // guard directions (slots) chosen
    float stopSeconds = -1.0f;   // when the VIP stopped; negative: it never arrived
    float settleSeconds = -1.0f; // seconds from the VIP's stop until every escort settled; negative: never
    std::vector<int> unsettled;  // escorts not settled when the run ended
};

/// Runs the scenario for every team size from..to (1 <= from <= to <= kMaxEscortCount) with
/// the given options (their escort count is replaced): walking until the VIP stops (at most
/// options.seconds), then at most settleLimit seconds more until every escort is settled.
/// False with a message when a run cannot start.
bool EscortTeamSizeStudy(const CEscortLevel& level, const std::string& aiConfig,
                         const CEscortRunOptions& options, int from, int to, float settleLimit,
                         std::vector<CTeamSizeResult>& results, std::string& error);
/// The results as a table, one line per team size.
std::string FormatTeamSizeTable(const std::vector<CTeamSizeResult>& results);

} // namespace Zelk
