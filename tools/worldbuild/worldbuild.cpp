// The world builder: triangle soup to sector tree to chunk 0x0B.
#include "tools/worldbuild/worldbuild.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <numeric>

#include "graphics/core/chunk.h"
#include "graphics/core/memory.h"
#include "graphics/core/stream.h"
#include "graphics/core/streambytes.h"
#include "graphics/scene/collision.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/materiallist.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/sceneplugins.h"
#include "graphics/scene/world.h"
#include "tools/worldbuild/collisionbuild.h"

namespace {

float Axis(const V3d& v, int axis)
{
    return axis == 0 ? v.x : axis == 1 ? v.y : v.z;
}

void SetAxis(V3d* v, int axis, float value)
{
    (axis == 0 ? v->x : axis == 1 ? v->y : v->z) = value;
}

// The records of a world made only to be written: zeroed blocks of the
// registries' sizes (plug-in data zero: nothing of theirs is saved), owned here.
class WorldImage
{
  public:
    WorldImage(const WorldSoup& soup, const WorldBuildLimits& limits) : soup_(soup), limits_(limits) {}

    ~WorldImage()
    {
        for (WorldSector* sector : leaves_) {
            WorldSectorDestroyCollisionData(sector);
        }
        if (world_) {
            MaterialListDeinitialize(&world_->materials);
        }
    }

    bool Build()
    {
        world_ = Allocate<World>(size_t(WorldGetPluginRegistry()->objectSize));
        world_->object.type = kObjectTypeWorld;
        world_->format = (soup_.format & ~kGeometryTextured2) | kWorldSectorOverlap;
        world_->renderOrder = kWorldRenderBackToFront;
        world_->numTexCoordSets = (soup_.format & kGeometryTextured) ? 1 : 0;
        for (Material* material : soup_.materials) {
            if (MaterialListAppendMaterial(&world_->materials, material) < 0) {
                return false;
            }
        }
        std::vector<uint32_t> all(soup_.triangles.size());
        std::iota(all.begin(), all.end(), 0u);
        BBox box = Bounds(all);
        world_->boundingBox = box;
        world_->root = Node(all, box, 0);
        if (!world_->root) {
            return false;
        }
        // Collision trees live in the sectors' plug-in data, saved with them.
        for (WorldSector* sector : leaves_) {
            if (limits_.collisionLeaf == 0 || sector->numTriangles == 0) {
                continue;
            }
            CollisionData* tree = CollisionBuild(sector->vertices, sector->triangles[0].vertex,
                                                 sector->numTriangles, limits_.collisionLeaf);
            WorldSectorSetCollisionData(sector, tree);
            if (!tree || WorldSectorGetCollisionData(sector) != tree) {
                if (tree) {
                    CollisionDataDestroy(tree);
                }
                return false;
            }
        }
        return true;
    }

    World* world() const { return world_; }

  private:
    template <typename T> T* Allocate(size_t bytes)
    {
        blocks_.push_back(std::make_unique<uint64_t[]>((bytes + 7) / 8));
        return reinterpret_cast<T*>(blocks_.back().get());
    }

    BBox Bounds(const std::vector<uint32_t>& triangles) const
    {
        BBox box;
        BBoxInitialize(&box, &soup_.positions[soup_.triangles[triangles[0]].vertex[0]]);
        for (uint32_t t : triangles) {
            for (uint32_t v : soup_.triangles[t].vertex) {
                BBoxAddPoint(&box, &soup_.positions[v]);
            }
        }
        return box;
    }

    V3d Centre(uint32_t t) const
    {
        const WorldSoupTriangle& triangle = soup_.triangles[t];
        const V3d& a = soup_.positions[triangle.vertex[0]];
        const V3d& b = soup_.positions[triangle.vertex[1]];
        const V3d& c = soup_.positions[triangle.vertex[2]];
        return {(a.x + b.x + c.x) / 3.0f, (a.y + b.y + c.y) / 3.0f, (a.z + b.z + c.z) / 3.0f};
    }

    Sector* Node(std::vector<uint32_t>& triangles, const BBox& cell, int32_t depth)
    {
        if (triangles.size() <= limits_.leafTriangles || triangles.size() < 2 || depth >= limits_.maxDepth) {
            return Leaf(triangles, cell);
        }
        const V3d extent = {cell.sup.x - cell.inf.x, cell.sup.y - cell.inf.y, cell.sup.z - cell.inf.z};
        const int axis = extent.x >= extent.y && extent.x >= extent.z ? 0 : extent.y >= extent.z ? 1 : 2;
        std::stable_sort(triangles.begin(), triangles.end(), [&](uint32_t a, uint32_t b) {
            return Axis(Centre(a), axis) < Axis(Centre(b), axis);
        });
        const size_t half = triangles.size() / 2;
        const float value =
            (triangles.size() % 2 == 0)
                ? 0.5f * (Axis(Centre(triangles[half - 1]), axis) + Axis(Centre(triangles[half]), axis))
                : Axis(Centre(triangles[half]), axis);
        std::vector<uint32_t> left(triangles.begin(), triangles.begin() + std::ptrdiff_t(half));
        std::vector<uint32_t> right(triangles.begin() + std::ptrdiff_t(half), triangles.end());
        const float leftValue = std::max(value, Axis(Bounds(left).sup, axis));
        const float rightValue = std::min(value, Axis(Bounds(right).inf, axis));
        auto* plane = Allocate<PlaneSector>(sizeof(PlaneSector));
        plane->type = 4 * axis;
        plane->value = value;
        plane->leftValue = leftValue;
        plane->rightValue = rightValue;
        BBox leftCell = cell;
        BBox rightCell = cell;
        SetAxis(&leftCell.sup, axis, leftValue);
        SetAxis(&rightCell.inf, axis, rightValue);
        plane->left = Node(left, leftCell, depth + 1);
        plane->right = plane->left ? Node(right, rightCell, depth + 1) : nullptr;
        return plane->right ? reinterpret_cast<Sector*>(plane) : nullptr;
    }

