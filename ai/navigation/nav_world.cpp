// The navigation's adapters that need the world and its entities.
#include "ai/navigation/nav_error.h"
#include "ai/navigation/nav_files.h"
#include "ai/navigation/nav_host.h"
#include "ai/runtime/attribute.h"
#include "ai/runtime/config_node.h"
#include "ai/runtime/data_source.h"
#include "ai/runtime/entity.h"
#include "ai/runtime/world.h"

#include <algorithm>

namespace Zelk {

float NavOneMeter()
{
    return GetOneMeter();
}

float NavEntityWidth(const CEntity* entity)
{
    const CEntityWidth* width = entity != nullptr ? entity->GetAttribute<CEntityWidth>() : nullptr;
    return width != nullptr ? width->GetValue() : 0.0f;
}

CVec3 NavEntityPosition(const CEntity* entity)
{
    return entity != nullptr ? entity->GetPosition() : CVec3();
}

bool NavIsPointInFieldOfView(const CEntity* entity, const CVec3& point)
{
    return IsPointInFieldOfView(point, entity);
}

CNavRawDataInput::~CNavRawDataInput()
{
    if (m_source != nullptr)
        m_source->CloseRawData(m_node);
}

bool CNavRawDataInput::Open(CConfigNode* rawDataNode)
{
    CWorld* world = GetCurrentWorld();
    CDataSource* source = world != nullptr ? world->GetDataSource() : nullptr;
    if (m_source != nullptr || rawDataNode == nullptr || source == nullptr) {
        NavSetError(ENavError::CannotOpen, "no RawData node or no world data source");
        return false;
    }
    if (!source->OpenRawData(rawDataNode)) {
        NavSetError(ENavError::CannotOpen, "raw-data block cannot be opened");
        return false;
    }
    m_source = source;
    m_node = rawDataNode;
    m_sizeHint = source->GetRawDataSize(rawDataNode);
    return true;
}

size_t CNavRawDataInput::Read(void* out, size_t size)
{
    // A source may deliver less than asked before the end (a file read in
    // pieces) and hands out at most a 32-bit count at a time: only 0 ends it.
    constexpr size_t kLargestPiece = size_t(1) << 30;
    size_t done = 0;
    while (m_source != nullptr && done < size) {
        const uint32_t piece = uint32_t(std::min(size - done, kLargestPiece));
        const uint32_t got = m_source->ReadRawData(m_node, static_cast<uint8_t*>(out) + done, piece);
        if (got == 0)
            break;
        done += got;
    }
    return done;
}

bool NavReadRawData(CConfigNode* rawDataNode, std::vector<uint8_t>& out)
{
    out.clear();
    CNavRawDataInput input;
    if (!input.Open(rawDataNode))
        return false;
    // The size is a hint only: read until the source delivers nothing more.
    // The hint saves regrowing a large block, up to the largest table a graph
    // can carry.
    constexpr size_t kPiece = 65536;
    constexpr size_t kLargestHint = 64u << 20;
    out.reserve(std::min(size_t(input.GetSizeHint()), kLargestHint) + kPiece);
    for (;;) {
        const size_t old = out.size();
        out.resize(old + kPiece);
        const size_t got = input.Read(out.data() + old, kPiece);
        out.resize(old + got);
        if (got < kPiece)
            break;
    }
    return true;
}

} // namespace Zelk
