#include "ai/navigation/graph_generator_state.h"

#include "ai/navigation/astar.h"
#include "ai/navigation/nav_host.h"
#include "ai/navigation/spatial_graph.h"
#include "ai/runtime/world.h"

namespace Zelk {

CGraphGenState& GraphGenState()
{
    static CGraphGenState state;
    return state;
}

void CGraphGenState::BindToWorld(CWorld* current)
{
    if (current == world)
        return;
    Reset();
    world = current;
}

void CGraphGenState::Reset()
{
    world = nullptr;
    ForgetGraph();
    step = firstStep = kGraphGenNoStep;
    stepEntered = stepDone = failed = false;
    config = CGraphGenConfig{};
    // Agents still alive keep their slots: they unregister when deleted.
    finished.assign(finished.size(), 0);
}

void CGraphGenState::AddAgent(CGraphGeneratorAgent* agent, int32_t entityIndex)
{
    if (entityIndex < 0)
        return;
    if (size_t(entityIndex) >= agents.size()) {
        agents.resize(size_t(entityIndex) + 1, nullptr);
        finished.resize(size_t(entityIndex) + 1, 0);
    }
    agents[size_t(entityIndex)] = agent;
    finished[size_t(entityIndex)] = 0;
}

void CGraphGenState::RemoveAgent(const CGraphGeneratorAgent* agent)
{
    bool removed = false;
    bool anyLeft = false;
    for (size_t i = 0; i < agents.size(); ++i) {
        if (agents[i] == agent) {
            agents[i] = nullptr;
            finished[i] = 0;
            removed = true;
        }
        anyLeft = anyLeft || agents[i] != nullptr;
    }
    // The run ends with its last agent: a later world (even one at the same
    // address) starts a run of its own.
    if (removed && !anyLeft)
        Reset();
}

bool CGraphGenState::IsFinished(int32_t entityIndex) const
{
    return entityIndex >= 0 && size_t(entityIndex) < finished.size() && finished[size_t(entityIndex)] != 0;
}

void CGraphGenState::SetFinished(int32_t entityIndex)
{
    if (entityIndex >= 0 && size_t(entityIndex) < finished.size())
        finished[size_t(entityIndex)] = 1;
}

void CGraphGenState::ClearFinished()
{
    finished.assign(finished.size(), 0);
}

bool CGraphGenState::AllFinished() const
{
    for (size_t i = 0; i < agents.size(); ++i)
        if (agents[i] != nullptr && agents[i]->GetEntity() != nullptr && finished[i] == 0)
            return false;
    return true;
}

bool CGraphGenState::IsLeadAgent(const CGraphGeneratorAgent* agent) const
{
    for (const CGraphGeneratorAgent* candidate : agents)
        if (candidate != nullptr)
            return candidate == agent;
    return false;
}

void CGraphGenState::RenewGraph()
{
    ForgetGraph();
    // The runtime's allocator answers null when memory is exhausted: no graph, no run.
    graph.reset(new CGenGraph);
    if (graph != nullptr)
        data.reset(new CGraphGenData(graph.get()));
    if (data == nullptr || !data->Init(nullptr)) {
        ForgetGraph();
        failed = true;
        return;
    }
    graph->SetGenData(data.get());
}

void CGraphGenState::ForgetGraph()
{
    if (graph != nullptr)
        graph->SetGenData(nullptr);
    data.reset();
    graph.reset();
}

bool CGraphGenState::ReadGraph(const char* fileName)
{
    if (graph == nullptr)
        RenewGraph();
    if (graph == nullptr)
        return false;
    // Records are renewed below: the reader's moves need not be followed.
    graph->SetGenData(nullptr);
    const bool read = fileName != nullptr && fileName[0] != '\0' && graph->ReadFromFile(fileName);
    if (!read)
        graph->Clear();
    data->Init(nullptr);
    graph->SetGenData(data.get());
    return read;
}

bool CGraphGenState::Fail()
{
    if (graph != nullptr) {
        graph->SetGenData(nullptr);
        graph->Clear();
        data->Init(nullptr);
        graph->SetGenData(data.get());
    }
    failed = true;
    stepDone = false;
    return false;
}

void CGraphGenState::EnterNextStep(uint8_t next)
{
    step = next;
    stepEntered = true;
    stepDone = false;
    ClearFinished();
}

void CGraphGenState::BuildOutputs()
{
    if (graph == nullptr)
        return;
    // The A* memory is shared by the whole process: grow it for the final graph when it is
    // too small, and give it back at the size it had, so later searches keep working.
    const int32_t kept = AstarMemoryCapacity();
    const bool grow = kept < graph->GetNodeArraySize();
    if (grow && !AstarMemoryInit(graph->GetNodeArraySize())) {
        AstarMemoryInit(kept);
        Fail();
        return;
    }
    for (const CGraphGenOutput& output : config.outputs) {
        const CGraphDataClassRecord* record = CGraphDataClassRecord::Find(output.className.c_str());
        if (record == nullptr || record->GetCreator() == nullptr)
            continue;
        // Built on the final graph as it stands now, so that the data sees its nodes.
        std::unique_ptr<CGraphAdditionalData> object(record->GetCreator()(graph.get()));
        if (object != nullptr && object->Build())
            object->Write(output.fileName.c_str());
    }
    if (grow && !AstarMemoryInit(kept))
        Fail();
}

void CGraphGenState::Draw() const
{
    if (graph == nullptr)
        return;
    for (int32_t i = 0; i <= graph->GetHighestNodeIndex(); ++i) {
        const CGraphNode* node = graph->GetNode(i);
        if (node == nullptr)
            continue;
        const CGraphGenNodeRecord* record = data->GetNodeRecord(i);
        const bool done = record != nullptr && record->explorationDone != 0;
        NavDrawPoint(node->GetPosition(), done ? 255 : 0, 0, done ? 0 : 255);
        for (int32_t a = 0; a < node->GetOutArcCount(); ++a) {
            const CGraphArc* arc = node->GetOutArc(a);
            const CGraphGenArcRecord* arcRecord = data->GetArcRecord(arc->GetIndex());
            const bool fixed = arcRecord != nullptr && arcRecord->fixed == 1;
            NavDrawLine(arc->GetTo()->GetPosition(), node->GetPosition(), fixed ? 255 : 0, 0,
                        fixed ? 0 : 255);
        }
    }
    const CVec3& lo = config.bbMin;
    const CVec3& hi = config.bbMax;
    if (lo.x > hi.x || lo.y > hi.y || lo.z > hi.z)
        return;
    // The twelve edges of the box.
    for (int edge = 0; edge < 12; ++edge) {
        const int axis = edge / 4;
        const int a = edge & 1;
        const int b = (edge >> 1) & 1;
        CVec3 p = lo;
        CVec3 q = hi;
        float* pc[3] = {&p.x, &p.y, &p.z};
        float* qc[3] = {&q.x, &q.y, &q.z};
        const float los[3] = {lo.x, lo.y, lo.z};
        const float his[3] = {hi.x, hi.y, hi.z};
        const int u = (axis + 1) % 3;
        const int v = (axis + 2) % 3;
        *pc[axis] = los[axis];
        *qc[axis] = his[axis];
        *pc[u] = *qc[u] = a != 0 ? his[u] : los[u];
        *pc[v] = *qc[v] = b != 0 ? his[v] : los[v];
        NavDrawLine(p, q, 255, 255, 255);
    }
}

} // namespace Zelk
