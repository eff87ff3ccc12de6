// The path finder: the per-brain service that moves one entity towards a point
// or a target over a navigation graph. Each FindNextMove plans a path with A*
// when needed, keeps a sub-goal on it and writes the chosen move into the path
// finder's own action set (heading: Rotate or Steering; pace: Speed or
// Acceleration); the behaviour merges that set into its own.
//
// Behaviour is assembled from named strategies chosen in the configuration:
//   "StopCondition" (checks)   "SimpleStopCondition"
//   "NextSubgoal"   (checks)   "SimpleCheck", "ComplexCheck"
//   "FindVertex"    (vertex)   "NearestVertex", "LocallyVisibleVertex", "NearestVertexOpt"
//   "CanGo", "MoveModeCheck" (go tests) "VisibleGo", "AlwaysGo", "VisibleWithoutHoleGo",
//                              "VisibilityCheck", "HoleCheck", "NoCheck"
//   "SimpleMove", "ComplexMove" (moves) "VisibleMove", "InvisibleMove",
//                              "VisibleAvoidDynMove", "StopAndRelaunchPath"
// Distances in the configuration are metres (multiplied by the world's
// OneMeter); everything else is in world units, seconds and degrees.
//
// Time-manager tasks (when the world lists them; an unlisted task is always
// admitted / always due, except the accident watch, which then runs once a
// second): aperiodic "CPathFinder::FindNextMove::ASTAR",
// periodic "CPathFinder::FindNextMove::CheckAccident", "...::NewSubGoal", "...::Goto".
#pragma once

#include "ai/navigation/heuristic.h"
#include "ai/navigation/path_record.h"
#include "ai/navigation/path_strategy.h"
#include "ai/runtime/service.h"
#include "ai/runtime/vec3.h"

#include <cstdint>

namespace Zelk {

class CActionAcceleration;
class CActionRotate;
class CActionSet;
class CActionSpeed;
class CActionSteering;
class CAstarData;
class CConstraint;
class CEntity;
class CEntityMaxSpeed;
class CEntityWidth;
class CFindNearestData;
class CGraphArc;
class CGraphNode;
class CHeuristic;
class CPathObject;
class CPointMapper;
class CSpatialGraph;

/// A target the path finder can head for: a position and, optionally, a graph node.
class IPathTarget
{
  public:
    virtual ~IPathTarget() = default;
    /// Where the target is now (world units).
    virtual CVec3 GetTargetPosition() const = 0;
    /// The target's graph node and the point-mapper identifier of its graph; false when
    /// it has none.
    virtual bool GetTargetNode(uint16_t& node, uint16_t& graphId) const = 0;
};

/// A graph node of a graph known to the point mapper.
class CGraphNodeTarget : public IPathTarget
{
  public:
    CGraphNodeTarget(const CGraphNode* node, uint16_t graphId) : m_node(node), m_graphId(graphId) {}
    CVec3 GetTargetPosition() const override;
    /// False for a null node or the identifier 65535.
    bool GetTargetNode(uint16_t& node, uint16_t& graphId) const override;

  private:
    const CGraphNode* m_node;
    uint16_t m_graphId;
};

/// An entity followed by its current position (no graph node).
class CEntityTarget : public IPathTarget
{
  public:
    explicit CEntityTarget(const CEntity* entity) : m_entity(entity) {}
    CVec3 GetTargetPosition() const override;
    bool GetTargetNode(uint16_t& /*node*/, uint16_t& /*graphId*/) const override { return false; }

  private:
    const CEntity* m_entity;
};

/// The path-finder interface through which behaviours find their brain's path finder
/// (CBrain::FindService(&IPathFinder::s_classRecord)).
class IPathFinder : public CService
{
  public:
    static CServiceClassRecord s_classRecord;

    /// Creates the path finder's own action set, of the brain's action class.
    explicit IPathFinder(CBrain* brain);
    ~IPathFinder() override;
    IPathFinder(const IPathFinder&) = delete;
    IPathFinder& operator=(const IPathFinder&) = delete;

