// navtool: makes and inspects the navigation's data files.
//
//   navtool info <file> [<graph file>]
//       prints what a graph file holds, or a data file of the given graph
//   navtool text <description> <out graph>
//       builds a graph from a text description (see below)
//   navtool grid <box world> <out graph> <spacing>
//       lays a grid of nodes over the walkable area of a box world, joining
//       8-neighbours that a body can walk between
//   navtool findnearest <graph> <out>     builds find-nearest data
//   navtool accessways <graph> <box world> <out>  builds access-ways data
//   navtool astar <graph> <out>           builds A* data
//   navtool pathway <description> <out>   writes a path-way file (see navtool_files.h)
//   navtool neuralnet <description> <out> writes a neural-net file (see navtool_files.h)
//   navtool corpus <fuzz folder>          writes the fuzz targets' seed corpora
//
// Graph description, one item a line ('#' starts a comment):
//   node <x> <y> <z>        the next node (indices count from 0)
//   arc <from> <to> [both]  an arc, "both" adds the reverse arc too
//   radius <r>              the search radius stored in the file
// Box world, one item a line:
//   area <minx> <minz> <maxx> <maxz> <y>   the floor the grid covers, at height y
//   box <minx> <miny> <minz> <maxx> <maxy> <maxz>
//   onemeter <units>        world units per metre (default 1)
#include "ai/navigation/access_ways_data.h"
#include "ai/navigation/astar.h"
#include "ai/navigation/astar_data.h"
#include "ai/navigation/find_nearest_data.h"
#include "ai/navigation/nav_error.h"
#include "ai/navigation/neural_net.h"
#include "ai/navigation/path_cost_data.h"
#include "ai/navigation/path_way.h"
#include "ai/navigation/point_mapper.h"
#include "ai/navigation/spatial_graph.h"
#include "ai/runtime/runtime.h"
#include "ai/testhost/testhost.h"
#include "tools/common/toolfiles.h"
#include "tools/navtool/navtool_files.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace Zelk;

