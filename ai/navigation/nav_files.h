// Transfers of the navigation data: reading a "RawData" block through the
// world's data source (whole, or in order straight into the caller's
// memory) or a file through the host's file functions, and writing a file
// through the host's file functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Zelk {

class CConfigNode;
class CDataSource;

// One "RawData" block read in order through the world's data source, each
// piece copied once, into the caller's memory. Closed when destroyed.
class CNavRawDataInput
{
  public:
    CNavRawDataInput() = default;
    ~CNavRawDataInput();
    CNavRawDataInput(const CNavRawDataInput&) = delete;
    CNavRawDataInput& operator=(const CNavRawDataInput&) = delete;

    // Opens the block; false (error recorded) when there is no world data
    // source, no node or the block cannot be opened.
    bool Open(CConfigNode* rawDataNode);
    // Copies up to size bytes of the block; the count copied, fewer only at its end.
    size_t Read(void* out, size_t size);
    // The block's size as its source tells it; 0 when the source does not
    // tell (a text configuration's files), so only a hint.
    uint32_t GetSizeHint() const { return m_sizeHint; }

  private:
    CDataSource* m_source = nullptr;
    CConfigNode* m_node = nullptr;
    uint32_t m_sizeHint = 0;
};

// The node's "RawData" child, null when the node or the child is missing.
CConfigNode* NavFindRawData(CConfigNode* node);
// Reads the whole raw-data block of the node; false (error recorded) when
// there is no world data source, no node or the block cannot be opened.
bool NavReadRawData(CConfigNode* rawDataNode, std::vector<uint8_t>& out);
// Reads the whole file ("rb") through the host's file functions.
bool NavReadHostFile(const char* fileName, std::vector<uint8_t>& out);
// Writes the bytes to a file ("wb") through the host's file functions; false
// when it cannot be opened or not every byte was written.
bool NavWriteHostFile(const char* fileName, const std::vector<uint8_t>& bytes);

} // namespace Zelk