    /// One think towards the target (its current position): true when the entity has a
    /// move or has arrived, false when no path could be found.
    virtual bool FindNextMove(const IPathTarget& target) = 0;
    /// One think towards a point; same answers.
    virtual bool FindNextMove(const CVec3& point) = 0;
    /// The current heuristic's estimate between the graph nodes of two targets for this
    /// entity; false when a node is missing or the heuristic refuses.
    virtual bool EstimateCost(const IPathTarget& from, const IPathTarget& to, float* cost) = 0;
    virtual CConstraint* GetConstraint() const = 0;
    /// Makes the constraint of that class current (created on first use); false for a
    /// record that does not descend from "CConstraint".
    virtual bool SetConstraint(const CConstraintClassRecord* record) = 0;
    /// False while a search is pending; else whether the last think arrived at the goal.
    virtual bool HasArrived() const = 0;
    /// The path status (world units): when arrived, the distance to the goal; else the
    /// distance still to walk along the path (sub-goal, remaining path points, goal).
    /// -1 when the last think found no path and no search is pending.
    virtual float GetRemainingDistance() const = 0;
    /// Binds a graph of the world's graph manager (null clears the graph); false when the
    /// manager does not hold it.
    virtual bool SetGraph(CSpatialGraph* graph) = 0;
    /// False without a graph manager or a graph of that name.
    virtual bool SetGraphByName(const char* name) = 0;
    virtual bool SetHeuristic(const CHeuristicClassRecord* record) = 0;
    virtual CHeuristic* GetHeuristic() const = 0;
    /// The next think searches again.
    virtual void RelaunchPath() = 0;

    // What the behaviours read and tune.
    /// The arrival distance (world units).
    virtual float GetDistGoal() const = 0;
    virtual void SetDistGoal(float distance) = 0;
    /// The current sub-goal and goal (world units).
    virtual const CVec3& GetSubGoal() const = 0;
    virtual const CVec3& GetGoal() const = 0;
    virtual CEntityMaxSpeed* GetMaxSpeedAttribute() const = 0;
    virtual CActionRotate* GetRotateAction() const = 0;
    virtual CActionSpeed* GetSpeedAction() const = 0;

    /// The path finder's own action set (merge it into the behaviour's after FindNextMove).
    CActionSet* GetActionSet() const { return m_actions; }
    CEntity* GetEntity() const;

  protected:
    CActionSet* m_actions = nullptr;
    CConstraint** m_constraints = nullptr; // one slot per constraint class
    int32_t m_constraintCount = 0;
    CConstraint* m_constraint = nullptr;
};

/// The move a strategy chooses: pace and horizontal direction.
struct CPathMove
{
    float speed = 0.0f; // world units per second
    CVec3 direction;    // height component 0
    CVec3 point;        // carried along
    CVec3 extra;        // carried along
    uint8_t flag = 0;
};

class CPathFinder : public IPathFinder
{
  public:
    static CServiceClassRecord s_classRecord;

    explicit CPathFinder(CBrain* brain);
    ~CPathFinder() override;

    /// Defaults, then the configuration; false when a key, value, graph or strategy name is
    /// refused or the entity lacks what the path finder drives (exactly one heading action,
    /// exactly one pace action, MaxSpeed and Width attributes).
    bool Init(CConfigNode* node) override;
    bool ReadParameter(CConfigNode* node) override;
    /// Forgets the path; goal and sub-goal become the entity's position; stops the entity.
    void Start() override;
    const CClassRecord* GetClassRecord() const override { return &s_classRecord; }

