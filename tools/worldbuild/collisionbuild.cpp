// The collision-tree builder.
#include "tools/worldbuild/collisionbuild.h"

#include <algorithm>
#include <numeric>
#include <vector>

#include "graphics/core/bbox.h"
#include "graphics/scene/collision.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/world.h"

namespace {

float Axis(const V3d& v, int k)
{
    return k == 0 ? v.x : k == 1 ? v.y : v.z;
}

class TreeBuilder
{
  public:
    TreeBuilder(const V3d* vertices, const uint16_t* triangles, uint32_t leaf)
        : vertices_(vertices), triangles_(triangles), leaf_(leaf)
    {
    }

    CollisionData* Build(int32_t count)
    {
        order_.resize(size_t(count));
        std::iota(order_.begin(), order_.end(), uint16_t(0));
        CollisionTreeRef root;
        if (!Node(0, uint32_t(count), 0, &root)) {
            return nullptr;
        }
        BBox box;
        BBoxInitialize(&box, &Vertex(0, 0));
        for (int32_t t = 0; t < count; ++t) {
            for (int i = 0; i < 3; ++i) {
                BBoxAddPoint(&box, &Vertex(uint32_t(t), i));
            }
        }
        CollisionData* data = CollisionDataCreate(count, int32_t(nodes_.size()), &box, kCollisionDataRemap);
        if (!data) {
            return nullptr;
        }
        std::copy(nodes_.begin(), nodes_.end(), data->nodes);
        std::copy(order_.begin(), order_.end(), data->remap);
        return data;
    }

  private:
    const V3d& Vertex(uint32_t triangle, int corner) const
    {
        return vertices_[triangles_[4 * triangle + uint32_t(corner)]];
    }

    float Centre(uint16_t triangle, int k) const
    {
        return (Axis(Vertex(triangle, 0), k) + Axis(Vertex(triangle, 1), k) + Axis(Vertex(triangle, 2), k)) /
               3.0f;
    }

    float Extreme(uint32_t begin, uint32_t end, int k, bool largest) const
    {
        float value = Axis(Vertex(order_[begin], 0), k);
        for (uint32_t p = begin; p < end; ++p) {
            for (int i = 0; i < 3; ++i) {
                const float c = Axis(Vertex(order_[p], i), k);
                value = largest ? std::max(value, c) : std::min(value, c);
            }
        }
        return value;
    }

    BBox Bounds(uint32_t begin, uint32_t end) const
    {
        BBox box;
        BBoxInitialize(&box, &Vertex(order_[begin], 0));
        for (uint32_t p = begin; p < end; ++p) {
            for (int i = 0; i < 3; ++i) {
                BBoxAddPoint(&box, &Vertex(order_[p], i));
            }
        }
        return box;
    }

    static float HalfArea(const BBox& box)
    {
        const float dx = box.sup.x - box.inf.x;
        const float dy = box.sup.y - box.inf.y;
        const float dz = box.sup.z - box.inf.z;
        return dx * dy + dy * dz + dz * dx;
    }

    // The split of [begin, end): sorted by centre on the chosen axis, the
    // left part ending at the returned position. Near the root, the
    // cheapest of a few candidate planes per axis by surface area times
    // triangles (so a floor and the walls standing on it part on y); deeper
    // down, and when no plane separates anything, the median.
    uint32_t Split(uint32_t begin, uint32_t end, int32_t depth, int* axis)
    {
        const uint32_t count = end - begin;
        float bestCost = -1.0f;
        uint32_t bestSplit = begin + count / 2;
        int bestAxis = -1;
        if (depth < kSurfaceAreaDepth) {
            for (int k = 0; k < 3; ++k) {
                SortBy(begin, end, k);
                for (int c = 1; c < kCandidates; ++c) {
                    // Candidates at fractions of the centres' range, moved to the first centre beyond.
                    const float low = Centre(order_[begin], k);
                    const float high = Centre(order_[end - 1], k);
                    const float plane = low + (high - low) * float(c) / float(kCandidates);
                    uint32_t split = begin;
                    while (split < end && Centre(order_[split], k) <= plane) {
                        ++split;
                    }
                    if (split == begin || split == end) {
                        continue;
                    }
                    const float cost = HalfArea(Bounds(begin, split)) * float(split - begin) +
                                       HalfArea(Bounds(split, end)) * float(end - split);
                    if (bestCost < 0.0f || cost < bestCost) {
                        bestCost = cost;
                        bestSplit = split;
                        bestAxis = k;
                    }
                }
            }
        }
        if (bestAxis < 0) {
            float low[3];
            float high[3];
            for (int k = 0; k < 3; ++k) {
                low[k] = high[k] = Centre(order_[begin], k);
                for (uint32_t p = begin; p < end; ++p) {
                    low[k] = std::min(low[k], Centre(order_[p], k));
                    high[k] = std::max(high[k], Centre(order_[p], k));
                }
            }
            bestAxis = high[0] - low[0] >= high[1] - low[1] && high[0] - low[0] >= high[2] - low[2] ? 0
                       : high[1] - low[1] >= high[2] - low[2]                                       ? 1
                                                                                                    : 2;
            bestSplit = begin + count / 2;
        }
        SortBy(begin, end, bestAxis);
        *axis = bestAxis;
        return bestSplit;
    }