namespace {

int Fail(const char* what)
{
    std::fprintf(stderr, "navtool: %s: %s\n", what, NavGetLastErrorText());
    return 1;
}

bool ReadGraph(const char* path, CSpatialGraph& graph)
{
    std::vector<uint8_t> bytes;
    return ToolReadFile(path, &bytes) && graph.ReadFromMemory(bytes.data(), bytes.size());
}

void PrintGraph(CSpatialGraph& graph)
{
    std::printf("graph: %d nodes, %d arcs, search radius %g\n", graph.GetNodeCount(), graph.GetArcCount(),
                double(graph.GetSearchRadius()));
    for (int32_t i = 0; i <= graph.GetHighestNodeIndex(); ++i)
        if (const CGraphNode* node = graph.GetNode(i))
            std::printf("  node %d (%g, %g, %g) in %d out %d\n", i, double(node->GetPosition().x),
                        double(node->GetPosition().y), double(node->GetPosition().z), node->GetInArcCount(),
                        node->GetOutArcCount());
    for (int32_t i = 0; i <= graph.GetHighestArcIndex(); ++i)
        if (const CGraphArc* arc = graph.GetArc(i))
            std::printf("  arc %d: %d -> %d length %g\n", i, arc->GetFrom()->GetIndex(),
                        arc->GetTo()->GetIndex(), double(arc->GetLength()));
}

bool StartsWith(const std::vector<uint8_t>& bytes, const char* magic)
{
    const size_t n = std::strlen(magic);
    return bytes.size() >= n && std::memcmp(bytes.data(), magic, n) == 0;
}

int Info(int argc, char** argv)
{
    std::vector<uint8_t> bytes;
    if (!ToolReadFile(argv[2], &bytes))
        return Fail(argv[2]);
    CSpatialGraph graph;
    if (StartsWith(bytes, CSpatialGraph::kMagic)) {
        if (!graph.ReadFromMemory(bytes.data(), bytes.size()))
            return Fail("graph file refused");
        PrintGraph(graph);
        return 0;
    }
    if (StartsWith(bytes, CPointMapper::kMagic)) {
        CPointMapper mapper;
        if (!mapper.ReadFromMemory(bytes.data(), bytes.size()))
            return Fail("point-mapping file refused");
        std::printf("point mapping: %u containers\n", unsigned(mapper.GetContainerCount()));
        for (uint16_t i = 0; i < mapper.GetContainerCount(); ++i)
            std::printf("  %s: %u points\n", mapper.GetContainerName(i), unsigned(mapper.GetPointCount(i)));
        return 0;
    }
    const bool known = StartsWith(bytes, CFindNearestData::kMagic) ||
                       StartsWith(bytes, CAccessWaysData::kMagic) || StartsWith(bytes, CAstarData::kMagic) ||
                       StartsWith(bytes, CPathCostData::kMagic);
    if (!known) {
        std::fprintf(stderr, "navtool: %s: not a navigation file\n", argv[2]);
        return 1;
    }
    if (argc < 4 || !ReadGraph(argv[3], graph))
        return Fail("a data file needs its graph file");
    if (StartsWith(bytes, CFindNearestData::kMagic)) {
        CFindNearestData data(&graph);
        if (!data.ReadFromMemory(bytes.data(), bytes.size()))
            return Fail("find-nearest file refused");
        std::printf("find-nearest data for %d nodes\n", data.GetNodeCount());
    } else if (StartsWith(bytes, CAccessWaysData::kMagic)) {
        CAccessWaysData data(&graph);
        if (!data.ReadFromMemory(bytes.data(), bytes.size()))
            return Fail("access-ways file refused");
        std::printf("access-ways data for %d nodes\n", data.GetNodeCount());
        for (int32_t i = 0; i < data.GetNodeCount(); ++i) {
            const uint16_t* list = nullptr;
            const int32_t count = data.GetAccessWays(i, list);
            std::printf("  node %d: %d ways", i, count);
            for (int32_t k = 0; k < count; ++k)
                std::printf(" %u", unsigned(list[k]));
            std::printf("\n");
        }
    } else if (StartsWith(bytes, CAstarData::kMagic)) {
        CAstarData data(&graph);
        if (!data.ReadFromMemory(bytes.data(), bytes.size()))
            return Fail("A* data file refused");
        int32_t reachable = 0;
        for (int32_t i = 0; i < data.GetNodeCount(); ++i)
            for (int32_t j = 0; j < data.GetNodeCount(); ++j)
                reachable += i != j && data.GetEntry(i, j) != CAstarData::kNoArc;
        std::printf("A* data for %d nodes, %d reachable pairs\n", data.GetNodeCount(), reachable);
    } else {
        CPathCostData data(&graph);
        if (!data.ReadFromMemory(bytes.data(), bytes.size()))
            return Fail("path-cost file refused");
        std::printf("path-cost data for %d nodes, scale %g\n", data.GetNodeCount(), double(data.GetScale()));
    }
    return 0;
}

int WriteGraph(CSpatialGraph& graph, const char* path)
{
    std::vector<uint8_t> bytes;
    if (!graph.WriteToMemory(bytes) || !ToolWriteFile(path, bytes.data(), bytes.size()))
        return Fail(path);
    PrintGraph(graph);
    return 0;
}

int Text(char** argv)
{
    CSpatialGraph graph;
    if (!ReadGraphDescription(argv[2], graph))
        return 1;
    return WriteGraph(graph, argv[3]);
}

int Grid(char** argv)
{
    CBoxWorld world;
    if (!ReadBoxWorld(argv[2], world))
        return 1;
    const float spacing = std::strtof(argv[4], nullptr);
    if (!(spacing > 0.0f)) {
        std::fprintf(stderr, "navtool: spacing must be positive\n");
        return 1;
    }
    CTestHost host;
    StartRuntime(host, world);
    CSpatialGraph graph;
    LayGrid(world, spacing, graph);
    const int result = WriteGraph(graph, argv[3]);
    AiEngineTerminate();
    return result;
}

template <class Data> int BuildData(CSpatialGraph& graph, const char* out, const char* what)
{
    Data data(&graph);
    std::vector<uint8_t> bytes;
    if (!data.Build() || !data.WriteToMemory(bytes) || !ToolWriteFile(out, bytes.data(), bytes.size()))
        return Fail(what);
    std::printf("%s: %zu bytes for %d nodes\n", what, bytes.size(), graph.GetNodeCount());
    return 0;
}

int FindNearest(char** argv)
{
    CSpatialGraph graph;
    if (!ReadGraph(argv[2], graph))
        return Fail(argv[2]);
    return BuildData<CFindNearestData>(graph, argv[3], "find-nearest data");
}

int AccessWays(char** argv)
{
    CSpatialGraph graph;
    CBoxWorld world;
    if (!ReadGraph(argv[2], graph))
        return Fail(argv[2]);
    if (!ReadBoxWorld(argv[3], world))
        return 1;
    CTestHost host;
    StartRuntime(host, world);
    CAccessWaysData data(&graph);
    data.SetOneMeter(world.oneMeter);
    std::vector<uint8_t> bytes;
    const bool built =
        data.Build() && data.WriteToMemory(bytes) && ToolWriteFile(argv[4], bytes.data(), bytes.size());
    AiEngineTerminate();
    if (!built)
        return Fail("access-ways data");
    std::printf("access-ways data: %zu bytes for %d nodes\n", bytes.size(), graph.GetNodeCount());
    return 0;
}

int Astar(char** argv)
{
    CSpatialGraph graph;
    if (!ReadGraph(argv[2], graph))
        return Fail(argv[2]);
    if (!AstarMemoryInit(graph.GetNodeArraySize()))
        return Fail("A* memory");
    const int result = BuildData<CAstarData>(graph, argv[3], "A* data");
    AstarMemoryFree();
    return result;
}

int PathWay(char** argv)
{
    CPathWay way;
    std::vector<uint8_t> bytes;
    if (!ReadPathWayDescription(argv[2], way))
        return 1;
    if (!way.WriteToMemory(bytes) || !ToolWriteFile(argv[3], bytes.data(), bytes.size()))
        return Fail("path way");
    std::printf("path way \"%s\": %u points%s\n", way.GetName(), way.GetPointCount(),
                way.IsLooped() ? ", looped" : "");
    return 0;
}

int NeuralNet(char** argv)
{
    CNeuralNetDescription description;
    if (!ReadNeuralNetDescription(argv[2], description))
        return 1;
    CNeuralNet net(int32_t(description.layers.size()), description.layers.data());
    net.SetLinearOutput(description.linear);
    net.SetWeights(description.weights.data());
    std::vector<uint8_t> bytes;
    if (!net.WriteToMemory(bytes) || !ToolWriteFile(argv[3], bytes.data(), bytes.size()))
        return Fail("neural net");
    std::printf("neural net: %d inputs, %d outputs, %d weights\n", net.GetInputCount(), net.GetOutputCount(),
                net.GetWeightCount());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "info" && argc >= 3)
        return Info(argc, argv);
    if (command == "text" && argc == 4)
        return Text(argv);
    if (command == "grid" && argc == 5)
        return Grid(argv);
    if (command == "findnearest" && argc == 4)
        return FindNearest(argv);
    if (command == "accessways" && argc == 5)
        return AccessWays(argv);
    if (command == "astar" && argc == 4)
        return Astar(argv);
    if (command == "pathway" && argc == 4)
        return PathWay(argv);
    if (command == "neuralnet" && argc == 4)
        return NeuralNet(argv);
    if (command == "corpus" && argc == 3)
        return WriteFuzzCorpora(argv[2]) ? 0 : 1;
    std::fprintf(stderr,
                 "usage: navtool info <file> [<graph>] | text <description> <out> | grid <box world> <out> "
                 "<spacing> | findnearest <graph> <out> | accessways <graph> <box world> <out> | astar "
                 "<graph> <out> | pathway <description> <out> | neuralnet <description> <out> | corpus <fuzz "
                 "folder>\n");
    return 2;
}