    bool FindNextMove(const IPathTarget& target) override;
    bool FindNextMove(const CVec3& point) override;
    bool EstimateCost(const IPathTarget& from, const IPathTarget& to, float* cost) override;
    CConstraint* GetConstraint() const override { return m_constraint; }
    bool SetConstraint(const CConstraintClassRecord* record) override;
    bool HasArrived() const override;
    float GetRemainingDistance() const override;
    bool SetGraph(CSpatialGraph* graph) override;
    bool SetGraphByName(const char* name) override;
    bool SetHeuristic(const CHeuristicClassRecord* record) override;
    CHeuristic* GetHeuristic() const override { return m_heuristic; }
    void RelaunchPath() override { m_relaunch = true; }
    float GetDistGoal() const override { return m_distGoal; }
    void SetDistGoal(float distance) override { m_distGoal = distance; }
    const CVec3& GetSubGoal() const override { return m_subGoal; }
    const CVec3& GetGoal() const override { return m_goal; }
    CEntityMaxSpeed* GetMaxSpeedAttribute() const override { return m_maxSpeed; }
    CActionRotate* GetRotateAction() const override { return m_rotate; }
    CActionSpeed* GetSpeedAction() const override { return m_speed; }

    /// Exactly one of Rotate and Steering is bound.
    bool CheckHeadingAction() const;
    /// Exactly one of Acceleration and Speed is bound.
    bool CheckPaceAction() const;
    bool CheckMaxSpeed() const { return m_maxSpeed != nullptr; }
    bool CheckWidth() const { return m_width != nullptr; }
    /// False only for "NearestVertexOpt" on a graph without find-nearest data.
    bool CheckFindVertex() const;
    /// Writes the move into the bound actions; false without a heading action, or without
    /// a pace action (then after the heading).
    bool ApplyMove(CPathMove& move);
    /// Progress watch: the distance to the sub-goal when the entity is stuck (no 5 %
    /// progress since the last run), 0 while progressing or when the watch is not due.
    float CheckAccident();

    // Read access for tests and tools.
    CSpatialGraph* GetGraph() const { return m_graph; }
    uint16_t GetGraphId() const { return m_graphId; }
    const CPathRecord& GetPath() const { return m_path; }
    int32_t GetPathIndex() const { return m_pathIndex; }
    bool IsPathValid() const { return m_pathValid; }
    bool IsAvoiding() const { return m_avoiding; }
    uint32_t GetSearchCount() const { return m_searchCount; }
    const CPathMove& GetLastMove() const { return m_lastMove; }

    /// The strategy registries (process-wide; each holds at most 16 strategies).
    static CPathCheckRegistry& CheckRegistry();
    static CPathVertexRegistry& VertexRegistry();
    static CPathGoRegistry& GoRegistry();
    static CPathMoveRegistry& MoveRegistry();

  private:
    friend struct CPathFinderStrategies;

    struct SpreadState
    {
        float prudence = 0.2f;
        uint32_t nodeCount = 0;
        float meanTime = 0.0005f;
        float deviation = 0.0f;
    };

    bool FindNextMoveTo(const CVec3& goal, const IPathTarget* target);
    bool Plan(CPathMove& move, const IPathTarget* target);
    bool LaunchSearch(const IPathTarget* target, bool* started);
    CGraphNode* FindTargetVertex(const IPathTarget& target);
    void MakeMove(CPathMove& move);
    void SegmentObjectMove(CPathMove& move, CPathObject* object);
    void StopOnArrival();
    /// The path object linked to the arc that leads to the current path point, or null.
    CPathObject* SegmentObject() const;
    /// Index of the path point nearest to the point (height weighted 10 times); -1 when empty.
    int32_t NearestPathPoint(const CVec3& point) const;
    /// Moves the sub-goal to the path point after index, or to the goal after the last one.
    void AdvanceFrom(int32_t index);
    /// Cost of going straight from a to b under the current constraint; false when refused.
    bool StraightCost(const CVec3& a, const CVec3& b, float* cost);
    CVec3 Heading() const;
    float DistanceTo(const CVec3& point) const;
    bool TaskDue(int32_t task);
    void MarkRun(int32_t task);
    bool AccidentWatchDue();
    void MarkAccidentWatchRun();
    void BindGraphData();
    static void OnPathObject(CPathObject* object, void* user);

    // Heuristics (one per heuristic class) and the current one.
    CHeuristic** m_heuristics = nullptr;
    int32_t m_heuristicCount = 0;
    CHeuristic* m_heuristic = nullptr;

