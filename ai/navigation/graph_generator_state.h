// The graph generator's run state, shared by every generator agent of the
// current world, and the graph-wide passes of the steps. Private to the
// generator's sources.
#pragma once

#include "ai/navigation/graph_gen_data.h"
#include "ai/navigation/graph_generator.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace Zelk {

class CWorld;

struct CGraphGenState
{
    CWorld* world = nullptr;
    std::unique_ptr<CGenGraph> graph;
    std::unique_ptr<CGraphGenData> data;
    uint8_t step = kGraphGenNoStep;
    uint8_t firstStep = kGraphGenNoStep;
    bool stepEntered = false; // set when a step begins, cleared by its first think
    bool stepDone = false;    // every agent finished the step; the lead agent moves on
    bool failed = false;
    CGraphGenConfig config;                    // of the agent that chose the first step
    std::vector<CGraphGeneratorAgent*> agents; // by entity index, not owned
    std::vector<uint8_t> finished;             // by entity index

    // Forgets everything when the world is not the one of the run.
    void BindToWorld(CWorld* current);
    void Reset();
    void AddAgent(CGraphGeneratorAgent* agent, int32_t entityIndex);
    void RemoveAgent(const CGraphGeneratorAgent* agent);
    bool IsFinished(int32_t entityIndex) const;
    void SetFinished(int32_t entityIndex);
    void ClearFinished();
    // True when every agent with an entity finished the step.
    bool AllFinished() const;
    // The agent of the lowest entity index drives the step changes and draws.
    bool IsLeadAgent(const CGraphGeneratorAgent* agent) const;
    // A new empty graph with fresh generation data (none, run failed, without memory).
    void RenewGraph();
    void ForgetGraph();
    // Replaces the graph with the file's; false (graph emptied) when refused.
    bool ReadGraph(const char* fileName);
    // Empties the graph and stops the run; false.
    bool Fail();
    void EnterNextStep(uint8_t next);
    // Builds each configured graph-data class over the graph and writes it.
    void BuildOutputs();
    // The graph and the bounding box through the host's debug drawing.
    void Draw() const;
};

CGraphGenState& GraphGenState();

// Graph-wide passes that the run calls between steps.
struct CGraphGenSteps
{
    // Joins every node with its neighbours closer than 1.2 x the spacing;
    // testCanGo adds the can-go test; new arcs get the fixed flag.
    static void JoinNodes(CGraphGeneratorAgent& agent, bool testCanGo, uint8_t fixed);
    // Marks the nodes and arcs that match path-object segments as fixed.
    static void MarkFixedGeometry(CGraphGeneratorAgent& agent);
    // Adds the path-object segments inside the box as fixed nodes and arcs.
    static void AddPathObjectSegments(CGraphGeneratorAgent& agent);
};

} // namespace Zelk
