// The graph generator: entities whose brain is a "CGraphGeneratorBrain"
// running a "CGraphGeneratorAgent" explore the world through the host's
// collision queries and build one shared navigation graph in steps:
//   1 exploration into a dense graph (then its nodes are joined by edges),
//   2 simplification (pairs of nodes merged),
//   3 arc creation (every arc walked; arcs that cannot be walked in time go),
//   5 additional data (the configured graph-data classes built and written),
//   6 finished.
// After each step the graph is written to its configured file, so that a
// later run can start from the file of an earlier step ("FIRST_STEP").
//
// Agent configuration (children of the "Agent" node; lengths in metres, times
// "OneMeter"): "FIRST_STEP", "NB_SECTORS", "RADIUS_AVERAGE", "RADIUS_MAX",
// "FULL_SPEED_DIST", "HALF_SPEED_DIST", the "RATIO_..." keys, "MAX_LENGTH_VALID_EDGE",
// "SEMI_TRANSPARENT_OBJECTS_TEST", "NB_RAYS_PER_CYLINDER", "HOLE_NB_CHECKPOINTS",
// "DistStop", "RATIO_TIMER_DENSE_GRAPH", "RATIO_TIMER_CREATE_ARCS", "STARTING_POINT",
// "BB_MIN", "BB_MAX" (children "x", "y", "z"), the files "DenseGraph" (required),
// "DenseGraphWithEdges", "FinalGraph" (required), repeated "AdditionalData"
// (children "Class", "OutputFile") and "SEED_GRAPH". A missing required key, a
// malformed number or an unknown key makes the agent's Init fail.
//
// The generation state is shared by every generator agent of the current world
// and renewed when the first agent of a world starts.
#pragma once

#include "ai/runtime/agent.h"
#include "ai/runtime/brain.h"
#include "ai/runtime/registries.h"
#include "ai/runtime/vec3.h"

#include <cstdint>
#include <string>
#include <vector>

namespace Zelk {

class CActionRotate;
class CActionSpeed;
class CEntity;
class CEntityFloatAttribute;
class CGenGraph;
class CGraphArc;
class CGraphGenData;
class CGraphNode;
class CSpatialGraph;

// Steps of the run.
enum EGraphGenStep : uint8_t
{
    kGraphGenNoStep = 0,
    kGraphGenDenseGraph = 1,
    kGraphGenSimplifyEdges = 2,
    kGraphGenCreateArcs = 3,
    kGraphGenAdditionalData = 5,
    kGraphGenFinished = 6,
};

// Optional host hooks: told when the generator moved an entity (position),
// when it turned it toward a new goal (segment), and asked whether a sector
// point may be explored (point filter; true accepts).
struct CGraphGeneratorHooks
{
    void (*position)(CEntity* entity) = nullptr;
    void (*segment)(CEntity* entity) = nullptr;
    bool (*pointFilter)(const CVec3& point, CEntity* entity) = nullptr;
};
void SetGraphGeneratorHooks(const CGraphGeneratorHooks& hooks);

// One graph-data class to build over the final graph and the file it goes to.
struct CGraphGenOutput
{
    std::string className;
    std::string fileName;
};

// The agent's configuration, lengths in world units.
struct CGraphGenConfig
{
    bool doDenseGraph = true;
    bool doSimplifyEdges = true;
    bool doCreateArcs = true;
    bool doAdditionalData = true;
    int32_t sectorCount = 36;
    float radiusAverage = 5.0f;
    float radiusMax = 10.0f;
    float fullSpeedDist = 2.0f;
    float halfSpeedDist = 1.0f;
    float ratioBodyWidth = 0.25f;
    float ratioBodyToKnees = 0.0f;
    float ratioHeightDestination = 0.75f;
    float ratioDepthTestEmpty = 1.5f;
    float ratioDecalHoriTestEmpty = 0.125f;
    float ratioDepthTestHole = 1.0f;
    float ratioStepTestHole = 0.35f;
    float maxLengthValidEdge = 100.0f;
    bool semiTransparentObjectsTest = true;
    int32_t raysPerCylinder = 10;
    int32_t holeCheckpoints = 10;
    float distStop = 0.5f;
    float ratioTimerDenseGraph = 3.0f;
    float ratioTimerCreateArcs = 3.0f;
    bool hasStartingPoint = false;
    CVec3 startingPoint;
    CVec3 bbMin;
    CVec3 bbMax;
    std::string denseGraphFile;
    std::string denseGraphWithEdgesFile;
    std::string finalGraphFile;
    std::vector<CGraphGenOutput> outputs;
    std::string seedGraph;
};

// Reads the configuration node's children into config, lengths times oneMeter
// (defaults are set first). False, with the offending key in error, when a
// required key is missing, a value is malformed or a key is unknown.
bool GraphGenReadConfig(CConfigNode* node, float oneMeter, CGraphGenConfig& config, std::string* error);

class CGraphGeneratorAgent : public CAgent
{
  public:
    static CAgentClassRecord s_classRecord;

