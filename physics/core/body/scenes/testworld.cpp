#include "physics/core/body/scenes/testworld.h"

#include <utility>

#include "graphics/scene/world.h"
#include "physics/core/utils/vec3.h"
#include "physics/refpair/refpair.h"
#include "tools/worldbuild/worldbuild.h"

using namespace olp;

namespace {

// Two triangles whose faces point along `outward`.
void AddQuad(WorldSoup* soup, V3d a, V3d b, V3d c, V3d d, V3d outward)
{
    if (Dot(Cross(b - a, c - a), outward) < 0.0f) {
        std::swap(b, d);
    }
    const uint32_t first = uint32_t(soup->positions.size());
    for (V3d p : {a, b, c, d}) {
        soup->positions.push_back(p);
    }
    soup->triangles.push_back({{first, first + 1, first + 2}, 0});
    soup->triangles.push_back({{first, first + 2, first + 3}, 0});
}

// A block's top and four sides.
void AddBlock(WorldSoup* soup, V3d min, V3d max)
{
    AddQuad(soup, {min.x, max.y, min.z}, {max.x, max.y, min.z}, {max.x, max.y, max.z}, {min.x, max.y, max.z},
            {0, 1, 0});
    AddQuad(soup, {min.x, min.y, min.z}, {max.x, min.y, min.z}, {max.x, max.y, min.z}, {min.x, max.y, min.z},
            {0, 0, -1});
    AddQuad(soup, {min.x, min.y, max.z}, {max.x, min.y, max.z}, {max.x, max.y, max.z}, {min.x, max.y, max.z},
            {0, 0, 1});
    AddQuad(soup, {min.x, min.y, min.z}, {min.x, min.y, max.z}, {min.x, max.y, max.z}, {min.x, max.y, min.z},
            {-1, 0, 0});
    AddQuad(soup, {max.x, min.y, min.z}, {max.x, min.y, max.z}, {max.x, max.y, max.z}, {max.x, max.y, min.z},
            {1, 0, 0});
}

} // namespace

// Floor tiles of 2 m (their shared edges must not catch what slides over
// them), a ramp, a step and a box; small leaves give two sectors or more.
World* TestWorldBuild(Material* material)
{
    WorldSoup soup;
    soup.materials = {material};
    for (int i = -4; i < 4; ++i) {
        for (int k = -2; k < 2; ++k) {
            const float x = 2.0f * float(i), z = 2.0f * float(k);
            AddQuad(&soup, {x, 0, z}, {x + 2, 0, z}, {x + 2, 0, z + 2}, {x, 0, z + 2}, {0, 1, 0});
        }
    }
    const V3d s = kTestWorldRampStart;
    AddQuad(&soup, {s.x, 0, -2}, {s.x + kTestWorldRampRun, kTestWorldRampRise, -2},
            {s.x + kTestWorldRampRun, kTestWorldRampRise, 2}, {s.x, 0, 2},
            {-kTestWorldRampRise, kTestWorldRampRun, 0});
    AddBlock(&soup, {-6.0f, 0.0f, -3.0f}, {-4.0f, 0.3f, 3.0f}); // the step
    AddBlock(&soup, {-2.0f, 0.0f, 1.0f}, {-1.0f, 1.0f, 2.0f});  // the box
    WorldBuildLimits limits;
    limits.leafTriangles = 40;
    limits.collisionLeaf = 4;
    World* world = WorldBuild(soup, limits);
    return world != nullptr ? OlpRefPairPrepareWorld(world) : nullptr;
}
