// bench_astar_compare [rounds [side...]]: the A* benchmark's grids (sides 64,
// 256 and 1024, or those given) and queries searched by this library's
// AstarSearch, by a plain textbook A* and by Boost.Graph's
// astar_search_no_init (maps reset only where a query touched them), in one
// process and in interleaved rounds, as rows of figure, ours, peer and ratio
// (node expansions per second).
//
// The peers search copies of the same graph (out-arcs in the same order,
// the same float arc lengths) with the same straight-line heuristic, and no
// corner rule (the grid has none: diagonal arcs exist whenever both ends are
// open). The textbook A* keeps its nodes in arrays (out-arcs as compressed
// rows), its open set in a binary heap ordered by f and then by arrival, and
// resets node state by generation stamps; it must expand exactly the nodes
// ours does, which the program checks. Boost orders ties its own way, so its
// expansion count is printed beside ours.
#include "ai/navigation/astar.h"
#include "bench/astar/astar_scene.h"
#include "bench/compare_row.h"
#include "bench/process_clock.h"

#include <boost/graph/astar_search.hpp>
#include <boost/graph/compressed_sparse_row_graph.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace {

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

/// The graph as arrays: positions and compressed out-arc rows.
struct FlatGraph
{
    struct Position
    {
        float x, y, z;
    };
    std::vector<Position> position;
    std::vector<uint32_t> firstArc; // per node, plus one past the end
    std::vector<uint32_t> arcTo;
    std::vector<float> arcCost;

    size_t Bytes() const
    {
        return position.capacity() * sizeof(Position) + firstArc.capacity() * 4 + arcTo.capacity() * 4 +
               arcCost.capacity() * 4;
    }
};

FlatGraph Flatten(const Zelk::CSpatialGraph& graph)
{
    FlatGraph f;
    const int32_t n = graph.GetNodeArraySize();
    f.firstArc.push_back(0);
    for (int32_t i = 0; i < n; ++i) {
        const Zelk::CGraphNode* node = graph.GetNode(i);
        f.position.push_back({node->GetPosition().x, node->GetPosition().y, node->GetPosition().z});
        for (int32_t a = 0; a < node->GetOutArcCount(); ++a) {
            const Zelk::CGraphArc* arc = node->GetOutArc(a);
            f.arcTo.push_back(uint32_t(arc->GetTo()->GetIndex()));
            f.arcCost.push_back(arc->GetLength());
        }
        f.firstArc.push_back(uint32_t(f.arcTo.size()));
    }
    return f;
}

