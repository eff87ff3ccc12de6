// scenetool: tools for the scene objects' data.
//
//   scenetool strips        builds the generated shapes (8x8 grid, fan,
//                           ribbon, soup with duplicates; two opaque
//                           materials and a transparent one) with every mesh
//                           builder and prints mesh count, indices per
//                           triangle and "ok" when the meshes draw exactly the
//                           input triangles
//   scenetool corpus DIR    writes the scene fuzz targets' seeds under
//                           DIR/<target>/corpus/
//   scenetool dump FILE     prints the chunk tree of a model or world file
//                           with the fields it knows decoded
//   scenetool roundtrip IN OUT  reads the model (clump) in IN and writes it
//                           to OUT (its textures kept by name)
//   scenetool native IN OUT reads a model or world, instances it on the
//                           software device into native form (every atomic of
//                           a one-target geometry, every world sector) and
//                           writes it with its native data to OUT
//   scenetool collide IN OUT    reads a world or model, gives every sector or
//                           geometry a collision tree and writes it to OUT
//   scenetool raycast WORLD x0 y0 z0 x1 y1 z1  prints every triangle the
//                           segment hits (sector, triangle, t) and the nearest
//   scenetool pick WORLD MODEL x0 y0 z0 x1 y1 z1 [--spacing S]  places
//                           copies of the model on the world's floor every S
//                           metres (default 4) and lists the atomics the
//                           segment meets (by their spheres) and the nearest
#include "tools/cli/tool_cli.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "graphics/core/chunk.h"
#include "graphics/core/frame.h"
#include "graphics/core/littleendian.h"
#include "graphics/core/memory.h"
#include "graphics/core/stream.h"
#include "graphics/core/streambytes.h"
#include "graphics/core/texture.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/clump.h"
#include "graphics/scene/collision.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/intersection.h"
#include "graphics/scene/material.h"
#include "graphics/scene/materiallist.h"
#include "graphics/scene/mesh.h"
#include "graphics/scene/meshbuild.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/world.h"
#include "graphics/scene/worldmembers.h"
#include "tools/scenebuild/meshcheck.h"
#include "tools/scenebuild/meshshapes.h"
#include "tools/scenebuild/nameonlytexture.h"
#include "tools/scenebuild/nativeengine.h"
#include "tools/scenebuild/scenecorpus.h"
#include "tools/scenebuild/sceneengine.h"
#include "tools/scenetool/scenedump.h"
#include "tools/worldbuild/collisionbuild.h"

