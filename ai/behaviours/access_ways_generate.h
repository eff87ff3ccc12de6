// Offline generation of access-ways data: for every node of a graph, the arcs
// that lead from places hidden from the node into the area it sees, one per
// direction (kept arcs differ by more than 10 degrees horizontally, so a node
// never has more than 36 of them -- within the escort team's 60 clusters).
// This is the generator the sample data uses; CAccessWaysData::Build is the
// navigation's own, kept beside it.
#pragma once
#include <cstdint>
#include <vector>

namespace Zelk {

class CAccessWaysData;
class CSpatialGraph;

/// The file the generation writes, relative to the working directory.
inline constexpr char kAccessWaysFileName[] = "data/generation/aw.awl";

struct CAccessWaysGenerator
{
    CSpatialGraph* graph = nullptr;
    /// World units per metre (0: the current world's, 1 without a world).
    float oneMeter = 0.0f;
};

/// Per node index, the access-way arc indices, using the host's visibility test.
/// Empty when the graph is missing, has no node, has holes or is too large for the file.
std::vector<std::vector<uint16_t>> AccessWaysCompute(const CAccessWaysGenerator& generator);
/// Loads lists (one per node of data's graph) into data through the file format.
bool AccessWaysDataFromLists(CAccessWaysData& data, const std::vector<std::vector<uint16_t>>& lists);
/// Computes the lists and writes them as access-ways data to fileName (deleted
/// first). False when nothing could be computed or the write failed.
bool AccessWaysGenerateTo(const CAccessWaysGenerator& generator, const char* fileName);
/// AccessWaysGenerateTo the standard file "data/generation/aw.awl".
bool AccessWaysGenerate(const CAccessWaysGenerator& generator);

} // namespace Zelk
