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

bool NavReadRawData(CConfigNode* rawDataNode, std::vector<uint8_t>& out)
{
    out.clear();
    CWorld* world = GetCurrentWorld();
    CDataSource* source = world != nullptr ? world->GetDataSource() : nullptr;
    if (rawDataNode == nullptr || source == nullptr) {
        NavSetError(ENavError::CannotOpen, "no RawData node or no world data source");
        return false;
    }
    if (!source->OpenRawData(rawDataNode)) {
        NavSetError(ENavError::CannotOpen, "raw-data block cannot be opened");
        return false;
    }
    // The block's size is a hint only (a text configuration's files do not
    // tell it): read until the source delivers nothing more. The hint saves
    // regrowing a large block, up to the largest table a graph can carry.
    constexpr uint32_t kPiece = 65536;
    constexpr uint32_t kLargestHint = 64u << 20;
    out.reserve(std::min(source->GetRawDataSize(rawDataNode), kLargestHint) + kPiece);
    for (;;) {
        const size_t old = out.size();
        out.resize(old + kPiece);
        const uint32_t got = source->ReadRawData(rawDataNode, out.data() + old, kPiece);
        out.resize(old + (got < kPiece ? got : kPiece));
        if (got == 0)
            break;
    }
    source->CloseRawData(rawDataNode);
    return true;
}

} // namespace Zelk
