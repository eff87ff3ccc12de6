#include "bench/astar/astar_scene.h"

#include "ai/navigation/grid_graph.h"

#include <malloc.h>
#include <memory>
#include <random>

namespace astarbench {

size_t HeapBytesInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

Scene& GetScene(int side)
{
    // Kept to the end: the AI allocator the graphs free into may be gone
    // before static objects made earlier than it are destroyed.
    static auto& scenes = *new std::vector<std::pair<int, std::unique_ptr<Scene>>>;
    for (auto& [s, scene] : scenes)
        if (s == side)
            return *scene;
    auto scene = std::make_unique<Scene>();
    const size_t before = HeapBytesInUse();
    Zelk::BuildGridGraph(scene->graph, side, side, 1.0f, 20, 1234);
    scene->graphBytes = HeapBytesInUse() - before;
    scene->graph.SetConstraint(&scene->constraint);
    scene->graph.SetHeuristic(&scene->heuristic);
    scene->path.SetCapacity(side * side);
    std::mt19937 random(99);
    std::uniform_int_distribution<int32_t> pick(0, side * side - 1);
    while (scene->queries.size() < 64) {
        const int32_t s = pick(random);
        const int32_t t = pick(random);
        if (scene->graph.GetNode(s)->GetOutArcCount() > 0 && scene->graph.GetNode(t)->GetInArcCount() > 0)
            scene->queries.emplace_back(s, t);
    }
    scenes.emplace_back(side, std::move(scene));
    return *scenes.back().second;
}

} // namespace astarbench
