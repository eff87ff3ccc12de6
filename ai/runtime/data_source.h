// Data sources: where a configuration tree and its raw-data blocks come from.
#pragma once

#include "ai/runtime/allocator.h"

#include <cstdint>

namespace Zelk {

class CConfigNode;

/// The handle a "RawData" node carries. Not owned by the node: copies share it.
struct CRawDataHandle
{
    uint32_t inMemory; // 1: data points at a block the host attached; 0: a block of a file
    uint32_t sequence; // for a file block, its number counting from 0 in tree order
    const void* data;  // for an in-memory block, its bytes (size: the node's raw-data size)
};

/// The world's data source. A data manager reads a node's block as: OpenRawData;
/// GetRawDataSize; ReadRawData (possibly several times); CloseRawData.
class CDataSource : public CAiObject
{
  public:
    ~CDataSource() override = default;
    /// True when node's block is ready to be read.
    virtual bool OpenRawData(CConfigNode* node) = 0;
    /// Copies up to size bytes of the open block; returns the count delivered (0 at its end).
    virtual uint32_t ReadRawData(CConfigNode* node, void* buffer, uint32_t size) = 0;
    /// Skips what is left of the open block and closes it.
    virtual void CloseRawData(CConfigNode* node) = 0;
    /// Size in bytes of the block opened last (0 when the source cannot tell).
    virtual uint32_t GetRawDataSize(CConfigNode* node) = 0;
};

} // namespace Zelk

namespace Zelk {

/// Capacity of the process-wide raw-data handle pool.
inline constexpr uint32_t kAiMaxRawDataHandles = 127;
/// Takes an unused handle from the pool (zeroed); null when all are in use.
CRawDataHandle* AiTakeRawDataHandle();
/// Empties the pool (every handle handed out becomes invalid); a new ".AIS" reader does this.
void AiResetRawDataHandles();
/// Handles handed out since the last reset.
uint32_t AiGetRawDataHandleCount();

} // namespace Zelk
