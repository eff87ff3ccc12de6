#include "ai/navigation/graph_wrapper.h"

#include "ai/navigation/graph_manager.h"
#include "ai/navigation/spatial_graph.h"
#include "ai/runtime/config_node.h"

namespace Zelk {

namespace {

CGraphWrapper* Create()
{
    return new CGraphWrapper();
}

CGraphWrapperClassRecord s_record("CGraphWrapper", &Create);

} // namespace

const char* CGraphWrapper::GraphNameOf(const CConfigNode* node)
{
    if (node == nullptr)
        return nullptr;
    return node->GetValue() != nullptr ? node->GetValue() : node->GetName();
}

bool CGraphWrapper::Init(CConfigNode* node)
{
    const char* name = GraphNameOf(node);
    CGraphManager* manager = CGraphManager::FindInCurrentWorld();
    m_graph = name != nullptr && manager != nullptr ? manager->GetGraph(name) : nullptr;
    return m_graph != nullptr;
}

uint16_t CGraphWrapper::GetNodeCount() const
{
    return m_graph != nullptr ? uint16_t(m_graph->GetNodeCount()) : 0;
}

CVec3 CGraphWrapper::GetNodePosition(uint16_t index) const
{
    const CGraphNode* node = m_graph != nullptr ? m_graph->GetNode(index) : nullptr;
    return node != nullptr ? node->GetPosition() : CVec3();
}

const CClassRecord* CGraphWrapper::GetClassRecord() const
{
    return &s_record;
}

} // namespace Zelk
