// Whole-file transfers of the navigation data: reading a "RawData" block
// through the world's data source or a file through the host's file
// functions, and writing a file through the host's file functions.
#pragma once

#include <cstdint>
#include <vector>

namespace Zelk {

class CConfigNode;

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