    // A sector of the triangles with their vertices renumbered from 0.
    Sector* Leaf(const std::vector<uint32_t>& triangles, const BBox& cell)
    {
        std::vector<uint32_t> local(soup_.positions.size(), UINT32_MAX);
        std::vector<uint32_t> used;
        for (uint32_t t : triangles) {
            for (uint32_t v : soup_.triangles[t].vertex) {
                if (local[v] == UINT32_MAX) {
                    local[v] = uint32_t(used.size());
                    used.push_back(v);
                }
            }
        }
        if (triangles.size() > limits_.maxTriangles || used.size() > limits_.maxVertices) {
            return nullptr;
        }
        auto* sector = Allocate<WorldSector>(size_t(WorldSectorGetPluginRegistry()->objectSize));
        sector->type = kSectorAtomic;
        sector->numVertices = uint16_t(used.size());
        sector->numTriangles = uint16_t(triangles.size());
        sector->storedBox = triangles.empty() ? cell : Bounds(triangles);
        sector->boundingBox = cell;
        sector->vertices = Allocate<V3d>(sizeof(V3d) * used.size());
        for (size_t i = 0; i < used.size(); ++i) {
            sector->vertices[i] = soup_.positions[used[i]];
        }
        if (soup_.format & kGeometryNormals) {
            sector->normals = Allocate<PackedNormal>(sizeof(PackedNormal) * used.size());
            for (size_t i = 0; i < used.size(); ++i) {
                const V3d& n = soup_.normals[used[i]];
                auto pack = [](float c) { return int8_t(std::clamp(c * 128.0f, -128.0f, 127.0f)); };
                sector->normals[i] = {pack(n.x), pack(n.y), pack(n.z), 0};
            }
        }
        if (soup_.format & kGeometryPreLit) {
            sector->preLitColours = Allocate<RGBA>(sizeof(RGBA) * used.size());
            for (size_t i = 0; i < used.size(); ++i) {
                sector->preLitColours[i] = soup_.preLit[used[i]];
            }
        }
        if (soup_.format & kGeometryTextured) {
            sector->texCoords[0] = Allocate<TexCoords>(sizeof(TexCoords) * used.size());
            for (size_t i = 0; i < used.size(); ++i) {
                sector->texCoords[0][i] = soup_.uv[used[i]];
            }
        }
        leaves_.push_back(sector);
        sector->triangles = Allocate<WorldSectorTriangle>(sizeof(WorldSectorTriangle) * triangles.size());
        for (size_t i = 0; i < triangles.size(); ++i) {
            const WorldSoupTriangle& triangle = soup_.triangles[triangles[i]];
            sector->triangles[i] = {{uint16_t(local[triangle.vertex[0]]), uint16_t(local[triangle.vertex[1]]),
                                     uint16_t(local[triangle.vertex[2]])},
                                    triangle.material};
        }
        return reinterpret_cast<Sector*>(sector);
    }

    const WorldSoup& soup_;
    const WorldBuildLimits& limits_;
    std::vector<std::unique_ptr<uint64_t[]>> blocks_;
    std::vector<WorldSector*> leaves_;
    World* world_ = nullptr;
};

bool Valid(const WorldSoup& soup)
{
    const size_t count = soup.positions.size();
    if (soup.triangles.empty() || ((soup.format & kGeometryNormals) && soup.normals.size() != count) ||
        ((soup.format & kGeometryPreLit) && soup.preLit.size() != count) ||
        ((soup.format & kGeometryTextured) && soup.uv.size() != count)) {
        return false;
    }
    for (const WorldSoupTriangle& triangle : soup.triangles) {
        if (triangle.vertex[0] >= count || triangle.vertex[1] >= count || triangle.vertex[2] >= count ||
            triangle.material >= soup.materials.size()) {
            return false;
        }
    }
    return true;
}

} // namespace

std::vector<uint8_t> WorldBuildBytes(const WorldSoup& soup, const WorldBuildLimits& limits)
{
    if (!Valid(soup)) {
        return {};
    }
    WorldImage image(soup, limits);
    if (!image.Build()) {
        return {};
    }
    return StreamWrittenBytes([&](Stream* s) { return WorldStreamWrite(image.world(), s) != nullptr; });
}

World* WorldReadBytes(const std::vector<uint8_t>& bytes)
{
    StreamMemory memory = {const_cast<uint8_t*>(bytes.data()), bytes.size()};
    Stream* stream = StreamOpen(kStreamMemory, kStreamRead, &memory);
    World* world =
        stream && StreamFindChunk(stream, kChunkWorld, nullptr, nullptr) ? WorldStreamRead(stream) : nullptr;
    if (stream) {
        StreamClose(stream, nullptr);
    }
    return world;
}

World* WorldBuild(const WorldSoup& soup, const WorldBuildLimits& limits)
{
    std::vector<uint8_t> bytes = WorldBuildBytes(soup, limits);
    return bytes.empty() ? nullptr : WorldReadBytes(bytes);
}
