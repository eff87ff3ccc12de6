// The graph generator's configuration, shared run state, agent and brain.
// The geometric steps live in graph_generation_steps.cpp.
#include "ai/navigation/graph_generator.h"

#include "ai/navigation/astar.h"
#include "ai/navigation/graph_gen_data.h"
#include "ai/navigation/graph_generator_state.h"
#include "ai/navigation/nav_error.h"
#include "ai/navigation/nav_host.h"
#include "ai/navigation/nav_text.h"
#include "ai/navigation/path_object.h"
#include "ai/navigation/spatial_graph.h"
#include "ai/runtime/action.h"
#include "ai/runtime/attribute.h"
#include "ai/runtime/config_node.h"
#include "ai/runtime/entity.h"
#include "ai/runtime/host.h"
#include "ai/runtime/registries.h"
#include "ai/runtime/world.h"

#include <cmath>
#include <cstring>

namespace Zelk {

namespace {

// More checkpoints than this would make every hole test a long loop of ray casts.
constexpr int32_t kMaxHoleCheckpoints = 10000;

CAgent* CreateAgent(CBrain* brain)
{
    return new CGraphGeneratorAgent(brain);
}

CBrain* CreateBrain(CEntity* entity, const CActionClassRecord* actionClass)
{
    return new CGraphGeneratorBrain(entity, actionClass);
}

bool IsKey(const CConfigNode* node, const char* key)
{
    return node->GetKey() != nullptr && std::strcmp(node->GetKey(), key) == 0;
}

bool Fail(std::string* error, const char* key)
{
    if (error != nullptr)
        *error = key;
    return false;
}

bool ReadFloat(const CConfigNode* node, float& out)
{
    return node->GetValue() != nullptr && NavParseFloat(node->GetValue(), out);
}

bool ReadInt(const CConfigNode* node, int32_t& out)
{
    return node->GetValue() != nullptr && NavParseInt(node->GetValue(), out);
}

// A point node: children "x", "y", "z", all required.
bool ReadPoint(const CConfigNode* node, float oneMeter, CVec3& out)
{
    const char* keys[3] = {"x", "y", "z"};
    float values[3];
    for (int i = 0; i < 3; ++i) {
        const char* text = node->GetChildValue(keys[i]);
        if (text == nullptr || !NavParseFloat(text, values[i]))
            return false;
    }
    out = CVec3(values[0], values[1], values[2]) * oneMeter;
    return true;
}

// The keys whose value is a length in metres or a plain ratio.
struct FloatKey
{
    const char* key;
    float CGraphGenConfig::*field;
    bool isLength;
};

const FloatKey kFloatKeys[] = {
    {"RADIUS_MAX", &CGraphGenConfig::radiusMax, true},
    {"FULL_SPEED_DIST", &CGraphGenConfig::fullSpeedDist, true},
    {"HALF_SPEED_DIST", &CGraphGenConfig::halfSpeedDist, true},
    {"RATIO_BODY_WIDTH", &CGraphGenConfig::ratioBodyWidth, false},
    {"RATIO_BODY_TO_KNEES", &CGraphGenConfig::ratioBodyToKnees, false},
    {"RATIO_HEIGHT_DESTINATION", &CGraphGenConfig::ratioHeightDestination, false},
    {"RATIO_DEPTH_TEST_EMPTY", &CGraphGenConfig::ratioDepthTestEmpty, false},
    {"RATIO_DECAL_HORI_TEST_EMPTY", &CGraphGenConfig::ratioDecalHoriTestEmpty, false},
    {"RATIO_DEPTH_TEST_HOLE", &CGraphGenConfig::ratioDepthTestHole, false},
    {"RATIO_STEP_TEST_HOLE", &CGraphGenConfig::ratioStepTestHole, false},
    {"MAX_LENGTH_VALID_EDGE", &CGraphGenConfig::maxLengthValidEdge, true},
    {"DistStop", &CGraphGenConfig::distStop, true},
    {"RATIO_TIMER_DENSE_GRAPH", &CGraphGenConfig::ratioTimerDenseGraph, false},
    {"RATIO_TIMER_CREATE_ARCS", &CGraphGenConfig::ratioTimerCreateArcs, false},
};

bool ReadKey(const CConfigNode* child, float k, CGraphGenConfig& config, std::string* error)
{
    const char* key = child->GetKey();
    const char* value = child->GetValue();
    for (const FloatKey& entry : kFloatKeys) {
        if (!IsKey(child, entry.key))
            continue;
        float number;
        if (!ReadFloat(child, number))
            return Fail(error, entry.key);
        config.*entry.field = entry.isLength ? number * k : number;
        return true;
    }
    if (IsKey(child, "FIRST_STEP")) {
        if (value == nullptr)
            return Fail(error, key);
        if (std::strcmp(value, "SIMPLIFY_EDGES") == 0) {
            config.doDenseGraph = false;
        } else if (std::strcmp(value, "ADDITIONAL_DATA") == 0) {
            config.doDenseGraph = config.doSimplifyEdges = config.doCreateArcs = config.doAdditionalData =
                false;
        }
        return true;
    }
    if (IsKey(child, "NB_SECTORS")) {
        int32_t count;
        if (!ReadInt(child, count))
            return Fail(error, key);
        if (count >= 3 && count <= 35)
            config.sectorCount = count;
        return true;
    }
    if (IsKey(child, "RADIUS_AVERAGE")) {
        float radius;
        if (!ReadFloat(child, radius))
            return Fail(error, key);
        config.radiusAverage = radius * k;
        config.radiusMax = 2.0f * config.radiusAverage;
        config.maxLengthValidEdge = 3.0f * config.radiusAverage;
        return true;
    }
    if (IsKey(child, "SEMI_TRANSPARENT_OBJECTS_TEST")) {
        config.semiTransparentObjectsTest = value == nullptr || std::strcmp(value, "NO") != 0;
        return true;
    }
    if (IsKey(child, "NB_RAYS_PER_CYLINDER"))
        return ReadInt(child, config.raysPerCylinder) || Fail(error, key);
    if (IsKey(child, "HOLE_NB_CHECKPOINTS"))
        return ReadInt(child, config.holeCheckpoints) || Fail(error, key);
    if (IsKey(child, "STARTING_POINT")) {
        config.hasStartingPoint = ReadPoint(child, k, config.startingPoint);
        return config.hasStartingPoint || Fail(error, key);
    }
    if (IsKey(child, "BB_MIN"))
        return ReadPoint(child, k, config.bbMin) || Fail(error, key);
    if (IsKey(child, "BB_MAX"))
        return ReadPoint(child, k, config.bbMax) || Fail(error, key);
    if (IsKey(child, "DenseGraph") || IsKey(child, "DenseGraphWithEdges") || IsKey(child, "FinalGraph") ||
        IsKey(child, "SEED_GRAPH")) {
        if (value == nullptr || value[0] == '\0')
            return Fail(error, key);
        std::string& field = IsKey(child, "DenseGraph")            ? config.denseGraphFile
                             : IsKey(child, "DenseGraphWithEdges") ? config.denseGraphWithEdgesFile
                             : IsKey(child, "FinalGraph")          ? config.finalGraphFile
                                                                   : config.seedGraph;
        field = value;
        return true;
    }
    if (IsKey(child, "AdditionalData")) {
        const char* className = child->GetChildValue("Class");
        const char* fileName = child->GetChildValue("OutputFile");
        if (className == nullptr || fileName == nullptr || fileName[0] == '\0')
            return Fail(error, key);
        // An unknown class is ignored, as the graph manager ignores it.
        if (CGraphDataClassRecord::Find(className) != nullptr)
            config.outputs.push_back({className, fileName});
        return true;
    }
    return Fail(error, key != nullptr ? key : "(no key)");
}

// The path object that brings a seed graph's nodes and arcs into the run,
// unless one exists already; a refused one is simply not there.
void CreateSeedObject(const std::string& seedGraph)
{
    CWorld* world = GetCurrentWorld();
    if (seedGraph.empty() || world == nullptr || CSeedPathObject::GetCurrent() != nullptr)
        return;
    CConfigNode config;
    if (AddConfigChild(&config, nullptr, "Class", "CSeedPathObject") == nullptr ||
        AddConfigChild(&config, nullptr, "SEED_GRAPH", seedGraph.c_str()) == nullptr)
        return;
    CEntity* seed = CreateEntityFromConfig("SeedGraph", &config, AiGetClassMask(), nullptr);
    if (seed != nullptr && !world->AddEntity(seed))
        DestroyEntity(seed);
}

} // namespace

CAgentClassRecord CGraphGeneratorAgent::s_classRecord("CGraphGeneratorAgent", &CreateAgent);
CBrainClassRecord CGraphGeneratorBrain::s_classRecord("CGraphGeneratorBrain", &CreateBrain);

bool GraphGenReadConfig(CConfigNode* node, float oneMeter, CGraphGenConfig& config, std::string* error)
{
    config = CGraphGenConfig{};
    const float k = oneMeter;
    config.radiusAverage *= k;
    config.radiusMax *= k;
    config.fullSpeedDist *= k;
    config.halfSpeedDist *= k;
    config.maxLengthValidEdge *= k;
    config.distStop *= k;
    if (node == nullptr)
        return Fail(error, "(no configuration)");
    for (uint32_t i = 0; i < node->GetChildCount(); ++i) {
        const CConfigNode* child = node->GetChild(i);
        if (child == nullptr || IsKey(child, "Class"))
            continue;
        if (!ReadKey(child, k, config, error))
            return false;
    }
    if (config.denseGraphFile.empty())
        return Fail(error, "DenseGraph");
    if (config.finalGraphFile.empty())
        return Fail(error, "FinalGraph");
    // Spacing and look-ahead must be real lengths: they divide scores and distances.
    if (!(config.radiusAverage > 0.0f) || !(config.radiusMax > 0.0f) ||
        !std::isfinite(config.radiusAverage) || !std::isfinite(config.radiusMax))
        return Fail(error, "RADIUS_AVERAGE");
    for (const FloatKey& entry : kFloatKeys)
        if (!std::isfinite(config.*entry.field))
            return Fail(error, entry.key);
    if (config.holeCheckpoints > kMaxHoleCheckpoints)
        return Fail(error, "HOLE_NB_CHECKPOINTS");
    return true;
}

// ---- Agent --------------------------------------------------------------------------

CGraphGeneratorAgent::CGraphGeneratorAgent(CBrain* brain) : CAgent(brain)
{
}

CGraphGeneratorAgent::~CGraphGeneratorAgent()
{
    GraphGenState().RemoveAgent(this);
}

CEntity* CGraphGeneratorAgent::GetEntity() const
{
    return GetBrain() != nullptr ? GetBrain()->GetEntity() : nullptr;
}

bool CGraphGeneratorAgent::IsFinished() const
{
    return GraphGenState().IsFinished(m_entityIndex);
}

bool CGraphGeneratorAgent::Init(CConfigNode* node)
{
    CGraphGenState& state = GraphGenState();
    state.BindToWorld(GetCurrentWorld());
    std::string error;
    if (!GraphGenReadConfig(node, NavOneMeter(), m_config, &error)) {
        NavSetError(ENavError::BadArgument, "graph generator: refused configuration key");
        return false;
    }
    m_position = m_config.hasStartingPoint ? m_config.startingPoint : CVec3();
    m_lastPoint = CVec3(-10000.0f);
    CEntity* entity = GetEntity();
    CActionSet* actions = GetActionSet();
    if (entity == nullptr || actions == nullptr)
        return false;
    m_maxSpeed = entity->GetAttribute<CEntityMaxSpeed>();
    m_width = entity->GetAttribute<CEntityWidth>();
    m_height = entity->GetAttribute<CEntityHeight>();
    m_rotate = actions->Get<CActionRotate>();
    m_speedAction = actions->Get<CActionSpeed>();
    if (m_maxSpeed == nullptr || m_width == nullptr || m_height == nullptr || m_rotate == nullptr ||
        m_speedAction == nullptr) {
        NavSetError(ENavError::BadArgument,
                    "graph generator: entity without speed, width, height or actions");
        return false;
    }
    if (state.step == kGraphGenNoStep) {
        state.step = m_config.doDenseGraph      ? kGraphGenDenseGraph
                     : m_config.doSimplifyEdges ? kGraphGenSimplifyEdges
                     : m_config.doCreateArcs    ? kGraphGenCreateArcs
                                                : kGraphGenAdditionalData;
        state.firstStep = state.step;
        state.stepEntered = true;
        state.config = m_config;
    }
    return true;
}

void CGraphGeneratorAgent::Start()
{
    CGraphGenState& state = GraphGenState();
    CEntity* entity = GetEntity();
    m_entityIndex = entity != nullptr ? entity->GetId() : -1;
    m_firstThink = true;
    m_done = false;
    m_moving = false;
    m_node = -1;
    m_arc = -1;
    m_position = m_config.hasStartingPoint ? m_config.startingPoint
                 : entity != nullptr       ? entity->GetPosition()
                                           : CVec3();
    m_lastPoint = CVec3(-10000.0f);
    state.AddAgent(this, m_entityIndex);
    CreateSeedObject(m_config.seedGraph);
    // The first agent to start renews the graph of the run.
    if (state.graph == nullptr)
        state.RenewGraph();
}

bool CGraphGeneratorAgent::CanRun()
{
    if (m_maxSpeed == nullptr || m_width == nullptr || m_height == nullptr)
        return false;
    m_speed = m_maxSpeed->GetValue();
    m_entityWidth = m_width->GetValue();
    m_entityHeight = m_height->GetValue();
    m_bodyWidth = m_entityWidth * m_config.ratioBodyWidth;
    m_emptyOffset = m_entityWidth * m_config.ratioDecalHoriTestEmpty;
    m_kneeHeight = m_entityHeight * m_config.ratioBodyToKnees;
    m_destinationHeight = m_entityHeight * m_config.ratioHeightDestination;
    m_emptyDepth = m_entityHeight * m_config.ratioDepthTestEmpty;
    m_holeDepth = m_entityHeight * m_config.ratioDepthTestHole;
    m_holeStep = m_entityHeight * m_config.ratioStepTestHole;
    return GraphGenState().graph != nullptr;
}

bool CGraphGeneratorAgent::Think()
{
    return RunStep();
}

void CGraphGeneratorAgent::MarkFinished()
{
    CGraphGenState& state = GraphGenState();
    m_done = true;
    state.SetFinished(m_entityIndex);
    if (state.AllFinished())
        state.stepDone = true;
}

bool CGraphGeneratorAgent::RunStep()
{
    CGraphGenState& state = GraphGenState();
    if (state.failed || state.graph == nullptr) {
        GetActionSet()->Reset();
        return false;
    }
    if (state.stepDone && state.IsLeadAgent(this) && !AdvanceStep())
        return false;
    if (state.stepDone)
        return false; // waiting for the lead agent to move on
    switch (state.step) {
    case kGraphGenDenseGraph:
        return ExploreThink();
    case kGraphGenSimplifyEdges:
        return SimplifyThink();
    case kGraphGenCreateArcs:
        return CreateArcsThink();
    case kGraphGenAdditionalData:
        if (!state.IsLeadAgent(this))
            return false;
        if (state.stepEntered && !EnterStep(kGraphGenAdditionalData))
            return false;
        state.BuildOutputs();
        state.step = kGraphGenFinished;
        return true;
    case kGraphGenFinished:
        GetActionSet()->Reset();
        return true;
    default:
        return false;
    }
}

// Reads the input graph of a step that the run starts with; false stops the run.
bool CGraphGeneratorAgent::EnterStep(uint8_t step)
{
    CGraphGenState& state = GraphGenState();
    state.stepEntered = false;
    if (state.firstStep != step || step == kGraphGenDenseGraph)
        return true;
    const std::string& file = step == kGraphGenSimplifyEdges    ? m_config.denseGraphWithEdgesFile
                              : step == kGraphGenAdditionalData ? m_config.finalGraphFile
                                                                : std::string();
    if (file.empty() || !state.ReadGraph(file.c_str())) {
        state.Fail();
        return false;
    }
    CGraphGenSteps::MarkFixedGeometry(*this);
    return true;
}

bool CGraphGeneratorAgent::AdvanceStep()
{
    CGraphGenState& state = GraphGenState();
    CSpatialGraph& graph = *state.graph;
    switch (state.step) {
    case kGraphGenDenseGraph:
        graph.Renumber();
        graph.SetSearchRadius(m_config.radiusAverage);
        if (!graph.Write(m_config.denseGraphFile.c_str()))
            return state.Fail();
        CGraphGenSteps::JoinNodes(*this, true, 0);
        if (!m_config.denseGraphWithEdgesFile.empty() &&
            !graph.Write(m_config.denseGraphWithEdgesFile.c_str()))
            return state.Fail();
        state.EnterNextStep(kGraphGenSimplifyEdges);
        return true;
    case kGraphGenSimplifyEdges:
        graph.Renumber();
        state.EnterNextStep(kGraphGenCreateArcs);
        return true;
    case kGraphGenCreateArcs:
        graph.Renumber();
        graph.SetSearchRadius(m_config.maxLengthValidEdge);
        if (!graph.Write(m_config.finalGraphFile.c_str()) ||
            !state.ReadGraph(m_config.finalGraphFile.c_str()))
            return state.Fail();
        graph.SetSearchRadius(m_config.maxLengthValidEdge);
        state.EnterNextStep(kGraphGenAdditionalData);
        return true;
    default:
        state.stepDone = false;
        return true;
    }
}

// ---- Brain ----------------------------------------------------------------------------

bool CGraphGeneratorBrain::LoadFromConfig(CConfigNode* node)
{
    if (!CBrain::LoadFromConfig(node))
        return false;
    m_agent = static_cast<CGraphGeneratorAgent*>(FindAgent(&CGraphGeneratorAgent::s_classRecord));
    return m_agent != nullptr;
}

bool CGraphGeneratorBrain::Think()
{
    CActionSet* actions = GetActionSet();
    actions->Reset();
    if (m_agent == nullptr || !m_agent->CanRun())
        return false;
    m_agent->GetActionSet()->Reset();
    const bool decided = m_agent->Think();
    if (decided)
        actions->Merge(*m_agent->GetActionSet());
    CGraphGenState& state = GraphGenState();
    if (decided && state.IsLeadAgent(m_agent))
        state.Draw();
    return decided;
}

bool CGraphGeneratorAgent::CheckManagerClasses()
{
    return CGraphGeneratorAgent::s_classRecord.GetIndex() != -1 &&
           CGraphGenData::s_classRecord.GetIndex() != -1 &&
           CGraphGeneratorBrain::s_classRecord.GetIndex() != -1;
}

uint8_t GraphGenGetStep()
{
    return GraphGenState().step;
}

CSpatialGraph* GraphGenGetGraph()
{
    return GraphGenState().graph.get();
}

CGraphGenData* GraphGenGetData()
{
    return GraphGenState().data.get();
}

bool GraphGenHasFailed()
{
    return GraphGenState().failed;
}

void GraphGenReset()
{
    GraphGenState().Reset();
}

} // namespace Zelk