    explicit CGraphGeneratorAgent(CBrain* brain);
    ~CGraphGeneratorAgent() override;

    // Reads the configuration, finds the attributes and actions of the entity.
    bool Init(CConfigNode* node) override;
    void Start() override;
    const CClassRecord* GetClassRecord() const override { return &s_classRecord; }
    // Recomputes the body lengths from the entity's attributes; false without them.
    bool CanRun() override;
    // One think of the run; true when the agent decided actions.
    bool Think() override;

    // True when the generator's three classes (agent, generation data, brain)
    // hold registry slots: their static registrations ran.
    static bool CheckManagerClasses();

    const CGraphGenConfig& GetConfig() const { return m_config; }
    CEntity* GetEntity() const;
    bool IsFinished() const;

  private:
    friend struct CGraphGenSteps;

    // Run.
    bool RunStep();
    bool AdvanceStep();
    bool EnterStep(uint8_t step);

    // Exploration.
    bool ExploreThink();
    void ExploreFirstThink();
    bool ChooseNode();
    bool ChooseSector();
    void StartMove(const CVec3& from);
    void ComputeSectorPoints(int32_t nodeIndex);
    float ReachableNodeDistance(const CVec3& p) const;
    void Steer(const CVec3& target);

    // Simplification and arc creation.
    bool SimplifyThink();
    bool CreateArcsThink();
    void MarkFinished();

    // World tests.
    bool PlaceOnGround(CVec3& p, float depth) const;
    bool LineOfSight(const CVec3& p, const CVec3& q) const;
    bool CanGoTest(const CVec3& p, const CVec3& q) const;
    bool WalkTest(const CVec3& p, const CVec3& q) const;
    bool IsEmpty(const CVec3& p) const;
    bool HasHole(const CVec3& a, const CVec3& b) const;
    CVec3 ClampToBox(const CVec3& p) const;
    bool IsInBox(const CVec3& p) const;

    CGraphGenConfig m_config;
    int32_t m_entityIndex = -1;
    CVec3 m_position;
    float m_lastThinkTime = 0.0f;
    float m_moveStartTime = 0.0f;
    bool m_firstThink = true;
    bool m_done = false;
    int32_t m_node = -1;
    int32_t m_sector = -1;
    CVec3 m_target;
    float m_targetDistance = 0.0f;
    CVec3 m_lastPoint{-10000.0f, -10000.0f, -10000.0f};
    float m_smoothedSpeed = 0.0f;
    bool m_moving = false;
    int32_t m_arc = -1; // arc being walked in the arc step
    CVec3 m_walkStart;

    CEntityFloatAttribute* m_maxSpeed = nullptr;
    CEntityFloatAttribute* m_width = nullptr;
    CEntityFloatAttribute* m_height = nullptr;
    CActionRotate* m_rotate = nullptr;
    CActionSpeed* m_speedAction = nullptr;

    // Derived lengths (world units).
    float m_speed = 0.0f;
    float m_entityWidth = 0.0f;
    float m_entityHeight = 0.0f;
    float m_bodyWidth = 0.25f;
    float m_kneeHeight = 0.5f;
    float m_destinationHeight = 1.5f;
    float m_emptyDepth = 2.0f;
    float m_emptyOffset = 0.25f;
    float m_holeDepth = 1.75f;
    float m_holeStep = 0.35f;
};

class CGraphGeneratorBrain : public CBrain
{
  public:
    static CBrainClassRecord s_classRecord;

    CGraphGeneratorBrain(CEntity* entity, const CActionClassRecord* actionClass) : CBrain(entity, actionClass)
    {
    }
    // The base loading, then false unless a CGraphGeneratorAgent was created.
    bool LoadFromConfig(CConfigNode* node) override;
    const CClassRecord* GetClassRecord() const override { return &s_classRecord; }
    bool Think() override;

  private:
    CGraphGeneratorAgent* m_agent = nullptr;
};

// The run as the generator sees it: the current step, the graph under
// construction (null before the first agent started), its generation data,
// and whether the run stopped on a failure (a graph file that could not be
// written or read).
uint8_t GraphGenGetStep();
CSpatialGraph* GraphGenGetGraph();
CGraphGenData* GraphGenGetData();
bool GraphGenHasFailed();
// Forgets the run (graph, agents, step): the next agent starts a new one.
void GraphGenReset();

} // namespace Zelk
