// The escort scenario: a VIP ("Player") walks a scripted route through a
// box-world level and stops; N escorts ("Soldier%d", soldier brains with escort
// agents) guard it as the escort team "WardelsTeam". The run records a trace
// (CSV), per-second reports and an SVG picture of the level, access ways,
// guard points and trails.
#pragma once
#include "tools/escort-run/escort_level.h"
#include <cstdint>
#include <string>
#include <vector>

namespace Zelk {

class CEntity;
class CTestHost;
class CWardelTeam;
class CWorld;

/// Most escorts a run takes.
inline constexpr int kMaxEscortCount = 32;
/// Height above the floor of the entities' positions and of the graphs' nodes (metres):
/// the middle of the 1.8 m bodies, where the demo's entity class puts an entity, so
/// that distances between entities and nodes are measured at one height.
inline constexpr float kEscortBodyMiddle = 0.9f;

struct CEscortRunOptions
{
    int escorts = 4;           // 1..kMaxEscortCount; beyond the level's escort starts,
                               // extra escorts start on the free floor nearest to them
    float seconds = 40.0f;     // simulated time
    float step = 1.0f / 30.0f; // seconds per frame
    uint32_t seed = 1;         // the project's random generator
};

/// One escort's state at the end of a frame.
struct CEscortSample
{
    CVec3 position;
    CVec3 target;        // the reachable point the agent walks to
    float guardDistance; // horizontal distance to that point
    int32_t slot;        // guard slot, -1 when none
    int32_t watched;     // watched cluster, -1 when none
    bool holding;
    bool crouching;
};

class CEscortScenario
{
  public:
    CEscortScenario();
    ~CEscortScenario();
    CEscortScenario(const CEscortScenario&) = delete;
    CEscortScenario& operator=(const CEscortScenario&) = delete;

    /// Starts the runtime and world from the AI configuration text, builds the graphs
    /// the configuration does not load over the level and creates the VIP, the escorts and their team.
    bool Start(const CEscortLevel& level, const std::string& aiConfig, const CEscortRunOptions& options,
               std::string& error);
    /// As Start, with the configuration and its raw data read from an ".AIS" file's bytes,
    /// read in place: they must outlive the scenario. Graphs and access-ways data the file
    /// holds are used as loaded; only those it lacks are built over the level.
    bool StartFromAis(const CEscortLevel& level, const std::vector<uint8_t>& ais,
                      const CEscortRunOptions& options, std::string& error);
    /// Graphs of the three that Start built over the level (0 when the configuration loaded them all).
    int GetBuiltGraphCount() const { return m_builtGraphs; }
    /// True when Start computed the access ways (false when they came with the configuration).
    bool AccessWaysBuilt() const { return m_accessWaysBuilt; }
    /// Writes the sample's navigation data into dir: "DenseGraph.graph", "MoveGraph.graph"
    /// and "AccessWaysGraph.graph" with their find-nearest data ("<graph>.nearest"), and
    /// the access ways of "AccessWaysGraph" from the escort generator as
    /// "data/generation/aw.awl" under dir. False with a message on the first failure.
    bool WriteData(const std::string& dir, std::string& error) const;
    /// Runs every frame; calls Frame. The per-second report goes to `report` when given.
    void Run(std::string* report);
    /// One line on how the run ended: when the VIP stopped (or that it never arrived) and
    /// how many of its access ways were assigned and watched.
    std::string Summary() const;
    /// One frame: the VIP's scripted step, then the AI frame.
    void Frame();
    /// Ends the world and the runtime (also done by the destructor).
    void Stop();

    float GetTime() const { return float(m_frame) * m_options.step; }
    /// Seconds at which the VIP stopped at the end of its route; negative while walking.
    float GetVipStopTime() const { return m_vipStopTime; }
    int GetEscortCount() const { return int(m_escorts.size()); }
    CEscortSample Sample(int escort) const;
    CWardelTeam* GetTeam() const { return m_team; }
    CEntity* GetVip() const { return m_vip; }
    /// Clusters in use at the VIP's current access-ways node.
    int GetClusterCount() const;
    /// True when the cluster's guard slot is held by some escort.
    bool IsClusterAssigned(int cluster) const;
    /// True when an escort holding the cluster's slot stands within its goal distance of
    /// its guard point and has the cluster in its watched list: the way is really watched.
    bool IsClusterWatched(int cluster) const;
    /// Clusters of the current node that are assigned and that are watched.
    int CountAssignedClusters() const;
    int CountWatchedClusters() const;
    /// The goal distance of escort i's path finder (world units).
    float GetGoalDistance(int escort) const;
    /// Escort i stands on its guard point (within its goal distance, 5 cm of slack), or
    /// holds near the VIP when it has no slot.
    bool IsSettled(int escort) const;
    /// A hash of the final state: every escort's and the VIP's position and heading bits,
    /// and every escort's slot. Pins a run's behaviour in tests.
    uint64_t HashState() const;

    /// The CSV header and the trace so far: one line per escort and frame.
    static const char* GetTraceHeader();
    const std::string& GetTrace() const { return m_trace; }
    /// An SVG picture of the level, access ways, guard points and trails.
    std::string MakeSvg() const;

  private:
    bool StartRuntime(const CEscortLevel& level, const CEscortRunOptions& options, std::string& error);
    bool StartWorld(const CEscortLevel& level, const CEscortRunOptions& options, std::string& error);
    bool AddGraphs(const CEscortLevel& level, std::string& error);
    void StepVip();
    void Record();
    std::string ReportLine() const;

    CEscortRunOptions m_options;
    CEscortLevel m_level;
    CTestHost* m_host = nullptr;
    struct State;
    State* m_state = nullptr;
    CWorld* m_world = nullptr;
    CEntity* m_vip = nullptr;
    CWardelTeam* m_team = nullptr;
    std::vector<CEntity*> m_escorts;
    std::vector<std::vector<CVec3>> m_trails; // escorts, then the VIP
    size_t m_waypoint = 1;
    float m_vipStopTime = -1.0f;
    int m_frame = 0;
    int m_builtGraphs = 0;
    bool m_accessWaysBuilt = false;
    std::string m_trace;
};

} // namespace Zelk
