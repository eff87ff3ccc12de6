// navtool: makes and inspects the navigation's data files.
//
//   navtool info <file> [<graph file>]
//       prints what a graph file holds, or a data file of the given graph
//   navtool text <description> <out graph>
//       builds a graph from a text description (see below); text and grid
//       print a one-line summary of the graph they write
//   navtool grid <box world> <out graph> <spacing>
//       lays a grid of nodes over the walkable area of a box world, joining
//       8-neighbours that a body can walk between
//   navtool findnearest <graph> <out>     builds find-nearest data
//   navtool accessways <graph> <box world> <out>  builds access-ways data
//   navtool astar <graph> <out>           builds A* data
//   navtool pathway <description> <out>   writes a path-way file (see navtool_files.h)
//   navtool neuralnet <description> <out> writes a neural-net file (see navtool_files.h)
//   navtool corpus <fuzz folder>          writes the fuzz targets' seed corpora
// "navtool --help" and "navtool <command> --help" list the commands and their arguments.
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
#include "tools/cli/tool_cli.h"
#include "tools/common/toolfiles.h"
#include "tools/navtool/navtool_files.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace Zelk;

namespace {

// Reports a failure about a file: what went wrong and, when the navigation library
// recorded one, its reason (which names the byte offset for refused data).
int Fail(const std::string& file, const char* what)
{
    const char* reason = NavGetLastErrorText();
    std::fprintf(stderr, "navtool: %s: %s%s%s\n", file.c_str(), what, reason[0] != 0 ? ": " : "", reason);
    return 1;
}

// Reads a whole file; false with a message naming it.
bool ReadInput(const std::string& path, std::vector<uint8_t>& bytes)
{
    if (ToolReadFile(path, &bytes))
        return true;
    std::fprintf(stderr, "navtool: %s: cannot read: %s\n", path.c_str(), std::strerror(errno));
    return false;
}

bool ReadGraph(const std::string& path, CSpatialGraph& graph)
{
    std::vector<uint8_t> bytes;
    if (!ReadInput(path, bytes))
        return false;
    NavClearError();
    if (graph.ReadFromMemory(bytes.data(), bytes.size()))
        return true;
    Fail(path, "graph file refused");
    return false;
}

void PrintGraphSummary(CSpatialGraph& graph)
{
    std::printf("graph: %d nodes, %d arcs, search radius %g\n", graph.GetNodeCount(), graph.GetArcCount(),
                double(graph.GetSearchRadius()));
}

void PrintGraph(CSpatialGraph& graph)
{
    PrintGraphSummary(graph);
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

int Info(const std::string& file, const std::string& graphFile)
{
    std::vector<uint8_t> bytes;
    if (!ReadInput(file, bytes))
        return 1;
    NavClearError();
    CSpatialGraph graph;
    if (StartsWith(bytes, CSpatialGraph::kMagic)) {
        if (!graph.ReadFromMemory(bytes.data(), bytes.size()))
            return Fail(file, "graph file refused");
        PrintGraph(graph);
        return 0;
    }
    if (StartsWith(bytes, CPointMapper::kMagic)) {
        CPointMapper mapper;
        if (!mapper.ReadFromMemory(bytes.data(), bytes.size()))
            return Fail(file, "point-mapping file refused");
        std::printf("point mapping: %u containers\n", unsigned(mapper.GetContainerCount()));
        for (uint16_t i = 0; i < mapper.GetContainerCount(); ++i)
            std::printf("  %s: %u points\n", mapper.GetContainerName(i), unsigned(mapper.GetPointCount(i)));
        return 0;
    }
    const bool known = StartsWith(bytes, CFindNearestData::kMagic) ||
                       StartsWith(bytes, CAccessWaysData::kMagic) || StartsWith(bytes, CAstarData::kMagic) ||
                       StartsWith(bytes, CPathCostData::kMagic);
    if (!known) {
        std::fprintf(stderr, "navtool: %s: not a navigation file\n", file.c_str());
        return 1;
    }
    if (graphFile.empty()) {
        std::fprintf(stderr, "navtool: %s: a data file needs its graph file\n", file.c_str());
        return 1;
    }
    if (!ReadGraph(graphFile, graph))
        return 1;
    if (StartsWith(bytes, CFindNearestData::kMagic)) {
        CFindNearestData data(&graph);
        if (!data.ReadFromMemory(bytes.data(), bytes.size()))
            return Fail(file, "find-nearest file refused");
        std::printf("find-nearest data for %d nodes\n", data.GetNodeCount());
    } else if (StartsWith(bytes, CAccessWaysData::kMagic)) {
        CAccessWaysData data(&graph);
        if (!data.ReadFromMemory(bytes.data(), bytes.size()))
            return Fail(file, "access-ways file refused");
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
            return Fail(file, "A* data file refused");
        int32_t reachable = 0;
        for (int32_t i = 0; i < data.GetNodeCount(); ++i)
            for (int32_t j = 0; j < data.GetNodeCount(); ++j)
                reachable += i != j && data.GetEntry(i, j) != CAstarData::kNoArc;
        std::printf("A* data for %d nodes, %d reachable pairs\n", data.GetNodeCount(), reachable);
    } else {
        CPathCostData data(&graph);
        if (!data.ReadFromMemory(bytes.data(), bytes.size()))
            return Fail(file, "path-cost file refused");
        std::printf("path-cost data for %d nodes, scale %g\n", data.GetNodeCount(), double(data.GetScale()));
    }
    return 0;
}

int WriteGraph(CSpatialGraph& graph, const std::string& path)
{
    std::vector<uint8_t> bytes;
    NavClearError();
    if (!graph.WriteToMemory(bytes) || !ToolWriteFile(path.c_str(), bytes.data(), bytes.size()))
        return Fail(path, "cannot write the graph");
    // One line: the data builds write many graphs, and "info" prints a graph whole.
    PrintGraphSummary(graph);
    return 0;
}

int Text(const std::string& description, const std::string& out)
{
    CSpatialGraph graph;
    if (!ReadGraphDescription(description.c_str(), graph))
        return 1;
    return WriteGraph(graph, out);
}

// The grid covers the area with (columns x rows) points; refused beyond this many
// before anything is allocated.
constexpr double kMaxGridPoints = 4.0e6;

int Grid(const std::string& boxWorld, const std::string& out, float spacing)
{
    CBoxWorld world;
    if (!ReadBoxWorld(boxWorld.c_str(), world))
        return 1;
    const double columns = (double(world.maxX) - double(world.minX)) / double(spacing) + 1.0;
    const double rows = (double(world.maxZ) - double(world.minZ)) / double(spacing) + 1.0;
    if (!std::isfinite(columns) || !std::isfinite(rows) || !std::isfinite(world.floorY) ||
        !(world.maxX >= world.minX) || !(world.maxZ >= world.minZ)) {
        std::fprintf(stderr, "navtool: %s: the area needs finite corners with max >= min\n",
                     boxWorld.c_str());
        return 1;
    }
    if (columns * rows > kMaxGridPoints) {
        std::fprintf(stderr,
                     "navtool: %s: a grid of %.0f x %.0f points at spacing %g is more than %.0f points; "
                     "make the spacing larger or the area smaller\n",
                     boxWorld.c_str(), columns, rows, double(spacing), kMaxGridPoints);
        return 1;
    }
    CTestHost host;
    StartRuntime(host, world);
    CSpatialGraph graph;
    LayGrid(world, spacing, graph);
    const int result = WriteGraph(graph, out);
    AiEngineTerminate();
    return result;
}

template <class Data> int BuildData(CSpatialGraph& graph, const std::string& out, const char* what)
{
    Data data(&graph);
    std::vector<uint8_t> bytes;
    NavClearError();
    if (!data.Build() || !data.WriteToMemory(bytes) ||
        !ToolWriteFile(out.c_str(), bytes.data(), bytes.size()))
        return Fail(out, (std::string("cannot make the ") + what).c_str());
    std::printf("%s: %zu bytes for %d nodes\n", what, bytes.size(), graph.GetNodeCount());
    return 0;
}

int FindNearest(const std::string& graphFile, const std::string& out)
{
    CSpatialGraph graph;
    if (!ReadGraph(graphFile, graph))
        return 1;
    return BuildData<CFindNearestData>(graph, out, "find-nearest data");
}

int AccessWays(const std::string& graphFile, const std::string& boxWorld, const std::string& out)
{
    CSpatialGraph graph;
    CBoxWorld world;
    if (!ReadGraph(graphFile, graph) || !ReadBoxWorld(boxWorld.c_str(), world))
        return 1;
    CTestHost host;
    StartRuntime(host, world);
    CAccessWaysData data(&graph);
    data.SetOneMeter(world.oneMeter);
    std::vector<uint8_t> bytes;
    NavClearError();
    const bool built =
        data.Build() && data.WriteToMemory(bytes) && ToolWriteFile(out.c_str(), bytes.data(), bytes.size());
    AiEngineTerminate();
    if (!built)
        return Fail(out, "cannot make the access-ways data");
    std::printf("access-ways data: %zu bytes for %d nodes\n", bytes.size(), graph.GetNodeCount());
    return 0;
}

int Astar(const std::string& graphFile, const std::string& out)
{
    CSpatialGraph graph;
    if (!ReadGraph(graphFile, graph))
        return 1;
    if (graph.GetNodeArraySize() > CAstarData::kMaxNodes) {
        std::fprintf(stderr,
                     "navtool: %s: %d nodes; A* data holds a table for at most %d (a larger graph needs "
                     "%d x %d entries)\n",
                     graphFile.c_str(), graph.GetNodeArraySize(), CAstarData::kMaxNodes,
                     graph.GetNodeArraySize(), graph.GetNodeArraySize());
        return 1;
    }
    if (!AstarMemoryInit(graph.GetNodeArraySize()))
        return Fail(graphFile, "no A* memory for the graph");
    const int result = BuildData<CAstarData>(graph, out, "A* data");
    AstarMemoryFree();
    return result;
}

int PathWay(const std::string& description, const std::string& out)
{
    CPathWay way;
    std::vector<uint8_t> bytes;
    if (!ReadPathWayDescription(description.c_str(), way))
        return 1;
    NavClearError();
    if (!way.WriteToMemory(bytes) || !ToolWriteFile(out.c_str(), bytes.data(), bytes.size()))
        return Fail(out, "cannot write the path way");
    std::printf("path way \"%s\": %u points%s\n", way.GetName(), way.GetPointCount(),
                way.IsLooped() ? ", looped" : "");
    return 0;
}

int NeuralNet(const std::string& description, const std::string& out)
{
    CNeuralNetDescription net;
    if (!ReadNeuralNetDescription(description.c_str(), net))
        return 1;
    CNeuralNet built(int32_t(net.layers.size()), net.layers.data());
    built.SetLinearOutput(net.linear);
    built.SetWeights(net.weights.data());
    std::vector<uint8_t> bytes;
    NavClearError();
    if (!built.WriteToMemory(bytes) || !ToolWriteFile(out.c_str(), bytes.data(), bytes.size()))
        return Fail(out, "cannot write the neural net");
    std::printf("neural net: %d inputs, %d outputs, %d weights\n", built.GetInputCount(),
                built.GetOutputCount(), built.GetWeightCount());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    ToolCli::App app("Makes and inspects the navigation's data files.", "navtool");
    app.require_subcommand(1);
    std::string a;
    std::string b;
    std::string c;
    float spacing = 1.0f;

    ToolCli::App* info =
        app.add_subcommand("info", "print what a graph file holds, or a data file of the given graph");
    info->add_option("file", a, "navigation file")->required();
    info->add_option("graph", b, "the graph file of a data file");
    ToolCli::App* text = app.add_subcommand("text", "build a graph from a text description");
    text->add_option("description", a, "graph description")->required();
    text->add_option("out", b, "graph file to write")->required();
    ToolCli::App* grid = app.add_subcommand("grid", "lay a grid of walkable nodes over a box world");
    grid->add_option("world", a, "box world")->required();
    grid->add_option("out", b, "graph file to write")->required();
    grid->add_option("spacing", spacing, "grid spacing (world units)")
        ->required()
        ->check(ToolCli::FiniteRange(1e-3, 1e6));
    ToolCli::App* findNearest = app.add_subcommand("findnearest", "build find-nearest data");
    findNearest->add_option("graph", a, "graph file")->required();
    findNearest->add_option("out", b, "data file to write")->required();
    ToolCli::App* accessWays = app.add_subcommand("accessways", "build access-ways data");
    accessWays->add_option("graph", a, "graph file")->required();
    accessWays->add_option("world", b, "box world")->required();
    accessWays->add_option("out", c, "data file to write")->required();
    ToolCli::App* astar = app.add_subcommand("astar", "build A* data");
    astar->add_option("graph", a, "graph file")->required();
    astar->add_option("out", b, "data file to write")->required();
    ToolCli::App* pathWay = app.add_subcommand("pathway", "write a path-way file from its description");
    pathWay->add_option("description", a, "path-way description")->required();
    pathWay->add_option("out", b, "path-way file to write")->required();
    ToolCli::App* neuralNet = app.add_subcommand("neuralnet", "write a neural-net file from its description");
    neuralNet->add_option("description", a, "neural-net description")->required();
    neuralNet->add_option("out", b, "neural-net file to write")->required();
    ToolCli::App* corpus = app.add_subcommand("corpus", "write the fuzz targets' seed corpora");
    corpus->add_option("folder", a, "fuzz folder")->required();
    int status = 0;
    if (!ToolCli::Parse(app, argc, argv, &status))
        return status;

    if (info->parsed())
        return Info(a, b);
    if (text->parsed())
        return Text(a, b);
    if (grid->parsed())
        return Grid(a, b, spacing);
    if (findNearest->parsed())
        return FindNearest(a, b);
    if (accessWays->parsed())
        return AccessWays(a, b, c);
    if (astar->parsed())
        return Astar(a, b);
    if (pathWay->parsed())
        return PathWay(a, b);
    if (neuralNet->parsed())
        return NeuralNet(a, b);
    return WriteFuzzCorpora(a.c_str()) ? 0 : 1;
}