    void SortBy(uint32_t begin, uint32_t end, int k)
    {
        std::sort(order_.begin() + begin, order_.begin() + end, [&](uint16_t a, uint16_t b) {
            const float ca = Centre(a, k);
            const float cb = Centre(b, k);
            return ca < cb || (ca == cb && a < b);
        });
    }

    bool Node(uint32_t begin, uint32_t end, int32_t depth, CollisionTreeRef* ref)
    {
        const uint32_t count = end - begin;
        if (count <= leaf_ || depth >= kCollisionMaxDepth) {
            *ref = {0, uint8_t(count), uint16_t(begin)};
            return count <= kCollisionMaxLeaf;
        }
        int k = 0;
        const uint32_t middle = Split(begin, end, depth, &k);
        const size_t index = nodes_.size();
        nodes_.push_back({});
        const uint8_t axis = uint8_t(4 * k);
        CollisionTreeNode node;
        node.leftValue = Extreme(begin, middle, k, true);
        node.rightValue = Extreme(middle, end, k, false);
        if (!Node(begin, middle, depth + 1, &node.left) || !Node(middle, end, depth + 1, &node.right)) {
            return false;
        }
        node.left.axis = axis;
        node.right.axis = axis;
        nodes_[index] = node;
        *ref = {axis, kCollisionInnerNode, uint16_t(index)};
        return true;
    }

    /// Levels split by surface area; below them median splits keep the
    /// depth of 65535 triangles in leaves of 8 within 32.
    static constexpr int32_t kSurfaceAreaDepth = 16;
    static constexpr int kCandidates = 8;

    const V3d* vertices_;
    const uint16_t* triangles_;
    uint32_t leaf_;
    std::vector<uint16_t> order_;
    std::vector<CollisionTreeNode> nodes_;
};

} // namespace

CollisionData* CollisionBuild(const V3d* vertices, const uint16_t* triangles, int32_t count,
                              uint32_t leafTriangles)
{
    if (count <= 0 || count > 0xFFFF || leafTriangles == 0 || leafTriangles > kCollisionMaxLeaf) {
        return nullptr;
    }
    return TreeBuilder(vertices, triangles, leafTriangles).Build(count);
}

bool WorldBuildCollision(World* world, uint32_t leafTriangles)
{
    struct Context
    {
        uint32_t leaf;
        bool ok;
    } context = {leafTriangles, true};
    WorldForAllSectors(
        world,
        [](WorldSector* sector, void* data) -> WorldSector* {
            auto* context = static_cast<Context*>(data);
            if (sector->numTriangles == 0 || !sector->vertices) {
                return sector;
            }
            CollisionData* tree = CollisionBuild(sector->vertices, sector->triangles[0].vertex,
                                                 sector->numTriangles, context->leaf);
            if (!tree) {
                context->ok = false;
                return nullptr;
            }
            WorldSectorDestroyCollisionData(sector);
            WorldSectorSetCollisionData(sector, tree);
            if (WorldSectorGetCollisionData(sector) != tree) {
                // The collision plug-in is not attached.
                CollisionDataDestroy(tree);
                context->ok = false;
                return nullptr;
            }
            return sector;
        },
        &context);
    return context.ok;
}

bool GeometryBuildCollision(Geometry* geometry, uint32_t leafTriangles)
{
    if (geometry->numTriangles == 0 || (geometry->format & kGeometryNative)) {
        return true;
    }
    CollisionData* tree = CollisionBuild(geometry->morphTargets[0].vertices, geometry->triangles[0].vertex,
                                         geometry->numTriangles, leafTriangles);
    if (!tree) {
        return false;
    }
    GeometryDestroyCollisionData(geometry);
    GeometrySetCollisionData(geometry, tree);
    if (GeometryGetCollisionData(geometry) != tree) {
        CollisionDataDestroy(tree);
        return false;
    }
    return true;
}
