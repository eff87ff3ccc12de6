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
#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "graphics/scene/material.h"
#include "graphics/scene/materiallist.h"
#include "graphics/scene/mesh.h"
#include "graphics/scene/meshbuild.h"
#include "tools/scenebuild/meshcheck.h"
#include "tools/scenebuild/meshshapes.h"
#include "tools/scenebuild/scenecorpus.h"
#include "tools/scenebuild/sceneengine.h"

namespace {

struct Builder
{
    const char* name;
    MeshBuildCallBack strips; // null: plain lists
    bool keepsWinding;
};

const Builder kBuilders[] = {
    {"StripBuild", StripBuild, true},
    {"StripBuildNoWinding", StripBuildNoWinding, false},
    {"StripBuildExhaustive", StripBuildExhaustive, true},
    {"StripBuildExhaustiveNoWinding", StripBuildExhaustiveNoWinding, false},
    {"StripBuildSearch", StripBuildSearch, true},
    {"StripBuildSearchNoWinding", StripBuildSearchNoWinding, false},
    {"MeshBuildLists", nullptr, true},
};

int Strips()
{
    Material* materials[3];
    for (Material*& m : materials) {
        m = MaterialCreate();
    }
    materials[2]->colour.alpha = 128;
    int failures = 0;
    for (const MeshShape& shape : MeshShapesStandard()) {
        for (const Builder& builder : kBuilders) {
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

} // namespace

int main(int argc, char** argv)
{
    CLI::App app{"scenetool: tools for the scene objects' data"};
    app.require_subcommand(1);
    CLI::App* strips = app.add_subcommand("strips", "check every mesh builder on generated shapes");
    CLI::App* corpus = app.add_subcommand("corpus", "write the scene fuzz targets' seeds");
    std::string dir;
    corpus->add_option("dir", dir, "folder holding the fuzz targets (fuzz/)")->required();
    CLI11_PARSE(app, argc, argv);

    if (!SceneEngineStart()) {
        std::fprintf(stderr, "scenetool: the engine did not start\n");
        return 1;
    }
    int result = 0;
    if (*strips) {
        result = Strips();
    } else if (*corpus) {
        result = Corpus(dir);
    }
    SceneEngineStop();
    return result;
}
