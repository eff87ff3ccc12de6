// Seed corpora of the navigation fuzz targets, made by the navigation's own
// writers: for each reader a valid file, a truncated one and one with a
// wrong version, all for the fuzz fixture graph.
#include "ai/navigation/access_ways_data.h"
#include "ai/navigation/astar.h"
#include "ai/navigation/astar_data.h"
#include "ai/navigation/find_nearest_data.h"
#include "ai/navigation/graph_wrapper.h"
#include "ai/navigation/path_cost_data.h"
#include "ai/navigation/path_way.h"
#include "ai/navigation/point_mapper.h"
#include "ai/navigation/spatial_graph.h"
#include "ai/runtime/runtime.h"
#include "ai/testhost/testhost.h"
#include "fuzz/nav_fixture/fuzz_graph.h"
#include "tools/common/toolfiles.h"
#include "tools/navtool/navtool_files.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

namespace Zelk {

namespace {

bool WriteSeeds(const std::string& folder, const std::vector<uint8_t>& valid, size_t versionOffset)
{
    std::filesystem::create_directories(folder);
    std::vector<uint8_t> truncated(valid.begin(), valid.begin() + std::ptrdiff_t(valid.size() / 2));
    std::vector<uint8_t> version = valid;
    version[versionOffset] = 2;
    const bool ok = ToolWriteFile(folder + "/valid", valid.data(), valid.size()) &&
                    ToolWriteFile(folder + "/truncated", truncated.data(), truncated.size()) &&
                    ToolWriteFile(folder + "/version", version.data(), version.size());
    std::printf("%s: %zu bytes\n", folder.c_str(), valid.size());
    return ok;
}

} // namespace

bool WriteFuzzCorpora(const char* fuzzFolder)
{
    const std::string root = fuzzFolder;
    CSpatialGraph graph;
    MakeFuzzGraph(graph);
    std::vector<uint8_t> bytes;
    bool ok = graph.WriteToMemory(bytes) && WriteSeeds(root + "/nav_graph/corpus", bytes, 21);

    // The dumps have no version: the text one gets a malformed line instead.
    const std::string text = graph.WriteTextToString();
    std::vector<uint8_t> textBytes(text.begin(), text.end());
    ok = ok && graph.WriteRawToMemory(bytes) && WriteSeeds(root + "/nav_graphdump/corpus", textBytes, 8) &&
         ToolWriteFile(root + "/nav_graphdump/corpus/raw", bytes.data(), bytes.size());

    CFindNearestData nearest(&graph);
    ok = ok && nearest.Build() && nearest.WriteToMemory(bytes) &&
         WriteSeeds(root + "/nav_findnearest/corpus", bytes, 24);

    // On an open floor every node sees every other and has no access way: a
    // wall between rows 1 and 2 gives the data something to hold.
    CBoxWorld world;
    world.boxMin.push_back(CVec3(-10.0f, -10.0f, 1.4f));
    world.boxMax.push_back(CVec3(10.0f, 10.0f, 1.6f));
    CTestHost host;
    StartRuntime(host, world);
    CAccessWaysData ways(&graph);
    ok = ok && ways.Build() && ways.WriteToMemory(bytes) &&
         WriteSeeds(root + "/nav_accessways/corpus", bytes, 23);
    AiEngineTerminate();

    ok = ok && AstarMemoryInit(graph.GetNodeArraySize());
    CAstarData table(&graph);
    ok = ok && table.Build() && table.WriteToMemory(bytes) &&
         WriteSeeds(root + "/nav_astardata/corpus", bytes, 18);
    AstarMemoryFree();

    CPathCostData costs(&graph);
    std::vector<uint8_t> cost(16 * 16);
    for (size_t i = 0; i < cost.size(); ++i)
        cost[i] = uint8_t((i / 16 + i % 16) % 255);
    ok = ok && costs.SetTable(cost, 2.0f) && costs.WriteToMemory(bytes) &&
         WriteSeeds(root + "/nav_pathcost/corpus", bytes, 21);

    // The fixture graph mapped against a coarser one (every other node).
    CSpatialGraph coarse;
    for (int i = 0; i < 16; i += 2)
        AddNodeAtPosition(coarse, graph.GetNode(i)->GetPosition());
    CGraphWrapper fine;
    CGraphWrapper sparse;
    fine.SetGraph(&graph);
    sparse.SetGraph(&coarse);
    CPointMapper mapper;
    mapper.SetMaxDeltaUp(1.5f);
    ok = ok && mapper.BuildFrom({&fine, &sparse}, {"FineGraph", "CoarseGraph"}) &&
         mapper.WriteToMemory(bytes) && WriteSeeds(root + "/nav_pointmap/corpus", bytes, 26);
    // The path-way agent's command fields as the path-way writer stores them and the
    // reader gives them back: one 64-byte field per seed.
    std::filesystem::create_directories(root + "/pathway_command/corpus");
    CPathWay way;
    const char* const commands[] = {"pause 2", "rotate 90", "orient -170",   "orient 720",     "rotate -45.5",
                                    "pause",   "",          "dance 3 times", "  orient   12  "};
    for (const char* command : commands)
        ok = ok && way.InsertPoint(CWayPoint(CVec3(), "walk", command), CPathWay::kAppend);
    CPathWay stored;
    ok = ok && way.WriteToMemory(bytes) && stored.ReadFromMemory(bytes.data(), bytes.size());
    for (uint32_t i = 0; ok && i < stored.GetPointCount(); ++i) {
        const char* field = stored.GetPoint(int32_t(i))->action;
        ok = ToolWriteFile(root + "/pathway_command/corpus/command" + std::to_string(i), field,
                           CWayPoint::kActionSize);
    }
    if (!ok)
        std::fprintf(stderr, "navtool: writing the corpora failed\n");
    return ok;
}

} // namespace Zelk