namespace {

int Strips()
{
    Material* materials[3];
    for (Material*& m : materials) {
        m = MaterialCreate();
    }
    materials[2]->colour.alpha = 128;
    int failures = 0;
    for (const MeshShape& shape : MeshShapesStandard()) {
        for (const MeshBuilderEntry& builder : kMeshBuilders) {
            MeshSetBuildCallBack(builder.strips, nullptr);
            MeshHeader* header = MeshBuild(MeshShapeBuildList(shape, materials), builder.strips ? 1 : 0);
            MeshSetBuildCallBack(nullptr, nullptr);
            std::string problem = header ? MeshCheckHeader(header, shape, materials, builder.keepsWinding)
                                         : std::string("build failed");
            std::printf("%-7s %-30s triangles %4zu meshes %u indices/triangle %.3f %s\n", shape.name.c_str(),
                        builder.name, shape.triangles.size(), header ? header->numMeshes : 0,
                        header ? double(header->totalIndices) / double(shape.triangles.size()) : 0.0,
                        problem.empty() ? "ok" : ("FAIL: " + problem).c_str());
            failures += !problem.empty();
            if (header) {
                MeshHeaderDestroy(header);
            }
        }
    }
    for (Material* m : materials) {
        MaterialRelease(m);
    }
    return failures == 0 ? 0 : 1;
}

int Corpus(const std::string& dir)
{
    std::vector<SceneCorpusFile> files = SceneCorpusFiles();
    if (files.empty()) {
        std::fprintf(stderr, "scenetool: a writer failed\n");
        return 1;
    }
    for (const SceneCorpusFile& file : files) {
        std::filesystem::path folder = std::filesystem::path(dir) / file.target / "corpus";
        std::filesystem::create_directories(folder);
        std::ofstream out(folder / file.name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(file.bytes.data()), std::streamsize(file.bytes.size()));
        if (!out) {
            std::fprintf(stderr, "scenetool: cannot write %s\n", (folder / file.name).c_str());
            return 1;
        }
        std::printf("%s/%s %zu bytes\n", file.target.c_str(), file.name.c_str(), file.bytes.size());
    }
    return 0;
}

bool ReadFile(const std::string& name, std::vector<uint8_t>* bytes)
{
    std::ifstream in(name, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "scenetool: cannot read %s\n", name.c_str());
        return false;
    }
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

int Dump(const std::string& file)
{
    std::vector<uint8_t> bytes;
    if (!ReadFile(file, &bytes)) {
        return 1;
    }
    return SceneDump(bytes, stdout) ? 0 : 1;
}

// Writes what `write` puts into a memory stream to the file `out`; false
// when the write or the file fails.
template <typename Write> bool WriteObject(const std::string& out, Write write)
{
    const std::vector<uint8_t> written = StreamWrittenBytes(write);
    if (written.empty()) {
        return false;
    }
    std::ofstream file(out, std::ios::binary);
    file.write(reinterpret_cast<const char*>(written.data()), std::streamsize(written.size()));
    return bool(file);
}

// The first chunk of `type` in the bytes, read by `read`; null when absent or unreadable.
template <typename T> T* ReadObject(std::vector<uint8_t>& bytes, uint32_t type, T* (*read)(Stream*))
{
    StreamMemory memory = {bytes.data(), bytes.size()};
    Stream* stream = StreamOpen(kStreamMemory, kStreamRead, &memory);
    T* object = stream && StreamFindChunk(stream, type, nullptr, nullptr) ? read(stream) : nullptr;
    if (stream) {
        StreamClose(stream, nullptr);
    }
    return object;
}

int RoundTrip(const std::string& in, const std::string& out)
{
    std::vector<uint8_t> bytes;
    if (!ReadFile(in, &bytes)) {
        return 1;
    }
    // Textures are kept by name: a rewrite must not drop a material's texture
    // because its image is not beside the model.
    const TextureReadCallback previous = TextureGetReadCallback();
    TextureSetReadCallback(SceneNameOnlyTexture);
    Clump* clump = ReadObject(bytes, kChunkClump, ClumpStreamRead);
    TextureSetReadCallback(previous);
    if (!clump) {
        std::fprintf(stderr, "scenetool: %s holds no readable clump\n", in.c_str());
        return 1;
    }
    const bool ok =
        WriteObject(out, [&](Stream* stream) { return ClumpStreamWrite(clump, stream) != nullptr; });
    ClumpDestroy(clump);
    if (!ok) {
        std::fprintf(stderr, "scenetool: cannot write %s\n", out.c_str());
    }
    return ok ? 0 : 1;
}

int Native(const std::string& in, const std::string& out)
{
    std::vector<uint8_t> bytes;
    if (!ReadFile(in, &bytes)) {
        return 1;
    }
    const uint32_t type = bytes.size() >= 4 ? LittleEndianGetU32(bytes.data()) : 0;
    // Textures are kept by name, as by a rewrite: instancing needs no image.
    const TextureReadCallback previous = TextureGetReadCallback();
    TextureSetReadCallback(SceneNameOnlyTexture);
    Clump* clump = type == kChunkClump ? ReadObject(bytes, kChunkClump, ClumpStreamRead) : nullptr;
    World* world = type == kChunkWorld ? ReadObject(bytes, kChunkWorld, WorldStreamRead) : nullptr;
    TextureSetReadCallback(previous);
    if (!clump && !world) {
        std::fprintf(stderr, "scenetool: %s holds no readable model or world\n", in.c_str());
        return 1;
    }
    bool ok = true;
    if (clump) {
        ClumpVisitAtomics(
            clump,
            [](Atomic* atomic, void* data) {
                if (atomic->geometry && atomic->geometry->numMorphTargets == 1) {
                    *static_cast<bool*>(data) &= AtomicInstance(atomic) != 0;
                }
                return atomic;
            },
            &ok);
        ok = ok &&
             WriteObject(out, [&](Stream* stream) { return ClumpStreamWrite(clump, stream) != nullptr; });
        ClumpDestroy(clump);
    } else {
        ok = WorldInstance(world) &&
             WriteObject(out, [&](Stream* stream) { return WorldStreamWrite(world, stream) != nullptr; });
        WorldDestroy(world);
    }
    if (!ok) {
        std::fprintf(stderr, "scenetool: cannot instance or write %s\n", out.c_str());
    }
    return ok ? 0 : 1;
}

int Collide(const std::string& in, const std::string& out)
{
    std::vector<uint8_t> bytes;
    if (!ReadFile(in, &bytes)) {
        return 1;
    }
    bool ok = false;
    if (World* world = ReadObject(bytes, kChunkWorld, WorldStreamRead)) {
        ok = WorldBuildCollision(world, kCollisionBuildLeaf) &&
             WriteObject(out, [&](Stream* s) { return WorldStreamWrite(world, s) != nullptr; });
        WorldDestroy(world);
    } else {
        Clump* clump = ReadObject(bytes, kChunkClump, ClumpStreamRead);
        if (!clump) {
            std::fprintf(stderr, "scenetool: %s holds no readable world or model\n", in.c_str());
            return 1;
        }
        ok = true;
        ClumpVisitAtomics(
            clump,
            [](Atomic* atomic, void* data) {
                *static_cast<bool*>(data) &=
                    !atomic->geometry || GeometryBuildCollision(atomic->geometry, kCollisionBuildLeaf);
                return atomic;
            },
            &ok);
        ok = ok && WriteObject(out, [&](Stream* s) { return ClumpStreamWrite(clump, s) != nullptr; });
        ClumpDestroy(clump);
    }
    if (!ok) {
        std::fprintf(stderr, "scenetool: cannot write %s\n", out.c_str());
        return 1;
    }
    return 0;
}

int Raycast(const std::string& file, const std::vector<float>& ends)
{
    std::vector<uint8_t> bytes;
    if (!ReadFile(file, &bytes)) {
        return 1;
    }
    World* world = ReadObject(bytes, kChunkWorld, WorldStreamRead);
    if (!world) {
        std::fprintf(stderr, "scenetool: %s holds no readable world\n", file.c_str());
        return 1;
    }
    struct Hits
    {
        std::vector<WorldSector*> sectors;
        int count = 0;
        float nearest = 2.0f;
        int nearestSector = -1;
        int32_t nearestTriangle = -1;
    } hits;
    WorldForAllSectors(
        world,
        [](WorldSector* sector, void* data) {
            static_cast<Hits*>(data)->sectors.push_back(sector);
            return sector;
        },
        &hits);
    IntersectionQuery query;
    query.type = kIntersectionLine;
    query.t.line = {{ends[0], ends[1], ends[2]}, {ends[3], ends[4], ends[5]}};
    WorldForAllTriangleIntersections(
        world, &query,
        [](IntersectionQuery*, WorldSector* sector, TriangleHitInfo* hit, float t, void* data) {
            auto* hits = static_cast<Hits*>(data);
            const int index =
                int(std::find(hits->sectors.begin(), hits->sectors.end(), sector) - hits->sectors.begin());
            std::printf("hit sector %d triangle %d t %.6f\n", index, hit->index, double(t));
            ++hits->count;
            if (t < hits->nearest) {
                hits->nearest = t;
                hits->nearestSector = index;
                hits->nearestTriangle = hit->index;
            }
            return sector;
        },
        &hits);
    if (hits.count == 0) {
        std::printf("no hit%s\n", WorldHasCollisionData(world) ? "" : " (the world has no collision trees)");
    } else {
        const V3d& s = query.t.line.start;
        const V3d& e = query.t.line.end;
        const float t = hits.nearest;
        std::printf("nearest: sector %d triangle %d t %.6f at (%g, %g, %g)\n", hits.nearestSector,
                    hits.nearestTriangle, double(t), double(s.x + (e.x - s.x) * t),
                    double(s.y + (e.y - s.y) * t), double(s.z + (e.z - s.z) * t));
    }
    WorldDestroy(world);
    return 0;
}

int Pick(const std::string& worldFile, const std::string& modelFile, float spacing,
         const std::vector<float>& ends)
{
    std::vector<uint8_t> worldBytes;
    std::vector<uint8_t> modelBytes;
    if (!ReadFile(worldFile, &worldBytes) || !ReadFile(modelFile, &modelBytes)) {
        return 1;
    }
    World* world = ReadObject(worldBytes, kChunkWorld, WorldStreamRead);
    Clump* model = ReadObject(modelBytes, kChunkClump, ClumpStreamRead);
    if (!world || !model || !ClumpGetFrame(model)) {
        std::fprintf(stderr, "scenetool: %s or %s cannot be read\n", worldFile.c_str(), modelFile.c_str());
        if (world) {
            WorldDestroy(world);
        }
        if (model) {
            ClumpDestroy(model);
        }
        return 1;
    }
    // Copies on the floor of the world's box, in rows along x.
    std::vector<Clump*> copies;
    const BBox& box = world->boundingBox;
    for (float z = box.inf.z + 0.5f * spacing; z < box.sup.z; z += spacing) {
        for (float x = box.inf.x + 0.5f * spacing; x < box.sup.x; x += spacing) {
            Clump* copy = ClumpClone(model);
            if (!copy) {
                continue;
            }
            const V3d position = {x, box.inf.y, z};
            FrameTranslate(ClumpGetFrame(copy), &position, kCombineReplace);
            WorldAddClump(world, copy);
            copies.push_back(copy);
        }
    }
    IntersectionQuery query;
    query.type = kIntersectionLine;
    query.t.line = {{ends[0], ends[1], ends[2]}, {ends[3], ends[4], ends[5]}};
    int hits = 0;
    WorldForAllAtomicIntersections(
        world, &query,
        [](IntersectionQuery*, WorldSector*, Atomic* atomic, float distance, void* data) {
            const V3d& c = AtomicWorldBoundingSphere(atomic)->centre;
            std::printf("atomic at (%g, %g, %g) distance %.6f\n", double(c.x), double(c.y), double(c.z),
                        double(distance));
            ++*static_cast<int*>(data);
            return atomic;
        },
        &hits);
    if (Atomic* nearest = WorldFindNearestAtomicOnLine(world, &query.t.line)) {
        const V3d& c = AtomicWorldBoundingSphere(nearest)->centre;
        std::printf("nearest: atomic at (%g, %g, %g)\n", double(c.x), double(c.y), double(c.z));
    } else {
        std::printf("no atomic on the segment (%zu placed)\n", copies.size());
    }
    for (Clump* copy : copies) {
        ClumpDestroy(copy);
    }
    ClumpDestroy(model);
    WorldDestroy(world);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    ToolCli::App app{"scenetool: tools for the scene objects' data"};
    app.require_subcommand(1);
    ToolCli::App* strips = app.add_subcommand("strips", "check every mesh builder on generated shapes");
    ToolCli::App* corpus = app.add_subcommand("corpus", "write the scene fuzz targets' seeds");
    std::string dir;
    corpus->add_option("dir", dir, "folder holding the fuzz targets (fuzz/)")->required();
    ToolCli::App* dump = app.add_subcommand("dump", "print the chunk tree of a model or world file");
    std::string file;
    dump->add_option("file", file, "the file")->required();
    ToolCli::App* roundtrip = app.add_subcommand("roundtrip", "read a model and write it again");
    std::string in, out;
    roundtrip->add_option("in", in, "model to read")->required();
    roundtrip->add_option("out", out, "file to write")->required();
    ToolCli::App* native = app.add_subcommand("native", "write a model or world pre-instanced (native data)");
    native->add_option("in", in, "model or world to read")->required();
    native->add_option("out", out, "file to write")->required();
    ToolCli::App* collide = app.add_subcommand("collide", "give a world or model collision trees");
    collide->add_option("in", in, "world or model to read")->required();
    collide->add_option("out", out, "file to write")->required();
    ToolCli::App* raycast = app.add_subcommand("raycast", "list the triangles a segment hits");
    raycast->add_option("world", file, "the world")->required();
    std::vector<float> ends;
    raycast->add_option("ends", ends, "x0 y0 z0 x1 y1 z1")
        ->required()
        ->expected(6)
        ->check(ToolCli::FiniteRange(-1e6, 1e6));
    ToolCli::App* pick = app.add_subcommand("pick", "place copies of a model and list those a segment meets");
    std::string model;
    float spacing = 4.0f;
    pick->add_option("world", file, "the world")->required();
    pick->add_option("model", model, "the model to place")->required();
    pick->add_option("ends", ends, "x0 y0 z0 x1 y1 z1")
        ->required()
        ->expected(6)
        ->check(ToolCli::FiniteRange(-1e6, 1e6));
    pick->add_option("--spacing", spacing, "metres between the copies")
        ->check(ToolCli::FiniteRange(0.5, 1000.0));
    int parseStatus = 0;
    if (!ToolCli::Parse(app, argc, argv, &parseStatus)) {
        return parseStatus;
    }

    // Native data is the software device's buffers; the other commands run on the device double.
    if (*native ? !NativeEngineStart() : !SceneEngineStart()) {
        std::fprintf(stderr, "scenetool: the engine did not start\n");
        return 1;
    }
    int result = 0;
    if (*strips) {
        result = Strips();
    } else if (*corpus) {
        result = Corpus(dir);
    } else if (*dump) {
        result = Dump(file);
    } else if (*roundtrip) {
        result = RoundTrip(in, out);
    } else if (*native) {
        result = Native(in, out);
    } else if (*collide) {
        result = Collide(in, out);
    } else if (*raycast) {
        result = Raycast(file, ends);
    } else if (*pick) {
        result = Pick(file, model, spacing, ends);
    }
    SceneEngineStop();
    return result;
}
