#include "tools/navtool/navtool_files.h"

#include "ai/navigation/path_way.h"
#include "ai/navigation/spatial_graph.h"
#include "ai/runtime/host_queries.h"
#include "ai/runtime/runtime.h"
#include "ai/testhost/testhost.h"

#include <clocale>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace Zelk {

namespace {

// Splits the file into lines without comments, numbers parsed in the "C" locale.
template <class Handle> bool ForEachLine(const char* path, Handle handle)
{
    std::ifstream in(path);
    if (!in) {
        std::fprintf(stderr, "navtool: cannot open %s\n", path);
        return false;
    }
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        line = line.substr(0, line.find('#'));
        std::istringstream words(line);
        words.imbue(std::locale::classic());
        std::string keyword;
        if (!(words >> keyword))
            continue;
        if (!handle(keyword, words)) {
            std::fprintf(stderr, "navtool: %s:%d: cannot read \"%s\"\n", path, number, line.c_str());
            return false;
        }
    }
    return true;
}

bool InsideABox(const CBoxWorld& world, const CVec3& p)
{
    for (size_t i = 0; i < world.boxMin.size(); ++i) {
        const CVec3& lo = world.boxMin[i];
        const CVec3& hi = world.boxMax[i];
        if (p.x >= lo.x && p.x <= hi.x && p.y >= lo.y && p.y <= hi.y && p.z >= lo.z && p.z <= hi.z)
            return true;
    }
    return false;
}

} // namespace

bool ReadGraphDescription(const char* path, CSpatialGraph& graph)
{
    return ForEachLine(path, [&](const std::string& keyword, std::istringstream& words) {
        if (keyword == "node") {
            CGraphNodeData record;
            return bool(words >> record.position.x >> record.position.y >> record.position.z) &&
                   graph.AddNode(record) >= 0;
        }
        if (keyword == "radius") {
            float radius = 0.0f;
            if (!(words >> radius))
                return false;
            graph.SetSearchRadius(radius);
            return true;
        }
        if (keyword != "arc")
            return false;
        int32_t from = 0;
        int32_t to = 0;
        if (!(words >> from >> to) || graph.GetNode(from) == nullptr || graph.GetNode(to) == nullptr)
            return false;
        std::string flag;
        words >> flag;
        if (!flag.empty() && flag != "both")
            return false;
        CGraphArcData arc;
        arc.length = arc.cost = std::sqrt(
            CVec3::SquaredDistance(graph.GetNode(from)->GetPosition(), graph.GetNode(to)->GetPosition()));
        graph.AddArc(arc, graph.GetNode(from), graph.GetNode(to));
        if (flag == "both")
            graph.AddArc(arc, graph.GetNode(to), graph.GetNode(from));
        return true;
    });
}

bool ReadBoxWorld(const char* path, CBoxWorld& world)
{
    return ForEachLine(path, [&](const std::string& keyword, std::istringstream& words) {
        if (keyword == "area")
            return bool(words >> world.minX >> world.minZ >> world.maxX >> world.maxZ >> world.floorY);
        if (keyword == "onemeter")
            return bool(words >> world.oneMeter) && world.oneMeter > 0.0f;
        if (keyword != "box")
            return false;
        CVec3 lo;
        CVec3 hi;
        if (!(words >> lo.x >> lo.y >> lo.z >> hi.x >> hi.y >> hi.z))
            return false;
        world.boxMin.push_back(lo);
        world.boxMax.push_back(hi);
        return true;
    });
}

void StartRuntime(CTestHost& host, const CBoxWorld& world)
{
    AiHostInterface block{};
    host.Fill(block);
    for (size_t i = 0; i < world.boxMin.size(); ++i)
        host.AddBox(world.boxMin[i], world.boxMax[i]);
    AiEngineInitialize(&block);
}

