// Seed inputs of the scene fuzz targets.
#include "tools/scenebuild/scenecorpus.h"

#include <cstring>
#include <initializer_list>

#include "graphics/core/chunk.h"
#include "graphics/core/memory.h"
#include "graphics/core/pipeline.h"
#include "graphics/core/stream.h"
#include "graphics/core/streambytes.h"
#include "graphics/core/texture.h"
#include "graphics/scene/clump.h"
#include "graphics/scene/collision.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/light.h"
#include "graphics/scene/material.h"
#include "graphics/scene/materiallist.h"
#include "graphics/scene/mesh.h"
#include "graphics/scene/meshbuild.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/sceneplugins.h"
#include "graphics/scene/world.h"
#include "tools/scenebuild/meshshapes.h"
#include "tools/scenebuild/modelbuild.h"
#include "tools/worldbuild/collisionbuild.h"
#include "tools/worldbuild/worldbuild.h"
#include "tools/worldbuild/worldshapes.h"

namespace {

void MaterialSeeds(std::vector<SceneCorpusFile>& files)
{
    Texture* texture = TextureCreate(nullptr);
    TextureSetName(texture, "brick");
    TextureSetMaskName(texture, "brickm");
    Material* plain = MaterialCreate();
    Material* textured = MaterialCreate();
    Material* glass = MaterialCreate();
    MaterialSetTexture(textured, texture);
    glass->colour = {200, 220, 255, 96};
    glass->surfaceProperties = {0.5f, 0.25f, 0.75f};
    MaterialList list{};
    for (Material* m : {plain, textured, plain, glass, textured}) {
        MaterialListAppendMaterial(&list, m);
    }
    files.push_back({"scene_material", "shared.bin",
                     StreamWrittenBytes([&](Stream* s) { return MaterialListStreamWrite(&list, s); })});
    MaterialList one{};
    MaterialListAppendMaterial(&one, glass);
    files.push_back({"scene_material", "single.bin",
                     StreamWrittenBytes([&](Stream* s) { return MaterialListStreamWrite(&one, s); })});
    MaterialList empty{};
    files.push_back({"scene_material", "empty.bin",
                     StreamWrittenBytes([&](Stream* s) { return MaterialListStreamWrite(&empty, s); })});
    MaterialListDeinitialize(&one);
    MaterialListDeinitialize(&list);
    for (Material* m : {plain, textured, glass}) {
        MaterialRelease(m);
    }
    TextureDestroy(texture);
}

void LightSeeds(std::vector<SceneCorpusFile>& files)
{
    Light* spot = LightCreate(kLightSpot);
    const RGBAReal warm = {1.0f, 0.8f, 0.6f, 1.0f};
    LightSetColor(spot, &warm);
    LightSetRadius(spot, 12.0f);
    LightSetConeAngle(spot, 0.6f);
    files.push_back({"scene_light", "spot.bin",
                     StreamWrittenBytes([&](Stream* s) { return LightStreamWrite(spot, s) != nullptr; })});
    Light* ambient = LightCreate(kLightAmbient);
    files.push_back({"scene_light", "ambient.bin",
                     StreamWrittenBytes([&](Stream* s) { return LightStreamWrite(ambient, s) != nullptr; })});
    LightDestroy(spot);
    LightDestroy(ambient);
}

void MeshSeed(std::vector<SceneCorpusFile>& files, const char* name, const MeshShape& shape, uint32_t strips,
              bool native)
{
    Material* materials[3];
    MaterialList list{};
    for (Material*& m : materials) {
        m = MaterialCreate();
        MaterialListAppendMaterial(&list, m);
    }
    materials[2]->colour.alpha = 100;
    MeshHeader* header = MeshBuild(MeshShapeBuildList(shape, materials), strips);
    Geometry owner{};
    owner.object.type = kObjectTypeGeometry;
    owner.format = native ? kGeometryNative : 0;
    uint16_t vertices = 0;
    for (const ShapeTriangle& t : shape.triangles) {
        for (uint16_t v : t.vertex) {
            vertices = v + 1 > vertices ? uint16_t(v + 1) : vertices;
        }
    }
    std::vector<uint8_t> bytes = {uint8_t(vertices), uint8_t(vertices >> 8), 3, uint8_t(native ? 1 : 0)};
    std::vector<uint8_t> payload = header ? StreamWrittenBytes([&](Stream* s) {
        return MeshStreamWrite(header, &owner, s, &list) != nullptr;
    })
                                          : std::vector<uint8_t>{};
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    files.push_back({"scene_mesh", name, payload.empty() ? std::vector<uint8_t>{} : bytes});
    MeshHeaderDestroy(header);
    MaterialListDeinitialize(&list);
    for (Material* m : materials) {
        MaterialRelease(m);
    }
}

void ModelSeeds(std::vector<SceneCorpusFile>& files)
{
    auto geometrySeed = [&](const char* name, Geometry* geometry) {
        files.push_back({"scene_geometry", name,
                         geometry ? StreamWrittenBytes([&](Stream* s) {
                             return GeometryStreamWrite(geometry, s) != nullptr;
                         })
                                  : std::vector<uint8_t>{}});
    };
    // Clumps are saved as read back once: the frame reader keeps no
    // identity flag, so these bytes are what a round trip writes again.
    auto clumpSeed = [&](const char* name, Clump* clump) {
        std::vector<uint8_t> bytes;
        if (clump) {
            std::vector<uint8_t> first =
                StreamWrittenBytes([&](Stream* s) { return ClumpStreamWrite(clump, s) != nullptr; });
            ClumpDestroy(clump);
            StreamMemory memory = {first.data(), first.size()};
            Stream* stream = StreamOpen(kStreamMemory, kStreamRead, &memory);
            Clump* read = stream && StreamFindChunk(stream, kChunkClump, nullptr, nullptr)
                              ? ClumpStreamRead(stream)
                              : nullptr;
            if (stream) {
                StreamClose(stream, nullptr);
            }
            if (read) {
                bytes = StreamWrittenBytes([&](Stream* s) { return ClumpStreamWrite(read, s) != nullptr; });
                ClumpDestroy(read);
            }
        }
        files.push_back({"scene_clump", name, bytes});
    };
    Geometry* morphing = ModelBuildMorphing();
    Geometry* preLit = ModelBuildPreLit();
    Geometry* space = GeometryCreateSpace(2.5f);
    geometrySeed("morphing.bin", morphing);
    geometrySeed("prelit.bin", preLit);
    geometrySeed("space.bin", space);
    clumpSeed("sample.bin", ModelBuildSample());
    clumpSeed("morphing.bin", morphing ? ModelBuildClumpOf(morphing) : nullptr);
    clumpSeed("prelit.bin", preLit ? ModelBuildClumpOf(preLit) : nullptr);
    for (Geometry* geometry : {morphing, preLit, space}) {
        if (geometry) {
            GeometryRelease(geometry);
        }
    }
}

// Patches every atomic sector of a world chunk to an older stream version,
// its triangles stored material first as those versions did.
void OlderTriangleOrder(std::vector<uint8_t>& bytes, size_t at, size_t end, uint32_t version)
{
    auto u32 = [&](size_t offset) {
        return uint32_t(bytes[offset]) | uint32_t(bytes[offset + 1]) << 8 |
               uint32_t(bytes[offset + 2]) << 16 | uint32_t(bytes[offset + 3]) << 24;
    };
    while (at + 12 <= end) {
        const uint32_t type = u32(at);
        const size_t size = u32(at + 4);
        if (type == kChunkWorld || type == kChunkPlaneSector) {
            OlderTriangleOrder(bytes, at + 12, at + 12 + size, version);
        } else if (type == kChunkWorldSector) {
            const size_t body = at + 24;
            const uint32_t stamp = ChunkStampEncode(version, 0x16);
            for (int i = 0; i < 4; ++i) {
                bytes[at + 20 + size_t(i)] = uint8_t(stamp >> (8 * i));
            }
            const uint32_t triangles = u32(body + 4);
            const uint32_t vertices = u32(body + 8);
            for (size_t t = 0; t < triangles; ++t) {
                uint8_t* triangle = bytes.data() + body + 44 + 12 * vertices + 8 * t;
                const uint8_t material[2] = {triangle[6], triangle[7]};
                std::memmove(triangle + 2, triangle, 6);
                triangle[0] = material[0];
                triangle[1] = material[1];
            }
        }
        at += 12 + size;
    }
}

void WorldSeeds(std::vector<SceneCorpusFile>& files)
{
    Material* plain = MaterialCreate();
    Material* glass = MaterialCreate();
    glass->colour = {200, 220, 255, 96};
    // Worlds are saved as read back once, meshes and all.
    auto worldSeed = [&](const char* name, const WorldSoup& soup, uint32_t leaf, bool selectors,
                         uint32_t collisionLeaf = 0) {
        WorldBuildLimits limits;
        limits.leafTriangles = leaf;
        limits.collisionLeaf = collisionLeaf;
        World* world = WorldBuild(soup, limits);
        Pipeline* pipeline = world && selectors ? PipelineCreate() : nullptr;
        if (pipeline) {
            pipeline->pluginId = 0x120;
            pipeline->pluginData = 3;
            world->pipeline = pipeline;
            WorldForAllSectors(
                world,
                [](WorldSector* sector, void* data) {
                    sector->pipeline = static_cast<Pipeline*>(data);
                    return sector;
                },
                pipeline);
        }
        std::vector<uint8_t> bytes =
            world ? StreamWrittenBytes([&](Stream* s) { return WorldStreamWrite(world, s) != nullptr; })
                  : std::vector<uint8_t>{};
        if (pipeline) {
            world->pipeline = nullptr;
            WorldForAllSectors(
                world,
                [](WorldSector* sector, void*) {
                    sector->pipeline = nullptr;
                    return sector;
                },
                nullptr);
            PipelineDestroy(pipeline);
        }
        if (world) {
            WorldDestroy(world);
        }
        files.push_back({"scene_world", name, bytes});
        return bytes;
    };
    worldSeed("atomic-root.bin", WorldSoupRow(2, {plain}), 4, false);
    WorldSoup terrain = WorldSoupTerrain(40, 20.0f, {plain, glass});
    terrain.format |= kGeometryTriStrip;
    worldSeed("two-planes.bin", WorldSoupRow(5, {plain}), 2, false);
    worldSeed("terrain-selectors.bin", terrain, 16, true);
    worldSeed("terrain-trees.bin", WorldSoupTerrain(60, 20.0f, {plain}), 24, false, 4);
    std::vector<uint8_t> older = worldSeed("older-order.bin", WorldSoupRow(5, {plain}), 2, false);
    OlderTriangleOrder(older, 0, older.size(), 0x36001);
    files.back().bytes = older;
    MaterialRelease(plain);
    MaterialRelease(glass);
}

std::vector<uint8_t> Words(std::initializer_list<uint32_t> values)
{
    std::vector<uint8_t> bytes;
    for (uint32_t v : values) {
        for (int i = 0; i < 4; ++i) {
            bytes.push_back(uint8_t(v >> (8 * i)));
        }
    }
    return bytes;
}

void CollisionSeeds(std::vector<SceneCorpusFile>& files)
{
    // A geometry of 16 triangles in a row with a tree of three nodes; the
    // seed is its plug-in sub-chunk's body as the geometry writes it.
    Geometry* geometry = GeometryCreate(48, 16, 0);
    std::vector<uint8_t> payload;
    if (geometry) {
        for (uint16_t t = 0; t < 16; ++t) {
            const float x = float(2 * t);
            geometry->morphTargets[0].vertices[3 * t] = {x, 0, 0};
            geometry->morphTargets[0].vertices[3 * t + 1] = {x + 1, 0, 0};
            geometry->morphTargets[0].vertices[3 * t + 2] = {x, 1, 0};
            GeometryTriangleSetVertexIndices(geometry, &geometry->triangles[t], uint16_t(3 * t),
                                             uint16_t(3 * t + 1), uint16_t(3 * t + 2));
        }
        std::vector<uint8_t> extension;
        if (GeometryBuildCollision(geometry, 4)) {
            extension = StreamWrittenBytes([&](Stream* s) {
                return PluginRegistryStreamWrite(GeometryGetPluginRegistry(), s, geometry) != nullptr;
            });
        }
        // Find the plug-in's sub-chunk after the extension chunk's header.
        for (size_t at = 12; at + 12 <= extension.size();) {
            const uint32_t id = uint32_t(extension[at]) | uint32_t(extension[at + 1]) << 8 |
                                uint32_t(extension[at + 2]) << 16 | uint32_t(extension[at + 3]) << 24;
            const size_t length = size_t(extension[at + 4]) | size_t(extension[at + 5]) << 8 |
                                  size_t(extension[at + 6]) << 16 | size_t(extension[at + 7]) << 24;
            if (id == kPluginIdCollision && at + 12 + length <= extension.size()) {
                payload.assign(extension.begin() + std::ptrdiff_t(at + 12),
                               extension.begin() + std::ptrdiff_t(at + 12 + length));
            }
            at += 12 + length;
        }
        GeometryRelease(geometry);
    }
    auto seed = [&](const char* name, uint16_t triangles, uint8_t owner, const std::vector<uint8_t>& body) {
        std::vector<uint8_t> bytes = {uint8_t(triangles), uint8_t(triangles >> 8), owner, 0};
        bytes.insert(bytes.end(), body.begin(), body.end());
        files.push_back({"scene_collision", name, body.empty() ? std::vector<uint8_t>{} : bytes});
    };
    seed("tree-geometry.bin", 16, 0, payload);
    seed("tree-sector.bin", 16, 1, payload);
    // Old layouts: V = node count + 1, the triangle count, then the nodes,
    // the leaf words and the remap.
    seed("old-flat.bin", 3, 1, Words({1, 3, 0, 2, 0, 1}));
    seed("old-two-nodes.bin", 3, 0,
         Words({3, 3, 0x00000200, 0x00010000, 0x3F000000, 0x3F000000, 0x00040000, 0, 0x3F000000, 0x3F000000,
                0x00010000, 0x00010001, 0x00010002, 0, 1, 2}));
    seed("old-large-leaf.bin", 3, 1, Words({2, 3, 0, 0, 0, 0, 240u << 16, 0, 0, 1, 2}));
}

} // namespace

std::vector<SceneCorpusFile> SceneCorpusFiles()
{
    std::vector<SceneCorpusFile> files;
    MaterialSeeds(files);
    LightSeeds(files);
    MeshSeed(files, "grid-strips.bin", MeshShapeGrid(4, 3), 1, false);
    MeshSeed(files, "soup-lists.bin", MeshShapeSoup(30, 20, 3), 0, false);
    MeshSeed(files, "fan-native.bin", MeshShapeFan(6), 1, true);
    ModelSeeds(files);
    WorldSeeds(files);
    CollisionSeeds(files);
    for (const SceneCorpusFile& file : files) {
        if (file.bytes.empty()) {
            return {};
        }
    }
    return files;
}