    // Parameters (world units unless said).
    float m_distMinNewGoal = 0.0f;
    float m_distGoal = 0.0f;
    float m_distStop = 0.0f;
    float m_distSlowDown = 0.0f;
    float m_distGoalSlowDown = 0.0f;
    float m_maxDeltaHeight = 0.0f;
    float m_distSubgoalMax = 0.0f;
    float m_maxDeltaAngle = 45.0f; // degrees
    uint32_t m_nbMaxSubgoal = 1;
    float m_holeHeight = 0.0f;
    float m_holeDistToEdge = 0.0f;
    float m_widthRatioForHole = 1.0f;
    float m_cpuPrudence = 0.2f;
    bool m_avoidCpuPeaks = false;

    CSpatialGraph* m_graph = nullptr;
    uint16_t m_graphId = 65535;
    CPathRecord m_path;

    PathCheckFn m_stopCondition = nullptr;
    PathVertexFn m_findVertex = nullptr;
    PathGoFn m_canGo = nullptr;
    PathCheckFn m_nextSubgoal = nullptr;
    PathGoFn m_moveModeCheck = nullptr;
    PathMoveFn m_simpleMove = nullptr;
    PathMoveFn m_complexMove = nullptr;

    bool m_arrived = false;
    bool m_pathValid = false;
    bool m_searchPending = false;
    bool m_searchUnfinished = false;
    bool m_goalInSight = true;
    bool m_relaunch = false;
    bool m_accident = false;
    bool m_applyMove = false;
    bool m_searchedOnce = false;

    CVec3 m_goal;
    CVec3 m_goalDirection;
    CVec3 m_subGoal;
    CVec3 m_position;
    CVec3 m_decisionGoal;
    CVec3 m_launchedGoal;
    CVec3 m_lastComplexMove;
    CVec3 m_predicted;
    CVec3 m_avoidDirection;

    CGraphNode* m_searchStart = nullptr;
    CGraphNode* m_searchEnd = nullptr;
    CGraphNode* m_launchedStart = nullptr;
    CGraphNode* m_launchedEnd = nullptr;
    int32_t m_pathIndex = -1;
    int32_t m_holeCountdown = 0;
    CPathMove m_lastMove;
    uint32_t m_searchCount = 0;

    CEntityMaxSpeed* m_maxSpeed = nullptr;
    CEntityWidth* m_width = nullptr;
    CActionRotate* m_rotate = nullptr;
    CActionSteering* m_steering = nullptr;
    CActionAcceleration* m_acceleration = nullptr;
    CActionSpeed* m_speed = nullptr;
    CAstarData* m_astarData = nullptr;
    CFindNearestData* m_findNearestData = nullptr;
    CPointMapper* m_pointMapper = nullptr;
    bool m_listening = false;

    int32_t m_taskAstar = -1;
    int32_t m_taskCheckAccident = -1;
    int32_t m_taskNewSubGoal = -1;
    int32_t m_taskGoto = -1;

    float m_lastSubgoalDistance = -1.0f;
    // The accident watch's own pace when the world lists no "CheckAccident" task.
    static constexpr float kAccidentWatchPeriod = 1.0f;
    float m_accidentWatchTime = -1.0e9f;
    SpreadState* m_spread = nullptr; // one per constraint class
    // A two-node graph whose one arc prices a straight leg under the constraint.
    CSpatialGraph* m_legGraph = nullptr;
    CGraphArc* m_legArc = nullptr;

    // Dynamic avoidance.
    static constexpr uint32_t kMaxObstacles = 25;
    bool m_obstacleDetected = false;
    CEntity* m_nearestObstacle = nullptr;
    float m_collisionTime = 0.0f;
    CVec3 m_collisionDisplacement;
    CEntity* m_obstacles[kMaxObstacles] = {};
    uint32_t m_obstacleCount = 0;
    float m_dynRatioAttrRep = 0.5f;
    float m_dynDelayTime = 0.4f;
    float m_avoidEndTime = 0.0f;
    bool m_avoiding = false;
    float m_timeMinTrigger = -1.0f;
    float m_timeMaxTrigger = 10.0f;
};

} // namespace Zelk
