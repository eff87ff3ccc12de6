// Writes the edge-data seeds: a prepared lane world, a prepared terrain
// world and a geometry of a few creases, each with its blocks.
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz/physics_refpair/refpairengine.h"
#include "graphics/core/chunk.h"
#include "graphics/core/memory.h"
#include "graphics/core/stream.h"
#include "graphics/core/streambytes.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/material.h"
#include "graphics/scene/world.h"
#include "physics/refpair/refpair.h"
#include "tools/common/toolfiles.h"
#include "tools/worldbuild/worldbuild.h"
#include "tools/worldbuild/worldshapes.h"

namespace {

template <typename Write> bool Save(const std::string& path, Write write)
{
    const std::vector<uint8_t> bytes = StreamWrittenBytes(write);
    return !bytes.empty() && ToolWriteFile(path, bytes.data(), bytes.size());
}

bool SaveWorld(const std::string& path, const WorldSoup& soup, uint32_t leaf)
{
    WorldBuildLimits limits;
    limits.leafTriangles = leaf;
    limits.collisionLeaf = 4;
    World* world = WorldBuild(soup, limits);
    const bool ok = world != nullptr && OlpRefPairPrepareWorld(world) != nullptr &&
                    Save(path, [&](Stream* s) { return WorldStreamWrite(world, s) != nullptr; });
    if (world != nullptr) {
        WorldDestroy(world);
    }
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2 || !RefPairEngineStart()) {
        std::fprintf(stderr, "usage: fuzz_physics_refpair_make_corpus FOLDER\n");
        return 1;
    }
    const std::string folder = argv[1];
    Material* material = MaterialCreate();
    bool ok = SaveWorld(folder + "/lane-world.bin", WorldSoupLane(material), 2) &&
              SaveWorld(folder + "/terrain-world.bin", WorldSoupTerrain(60, 10.0f, {material}), 16);
    // A block corner: top, side and a back-to-back pair.
    const V3d vertices[] = {{-1, 0, 0}, {0, 0, 1}, {0, 0, 0}, {0, -1, 0}, {0, 1, 0}};
    const uint16_t triangles[][3] = {{0, 1, 2}, {2, 1, 3}, {2, 4, 1}, {0, 2, 1}};
    Geometry* geometry = GeometryCreate(5, 4, 0);
    if (geometry != nullptr) {
        std::copy(std::begin(vertices), std::end(vertices), geometry->morphTargets[0].vertices);
        for (int t = 0; t < 4; ++t) {
            GeometryTriangleSetVertexIndices(geometry, &geometry->triangles[t], triangles[t][0],
                                             triangles[t][1], triangles[t][2]);
        }
        MorphTargetCalcBoundingSphere(&geometry->morphTargets[0], &geometry->morphTargets[0].boundingSphere);
        GeometryUnlock(geometry);
        ok = ok && OlpRefPairComputeGeometry(geometry) != nullptr &&
             Save(folder + "/creases-geometry.bin",
                  [&](Stream* s) { return GeometryStreamWrite(geometry, s) != nullptr; });
        GeometryRelease(geometry);
    }
    MaterialRelease(material);
    return ok && geometry != nullptr ? 0 : 1;
}
