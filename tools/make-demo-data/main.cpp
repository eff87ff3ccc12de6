// make-demo-data: writes the part of the demo's data root that no other tool
// makes: the particle and sky textures drawn in code under "models/textures/",
// the small models built in code under "models/", the world file
// "models/wardels.bsp" (the texture dictionary texdict packs, then the world
// sample-world builds with the edge data of its triangles), and the help page
// "readme.txt", "config.xml" and "furniture.xml" from the sources folder. Everything is
// made in a temporary folder inside <out> first and moved into place only when
// all of it was written, so a failure leaves <out> as it was. The output is the
// same, byte for byte, on every run.
//
//   make-demo-data --sources <data/wardels> --world-textures <txd> --world <bsp> <out>
// Exit status: 0 on success, 1 on a failure (reported on standard error), 2 on a
// command line that is not understood.
#include "graphics/core/filesystem.h"
#include "graphics/core/win32filesystem.h"
#include "tools/cli/tool_cli.h"
#include "tools/common/toolfiles.h"
#include "tools/make-demo-data/demomodels.h"
#include "tools/make-demo-data/demotextures.h"
#include "tools/make-demo-data/demoworld.h"
#include "tools/scenebuild/sceneengine.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr const char* kPartial = ".make-demo-data.partial";

// Moves every file under from to the same place under to (replacing what is there).
bool MoveInto(const fs::path& from, const fs::path& to, std::string& error)
{
    std::vector<fs::path> files;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(from))
        if (entry.is_regular_file())
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    std::error_code failure;
    for (const fs::path& file : files) {
        const fs::path target = to / fs::relative(file, from);
        fs::create_directories(target.parent_path(), failure);
        if (!failure)
            fs::rename(file, target, failure);
        if (failure) {
            error = target.string() + ": " + failure.message();
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    ToolCli::App app(
        "Writes the demo's textures and models built in code, its help page and its configurations "
        "into the data root.",
        "make-demo-data");
    std::string out;
    std::string sources;
    app.add_option("--sources", sources, "folder of readme.txt, config.xml and furniture.xml")
        ->required()
        ->check(ToolCli::ExistingDirectory);
    std::string worldTextures;
    std::string world;
    app.add_option("--world-textures", worldTextures, "the world's texture dictionary (texdict pack)")
        ->required()
        ->check(ToolCli::ExistingFile);
    app.add_option("--world", world, "the world (sample-world's level.bsp)")
        ->required()
        ->check(ToolCli::ExistingFile);
    app.add_option("out", out, "the data root")->required();
    int status = 0;
    if (!ToolCli::Parse(app, argc, argv, &status))
        return status;

    const fs::path root(out);
    const fs::path partial = root / kPartial;
    std::error_code failure;
    fs::remove_all(partial, failure);
    fs::create_directories(partial / "models" / "textures", failure);
    if (failure || !SceneEngineStart(DemoWorldAttach) || !FileSystemManagerOpen(0)) {
        std::fprintf(stderr, "make-demo-data: cannot prepare %s\n", partial.string().c_str());
        return 1;
    }
    FileSystem* files = Win32FileSystemCreate(8, (partial.string() + "/").c_str(), "out");
    if (files == nullptr || !FileSystemManagerRegister(files)) {
        std::fprintf(stderr, "make-demo-data: no file system for %s\n", partial.string().c_str());
        return 1;
    }
    FileSystemManagerSetDefault(files);
    std::string error;
    bool made = DemoTexturesWrite(error) && DemoModelsWrite(partial.string(), error) &&
                DemoWorldWrite(worldTextures, world, (partial / "models" / "wardels.bsp").string(), error);
    for (const char* name : {"readme.txt", "config.xml", "furniture.xml"}) {
        std::vector<uint8_t> bytes;
        if (made && !(ToolReadFile((fs::path(sources) / name).string(), &bytes) &&
                      ToolWriteFile((partial / name).string(), bytes.data(), bytes.size()))) {
            error = (fs::path(sources) / name).string() + ": cannot install";
            made = false;
        }
    }
    FileSystemManagerClose();
    if (made)
        made = MoveInto(partial, root, error);
    fs::remove_all(partial, failure);
    if (!made) {
        std::fprintf(stderr, "make-demo-data: %s\n", error.c_str());
        return 1;
    }
    SceneEngineStop();
    std::printf("make-demo-data: textures, models, the world, readme.txt, config.xml and furniture.xml "
                "written into %s\n",
                out.c_str());
    return 0;
}