/// The straight-line distance, computed as the library's heuristic does.
inline float Distance(const FlatGraph& g, uint32_t a, uint32_t b)
{
    const FlatGraph::Position &p = g.position[a], &q = g.position[b];
    const float dx = q.x - p.x, dy = q.y - p.y, dz = q.z - p.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

/// Textbook A* over a FlatGraph.
class TextbookAstar
{
  public:
    explicit TextbookAstar(const FlatGraph& graph) : m_graph(graph), m_nodes(graph.position.size()) {}

    /// Expansions of the search from start to goal; the goal's cost in `cost` (-1 without a path).
    uint32_t Search(uint32_t start, uint32_t goal, float& cost)
    {
        ++m_stamp;
        m_heap.clear();
        m_arrival = 0;
        Node& s = Touch(start);
        s.g = 0.0f;
        s.f = Distance(m_graph, start, goal);
        Push(start);
        uint32_t expansions = 0;
        cost = -1.0f;
        while (!m_heap.empty()) {
            const uint32_t n = m_heap.front().node;
            if (n == goal) {
                cost = m_nodes[n].g;
                return expansions;
            }
            const float gn = m_nodes[n].g;
            for (uint32_t a = m_graph.firstArc[n], end = m_graph.firstArc[n + 1]; a < end; ++a) {
                const uint32_t m = m_graph.arcTo[a];
                const float h = Distance(m_graph, m, goal);
                const float newF = gn + m_graph.arcCost[a] + h;
                Node& md = m_nodes[m];
                if (md.stamp == m_stamp) {
                    if (!(newF < md.f))
                        continue;
                    md.g = gn + m_graph.arcCost[a];
                    md.f = newF;
                    if (md.heapIndex >= 0)
                        SiftUp(uint32_t(md.heapIndex), {newF, m_arrival++, m});
                    else
                        Push(m); // reopened
                } else {
                    Node& fresh = Touch(m);
                    fresh.g = gn + m_graph.arcCost[a];
                    fresh.f = newF;
                    Push(m);
                }
            }
            Remove(n);
            ++expansions;
        }
        return expansions;
    }

  private:
    struct Node
    {
        float g = 0.0f, f = 0.0f;
        uint32_t stamp = 0;
        int32_t heapIndex = -1; // -1: closed (when stamped)
    };
    struct Entry
    {
        float f;
        uint32_t arrival;
        uint32_t node;
    };
    static bool Before(const Entry& a, const Entry& b)
    {
        return a.f < b.f || (a.f == b.f && a.arrival < b.arrival);
    }
    Node& Touch(uint32_t i)
    {
        m_nodes[i].stamp = m_stamp;
        m_nodes[i].heapIndex = -1;
        return m_nodes[i];
    }
    void Place(uint32_t i, const Entry& e)
    {
        m_heap[i] = e;
        m_nodes[e.node].heapIndex = int32_t(i);
    }
    void Push(uint32_t node)
    {
        m_heap.push_back({});
        SiftUp(uint32_t(m_heap.size() - 1), {m_nodes[node].f, m_arrival++, node});
    }
    void SiftUp(uint32_t i, const Entry& e)
    {
        while (i > 0 && Before(e, m_heap[(i - 1) / 2])) {
            Place(i, m_heap[(i - 1) / 2]);
            i = (i - 1) / 2;
        }
        Place(i, e);
    }
    // Takes the expanded node out of the heap (a neighbour whose f rounds
    // below its own may have taken the top meanwhile).
    void Remove(uint32_t node)
    {
        const uint32_t i = uint32_t(m_nodes[node].heapIndex);
        m_nodes[node].heapIndex = -1;
        const Entry last = m_heap.back();
        m_heap.pop_back();
        if (i == m_heap.size())
            return;
        if (i > 0 && Before(last, m_heap[(i - 1) / 2]))
            SiftUp(i, last);
        else
            SiftDown(i, last);
    }
    void SiftDown(uint32_t i, const Entry& e)
    {
        const uint32_t count = uint32_t(m_heap.size());
        for (;;) {
            uint32_t child = 2 * i + 1;
            if (child >= count)
                break;
            if (child + 1 < count && Before(m_heap[child + 1], m_heap[child]))
                ++child;
            if (!Before(m_heap[child], e))
                break;
            Place(i, m_heap[child]);
            i = child;
        }
        Place(i, e);
    }

    const FlatGraph& m_graph;
    std::vector<Node> m_nodes;
    std::vector<Entry> m_heap;
    uint32_t m_stamp = 0;
    uint32_t m_arrival = 0;
};

constexpr float kInfinity = std::numeric_limits<float>::max();

struct ArcCost
{
    float cost;
};
using BoostGraph = boost::compressed_sparse_row_graph<boost::directedS, boost::no_property, ArcCost>;
using BoostVertex = boost::graph_traits<BoostGraph>::vertex_descriptor;

class BoostHeuristic : public boost::astar_heuristic<BoostGraph, float>
{
  public:
    BoostHeuristic(const FlatGraph& graph, BoostVertex goal) : m_graph(&graph), m_goal(goal) {}
    float operator()(BoostVertex u) const { return Distance(*m_graph, uint32_t(u), uint32_t(m_goal)); }

  private:
    const FlatGraph* m_graph;
    BoostVertex m_goal;
};

struct FoundGoal
{
};

// Counts expansions, stops at the goal and lists every vertex the search
// writes (the start and each vertex discovered), so that only those are reset.
class BoostVisitor : public boost::default_astar_visitor
{
  public:
    BoostVisitor(BoostVertex goal, uint32_t* examined, std::vector<BoostVertex>* touched)
        : m_goal(goal), m_examined(examined), m_touched(touched)
    {
    }
    void discover_vertex(BoostVertex u, const BoostGraph&) const { m_touched->push_back(u); }
    void examine_vertex(BoostVertex u, const BoostGraph&) const
    {
        if (u == m_goal)
            throw FoundGoal{};
        ++*m_examined;
    }

  private:
    BoostVertex m_goal;
    uint32_t* m_examined;
    std::vector<BoostVertex>* m_touched;
};

/// Boost.Graph's astar_search_no_init on a copy of the graph. Its maps are
/// set to white and infinity once; after each query only the vertices that
/// query touched are reset, as ours and the textbook reset by stamps.
class BoostAstar
{
  public:
    explicit BoostAstar(const FlatGraph& graph) : m_flat(graph), m_graph(MakeGraph(graph))
    {
        const size_t n = graph.position.size();
        m_predecessor.resize(n);
        m_distance.assign(n, kInfinity);
        m_rank.assign(n, kInfinity);
        m_colour.assign(n, boost::white_color);
    }

    uint32_t Search(uint32_t start, uint32_t goal, float& cost)
    {
        uint32_t examined = 0;
        cost = -1.0f;
        const auto index = boost::get(boost::vertex_index, m_graph);
        const BoostHeuristic heuristic(m_flat, goal);
        m_distance[start] = 0.0f;
        m_rank[start] = heuristic(start);
        try {
            boost::astar_search_no_init(m_graph, start, heuristic, BoostVisitor(goal, &examined, &m_touched),
                                        boost::make_iterator_property_map(m_predecessor.begin(), index),
                                        boost::make_iterator_property_map(m_rank.begin(), index),
                                        boost::make_iterator_property_map(m_distance.begin(), index),
                                        boost::get(&ArcCost::cost, m_graph),
                                        boost::make_iterator_property_map(m_colour.begin(), index), index,
                                        std::less<float>(), boost::closed_plus<float>(kInfinity), kInfinity,
                                        0.0f);
        } catch (const FoundGoal&) {
            cost = m_distance[goal];
        }
        for (BoostVertex v : m_touched) {
            m_distance[v] = kInfinity;
            m_rank[v] = kInfinity;
            m_colour[v] = boost::white_color;
        }
        m_distance[start] = kInfinity;
        m_rank[start] = kInfinity;
        m_touched.clear();
        return examined;
    }

    /// The compressed rows and arc costs of its copy of the graph.
    size_t GraphBytes() const
    {
        using Traits = boost::graph_traits<BoostGraph>;
        return (boost::num_vertices(m_graph) + 1) * sizeof(Traits::edges_size_type) +
               boost::num_edges(m_graph) * (sizeof(Traits::vertex_descriptor) + sizeof(ArcCost));
    }

  private:
    static BoostGraph MakeGraph(const FlatGraph& f)
    {
        std::vector<std::pair<uint32_t, uint32_t>> edges;
        std::vector<ArcCost> costs;
        for (uint32_t n = 0; n + 1 < f.firstArc.size(); ++n)
            for (uint32_t a = f.firstArc[n]; a < f.firstArc[n + 1]; ++a) {
                edges.emplace_back(n, f.arcTo[a]);
                costs.push_back({f.arcCost[a]});
            }
        return BoostGraph(boost::edges_are_sorted, edges.begin(), edges.end(), costs.begin(),
                          f.position.size());
    }

    const FlatGraph& m_flat;
    BoostGraph m_graph;
    std::vector<BoostVertex> m_predecessor;
    std::vector<float> m_distance, m_rank;
    std::vector<boost::default_color_type> m_colour;
    std::vector<BoostVertex> m_touched;
};

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    std::printf("A* on 8-connected grids, 20 %% blocked, 64 queries a round, %d interleaved rounds\n",
                rounds);
    PrintCompareHeader();
    std::vector<std::string> remarks;
    bool same = true;
    std::vector<int> sides;
    for (int a = 2; a < argc; ++a)
        sides.push_back(std::atoi(argv[a]));
    if (sides.empty())
        sides = {64, 256, 1024};
    for (int side : sides) {
        astarbench::Scene& scene = astarbench::GetScene(side);
        const FlatGraph flat = Flatten(scene.graph);
        const double nodes = double(scene.graph.GetNodeArraySize());
        size_t before = astarbench::HeapBytesInUse();
        TextbookAstar textbook(flat);
        const size_t textbookSearchBytes = astarbench::HeapBytesInUse() - before;
        before = astarbench::HeapBytesInUse();
        BoostAstar boostSearch(flat);
        const size_t boostBytes = astarbench::HeapBytesInUse() - before;
        const size_t beforeInit = astarbench::HeapBytesInUse();
        Zelk::AstarMemoryInit(scene.graph.GetNodeArraySize());
        const size_t oursInitBytes = astarbench::HeapBytesInUse() - beforeInit;
        // The packed copy of the graph that ours searches, made on first use:
        // its heap, time and page faults.
        before = astarbench::HeapBytesInUse();
        long faults = PageFaults();
        auto started = std::chrono::steady_clock::now();
        scene.graph.GetPacked();
        const double packedSeconds = Seconds(started);
        const long packedFaults = PageFaults() - faults;
        const size_t packedBytes = astarbench::HeapBytesInUse() - before;
        // Untimed first: every searcher on every query, checked against ours.
        uint64_t expansions[3] = {0, 0, 0};
        int costMismatches = 0, expansionMismatches = 0;
        // The first query after AstarMemoryInit: its wall time, page faults
        // and the search memory it adds; and the heap that ours adds over
        // all the queries (the peers' heap grows between them).
        double firstQuerySeconds = -1.0;
        size_t firstQueryBytes = 0;
        long firstQueryFaults = 0;
        size_t oursQueryBytes = 0;
        for (const auto& [s, t] : scene.queries) {
            Zelk::CGraphNode* goal = scene.graph.GetNode(t);
            float ours = -1.0f, textbookCost = -1.0f, boostCost = -1.0f;
            const bool first = firstQuerySeconds < 0.0;
            before = astarbench::HeapBytesInUse();
            faults = PageFaults();
            started = std::chrono::steady_clock::now();
            if (Zelk::AstarSearch(scene.graph, scene.path, scene.graph.GetNode(s), goal, nullptr))
                ours = goal->GetData().g;
            oursQueryBytes += astarbench::HeapBytesInUse() - before;
            if (first) {
                firstQuerySeconds = Seconds(started);
                firstQueryFaults = PageFaults() - faults;
                firstQueryBytes = astarbench::HeapBytesInUse() - before;
            }
            expansions[0] += Zelk::AstarLastExpansionCount();
            const uint32_t textbookExpanded = textbook.Search(uint32_t(s), uint32_t(t), textbookCost);
            expansions[1] += textbookExpanded;
            expansions[2] += boostSearch.Search(uint32_t(s), uint32_t(t), boostCost);
            expansionMismatches += textbookExpanded != Zelk::AstarLastExpansionCount();
            costMismatches += std::fabs(ours - textbookCost) > 1e-3f * (1.0f + ours) ||
                              std::fabs(ours - boostCost) > 1e-3f * (1.0f + ours);
        }
        const size_t oursSearchBytes = oursInitBytes + oursQueryBytes;
        // Then the rounds: each searcher answers every query `passes` times.
        const int passes = side <= 64 ? 16 : side <= 256 ? 2 : 1;
        std::vector<double> rates[3];
        for (int r = 0; r < rounds; ++r)
            for (int who = 0; who < 3; ++who) {
                const double start = ThreadSeconds();
                for (int pass = 0; pass < passes; ++pass)
                    for (const auto& [s, t] : scene.queries) {
                        float cost = -1.0f;
                        if (who == 0)
                            Zelk::AstarSearch(scene.graph, scene.path, scene.graph.GetNode(s),
                                              scene.graph.GetNode(t), nullptr);
                        else if (who == 1)
                            textbook.Search(uint32_t(s), uint32_t(t), cost);
                        else
                            boostSearch.Search(uint32_t(s), uint32_t(t), cost);
                    }
                const double seconds = ThreadSeconds() - start;
                rates[who].push_back(double(expansions[who]) * passes / seconds / 1e6);
            }
        Zelk::AstarMemoryFree();
        const std::string figure =
            "A* " + std::to_string(side) + " x " + std::to_string(side) + ", 20 % blocked (M expansions/s)";
        PrintCompareRow(figure.c_str(), MedianOf(rates[0]), "textbook A*", MedianOf(rates[1]), rounds);
        PrintCompareRow(figure.c_str(), MedianOf(rates[0]), "Boost.Graph astar_search_no_init",
                        MedianOf(rates[2]), rounds);
        char remark[640];
        std::snprintf(remark, sizeof remark,
                      "%d x %d: expansions a query ours %.2f, textbook %.2f, Boost %.2f; queries where the "
                      "textbook expanded otherwise %d, where a path cost differs %d",
                      side, side, double(expansions[0]) / 64, double(expansions[1]) / 64,
                      double(expansions[2]) / 64, expansionMismatches, costMismatches);
        remarks.push_back(remark);
        // A sanitizer's allocator reports no heap use: then nothing is printed.
        if (scene.graphBytes > 0 && boostBytes >= boostSearch.GraphBytes()) {
            std::snprintf(
                remark, sizeof remark,
                "%d x %d, bytes per node: graph ours %.0f (a node object %zu B, an arc object %zu B) and "
                "its packed copy %.0f, textbook %.0f, Boost %.0f; search memory ours %.1f after "
                "AstarMemoryInit and %.1f after the 64 queries (and %zu in each graph node), textbook "
                "%.0f (and its heap, as it grows), Boost %.0f (its maps); the packed copy takes %.1f ms "
                "and %ld page faults at first use; the first query after AstarMemoryInit %.1f ms, %ld "
                "page faults, adds %.1f",
                side, side, double(scene.graphBytes) / nodes, sizeof(Zelk::CGraphNode),
                sizeof(Zelk::CGraphArc), double(packedBytes) / nodes, double(flat.Bytes()) / nodes,
                double(boostSearch.GraphBytes()) / nodes, double(oursInitBytes) / nodes,
                double(oursSearchBytes) / nodes, sizeof(Zelk::CGraphNodeData),
                double(textbookSearchBytes) / nodes, double(boostBytes - boostSearch.GraphBytes()) / nodes,
                packedSeconds * 1e3, packedFaults, firstQuerySeconds * 1e3, firstQueryFaults,
                double(firstQueryBytes) / nodes);
            remarks.push_back(remark);
        }
        same = same && expansionMismatches == 0 && costMismatches == 0;
    }
    remarks.push_back(
        "Boost: astar_search_no_init, maps reset only where a query wrote; it still grows its own "
        "heap-position map per query, up to the highest vertex index reached");
    for (const std::string& r : remarks)
        std::printf("  %s\n", r.c_str());
    return same ? 0 : 1;
}