void LayGrid(const CBoxWorld& world, float spacing, CSpatialGraph& graph)
{
    const int columns = int(std::floor((world.maxX - world.minX) / spacing)) + 1;
    const int rows = int(std::floor((world.maxZ - world.minZ) / spacing)) + 1;
    std::vector<int32_t> index(size_t(columns) * size_t(rows), -1);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c) {
            CGraphNodeData record;
            record.position =
                CVec3(world.minX + float(c) * spacing, world.floorY, world.minZ + float(r) * spacing);
            if (!InsideABox(world, record.position))
                index[size_t(r * columns + c)] = graph.AddNode(record);
        }
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c) {
            CGraphNode* from = graph.GetNode(index[size_t(r * columns + c)]);
            if (from == nullptr)
                continue;
            for (int dr = -1; dr <= 1; ++dr)
                for (int dc = -1; dc <= 1; ++dc) {
                    const int nr = r + dr;
                    const int nc = c + dc;
                    if ((dr == 0 && dc == 0) || nr < 0 || nc < 0 || nr >= rows || nc >= columns)
                        continue;
                    CGraphNode* to = graph.GetNode(index[size_t(nr * columns + nc)]);
                    if (to == nullptr || !CanGo(from->GetPosition(), to->GetPosition(), nullptr, 2, 0.0f))
                        continue;
                    CGraphArcData arc;
                    arc.length = arc.cost =
                        std::sqrt(CVec3::SquaredDistance(from->GetPosition(), to->GetPosition()));
                    graph.AddArc(arc, from, to);
                }
        }
}

bool ReadPathWayDescription(const char* path, CPathWay& way)
{
    const bool read = ForEachLine(path, [&](const std::string& keyword, std::istringstream& words) {
        if (keyword == "name") {
            std::string name;
            if (!(words >> name) || name.size() >= CPathWay::kNameSize)
                return false;
            way.SetName(name.c_str());
            return true;
        }
        if (keyword == "loop") {
            way.SetLooped(true);
            return true;
        }
        CVec3 p;
        if (keyword != "point" || !(words >> p.x >> p.y >> p.z))
            return false;
        std::string mode = "run";
        words >> mode;
        if (mode != "walk" && mode != "run" && mode != "jump" && mode != "crouch")
            return false;
        std::string command;
        std::getline(words >> std::ws, command);
        while (!command.empty() &&
               (command.back() == ' ' || command.back() == '\t' || command.back() == '\r'))
            command.pop_back();
        if (command.size() >= CWayPoint::kActionSize)
            return false;
        return way.InsertPoint(CWayPoint(p, mode.c_str(), command.c_str()), CPathWay::kAppend);
    });
    if (read && way.GetPointCount() == 0)
        std::fprintf(stderr, "navtool: %s: no point\n", path);
    return read && way.GetPointCount() > 0;
}

bool ReadNeuralNetDescription(const char* path, CNeuralNetDescription& net)
{
    const bool read = ForEachLine(path, [&](const std::string& keyword, std::istringstream& words) {
        if (keyword == "layers") {
            for (int32_t n; words >> n;) {
                if (n < 1)
                    return false;
                net.layers.push_back(n);
            }
            return words.eof() && net.layers.size() >= 2;
        }
        if (keyword == "linear") {
            int flag = 0;
            if (!(words >> flag) || (flag != 0 && flag != 1))
                return false;
            net.linear = flag == 1;
            return true;
        }
        if (keyword != "weights")
            return false;
        for (float w; words >> w;)
            net.weights.push_back(w);
        return words.eof();
    });
    if (!read)
        return false;
    size_t needed = 0;
    for (size_t i = 0; i + 1 < net.layers.size(); ++i)
        needed += size_t(net.layers[i] + 1) * size_t(net.layers[i + 1]);
    if (net.layers.size() < 2 || needed != net.weights.size()) {
        std::fprintf(stderr, "navtool: %s: %zu weights where the layers need %zu\n", path, net.weights.size(),
                     needed);
        return false;
    }
    return true;
}

} // namespace Zelk
