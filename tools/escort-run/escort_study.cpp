#include "tools/escort-run/escort_study.h"
#include "ai/behaviours/wardel_team.h"
#include "ai/runtime/entity.h"
#include <cstdio>

namespace Zelk {

namespace {

bool AllSettled(const CEscortScenario& scenario)
{
    for (int i = 0; i < scenario.GetEscortCount(); ++i)
        if (!scenario.IsSettled(i))
            return false;
    return true;
}

} // namespace

bool EscortTeamSizeStudy(const CEscortLevel& level, const std::string& aiConfig,
                         const CEscortRunOptions& options, int from, int to, float settleLimit,
                         std::vector<CTeamSizeResult>& results, std::string& error)
{
    results.clear();
    if (from < 1 || to < from || to > kMaxEscortCount) {
        error = "team sizes must lie within 1.." + std::to_string(kMaxEscortCount);
        return false;
    }
    for (int size = from; size <= to; ++size) {
        CEscortRunOptions run = options;
        run.escorts = size;
        CEscortScenario scenario;
        if (!scenario.Start(level, aiConfig, run, error)) {
            error = std::to_string(size) + " escorts: " + error;
            return false;
        }
        while (scenario.GetVipStopTime() < 0.0f && scenario.GetTime() < run.seconds)
            scenario.Frame();
        CTeamSizeResult result;
        result.escorts = size;
        result.stopSeconds = scenario.GetVipStopTime();
        if (result.stopSeconds >= 0.0f) {
            const float deadline = scenario.GetTime() + settleLimit;
            bool settled = AllSettled(scenario);
            while (!settled && scenario.GetTime() < deadline) {
                scenario.Frame();
                settled = AllSettled(scenario);
            }
            if (settled)
                result.settleSeconds = scenario.GetTime() - result.stopSeconds;
        }
        for (int i = 0; i < scenario.GetEscortCount(); ++i)
            if (!scenario.IsSettled(i))
                result.unsettled.push_back(i);
        result.clusters = scenario.GetClusterCount();
        result.assigned = scenario.CountAssignedClusters();
        result.watched = scenario.CountWatchedClusters();
        result.directions = scenario.GetTeam()->GetSlotCount();
        results.push_back(result);
    }
    return true;
}

std::string FormatTeamSizeTable(const std::vector<CTeamSizeResult>& results)
{
    std::string table = "escorts  directions  watched/clusters  assigned  settled after  not settled\n";
    for (const CTeamSizeResult& r : results) {
        char line[160];
        char settle[32];
        if (r.stopSeconds < 0.0f)
            std::snprintf(settle, sizeof settle, "VIP never arrived");
        else if (r.settleSeconds < 0.0f)
            std::snprintf(settle, sizeof settle, "never");
        else
            std::snprintf(settle, sizeof settle, "%.1f s", double(r.settleSeconds));
        std::snprintf(line, sizeof line, "%7d  %10d  %7d/%-8d  %8d  %13s  ", r.escorts, r.directions,
                      r.watched, r.clusters, r.assigned, settle);
        table += line;
        if (r.unsettled.empty())
            table += "-";
        for (size_t i = 0; i < r.unsettled.size(); ++i)
            table += (i > 0 ? "," : "") + std::string("Soldier") + std::to_string(r.unsettled[i]);
        table += "\n";
    }
    return table;
}

} // namespace Zelk
